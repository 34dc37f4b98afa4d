// The calling thread's side of the plugin boundary.
#include "host/plugin_side.h"

namespace tav::host {
namespace {

thread_local bool tPluginSide = false;

} // namespace

bool onPluginSide() noexcept {
  return tPluginSide;
}

BoundarySide::BoundarySide(bool pluginSide) noexcept : previous_(tPluginSide) {
  tPluginSide = pluginSide;
}

BoundarySide::~BoundarySide() {
  tPluginSide = previous_;
}

} // namespace tav::host
