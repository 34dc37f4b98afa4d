// WriteLoadoutsFlag: the equipped flag's slot in the sondar's loadouts.
#pragma once

#include <string_view>

#include "banners/banner_records.h"
#include "banners/source_result.h"

namespace tav {
class OutgoingRequests;
}

namespace tav::banners {

inline constexpr std::string_view kLoadoutsUrl = "/tav-loadouts/v2/items/1";

inline constexpr std::string_view kSeasonIdNotANumberMessage = "BannerFlag seasonId not a number";

// Writes flag into the banner slot: POST kLoadoutsUrl with one parameter "TOURNAMENT_FLAG"
// holding {"BANNER_FLAG": LoadoutsSlot}, whose itemId is the season number and whose
// inventoryType is theme + "_" + level (the level text unchanged). A seasonId that
// ParseStrictInt64 rejects fails with kSeasonIdNotANumberMessage before anything is sent; a
// failed request answers its message.
SourceResult<void> WriteLoadoutsFlag(const OutgoingRequests& requests, const BannerFlag& flag);

} // namespace tav::banners
