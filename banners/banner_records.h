// The banner wire records, their fixed names and their fixed type identities.
//
// Every field name equals the member name the record carries on the wire, letter for letter;
// the field order is the registration order. Numbers in the banner records (level, seasonId)
// travel as decimal text, dates as ISO-8601 text. All fields default to empty / zero so that a
// record built from a value with missing members keeps its defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/static_type_id.h"

namespace tav::banners {

// Inventory type of banner flags; member of InventoryItemsByType; outer key of the loadouts body.
inline constexpr std::string_view kTournamentFlag = "TOURNAMENT_FLAG";
// Inventory type of banner frames; member of InventoryItemsByType.
inline constexpr std::string_view kTournamentFrame = "TOURNAMENT_FRAME";
// rewardType of a flag entitlement.
inline constexpr std::string_view kRewardTypeFlag = "FLAG";
// rewardType of a frame entitlement.
inline constexpr std::string_view kRewardTypeFrame = "FRAME";
// Inner key (slot name) of the loadouts body.
inline constexpr std::string_view kBannerFlagSlot = "BANNER_FLAG";
// Sondar profile key that holds the equipped flag.
inline constexpr std::string_view kEquippedBannerFlagKey = "equippedBannerFlag";
// Member of the inventory token payload and of InventoryResponse.
inline constexpr std::string_view kItemsMember = "items";

// One banner flag as the routes answer it and as the equip route receives it.
struct BannerFlag {
  std::string theme;
  std::string level;    // decimal
  std::string seasonId; // decimal
  // ISO-8601 time of acquisition; empty when the acquisition time is unreadable.
  std::string earnedDateIso8601;
};

// The equipped banner frame.
struct BannerFrame {
  std::string level; // decimal
};

// What a flag entitlement granted.
struct BrakkV2FlagRewardSpec {
  std::string theme;
  std::string level;
  std::string seasonId;
};

// What a frame entitlement granted.
struct BrakkV2FrameRewardSpec {
  std::string level;
  std::string seasonId;
};

struct VelBrakkFlagEntitlementPayload {
  BrakkV2FlagRewardSpec rewardSpec;
  std::string rewardType; // kRewardTypeFlag marks a banner flag
};

struct VelBrakkFrameEntitlementPayload {
  BrakkV2FrameRewardSpec rewardSpec;
  std::string rewardType; // kRewardTypeFrame marks a banner frame
};

struct TournamentFlagInventoryItem {
  VelBrakkFlagEntitlementPayload payload;
  std::string purchaseDate; // ISO-8601 time of acquisition
};

struct TournamentFrameInventoryItem {
  VelBrakkFrameEntitlementPayload payload;
  std::string purchaseDate; // ISO-8601; the service never reads it
};

// The member names are the inventory type names themselves, hence the upper case.
struct InventoryItemsByType {
  std::vector<TournamentFlagInventoryItem> TOURNAMENT_FLAG;
  std::vector<TournamentFrameInventoryItem> TOURNAMENT_FRAME;
};

struct InventoryResponse {
  InventoryItemsByType items;
};

// One loadout slot as written to the loadouts plugin.
struct LoadoutsSlot {
  int64_t itemId = 0;        // the flag's season number
  std::string inventoryType; // theme, "_", level
};

// One key/value write into the sondar profile.
struct SondarProfileUpdate {
  std::string key;       // always kEquippedBannerFlagKey here
  BindingProperty value; // the service always stores a string
};

// Fixed 32-bit type identities under which the records and their field types are registered.
namespace type_ids {
inline constexpr uint32_t kBannerFlag = 0x795B47DB;
inline constexpr uint32_t kBannerFrame = 0x91637646;
inline constexpr uint32_t kBrakkV2FlagRewardSpec = 0x189CA442;
inline constexpr uint32_t kBrakkV2FrameRewardSpec = 0x855744E5;
inline constexpr uint32_t kVelBrakkFlagEntitlementPayload = 0x8E7D82BB;
inline constexpr uint32_t kVelBrakkFrameEntitlementPayload = 0x5B59E27C;
inline constexpr uint32_t kTournamentFlagInventoryItem = 0x956D4B9B;
inline constexpr uint32_t kTournamentFrameInventoryItem = 0x9860A312;
inline constexpr uint32_t kInventoryItemsByType = 0xB9F4EF34;
inline constexpr uint32_t kInventoryResponse = 0x16AB72E2;
inline constexpr uint32_t kLoadoutsSlot = 0x28D75604;
inline constexpr uint32_t kSondarProfileUpdate = 0x094AC37F;
inline constexpr uint32_t kTournamentFlagInventoryItemList = 0x5367C4E2;
inline constexpr uint32_t kTournamentFrameInventoryItemList = 0x78BBD946;
inline constexpr uint32_t kString = 0x2757680B;
inline constexpr uint32_t kInt64 = 0x7B2B1131;
inline constexpr uint32_t kDynamicValue = 0xAF98C378;
} // namespace type_ids

} // namespace tav::banners

// The identities are part of the contract with the host and other plugins, so they are pinned
// rather than derived from this build's type names. The list pins make the two inventory lists
// carry the same identities in field descriptions on every compiler.
namespace tav {
template <>
struct StaticTypePin<banners::BannerFlag> : PinnedTypeId<banners::type_ids::kBannerFlag> {};
template <>
struct StaticTypePin<banners::BannerFrame> : PinnedTypeId<banners::type_ids::kBannerFrame> {};
template <>
struct StaticTypePin<banners::BrakkV2FlagRewardSpec>
    : PinnedTypeId<banners::type_ids::kBrakkV2FlagRewardSpec> {};
template <>
struct StaticTypePin<banners::BrakkV2FrameRewardSpec>
    : PinnedTypeId<banners::type_ids::kBrakkV2FrameRewardSpec> {};
template <>
struct StaticTypePin<banners::VelBrakkFlagEntitlementPayload>
    : PinnedTypeId<banners::type_ids::kVelBrakkFlagEntitlementPayload> {};
template <>
struct StaticTypePin<banners::VelBrakkFrameEntitlementPayload>
    : PinnedTypeId<banners::type_ids::kVelBrakkFrameEntitlementPayload> {};
template <>
struct StaticTypePin<banners::TournamentFlagInventoryItem>
    : PinnedTypeId<banners::type_ids::kTournamentFlagInventoryItem> {};
template <>
struct StaticTypePin<banners::TournamentFrameInventoryItem>
    : PinnedTypeId<banners::type_ids::kTournamentFrameInventoryItem> {};
template <>
struct StaticTypePin<banners::InventoryItemsByType>
    : PinnedTypeId<banners::type_ids::kInventoryItemsByType> {};
template <>
struct StaticTypePin<banners::InventoryResponse>
    : PinnedTypeId<banners::type_ids::kInventoryResponse> {};
template <>
struct StaticTypePin<banners::LoadoutsSlot> : PinnedTypeId<banners::type_ids::kLoadoutsSlot> {};
template <>
struct StaticTypePin<banners::SondarProfileUpdate>
    : PinnedTypeId<banners::type_ids::kSondarProfileUpdate> {};
template <>
struct StaticTypePin<std::vector<banners::TournamentFlagInventoryItem>>
    : PinnedTypeId<banners::type_ids::kTournamentFlagInventoryItemList> {};
template <>
struct StaticTypePin<std::vector<banners::TournamentFrameInventoryItem>>
    : PinnedTypeId<banners::type_ids::kTournamentFrameInventoryItemList> {};
} // namespace tav
