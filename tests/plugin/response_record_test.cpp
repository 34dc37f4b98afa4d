// Writing call results into response records and releasing them.
#include "plugin/response_record.h"

#include "binding/host_value_conversion.h"
#include "foundation/memory.h"
#include "tests/plugin/packed_field.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tav {
namespace {

class ResponseRecord : public ::testing::Test {
protected:
  ResponseRecord() { resetResponseRecord(response_); }
  ~ResponseRecord() override { releaseResponseRecord(&response_); }

  host::HostResponse response_;
};

bool refuseConversion(host::HostValue& out, const BindingProperty&, const BindingTypeRegistry*) {
  std::memset(&out, 0, sizeof out);
  return false;
}

TEST_F(ResponseRecord, ValueThatCannotBeConvertedAnswers400WithAnErrorText) {
  CallResult result;
  result.value = "fine";
  result.status = 0;
  writeResponseRecord(response_, result, nullptr, &refuseConversion);
  EXPECT_EQ(test::fieldValue(response_.status), 400u);
  ASSERT_NE(test::fieldValue(response_.error), nullptr);
  EXPECT_STREQ(response_.error, "Couldn't convert the response value for the host.");
  EXPECT_EQ(test::fieldValue(response_.errorOwned), 0);
  EXPECT_EQ(test::fieldValue(response_.value.kind), 0u);
}

struct FormatCase {
  uint32_t given;
  uint32_t written;
};

class BodyFormatInRecord : public ::testing::TestWithParam<FormatCase> {};

TEST_P(BodyFormatInRecord, KeepsTheThreeFormatsAndZeroesTheRest) {
  host::HostResponse response;
  resetResponseRecord(response);
  CallResult result;
  result.bodyFormat = GetParam().given;
  writeResponseRecord(response, result, nullptr);
  EXPECT_EQ(test::fieldValue(response.bodyFormat), GetParam().written);
  releaseResponseRecord(&response);
}

INSTANTIATE_TEST_SUITE_P(Formats, BodyFormatInRecord,
                         ::testing::Values(FormatCase{0, 0}, FormatCase{1, 1}, FormatCase{2, 2},
                                           FormatCase{3, 3}, FormatCase{4, 0},
                                           FormatCase{0xFFFFFFFFu, 0}));

TEST_F(ResponseRecord, ContentFlagKeepsItsLowByte) {
  CallResult result;
  result.contentFlag = 0x1234;
  writeResponseRecord(response_, result, nullptr);
  EXPECT_EQ(test::fieldValue(response_.contentFlag), 0x34);
}

TEST_F(ResponseRecord, EmptyTextIsTheSharedTextAndReleaseLeavesItAlone) {
  const uint64_t before = memory::snapshot().bytesInUse();
  CallResult result;
  writeResponseRecord(response_, result, nullptr);
  EXPECT_EQ(test::fieldValue(response_.text), sharedEmptyText());
  releaseResponseRecord(&response_);
  EXPECT_STREQ(sharedEmptyText(), "");
  EXPECT_EQ(memory::snapshot().bytesInUse(), before);
}

TEST_F(ResponseRecord, TextAndHeadersAreOwnedCopiesFreedOnRelease) {
  CallResult result;
  result.text = "body text";
  result.headers = {{"A", "1"}, {"B", ""}, {"A", "3"}};
  const uint64_t before = memory::snapshot().bytesInUse();
  writeResponseRecord(response_, result, nullptr);
  EXPECT_GT(memory::snapshot().bytesInUse(), before);
  EXPECT_STREQ(response_.text, "body text");
  EXPECT_NE(test::fieldValue(response_.text), result.text.c_str());
  ASSERT_EQ(test::fieldValue(response_.headerCount), 3u);
  EXPECT_STREQ(response_.headers[0].name, "A");
  EXPECT_STREQ(response_.headers[1].value, "");
  EXPECT_STREQ(response_.headers[2].value, "3");
  releaseResponseRecord(&response_);
  EXPECT_EQ(memory::snapshot().bytesInUse(), before);
}

TEST_F(ResponseRecord, StreamIsMovedInWithItsSizeHintAndSurvivesRelease) {
  CallResult result;
  result.stream = makeTextStream("abcdef");
  writeResponseRecord(response_, result, nullptr);
  EXPECT_FALSE(result.stream);
  EXPECT_EQ(test::fieldValue(response_.streamSizeHint), 6u);
  EXPECT_EQ(test::fieldValue(response_.streamRead), &hostStreamRead);
  EXPECT_EQ(test::fieldValue(response_.streamRelease), &hostStreamRelease);
  void* stream = response_.stream;
  ASSERT_NE(stream, nullptr);
  releaseResponseRecord(&response_);

  char buffer[16];
  uint32_t count = sizeof buffer;
  uint8_t more = 1;
  ASSERT_EQ(hostStreamRead(stream, buffer, &count, &more), 1);
  EXPECT_EQ(std::string(buffer, count), "abcdef");
  EXPECT_EQ(more, 0);
  hostStreamRelease(stream);
}

} // namespace
} // namespace tav
