// load_tav_banners: the one symbol a plugin library exports.
#include "plugin/plugin_entry.h"

// The linker's export list (exports.def, exports.map) names it too; the attribute keeps the
// compiler from hiding it.
#if defined(_WIN32)
#define TAV_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TAV_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TAV_PLUGIN_EXPORT void load_tav_banners(tav::host::HostHandshake* handshake) {
  tav::loadPlugin(handshake, &tav::createPlugin);
}
