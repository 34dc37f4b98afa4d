// The host records keep their packed layout: the header's static_asserts pin every size and
// offset at compile time on both 32-bit and 64-bit builds; this checks the bytes at run time.
#include "binding/host_records.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tav::host {
namespace {

TEST(HostRecords, ResponseFieldsLandAtTheirBytes) {
  HostResponse response;
  std::memset(&response, 0, sizeof response);
  response.status = 0x01020304;
  auto* bytes = reinterpret_cast<const uint8_t*>(&response);
  const size_t at = sizeof(void*) == 4 ? 22 : 30;
  EXPECT_EQ(bytes[at], 0x04);
  EXPECT_EQ(bytes[at + 3], 0x01);
}

TEST(HostRecords, ValuePayloadFollowsTheKindWord) {
  HostValue value;
  std::memset(&value, 0, sizeof value);
  value.kind = static_cast<uint32_t>(HostValueKind::Signed);
  value.integer = -2;
  auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[4], 0xFE);
  EXPECT_EQ(bytes[11], 0xFF);
}

} // namespace
} // namespace tav::host
