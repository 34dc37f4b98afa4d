// The plugin libtav_banners.so builds: "tav-banners", a back-end plugin.
#include "plugin/plugin_entry.h"

namespace tav {

// Until the banners service has its own plugin class the library carries the framework's plugin,
// which registers the framework's types and events and serves no routes.
PluginCreation createPlugin() {
  return PluginCreation{std::make_unique<Plugin>(), "tav-banners", backendKind()};
}

} // namespace tav
