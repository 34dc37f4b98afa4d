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
  entry.acquiredAt = parseUtcTime(item.purchaseDate);
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
    flag.earnedDateIso8601 = formatUtcTime(entry.acquiredAt);
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
