// ISO-8601 writing and reading of UTC times, on the calendar arithmetic of utc_time.h.
#include "foundation/utc_time.h"

#include "foundation/failure_report.h"

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <sstream>

namespace tav {
namespace {

constexpr std::string_view kAcceptedZones[] = {"Z",      "z",   "-00",   "-0000",
                                               "-00:00", "+00", "+0000", "+00:00"};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

} // namespace

std::string formatUtcTime(int64_t seconds) {
  // The C calendar keeps year - 1900 in an int; beyond it there are no calendar fields.
  constexpr int64_t kFirstTime = -67768040609740800; // -2147481748-01-01T00:00:00Z
  constexpr int64_t kLastTime = 67767976233532799;   // 2147483647-12-31T23:59:59Z
  if (seconds < kFirstTime || seconds > kLastTime) {
    reportFailure("ALE-8A14EBBK");
    return {};
  }
  int64_t days = seconds / 86400;
  int64_t daySeconds = seconds % 86400;
  if (daySeconds < 0) {
    daySeconds += 86400;
    --days;
  }
  const CivilDate date = civilFromDays(days);
  char text[32];
  const int length = std::snprintf(
      text, sizeof text, "%lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(date.year),
      date.month, date.day, static_cast<int>(daySeconds / 3600),
      static_cast<int>(daySeconds / 60 % 60), static_cast<int>(daySeconds % 60));
  return std::string(text, static_cast<size_t>(length));
}

int64_t parseUtcTime(std::string_view text) {
  if (text.size() < 5)
    return -1;
  const bool extended = text[4] == '-';
  const size_t formLength = extended ? 19 : 15;
  const size_t separatorAt = extended ? 10 : 8;
  if (text.size() < formLength || !isDigit(text[formLength - 1]))
    return -1;
  const char separator = text[separatorAt];
  if (separator != 'T' && separator != 't' && separator != ' ')
    return -1;

  size_t p = formLength;
  if (p < text.size() && (text[p] == '.' || text[p] == ',')) {
    // A separator without a digit is no fraction.
    if (++p >= text.size() || !isDigit(text[p]))
      return -1;
    while (p < text.size() && isDigit(text[p]))
      ++p;
  }
  std::string_view zone = text.substr(p);
  if (!zone.empty()) {
    bool accepted = false;
    for (std::string_view candidate : kAcceptedZones)
      accepted = accepted || zone == candidate;
    if (!accepted)
      return -1;
  }

  // The basic form gets its "-" and ":" back: character i of the extended form is character
  // kFromBasic[i] of the basic one, or the separator kInserted[i] where that is -1.
  constexpr int kFromBasic[19] = {0,  1, 2,  3,  -1, 4,  5,  -1, 6, 7,
                                  -1, 9, 10, -1, 11, 12, -1, 13, 14};
  constexpr char kInserted[] = "    -  -  T  :  :  ";
  char normalized[20] = {};
  for (size_t i = 0; i < 19; ++i) {
    if (extended)
      normalized[i] = text[i];
    else
      normalized[i] = kFromBasic[i] < 0 ? kInserted[i] : text[static_cast<size_t>(kFromBasic[i])];
  }
  normalized[10] = 'T';

  std::tm parts{};
  std::istringstream reader(normalized);
  reader >> std::get_time(&parts, "%Y-%m-%dT%H:%M:%S");
  if (reader.fail() || reader.peek() != std::char_traits<char>::eof())
    return -1;
  // The fields are in range here (the parser checks them), but a day past its month's end, such
  // as February 30, counts on into the next month.
  const int64_t days =
      daysFromCivil(int64_t{parts.tm_year} + 1900, parts.tm_mon + 1, 1) + parts.tm_mday - 1;
  // 1969-12-31T23:59:59 comes out as -1 too, which is no time: -1 cannot tell them apart.
  return days * 86400 + parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
}

} // namespace tav
