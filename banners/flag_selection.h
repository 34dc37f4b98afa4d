// The order in which owned flags are listed, the default flag, and the season's frame level.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "banners/banner_records.h"
#include "banners/owned_items.h"

namespace tav::banners {

// Orders owned flags newest season first. Within a season the themes are grouped, the theme
// first acquired most recently leading; within a theme higher levels come first, and among
// copies of one level the most recently acquired. Each flag (seasonId, theme, level) is then
// kept once, as its most recently acquired copy.
//
// Two themes of one season first acquired at the same instant are ordered by their most recent
// acquisition, then by theme bytes, and stay grouped: ordering their entries one by one by
// acquisition time could contradict the level order and leave no consistent order at all.
//
// Runs in O(n log n); the input may be in any order.
std::vector<OwnedFlag> SortOwnedFlags(std::vector<OwnedFlag> flags);

// The highest level held of the theme and season of the flag acquired last (the first such
// entry in list order when acquisition times tie); on equal levels the later acquisition, then
// the earlier entry. Nothing for an empty list.
std::optional<BannerFlag> SelectDefaultFlag(const std::vector<OwnedFlag>& flags);

// The greatest level among the frames of the given season, as decimal text; nothing when the
// list holds no frame of that season.
std::optional<std::string> SelectSeasonFrameLevel(const std::vector<OwnedFrame>& frames,
                                                  int64_t season);

} // namespace tav::banners
