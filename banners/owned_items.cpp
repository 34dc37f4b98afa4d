// Conversions between the banner wire records and their comparable owned forms.
#include "banners/owned_items.h"

#include <charconv>
#include <system_error>

#include "foundation/utc_time.h"

namespace tav::banners {
namespace {

int64_t ParseOrUnknown(std::string_view text) {
  return ParseStrictInt64(text).value_or(-1);
}

// Digits at [at, at + count) as a number, or -1 when one of them is not a digit. Inlined: a date
// reads six fields, and the calls cost more than the digits.
[[gnu::always_inline]] inline int Digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return -1;
    }
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Acquisition times as the inventory writes them, "YYYY-MM-DDTHH:MM:SSZ" from 1970 on with
// every field in range, are read directly: the runtime's stream parsing costs more than all the
// rest of an owned entry. Every other text goes to parseUtcTime, which gives the same seconds
// for these.
int64_t ReadAcquisitionTime(std::string_view text) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z') {
    return parseUtcTime(text);
  }
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  const int hour = Digits(text, 11, 2);
  const int minute = Digits(text, 14, 2);
  const int second = Digits(text, 17, 2);
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1970 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return parseUtcTime(text);
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0)) {
    return parseUtcTime(text);
  }
  return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

// The text formatUtcTime gives, written directly for times from 1970 up to the end of year
// 9999; formatting through printf costs more than the rest of a listed flag. Other times go to
// formatUtcTime.
std::string WriteAcquisitionTime(int64_t seconds) {
  constexpr int64_t kEndOf9999 = 253402300800; // 10000-01-01T00:00:00Z
  if (seconds < 0 || seconds >= kEndOf9999) {
    return formatUtcTime(seconds);
  }
  const int64_t days = seconds / 86400;
  const int64_t daySeconds = seconds % 86400;
  const CivilDate date = civilFromDays(days);

  std::string text = "0000-00-00T00:00:00Z";
  auto put = [&text](size_t at, int64_t value, size_t width) {
    for (size_t i = width; i-- > 0;) {
      text[at + i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
  };
  put(0, date.year, 4);
  put(5, date.month, 2);
  put(8, date.day, 2);
  put(11, daySeconds / 3600, 2);
  put(14, daySeconds / 60 % 60, 2);
  put(17, daySeconds % 60, 2);
  return text;
}

} // namespace

std::optional<int64_t> ParseStrictInt64(std::string_view text) {
  // from_chars alone would accept a leading "-" and leading zeros, which would let "01" and
  // "1" name the same flag; the first character must be a digit and "0" must stand alone.
  if (text.empty() || text.front() < '0' || text.front() > '9') {
    return std::nullopt;
  }
  if (text.front() == '0' && text.size() > 1) {
    return std::nullopt;
  }
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [rest, error] = std::from_chars(text.data(), end, value, 10);
  if (error != std::errc{} || rest != end) {
    return std::nullopt;
  }
  return value;
}

OwnedFlag MakeOwnedFlag(const TournamentFlagInventoryItem& item) {
  const BrakkV2FlagRewardSpec& spec = item.payload.rewardSpec;
  OwnedFlag entry;
  entry.isFlag = item.payload.rewardType == kRewardTypeFlag;
  entry.theme = spec.theme;
  entry.level = ParseOrUnknown(spec.level);
  entry.seasonId = ParseOrUnknown(spec.seasonId);
  entry.acquiredAt = ReadAcquisitionTime(item.purchaseDate);
  return entry;
}

OwnedFlag MakeOwnedFlag(const BannerFlag& flag) {
  OwnedFlag entry;
  entry.isFlag = true;
  entry.theme = flag.theme;
  entry.level = ParseOrUnknown(flag.level);
  entry.seasonId = ParseOrUnknown(flag.seasonId);
  entry.acquiredAt = parseUtcTime(flag.earnedDateIso8601);
  return entry;
}

BannerFlag MakeBannerFlag(const OwnedFlag& entry) {
  BannerFlag flag;
  flag.theme = entry.theme;
  flag.level = std::to_string(entry.level);
  flag.seasonId = std::to_string(entry.seasonId);
  if (entry.acquiredAt != -1) {
    flag.earnedDateIso8601 = WriteAcquisitionTime(entry.acquiredAt);
  }
  return flag;
}

OwnedFrame MakeOwnedFrame(const TournamentFrameInventoryItem& item) {
  OwnedFrame entry;
  entry.isFrame = item.payload.rewardType == kRewardTypeFrame;
  entry.level = ParseOrUnknown(item.payload.rewardSpec.level);
  entry.seasonId = ParseOrUnknown(item.payload.rewardSpec.seasonId);
  return entry;
}

bool IsValid(const OwnedFlag& entry) {
  return entry.isFlag && !entry.theme.empty() && entry.level != -1 && entry.seasonId != -1 &&
         entry.acquiredAt != -1;
}

bool IsValid(const OwnedFrame& entry) {
  return entry.isFrame && entry.level != -1 && entry.seasonId != -1;
}

bool SameFlag(const OwnedFlag& a, const OwnedFlag& b) {
  return a.level == b.level && a.seasonId == b.seasonId && a.theme == b.theme;
}

} // namespace tav::banners
