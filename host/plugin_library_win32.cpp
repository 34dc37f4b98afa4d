// LoadLibraryA, GetProcAddress and FreeLibrary of a plugin library.
#include "host/plugin_library.h"

#include <windows.h>

namespace tav::host {
namespace {

std::string lastErrorText(const std::string& what) {
  const DWORD code = GetLastError();
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
    text[--length] = '\0';
  return what + ": " + (length > 0 ? std::string(text, length) : "error " + std::to_string(code));
}

} // namespace

std::string pluginFileName(std::string_view name) {
  return std::string(name) + ".dll";
}

std::optional<PluginLibrary> PluginLibrary::open(const std::string& path, bool keepMapped,
                                                 std::string& error) {
  // No message box for a library that cannot be loaded: the host reports it.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryA(path.c_str());
  SetErrorMode(previousMode);
  if (module == nullptr) {
    error = lastErrorText("cannot load " + path);
    return std::nullopt;
  }
  FARPROC symbol = GetProcAddress(module, kPluginExportName);
  if (symbol == nullptr) {
    error = lastErrorText(path + " has no " + kPluginExportName);
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
