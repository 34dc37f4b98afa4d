// A plugin library opened by the system loader (dlopen, LoadLibrary), and its one export.
#pragma once

#include "binding/host_records.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tav::host {

inline constexpr char kPluginExportName[] = "load_tav_banners";

// The file name the build gives the plugin library of that target name: "libNAME.so", or
// "NAME.dll" on Windows.
std::string pluginFileName(std::string_view name);

// The exports a library at path is searched for, in order: load_tav_banners, which the desktop
// client's host calls, then "load_" and the library's own name ("libtav_example.so" and
// "tav_example.dll" give "load_tav_example"), the entry other plugins of the framework take.
std::array<std::string, 2> pluginEntryNames(std::string_view path);

class PluginLibrary {
public:
  // Opens path with every symbol bound now and kept local to the library, so that two plugins of
  // the same framework never see each other's globals. With keepMapped the library stays mapped
  // after close, as a host that never unloads plugins would keep it: a library that carries its
  // own C++ runtime leaves blocks (the runtime's emergency exception pool among them) that only
  // its data still points to, and a leak checker reports them once that data is unmapped. The
  // entry is the first of pluginEntryNames(path) the library exports. On failure returns nothing
  // and sets error to the loader's message.
  static std::optional<PluginLibrary> open(const std::string& path, bool keepMapped,
                                           std::string& error);

  PluginLibrary(PluginLibrary&& other) noexcept;
  PluginLibrary& operator=(PluginLibrary&& other) noexcept;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  // Closes the library; the plugin must have been stopped first.
  ~PluginLibrary();

  LoadPluginFn entry() const { return entry_; }
  void close();

private:
  PluginLibrary(void* handle, LoadPluginFn entry) : handle_(handle), entry_(entry) {}

  void* handle_ = nullptr;
  LoadPluginFn entry_ = nullptr;
};

} // namespace tav::host
