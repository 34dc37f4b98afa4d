// What a plugin library handle does alike on every platform; opening and closing live in
// plugin_library_posix.cpp and plugin_library_win32.cpp.
#include "host/plugin_library.h"

#include <utility>

namespace tav::host {

std::array<std::string, 2> pluginEntryNames(std::string_view path) {
  std::string_view name = path.substr(path.find_last_of("/\\") + 1);
  name = name.substr(0, name.find('.'));
#if !defined(_WIN32)
  if (name.starts_with("lib")) {
    name.remove_prefix(3);
  }
#endif
  return {std::string(kPluginExportName), "load_" + std::string(name)};
}

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
