// Creating and registering the library's plugin for the host.
#include "plugin/plugin_entry.h"

#include "foundation/log.h"

#include <exception>

namespace tav {
namespace {

void clearHandshake(host::HostHandshake& handshake) {
  handshake.callbacks = nullptr;
  handshake.pluginContext = nullptr;
  handshake.fullName = nullptr;
  handshake.functionTable = nullptr;
}

} // namespace

void loadPlugin(host::HostHandshake* handshake, PluginCreation (*create)()) noexcept {
  if (handshake == nullptr || create == nullptr) {
    return;
  }
  try {
    PluginCreation creation = create();
    if (!creation.plugin) {
      clearHandshake(*handshake);
      return;
    }
    creation.plugin->registerWithHost(*handshake, creation.shortName, creation.kind);
    // From here the host holds the plugin through its context; the stop callback deletes it.
    static_cast<void>(creation.plugin.release());
  } catch (const std::exception& failure) {
    clearHandshake(*handshake);
    logMessage(LogLevel::Error, kLogGroupDbg, "Plugin Manager| Plugin registration failed: %s",
               failure.what());
  } catch (...) {
    clearHandshake(*handshake);
    logMessage(LogLevel::Error, kLogGroupDbg, "Plugin Manager| Plugin registration failed");
  }
}

} // namespace tav
