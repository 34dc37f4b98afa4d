// The two platform-configuration switches of the banners service and how their values read.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "binding/binding_property.h"
#include "plugin/event_client.h"

namespace tav::banners {

inline constexpr std::string_view kEquipEnabledUri =
    "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled";
inline constexpr std::string_view kCurrentSeasonUri =
    "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason";

// Season of a sondar before the configuration has named one.
inline constexpr int32_t kNoSeason = -1;

// Only a boolean true enables equipping; a number, a string ("true" included) or null does not.
bool ReadEquipEnabled(const BindingProperty& value);

// The season as a number, kept to its low 32 bits: a bool gives 0 or 1, integers and enums their
// number, a float its value truncated toward zero (7.9 gives 7; NaN gives 0 and values beyond
// the 64-bit range saturate), a string its leading number in automatic base ("0x10" gives 16,
// unreadable text 0). Empty values, blobs, collections and structures give kNoSeason.
int32_t ReadCurrentSeason(const BindingProperty& value);

// What an event of the configuration value makes of the switch: Create and Update read the
// event's data, Delete resets it, any other event type leaves it (nothing).
std::optional<bool> EquipEnabledAfter(const ResourceEvent<BindingProperty>& event);
std::optional<int32_t> CurrentSeasonAfter(const ResourceEvent<BindingProperty>& event);

} // namespace tav::banners
