// ISO-8601 writing and reading of UTC times through the runtime's calendar functions.

// A 32-bit build would otherwise get a 32-bit time_t and fail every time after 2038.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif
#ifndef _TIME_BITS
#define _TIME_BITS 64
#endif

#include "foundation/utc_time.h"

#include "foundation/failure_report.h"

#include <ctime>
#include <iomanip>
#include <limits>
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
  std::tm parts{};
  bool broken = false;
  if (seconds >= std::numeric_limits<time_t>::min() &&
      seconds <= std::numeric_limits<time_t>::max()) {
    time_t value = static_cast<time_t>(seconds);
    broken = gmtime_r(&value, &parts) != nullptr;
  }
  char text[32];
  size_t length = broken ? std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) : 0;
  if (length == 0) {
    reportFailure("ALE-8A14EBBK");
    return {};
  }
  return std::string(text, length);
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
    ++p;
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
  parts.tm_isdst = 0;
  time_t seconds = timegm(&parts);
  // timegm answers -1 both for an error and for 1969-12-31T23:59:59; either way there is no time
  // to give but -1.
  return static_cast<int64_t>(seconds);
}

} // namespace tav
