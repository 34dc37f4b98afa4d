// The plugin's names: the name record built from a short name and a kind, the full-name rule and
// the plugin identifier.
#pragma once

#include <string>
#include <string_view>

namespace tav {

// A kind is a pair of texts; the two known kinds have an empty detail.
struct PluginKind {
  std::string name;
  std::string detail;
};

inline constexpr char kBackendKindName[] = "backend";
inline constexpr char kFrontendKindName[] = "frontend";

inline PluginKind backendKind() {
  return PluginKind{kBackendKindName, {}};
}

struct PluginNameRecord {
  std::string fullName;
  std::string shortName;
  std::string kindName;
  std::string kindDetail;
};

// "vmf-be-" for the kind "backend", "vmf-fe-" for "frontend" (both compared exactly), followed by
// the short name. Any other kind gets "vmf-xx-" and logs one " ERROR" line in group DBG:
// "Plugin Manager| GetFullNameFromShortNameAndType("<short>", "<kind>") called with an unknown
// type".
std::string GetFullNameFromShortNameAndType(std::string_view shortName, const PluginKind& kind);

PluginNameRecord makePluginNameRecord(std::string_view shortName, const PluginKind& kind);

// The full name as an identifier: "vmf-be-tav-banners" gives "VmfBeTavBanners".
std::string pluginIdentifier(std::string_view fullName);

} // namespace tav
