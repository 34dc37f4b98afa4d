// dlopen, dlsym and dlclose of a plugin library.
#include "host/plugin_library.h"

#include <dlfcn.h>

namespace tav::host {

std::string pluginFileName(std::string_view name) {
  return "lib" + std::string(name) + ".so";
}

std::optional<PluginLibrary> PluginLibrary::open(const std::string& path, bool keepMapped,
                                                 std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
  if (handle == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "dlopen failed for " + path;
    return std::nullopt;
  }
  const std::array<std::string, 2> names = pluginEntryNames(path);
  void* symbol = nullptr;
  for (const std::string& name : names) {
    dlerror();
    symbol = dlsym(handle, name.c_str());
    if (symbol != nullptr) {
      break;
    }
  }
  if (symbol == nullptr) {
    error = path + " has neither " + names[0] + " nor " + names[1];
    dlclose(handle);
    return std::nullopt;
  }
  return PluginLibrary(handle, reinterpret_cast<LoadPluginFn>(symbol));
}

void PluginLibrary::close() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
    entry_ = nullptr;
  }
}

} // namespace tav::host
