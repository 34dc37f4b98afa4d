// LoadLibraryA, GetProcAddress and FreeLibrary of a plugin library.
#include "host/plugin_library.h"

#include "host/windows_support.h"

#include <windows.h>

namespace tav::host {
std::string pluginFileName(std::string_view name) {
  return std::string(name) + ".dll";
}

std::optional<PluginLibrary> PluginLibrary::open(const std::string& path, bool keepMapped,
                                                 std::string& error) {
  // No message box for a library that cannot be loaded: the host reports it. The thread's own
  // mode, so that other threads of the process keep theirs.
  DWORD previousMode = 0;
  const bool modeSet =
      SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != 0;
  HMODULE module = LoadLibraryA(path.c_str());
  if (modeSet) {
    SetThreadErrorMode(previousMode, nullptr);
  }
  if (module == nullptr) {
    error = "cannot load " + path + ": " + lastWindowsErrorText();
    return std::nullopt;
  }
  const std::array<std::string, 2> names = pluginEntryNames(path);
  FARPROC symbol = nullptr;
  for (const std::string& name : names) {
    symbol = GetProcAddress(module, name.c_str());
    if (symbol != nullptr) {
      break;
    }
  }
  if (symbol == nullptr) {
    error = path + " has neither " + names[0] + " nor " + names[1] + ": " + lastWindowsErrorText();
    FreeLibrary(module);
    return std::nullopt;
  }
  if (keepMapped) {
    // Pinned: the module stays loaded until the process ends, whatever FreeLibrary is called.
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(symbol), &pinned);
  }
  return PluginLibrary(reinterpret_cast<void*>(module),
                       reinterpret_cast<LoadPluginFn>(reinterpret_cast<void*>(symbol)));
}

void PluginLibrary::close() {
  if (handle_ != nullptr) {
    FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
    entry_ = nullptr;
  }
}

} // namespace tav::host
