// Text form and compatibility rule of plugin interface versions.
#include "plugin/plugin_version.h"

#include "foundation/message_format.h"

namespace tav {

std::string PluginVersion::text() const {
  std::string out = formatMessage("%1.%2.%3", major, minor, patch);
  if (!preRelease.empty()) {
    out.append("-").append(preRelease);
  }
  if (!build.empty()) {
    out.append("+").append(build);
  }
  return out;
}

bool isHostVersionCompatible(const PluginVersion& host, const PluginVersion& plugin) {
  if (host.major != plugin.major) {
    return false;
  }
  return host.minor > plugin.minor || (host.minor == plugin.minor && host.patch >= plugin.patch);
}

} // namespace tav
