// ISO-8601 text of UTC times, written and read.
//
// A UTC time is a signed 64-bit count of seconds since 1970-01-01T00:00:00Z; -1 means that there
// is no valid time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

// A date of the proleptic Gregorian calendar, month and day counting from 1.
struct CivilDate {
  int64_t year = 1970;
  int month = 1;
  int day = 1;
};

// Days from 1970-01-01 to the given date, negative before it. A day past the end of its month
// counts on into the next months, as the C runtime's timegm does. Exact for every year whose
// days fit in 64 bits; the runtime's own calendar is not used because its range differs from
// one runtime to the next (Microsoft's stops at the years 1970 and 3000).
constexpr int64_t daysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The date that lies the given number of days after 1970-01-01; the inverse of daysFromCivil.
// days must lie within about ±2^62.
constexpr CivilDate civilFromDays(int64_t days) {
  const int64_t shifted = days + 719468;
  const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const int64_t dayOfEra = shifted - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  CivilDate date;
  date.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  date.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

// Writes seconds as "%Y-%m-%dT%H:%M:%SZ", for example "1970-01-01T00:00:00Z"; the year is
// written in as many digits as it takes ("999-12-31T23:59:59Z"), with a "-" before the year 0.
// Times whose year does not fit the C calendar's 32-bit year field (year - 1900) cannot be
// broken into calendar fields: for those the failure "ALE-8A14EBBK" is reported (an " ERROR"
// log line) and the result is the empty text.
std::string formatUtcTime(int64_t seconds);

// Reads an ISO-8601 UTC time in the extended form ("1970-01-01T00:00:00") or the basic form
// ("19700101T000000"). The separator may be "T", "t" or a space; a fraction of seconds ("." or ","
// and at least one digit) is skipped; the only suffixes accepted are none, "Z", "z", "-00",
// "-0000", "-00:00",
// "+00", "+0000" and "+00:00". Returns the seconds, or -1 for any other text.
int64_t parseUtcTime(std::string_view text);

} // namespace tav
