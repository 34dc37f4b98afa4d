// ISO-8601 reading and writing of UTC times.
//
// Checks: a time read from the input is written as text that reads back to the same seconds,
// in the basic form and with any accepted fraction and zone as well; and any time of the years
// 1000 to 9999 taken from the input's first eight bytes survives writing and reading.
#include "fuzz_support.h"

#include "foundation/utc_time.h"

#include <cstring>
#include <string>

namespace {

// The years whose "%Y" has four digits, the only ones the reader takes back.
constexpr int64_t kFirstFourDigitYear = -30610224000; // 1000-01-01T00:00:00Z
constexpr int64_t kLastFourDigitYear = 253402300799;  // 9999-12-31T23:59:59Z

constexpr std::string_view kSuffixes[] = {"",      "z",       "-00",    "-0000", "-00:00",
                                          "+00",   "+0000",   "+00:00", ".5Z",   ",123456",
                                          ".0-00", ".999+00", ".9"};

// Writes seconds and reads the text back in every accepted spelling.
void checkWritten(int64_t seconds, size_t spelling) {
  using tav::fuzz::check;
  const std::string written = tav::formatUtcTime(seconds);
  check(written.size() == 20, "a four-digit year is not written in 20 characters", written);
  check(tav::parseUtcTime(written) == seconds, "a written time does not read back", written);

  // "YYYY-MM-DDTHH:MM:SSZ" without its "-" and ":", and with another separator and zone.
  std::string basic;
  for (char c : written.substr(0, 19)) {
    if (c != '-' && c != ':') {
      basic += c;
    }
  }
  basic[8] = " tT"[spelling % 3];
  basic += kSuffixes[spelling % std::size(kSuffixes)];
  check(tav::parseUtcTime(basic) == seconds, "the basic form reads differently", basic, written);

  std::string extended = written.substr(0, 19);
  extended[10] = " tT"[(spelling / 3) % 3];
  extended += kSuffixes[(spelling / 7) % std::size(kSuffixes)];
  check(tav::parseUtcTime(extended) == seconds, "a spelling of the extended form reads differently",
        extended, written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::string_view text = fuzz::asText(data, size);
  const size_t spelling = size > 0 ? data[size - 1] : 0;

  const int64_t seconds = parseUtcTime(text);
  if (seconds != -1 && seconds >= kFirstFourDigitYear && seconds <= kLastFourDigitYear) {
    checkWritten(seconds, spelling);
  }

  if (size >= sizeof(int64_t)) {
    int64_t any = 0;
    std::memcpy(&any, data, sizeof any);
    if (any >= kFirstFourDigitYear && any <= kLastFourDigitYear && any != -1) {
      checkWritten(any, spelling);
    }
  }
  return 0;
}
