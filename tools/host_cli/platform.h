// What tav-host asks of the system beyond its files and sockets: how its process starts, process
// ids and names, its own path and where its lockfile goes by default; platform_posix.cpp and
// platform_win32.cpp.
#pragma once

#include <optional>
#include <string>

namespace tav::tools {

// Made once at the start of main. On POSIX a file grown past the process's size limit is then a
// failed write to report, not a reason to die (SIGXFSZ ignored).
void prepareProcess();

long currentProcessId();

// Whether the process pid is running and is a tav-host.
bool isRunningTavHost(long pid);

// The running executable's full path, when the system tells it.
std::optional<std::string> executablePath();

// POSIX: $XDG_RUNTIME_DIR/tav-host.lock, else $HOME/.tav-host.lock, else
// /tmp/tav-host-<uid>.lock. Windows: %LOCALAPPDATA%\tav-host.lock, else the user's temporary
// folder's tav-host.lock.
std::string defaultLockfilePath();

} // namespace tav::tools
