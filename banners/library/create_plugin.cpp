// The plugin libtav_banners.so builds: BannersPlugin, "tav-banners", a back-end plugin.
#include "banners/banners_plugin.h"
#include "plugin/plugin_entry.h"

namespace tav {

PluginCreation createPlugin() {
  return PluginCreation{std::make_unique<banners::BannersPlugin>(), banners::kBannersShortName,
                        backendKind()};
}

} // namespace tav
