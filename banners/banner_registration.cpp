// Registration of the banner records, nested records first.
#include "banners/banner_registration.h"

#include <string>

#include "banners/banner_records.h"
#include "binding/binding_type_registry.h"

namespace tav::banners {
namespace {

// Registers T under identifier + name and, when the name is new, tags it and lets addFields
// declare its fields.
template <typename T, typename AddFields>
void Register(BindingTypeRegistry& registry, std::string_view identifier, std::string_view name,
              std::span<const std::string> tags, AddFields addFields) {
  std::string fullName(identifier);
  fullName += name;
  auto type = registry.registerType<T>(fullName);
  if (type.existed()) {
    return;
  }
  type.addTags(tags);
  addFields(type);
}

} // namespace

void RegisterBannerRecords(BindingTypeRegistry& registry, std::string_view identifier,
                           std::span<const std::string> tags) {
  Register<BannerFlag>(registry, identifier, "BannerFlag", tags, [](auto& type) {
    type.field("theme", &BannerFlag::theme);
    type.field("level", &BannerFlag::level);
    type.field("seasonId", &BannerFlag::seasonId);
    type.field("earnedDateIso8601", &BannerFlag::earnedDateIso8601);
  });
  Register<BannerFrame>(registry, identifier, "BannerFrame", tags,
                        [](auto& type) { type.field("level", &BannerFrame::level); });
  Register<BrakkV2FlagRewardSpec>(registry, identifier, "BrakkV2FlagRewardSpec", tags,
                                  [](auto& type) {
                                    type.field("theme", &BrakkV2FlagRewardSpec::theme);
                                    type.field("level", &BrakkV2FlagRewardSpec::level);
                                    type.field("seasonId", &BrakkV2FlagRewardSpec::seasonId);
                                  });
  Register<BrakkV2FrameRewardSpec>(registry, identifier, "BrakkV2FrameRewardSpec", tags,
                                   [](auto& type) {
                                     type.field("level", &BrakkV2FrameRewardSpec::level);
                                     type.field("seasonId", &BrakkV2FrameRewardSpec::seasonId);
                                   });
  Register<VelBrakkFlagEntitlementPayload>(
      registry, identifier, "VelBrakkFlagEntitlementPayload", tags, [](auto& type) {
        type.field("rewardSpec", &VelBrakkFlagEntitlementPayload::rewardSpec);
        type.field("rewardType", &VelBrakkFlagEntitlementPayload::rewardType);
      });
  Register<VelBrakkFrameEntitlementPayload>(
      registry, identifier, "VelBrakkFrameEntitlementPayload", tags, [](auto& type) {
        type.field("rewardSpec", &VelBrakkFrameEntitlementPayload::rewardSpec);
        type.field("rewardType", &VelBrakkFrameEntitlementPayload::rewardType);
      });
  Register<TournamentFlagInventoryItem>(
      registry, identifier, "TournamentFlagInventoryItem", tags, [](auto& type) {
        type.field("payload", &TournamentFlagInventoryItem::payload);
        type.field("purchaseDate", &TournamentFlagInventoryItem::purchaseDate);
      });
  Register<TournamentFrameInventoryItem>(
      registry, identifier, "TournamentFrameInventoryItem", tags, [](auto& type) {
        type.field("payload", &TournamentFrameInventoryItem::payload);
        type.field("purchaseDate", &TournamentFrameInventoryItem::purchaseDate);
      });
  Register<InventoryItemsByType>(
      registry, identifier, "InventoryItemsByType", tags, [](auto& type) {
        type.field("TOURNAMENT_FLAG", &InventoryItemsByType::TOURNAMENT_FLAG);
        type.field("TOURNAMENT_FRAME", &InventoryItemsByType::TOURNAMENT_FRAME);
      });
  Register<InventoryResponse>(registry, identifier, "InventoryResponse", tags,
                              [](auto& type) { type.field("items", &InventoryResponse::items); });
  Register<LoadoutsSlot>(registry, identifier, "LoadoutsSlot", tags, [](auto& type) {
    type.field("itemId", &LoadoutsSlot::itemId);
    type.field("inventoryType", &LoadoutsSlot::inventoryType);
  });
  Register<SondarProfileUpdate>(registry, identifier, "SondarProfileUpdate", tags, [](auto& type) {
    type.field("key", &SondarProfileUpdate::key);
    type.field("value", &SondarProfileUpdate::value);
  });
}

} // namespace tav::banners
