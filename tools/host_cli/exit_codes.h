// The exit codes of tav-host, the same for every command; --help and the README list them.
#pragma once

namespace tav::tools {

enum class ExitCode : int {
  Ok = 0,
  Usage = 2,        // the command line was refused (CLI11 prints why)
  ErrorAnswer = 3,  // the call was answered with an error; it is on standard error
  PluginFailed = 4, // the library could not be loaded, or the plugin would not start
  DataFailed = 5,   // the data file could not be read, is in use by another tav-host, or a change
                    // could not be saved to it
  ServeFailed = 6,  // the port could not be bound, or the lockfile could not be claimed or written
};

inline int exitCode(ExitCode code) {
  return static_cast<int>(code);
}

// The table printed at the end of every --help.
inline constexpr char kExitCodesHelp[] =
    "Exit codes:\n"
    "  0  success\n"
    "  2  the command line was refused\n"
    "  3  the call was answered with an error\n"
    "  4  the plugin library could not be loaded or started\n"
    "  5  the data file could not be read, was in use by another tav-host, or could not be saved\n"
    "  6  serve could not bind its port, or claim or write its lockfile\n";

} // namespace tav::tools
