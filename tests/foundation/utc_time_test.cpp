// ISO-8601 UTC times: writing, every accepted and rejected form, and the failure path.
#include "foundation/utc_time.h"

#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace tav {
namespace {

TEST(FormatUtcTime, WritesExtendedFormWithZ) {
  EXPECT_EQ(formatUtcTime(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(formatUtcTime(1700000000), "2023-11-14T22:13:20Z");
  EXPECT_EQ(formatUtcTime(951782400), "2000-02-29T00:00:00Z");
  // Past 2038, which a 32-bit time_t could not reach.
  EXPECT_EQ(formatUtcTime(4102444800), "2100-01-01T00:00:00Z");
}

// Outside the years 1970 to 3000, where some runtimes' calendars stop, and at the ends of the
// 32-bit year field.
TEST(FormatUtcTime, WritesEveryYearOfTheCalendarField) {
  const std::pair<int64_t, const char*> cases[] = {
      {-1, "1969-12-31T23:59:59Z"},
      {-86401, "1969-12-30T23:59:59Z"},
      {-2208988800, "1900-01-01T00:00:00Z"},
      {-30610224001, "999-12-31T23:59:59Z"},
      {-62135596801, "0-12-31T23:59:59Z"},
      {-62262086400, "-4-12-29T00:00:00Z"},
      {32535237600, "3001-01-01T06:00:00Z"},
      {253402300800, "10000-01-01T00:00:00Z"},
      {-67768040609740800, "-2147481748-01-01T00:00:00Z"},
      {67767976233532799, "2147483647-12-31T23:59:59Z"},
  };
  for (const auto& [seconds, text] : cases)
    EXPECT_EQ(formatUtcTime(seconds), text) << seconds;
  test::ScopedLogCapture capture;
  EXPECT_EQ(formatUtcTime(-67768040609740801), "");
  EXPECT_EQ(formatUtcTime(67767976233532800), "");
  EXPECT_EQ(capture.target().records().size(), 2u);
}

TEST(CivilCalendar, DaysAndDatesAreInverseAcrossEras) {
  for (int64_t days = -800000; days <= 3000000; days += 97) {
    const CivilDate date = civilFromDays(days);
    ASSERT_EQ(daysFromCivil(date.year, date.month, date.day), days) << days;
    const CivilDate next = civilFromDays(days + 1);
    ASSERT_EQ(next.day == 1, next.month != date.month) << days;
  }
  // A day past the month's end runs on into the next month.
  EXPECT_EQ(daysFromCivil(2023, 2, 29), daysFromCivil(2023, 3, 1));
  EXPECT_EQ(daysFromCivil(2024, 2, 29) + 1, daysFromCivil(2024, 3, 1));
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
        ParseCase{"2100-01-01T00:00:00Z", 4102444800}, ParseCase{"1969-07-20T20:17:40Z", -14182940},
        ParseCase{"1900-02-29T00:00:00", -2203891200},
        ParseCase{"3001-01-01T06:00:00", 32535237600}));

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
        ParseCase{"197x-01-01T00:00:00", -1}, ParseCase{"1970-01-01T00:00:00.Z1", -1},
        ParseCase{"1970-01-01T00:00:00.Z", -1}, ParseCase{"1970-01-01T00:00:00,", -1}));

TEST(ParseUtcTime, RoundTripsFormattedTimes) {
  for (int64_t seconds :
       {int64_t{0}, int64_t{1}, int64_t{86399}, int64_t{951782400}, int64_t{1700000000},
        int64_t{2147483647}, int64_t{2147483648}, int64_t{253402300799}, int64_t{-1},
        int64_t{-30610224000}, int64_t{32535237600}}) {
    EXPECT_EQ(parseUtcTime(formatUtcTime(seconds)), seconds) << seconds;
  }
}

} // namespace
} // namespace tav
