// Processes, the executable and the default lockfile on Windows.
#include "tools/host_cli/platform.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdlib>

namespace tav::tools {

void prepareProcess() {}

long currentProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

bool isRunningTavHost(long pid) {
  // The system's list of processes names every user's, where opening another user's process to
  // ask for its name would be refused.
  const HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (pid <= 0 || processes == INVALID_HANDLE_VALUE) {
    if (processes != INVALID_HANDLE_VALUE) {
      CloseHandle(processes);
    }
    return false;
  }
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (bool more = Process32First(processes, &entry); more && !found;
       more = Process32Next(processes, &entry)) {
    found = entry.th32ProcessID == static_cast<DWORD>(pid) &&
            lstrcmpiA(entry.szExeFile, "tav-host.exe") == 0;
  }
  CloseHandle(processes);
  return found;
}

std::optional<std::string> executablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return std::nullopt;
    }
    // A path that does not fit is cut short: ask again with more room.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string defaultLockfilePath() {
  if (const char* local = std::getenv("LOCALAPPDATA"); local != nullptr && *local) {
    return std::string(local) + "\\tav-host.lock";
  }
  char temporary[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof temporary, temporary);
  return std::string(temporary, length > MAX_PATH ? 0 : length) + "tav-host.lock";
}

} // namespace tav::tools
