// BannersPlugin: the banners service of the current sondar, on the framework's Plugin.
//
//   GET /tav-banners/v1/current-sondar/flags           the owned flags, newest season first
//   GET /tav-banners/v1/current-sondar/flags/equipped  the profile's flag, or the default flag
//   PUT /tav-banners/v1/current-sondar/flags/equipped  equips the body argument "flag"
//   GET /tav-banners/v1/current-sondar/frames/equipped the highest frame of the current season
//
// The plugin keeps no copy of the inventory or the profile: every call asks their plugins afresh.
// Its only state is the two configuration switches, which configuration events write while
// route handlers read them on other host threads; both are atomics, and each call reads each of
// them once, so a change arriving during a call takes effect from the next call.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "banners/banner_records.h"
#include "banners/configuration_values.h"
#include "banners/owned_items.h"
#include "banners/source_result.h"
#include "plugin/handler_response.h"
#include "plugin/plugin.h"

namespace tav::banners {

inline constexpr char kBannersShortName[] = "tav-banners";

inline constexpr std::string_view kOwnedFlagsUri = "/tav-banners/v1/current-sondar/flags";
inline constexpr std::string_view kEquippedFlagUri =
    "/tav-banners/v1/current-sondar/flags/equipped";
inline constexpr std::string_view kEquippedFrameUri =
    "/tav-banners/v1/current-sondar/frames/equipped";
// The body argument of the equip route.
inline constexpr std::string_view kFlagArgument = "flag";

inline constexpr std::string_view kNoBannerFlagsMessage = "Current sondar has no banner flags.";
inline constexpr std::string_view kNoDefaultFlagMessage =
    "Banner flag not found for current sondar";
inline constexpr std::string_view kEquipDisabledMessage = "Banner equipping is not enabled.";
inline constexpr std::string_view kNotOwnedFlagMessage =
    "Attempted to equip banner flag that sondar does not own.";
inline constexpr std::string_view kNoBannerFrameMessage =
    "Banner frame not found for current sondar";
inline constexpr std::string_view kShowingDefaultFlagLine =
    "Banner equipping is not enabled; showing the default equipped banner.";

// Status of an equip request while equipping is disabled.
inline constexpr uint32_t kServiceUnavailableStatus = 503;
// Status of an equip request for a flag the sondar does not own.
inline constexpr uint32_t kBadRequestStatus = 400;
// Frame level answered when the sondar has no frame of the current season.
inline constexpr std::string_view kDefaultFrameLevel = "1";

class BannersPlugin : public Plugin {
public:
  BannersPlugin();
  ~BannersPlugin() override;

  // Registers the banner records, then the four routes in the order above.
  void onRegistered() override;
  // Follows the two configuration values, each first fetched and then updated by its events.
  bool onStarted() override;

  bool equipEnabled() const { return equipEnabled_.load(); }
  int32_t currentSeason() const { return currentSeason_.load(); }

  // The route handlers, one per route above.
  HandlerResponse<std::vector<BannerFlag>> getOwnedFlags();
  HandlerResponse<BannerFlag> getEquippedFlag();
  HandlerResponse<BannerFlag> putEquippedFlag(const BannerFlag& flag);
  HandlerResponse<BannerFrame> getEquippedFrame();

private:
  // The sondar's valid flags in the order of SortOwnedFlags, or GetInventory's error.
  SourceResult<std::vector<OwnedFlag>> ListOwnedFlags();
  // Announces the newly equipped flag; a flag that does not convert is not announced.
  void publishEquippedFlag(const BannerFlag& flag);

  std::atomic<bool> equipEnabled_{false};
  std::atomic<int32_t> currentSeason_{kNoSeason};
};

} // namespace tav::banners
