// What a plugin library handle does alike on every platform; opening and closing live in
// plugin_library_posix.cpp and plugin_library_win32.cpp.
#include "host/plugin_library.h"

#include <utility>

namespace tav::host {

PluginLibrary::PluginLibrary(PluginLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), entry_(std::exchange(other.entry_, nullptr)) {
}

PluginLibrary& PluginLibrary::operator=(PluginLibrary&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
    entry_ = std::exchange(other.entry_, nullptr);
  }
  return *this;
}

PluginLibrary::~PluginLibrary() {
  close();
}

} // namespace tav::host
