// The routes of the banners plugin, which tav-host calls, tours and describes by these paths.
#pragma once

namespace tav::tools {

inline constexpr char kFlagsPath[] = "/tav-banners/v1/current-sondar/flags";
inline constexpr char kEquippedPath[] = "/tav-banners/v1/current-sondar/flags/equipped";
inline constexpr char kFramePath[] = "/tav-banners/v1/current-sondar/frames/equipped";
inline constexpr const char* kBannersRoutes[] = {kFlagsPath, kEquippedPath, kFramePath};

} // namespace tav::tools
