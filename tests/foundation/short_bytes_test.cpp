// sameBytes compares up to 16 bytes as words from both ends: every length across those sizes,
// at every alignment, with a difference at each place, must answer as memcmp does.
#include "foundation/short_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

TEST(ShortBytes, AnswersAsMemcmpForEveryLengthPlaceAndAlignment) {
  const std::string text = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ";
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; offset + length <= text.size() - 4; ++length) {
      std::string copy = " " + text; // the copy's bytes lie one place off the original's
      const char* a = text.data() + offset;
      char* b = copy.data() + 1 + offset;
      EXPECT_TRUE(sameBytes(a, b, length)) << offset << " " << length;
      for (size_t at = 0; at < length; ++at) {
        b[at] ^= 0x01;
        EXPECT_FALSE(sameBytes(a, b, length)) << offset << " " << length << " " << at;
        b[at] ^= 0x01;
      }
      // A difference right behind the n bytes is none of their business.
      b[length] ^= 0x01;
      EXPECT_TRUE(sameBytes(a, b, length)) << offset << " " << length;
    }
  }
}

} // namespace
} // namespace tav
