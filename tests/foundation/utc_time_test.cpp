// ISO-8601 UTC times: writing, every accepted and rejected form, and the failure path.
#include "foundation/utc_time.h"

#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdint>
#include <limits>
#include <string>

namespace tav {
namespace {

TEST(FormatUtcTime, WritesExtendedFormWithZ) {
  EXPECT_EQ(formatUtcTime(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(formatUtcTime(1700000000), "2023-11-14T22:13:20Z");
  EXPECT_EQ(formatUtcTime(951782400), "2000-02-29T00:00:00Z");
  // Past 2038, which a 32-bit time_t could not reach.
  EXPECT_EQ(formatUtcTime(4102444800), "2100-01-01T00:00:00Z");
}

TEST(FormatUtcTime, ReportsConversionFailureAndReturnsEmpty) {
  test::ScopedLogCapture capture;
  EXPECT_EQ(formatUtcTime(std::numeric_limits<int64_t>::max()), "");
  auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::Error);
  EXPECT_EQ(records[0].groups, kLogGroupDbg);
  EXPECT_EQ(records[0].message, "Assertion failed!\n\nExpression: ALE-8A14EBBK");
}

struct ParseCase {
  const char* text;
  int64_t expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class ParseUtcTime : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseUtcTime, GivesSecondsOrMinusOne) {
  EXPECT_EQ(parseUtcTime(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseUtcTime,
    ::testing::Values(
        ParseCase{"1970-01-01T00:00:00Z", 0}, ParseCase{"19700101T000000Z", 0},
        ParseCase{"1970-01-01 00:00:00.123+00:00", 0}, ParseCase{"1970-01-01t00:00:00", 0},
        ParseCase{"1970-01-01T00:00:00z", 0}, ParseCase{"1970-01-01T00:00:00-00", 0},
        ParseCase{"1970-01-01T00:00:00-0000", 0}, ParseCase{"1970-01-01T00:00:00-00:00", 0},
        ParseCase{"1970-01-01T00:00:00+00", 0}, ParseCase{"1970-01-01T00:00:00+0000", 0},
        ParseCase{"2023-11-14T22:13:20,999999Z", 1700000000},
        ParseCase{"20231114 221320", 1700000000}, ParseCase{"20231114t221320.5+0000", 1700000000},
        ParseCase{"2100-01-01T00:00:00Z", 4102444800}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, ParseUtcTime,
    ::testing::Values(
        ParseCase{"1970-01-01T00:00:00+01:00", -1}, ParseCase{"1970-01-01T00:00:0", -1},
        ParseCase{"", -1}, ParseCase{"1970", -1}, ParseCase{"1970-01-01", -1},
        ParseCase{"1970-01-01X00:00:00", -1}, ParseCase{"1970-01-01T00:00:00Zjunk", -1},
        ParseCase{"1970-01-01T00:00:00 Z", -1}, ParseCase{"1970-01-01T00:00:00+0100", -1},
        ParseCase{"1970-01-01T00:00:00-00:0", -1}, ParseCase{"1970-01-01T00:00:00ZZ", -1},
        ParseCase{"1970-01-01T00:00:0a", -1}, ParseCase{"19700101T00000", -1},
        ParseCase{"19700101-000000", -1}, ParseCase{"1970-13-01T00:00:00", -1},
        ParseCase{"1970-01-01T25:00:00", -1}, ParseCase{"1970-01-01T00:60:00", -1},
        ParseCase{"197x-01-01T00:00:00", -1}, ParseCase{"1970-01-01T00:00:00.Z1", -1}));

TEST(ParseUtcTime, RoundTripsFormattedTimes) {
  for (int64_t seconds :
       {int64_t{0}, int64_t{1}, int64_t{86399}, int64_t{951782400}, int64_t{1700000000},
        int64_t{2147483647}, int64_t{2147483648}, int64_t{253402300799}}) {
    EXPECT_EQ(parseUtcTime(formatUtcTime(seconds)), seconds) << seconds;
  }
}

} // namespace
} // namespace tav
