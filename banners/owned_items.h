// OwnedFlag and OwnedFrame, the comparable forms of owned banners, and the rules that make them.
//
// The conversions never fail: unreadable numbers and dates become -1, and IsValid later
// discards such entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "banners/banner_records.h"

namespace tav::banners {

// Reads a plain decimal: digits only, no sign, no surrounding space, no leading zero (except "0"
// itself), and the value must fit in signed 64 bits. Anything else gives nothing.
std::optional<int64_t> ParseStrictInt64(std::string_view text);

// A banner flag in comparable form. Two entries denote the same flag when theme, level and
// seasonId are equal (see SameFlag); isFlag and acquiredAt take no part in that identity.
struct OwnedFlag {
  bool isFlag = false; // the source really is a banner flag
  std::string theme;
  int64_t level = -1;      // -1 when unreadable
  int64_t seasonId = -1;   // -1 when unreadable
  int64_t acquiredAt = -1; // UTC seconds; -1 when unreadable
};

// A banner frame in comparable form.
struct OwnedFrame {
  bool isFrame = false; // the source really is a banner frame
  int64_t level = -1;   // -1 when unreadable
  int64_t seasonId = -1;
};

// From an inventory item: isFlag only when rewardType is exactly "FLAG"; the acquisition time
// is the item's purchaseDate.
OwnedFlag MakeOwnedFlag(const TournamentFlagInventoryItem& item);
// From a flag a caller sent: always isFlag; the acquisition time is its earnedDateIso8601.
OwnedFlag MakeOwnedFlag(const BannerFlag& flag);
// Back to the wire form, normalised: shortest decimal texts and a date rewritten from
// acquiredAt (empty when acquiredAt is -1).
BannerFlag MakeBannerFlag(const OwnedFlag& entry);
// From an inventory item: isFrame only when rewardType is exactly "FRAME"; purchaseDate is not
// read.
OwnedFrame MakeOwnedFrame(const TournamentFrameInventoryItem& item);

// A flag is usable when it is a flag, has a theme, and level, seasonId and acquiredAt are known.
bool IsValid(const OwnedFlag& entry);
// A frame is usable when it is a frame and level and seasonId are known.
bool IsValid(const OwnedFrame& entry);

// Flag identity: equal theme, level and seasonId.
bool SameFlag(const OwnedFlag& a, const OwnedFlag& b);

} // namespace tav::banners
