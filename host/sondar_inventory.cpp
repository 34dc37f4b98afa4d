// Inventory items and tokens built from the sondar data.
#include "host/sondar_inventory.h"

#include "host/sondar_token.h"

namespace tav::host {

ValueTree flagInventoryItem(const SondarFlag& flag) {
  ValueTree spec =
      ValueTree::map({{"theme", flag.theme}, {"level", flag.level}, {"seasonId", flag.seasonId}});
  ValueTree payload =
      ValueTree::map({{"rewardSpec", std::move(spec)}, {"rewardType", flag.rewardType}});
  return ValueTree::map({{"payload", std::move(payload)}, {"purchaseDate", flag.purchaseDate}});
}

ValueTree frameInventoryItem(const SondarFrame& frame) {
  ValueTree spec = ValueTree::map({{"level", frame.level}, {"seasonId", frame.seasonId}});
  ValueTree payload =
      ValueTree::map({{"rewardSpec", std::move(spec)}, {"rewardType", frame.rewardType}});
  return ValueTree::map({{"payload", std::move(payload)}, {"purchaseDate", frame.purchaseDate}});
}

ValueTree inventoryPayload(const SondarData& data, std::string_view type) {
  std::vector<ValueTree> items;
  if (type == kFlagInventoryType) {
    items.reserve(data.flags.size());
    for (const SondarFlag& flag : data.flags) {
      items.push_back(flagInventoryItem(flag));
    }
  } else if (type == kFrameInventoryType) {
    items.reserve(data.frames.size());
    for (const SondarFrame& frame : data.frames) {
      items.push_back(frameInventoryItem(frame));
    }
  }
  ValueTree byType = ValueTree::map({{std::string(type), ValueTree::list(std::move(items))}});
  return ValueTree::map({{"items", std::move(byType)}});
}

std::optional<std::string> inventoryToken(const SondarData& data, const std::string& type) {
  const InventoryOverrides& overrides = data.inventory;
  if (overrides.omittedTypes.count(type) != 0) {
    return std::nullopt;
  }
  if (auto token = overrides.tokens.find(type); token != overrides.tokens.end()) {
    return token->second;
  }
  if (auto payload = overrides.payloads.find(type); payload != overrides.payloads.end()) {
    return makeSondarToken(payload->second.toJson());
  }
  return makeSondarToken(inventoryPayload(data, type).toJson());
}

} // namespace tav::host
