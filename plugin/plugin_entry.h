// The library's entry: what the one export does with the handshake, and the single point where a
// plugin library names its concrete plugin.
#pragma once

#include "binding/host_records.h"
#include "plugin/plugin.h"
#include "plugin/plugin_name.h"

#include <memory>
#include <string>

namespace tav {

// What a plugin library builds when the host loads it.
struct PluginCreation {
  std::unique_ptr<Plugin> plugin;
  std::string shortName;
  PluginKind kind = backendKind();
};

// Builds the library's plugin. Declared here and defined once in each plugin library's own
// source, so that the library chooses its plugin and the shared entry stays the same.
PluginCreation createPlugin();

// The work of the export: creates the plugin and registers it with the handshake, after which the
// host owns it through the callback table (stop destroys it). Nothing is thrown: when creation or
// registration fails the failure is logged, the plugin destroyed and the handshake's callback,
// context, name and function-table words set to null, so the host sees no plugin. A null
// handshake is ignored.
void loadPlugin(host::HostHandshake* handshake, PluginCreation (*create)()) noexcept;

} // namespace tav
