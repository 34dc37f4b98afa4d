// dlopen, dlsym and dlclose of a plugin library.
#include "host/plugin_library.h"

#include <dlfcn.h>

#include <utility>

namespace tav::host {

std::optional<PluginLibrary> PluginLibrary::open(const std::string& path, bool keepMapped,
                                                 std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
  if (handle == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "dlopen failed for " + path;
    return std::nullopt;
  }
  dlerror();
  void* symbol = dlsym(handle, kPluginExportName);
  if (symbol == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : path + " has no " + kPluginExportName;
    dlclose(handle);
    return std::nullopt;
  }
  return PluginLibrary(handle, reinterpret_cast<LoadPluginFn>(symbol));
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

void PluginLibrary::close() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
    entry_ = nullptr;
  }
}

} // namespace tav::host
