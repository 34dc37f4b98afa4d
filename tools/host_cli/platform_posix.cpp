// Processes, the executable and the default lockfile on Linux.
#include "tools/host_cli/platform.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace tav::tools {
namespace {

// The name a process runs from, " (deleted)" removed for a binary replaced since it started.
std::string executableName(long pid) {
  std::error_code failed;
  std::string name = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", failed)
                         .filename()
                         .string();
  if (failed) {
    // Another user's process: its command name is still readable.
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::getline(comm, name);
  }
  constexpr std::string_view kDeleted = " (deleted)";
  if (name.size() > kDeleted.size() &&
      name.compare(name.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    name.resize(name.size() - kDeleted.size());
  }
  return name;
}

} // namespace

void prepareProcess() {
  std::signal(SIGXFSZ, SIG_IGN);
}

long currentProcessId() {
  return ::getpid();
}

bool isRunningTavHost(long pid) {
  const bool running = pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
  return running && executableName(pid) == "tav-host";
}

std::optional<std::string> executablePath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return std::nullopt;
  }
  return self.string();
}

std::string defaultLockfilePath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
    return std::string(runtime) + "/tav-host.lock";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
    return std::string(home) + "/.tav-host.lock";
  }
  return "/tmp/tav-host-" + std::to_string(::getuid()) + ".lock";
}

} // namespace tav::tools
