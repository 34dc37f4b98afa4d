// PluginVersion: the plugin interface version that host and plugin exchange in the handshake.
#pragma once

#include <cstdint>
#include <string>

namespace tav {

struct PluginVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t patch = 0;
  std::string preRelease;
  std::string build;

  // "18.0.0", then "-" and the pre-release text when there is one, then "+" and the build text
  // when there is one.
  std::string text() const;
};

// The interface version this framework speaks.
inline constexpr uint32_t kPluginApiMajor = 18;
inline constexpr uint32_t kPluginApiMinor = 0;
inline constexpr uint32_t kPluginApiPatch = 0;

inline PluginVersion pluginApiVersion() {
  return PluginVersion{kPluginApiMajor, kPluginApiMinor, kPluginApiPatch, {}, {}};
}

// A host may load the plugin when it speaks the same major version and is at least as new: a
// greater minor, or the same minor with a patch at least the plugin's. The texts are not compared.
bool isHostVersionCompatible(const PluginVersion& host, const PluginVersion& plugin);

} // namespace tav
