// The sondar's signed inventory: owned flags and frames as inventory items, and the token that
// carries one inventory type's items.
#pragma once

#include "host/sondar_data.h"
#include "host/value_tree.h"

#include <optional>
#include <string>
#include <string_view>

namespace tav::host {

inline constexpr char kFlagInventoryType[] = "TOURNAMENT_FLAG";
inline constexpr char kFrameInventoryType[] = "TOURNAMENT_FRAME";

// {"payload": {"rewardSpec": {"theme", "level", "seasonId"}, "rewardType"}, "purchaseDate"}
ValueTree flagInventoryItem(const SondarFlag& flag);
// {"payload": {"rewardSpec": {"level", "seasonId"}, "rewardType"}, "purchaseDate"}
ValueTree frameInventoryItem(const SondarFrame& frame);

// {"items": {"<type>": [...]}} with the items the data holds for type: its flags for
// TOURNAMENT_FLAG, its frames for TOURNAMENT_FRAME, none for any other type.
ValueTree inventoryPayload(const SondarData& data, std::string_view type);

// The token the inventory answers for type: the override token, else the override payload or
// inventoryPayload signed; nothing when the overrides leave the type out of the answer.
std::optional<std::string> inventoryToken(const SondarData& data, const std::string& type);

} // namespace tav::host
