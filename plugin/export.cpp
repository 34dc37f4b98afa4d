// load_tav_banners: the one symbol a plugin library exports.
#include "plugin/plugin_entry.h"

extern "C" __attribute__((visibility("default"))) void
load_tav_banners(tav::host::HostHandshake* handshake) {
  tav::loadPlugin(handshake, &tav::createPlugin);
}
