// Credentials and the lockfile of `tav-host serve`.
#include "tools/host_cli/lockfile.h"

#include "host/atomic_file.h"
#include "tools/host_cli/data_file_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>
#include <system_error>

namespace tav::tools {
namespace {

constexpr char kLockName[] = "tav-host";

std::string base64(std::string_view bytes, const char* alphabet, bool pad) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (unsigned char byte : bytes) {
    bits = (bits << 8) | byte;
    count += 8;
    while (count >= 6) {
      count -= 6;
      out.push_back(alphabet[(bits >> count) & 0x3F]);
    }
  }
  if (count > 0) {
    out.push_back(alphabet[(bits << (6 - count)) & 0x3F]);
  }
  while (pad && out.size() % 4 != 0) {
    out.push_back('=');
  }
  return out;
}

// The pid written in the lockfile at path, or 0 when it holds none.
pid_t lockfileOwner(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  if (!file || !std::getline(file, line) || line.rfind(std::string(kLockName) + ":", 0) != 0) {
    return 0;
  }
  return static_cast<pid_t>(std::atol(line.c_str() + std::strlen(kLockName) + 1));
}

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

// Holds an exclusive lock on a folder while it lives.
class FolderLock {
public:
  explicit FolderLock(const std::filesystem::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return fd_ >= 0; }

private:
  int fd_;
};

} // namespace

std::string randomPassword() {
  std::random_device source; // getrandom on Linux
  std::string bytes;
  for (int i = 0; i < 18; ++i) {
    bytes.push_back(static_cast<char>(source() & 0xFF));
  }
  return base64(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", false);
}

std::string basicAuthorization(std::string_view user, std::string_view password) {
  const std::string pair = std::string(user) + ":" + std::string(password);
  return "Basic " +
         base64(pair, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", true);
}

bool sameSecret(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) {
    return false;
  }
  unsigned char difference = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    difference |= static_cast<unsigned char>(left[i] ^ right[i]);
  }
  return difference == 0;
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

bool isRunningTavHost(long pid) {
  const bool running = pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
  return running && executableName(pid) == kLockName;
}

bool claimLockfile(const std::string& path, std::string* error) {
  const std::filesystem::path target = host::replacedFile(path);
  const std::filesystem::path folder = target.parent_path();
  FolderLock lock(folder);
  if (!lock.held()) {
    *error = "cannot write a lockfile in " + folder.string() + ": " + std::strerror(errno);
    return false;
  }
  const std::string claim = std::string(kLockName) + ":" + std::to_string(::getpid()) + "\n";
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Created with mode 0600, so the password written into it later is never readable by others.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      const bool written =
          ::write(fd, claim.data(), claim.size()) == static_cast<ssize_t>(claim.size());
      ::close(fd);
      if (!written) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(target.c_str());
        return false;
      }
      // Whoever wrote the lockfile before has ended: what its writes left behind is stale.
      removeStaleTemporaries(target.string());
      return true;
    }
    if (errno != EEXIST) {
      *error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    const pid_t owner = lockfileOwner(target.string());
    if (owner != ::getpid() && isRunningTavHost(owner)) {
      *error = path + " belongs to tav-host process " + std::to_string(owner) +
               ", which is still running; stop it or choose another --lockfile";
      return false;
    }
    // Left by a process that has ended, or naming one that is no tav-host: stale.
    ::unlink(target.c_str());
  }
  *error = "cannot claim " + path;
  return false;
}

bool writeLockfile(const std::string& path, int port, const std::string& password,
                   std::string* error) {
  const std::string line = std::string(kLockName) + ":" + std::to_string(::getpid()) + ":" +
                           std::to_string(port) + ":" + password + ":http\n";
  return host::replaceFileAtomically(path, line, error);
}

void removeLockfile(const std::string& path) {
  const std::filesystem::path target = host::replacedFile(path);
  if (lockfileOwner(target.string()) == ::getpid()) {
    ::unlink(target.c_str());
  }
}

} // namespace tav::tools
