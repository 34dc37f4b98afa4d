// A plugin library's one export: its signature, and the macro that defines it.
//
//   TAV_PLUGIN_ENTRY(load_tav_example);   // in the library's entry source
//
// tav_plugin_library (plugin/CMakeLists.txt) writes that line for the entry name it is given, and
// the linker's export list names the same entry, so a library exports it and nothing else. The
// entry creates the library's plugin through createPlugin (plugin_entry.h) and registers it with
// the host's handshake.
#pragma once

#include "binding/host_records.h"
#include "plugin/plugin_entry.h"

#include <type_traits>

namespace tav {

// What the host calls once, right after loading the library: C linkage, the default calling
// convention, one pointer to the handshake record, nothing returned.
using PluginEntryFunction = void(host::HostHandshake* handshake);

static_assert(std::is_same_v<PluginEntryFunction*, host::LoadPluginFn>,
              "the entry's signature is the one the host's loader calls");

} // namespace tav

// The export list names the entry too; the attribute keeps the compiler from hiding it when
// everything else is hidden.
#if defined(_WIN32)
#define TAV_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TAV_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// Defines the entry `name`. The static_assert ties the definition to PluginEntryFunction.
#define TAV_PLUGIN_ENTRY(name)                                                                     \
  extern "C" TAV_PLUGIN_EXPORT void name(::tav::host::HostHandshake* handshake) {                  \
    ::tav::loadPlugin(handshake, &::tav::createPlugin);                                            \
  }                                                                                                \
  static_assert(std::is_same_v<decltype(name), ::tav::PluginEntryFunction>,                        \
                "a plugin entry has the signature of tav::PluginEntryFunction")
