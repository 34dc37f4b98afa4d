// GetProfileFlag and WriteProfileFlag: the equipped flag as the sondar profile stores it.
//
// The profile keeps the flag under "equippedBannerFlag" as a string of compact JSON,
// {"level":"2","seasonId":"5","theme":"T"}: numbers as text and no acquisition time, since the
// time is always taken from the inventory.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "banners/banner_records.h"
#include "banners/owned_items.h"
#include "banners/source_result.h"

namespace tav {
class OutgoingRequests;
}

namespace tav::banners {

inline constexpr std::string_view kSondarProfileUrl =
    "/tav-sondar/v1/current-sondar/sondar-profile";

inline constexpr std::string_view kUnownedProfileBannerMessage =
    "Sondar profile contains banner that sondar does not own.";
inline constexpr std::string_view kUnexpectedProfileTypeTemplate =
    "Unexpected equippedBannerFlag sondar profile type: %1";

// Reads the profile (GET kSondarProfileUrl) and finds its equipped flag among owned, comparing
// theme, level and seasonId in list order. Answers:
//  - the owned entry (with the owned acquisition time, not the profile's) when it is owned;
//  - nothing when the profile holds no flag (member absent or null, or the profile not an
//    object), or when the flag is not owned (logged at level 1, group DBG);
//  - an error: the request's own message (not logged); the reading or conversion message of an
//    unreadable flag text, logged as "Sondar profile contains bad banner json: <message>"; or
//    kUnexpectedProfileTypeTemplate with the kind name when the member is neither null nor a
//    string (not logged).
SourceResult<std::optional<OwnedFlag>> GetProfileFlag(const OutgoingRequests& requests,
                                                      const std::vector<OwnedFlag>& owned);

// The compact JSON text stored for flag: level, seasonId and theme as strings, in that order.
std::string ProfileFlagText(const BannerFlag& flag);

// Stores flag in the profile: POST kSondarProfileUrl with the SondarProfileUpdate
// {key "equippedBannerFlag", value ProfileFlagText(flag)}. A failed request answers its message.
SourceResult<void> WriteProfileFlag(const OutgoingRequests& requests, const BannerFlag& flag);

} // namespace tav::banners
