// Registration of the twelve banner records with a plugin's type registry.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tav {
class BindingTypeRegistry;
}

namespace tav::banners {

// Registers BannerFlag, BannerFrame, the two reward specs, the two entitlement payloads, the two
// inventory items, InventoryItemsByType, InventoryResponse, LoadoutsSlot and SondarProfileUpdate,
// in that order (nested records before the records that hold them), each under identifier
// followed by the record's name, with its pinned identity, its fields in wire order with empty
// descriptions, and tags. A name registered before keeps its first description; the remaining
// records are still registered.
void RegisterBannerRecords(BindingTypeRegistry& registry, std::string_view identifier,
                           std::span<const std::string> tags);

} // namespace tav::banners
