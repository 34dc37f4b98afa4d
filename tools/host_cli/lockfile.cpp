// Credentials and the lockfile of `tav-host serve`.
#include "tools/host_cli/lockfile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
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

// The pid written in the lockfile open as fd, or 0 when it holds none.
pid_t lockfileOwner(int fd) {
  char head[64] = {};
  const ssize_t count = ::read(fd, head, sizeof head - 1);
  const std::string_view line(head, count > 0 ? static_cast<size_t>(count) : 0);
  const std::string prefix = std::string(kLockName) + ":";
  if (line.rfind(prefix, 0) != 0) {
    return 0;
  }
  return static_cast<pid_t>(std::atol(head + prefix.size()));
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

// An exclusive lock on a folder, held while it lives, on an open file description of its own so
// that it ends with it.
class FolderLock {
public:
  explicit FolderLock(int folder)
      : fd_(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~FolderLock() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Waits for the lock in short slices, in which a stop signal is taken, up to the claim's wait.
  bool take(const sigset_t& stopSignals, const std::string& path, std::string* error) {
    const auto deadline = std::chrono::steady_clock::now() + Lockfile::kFolderLockWait;
    bool told = false;
    while (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (fd_ < 0 || (errno != EWOULDBLOCK && errno != EINTR)) {
        *error = "cannot lock the folder of " + path + ": " + std::strerror(errno);
        return false;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        *error = "another process has held the lock on the folder of " + path + " for " +
                 std::to_string(Lockfile::kFolderLockWait.count()) +
                 " s; stop it or choose another --lockfile";
        return false;
      }
      if (!told) {
        std::fprintf(stderr, "tav-host: waiting for another process's lock on the folder of %s\n",
                     path.c_str());
        told = true;
      }
      const timespec slice{0, 50 * 1000 * 1000};
      if (::sigtimedwait(&stopSignals, nullptr, &slice) > 0) {
        *error = "stopped while waiting for the lock on the folder of " + path;
        return false;
      }
    }
    return true;
  }

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

std::optional<Lockfile> Lockfile::claim(const std::string& path, const sigset_t& stopSignals,
                                        std::string* error) {
  std::optional<SafeFolder> folder = SafeFolder::of(path, error);
  if (!folder) {
    return std::nullopt;
  }
  FolderLock lock(folder->fd());
  if (!lock.take(stopSignals, path, error)) {
    return std::nullopt;
  }
  const std::string& name = folder->name();
  const std::string claim = std::string(kLockName) + ":" + std::to_string(::getpid()) + "\n";
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Created with mode 0600, so the password written into it later is never readable by others.
    const int fd = folder->open(name, O_WRONLY | O_CREAT | O_EXCL, 0600, error);
    if (fd >= 0) {
      struct stat status {};
      const bool written =
          ::write(fd, claim.data(), claim.size()) == static_cast<ssize_t>(claim.size()) &&
          ::fstat(fd, &status) == 0;
      const int cause = errno;
      ::close(fd);
      if (!written) {
        *error = "cannot write " + path + ": " + std::strerror(cause);
        folder->remove(name);
        return std::nullopt;
      }
      // Whoever wrote the lockfile before has ended: what its writes left behind is stale.
      folder->removeStaleTemporaries(name);
      Lockfile claimed(std::move(*folder));
      claimed.written_ = host::FileStamp::of(status);
      return claimed;
    }
    if (errno != EEXIST) {
      return std::nullopt;
    }
    // What is there is looked at only when it is a regular file of the user's, never a link.
    const int existing = folder->open(name, O_RDONLY, 0, error);
    if (existing < 0) {
      *error += "; remove it or choose another --lockfile";
      return std::nullopt;
    }
    const pid_t owner = lockfileOwner(existing);
    ::close(existing);
    if (owner != ::getpid() && isRunningTavHost(owner)) {
      *error = path + " belongs to tav-host process " + std::to_string(owner) +
               ", which is still running; stop it or choose another --lockfile";
      return std::nullopt;
    }
    // Left by a process that has ended, or naming one that is no tav-host: stale. Nobody else
    // can have put another file in its place, as the folder lets no one else do so.
    folder->remove(name);
  }
  *error = "cannot claim " + path;
  return std::nullopt;
}

Lockfile::~Lockfile() {
  if (folder_.fd() < 0 || !written_) {
    return;
  }
  const std::optional<struct stat> current = folder_.status(folder_.name());
  const std::optional<host::FileStamp> now =
      current ? std::optional<host::FileStamp>(host::FileStamp::of(*current)) : std::nullopt;
  if (now && now->device == written_->device && now->inode == written_->inode) {
    folder_.remove(folder_.name());
  }
}

bool Lockfile::write(int port, const std::string& password, std::string* error) {
  const std::string line = std::string(kLockName) + ":" + std::to_string(::getpid()) + ":" +
                           std::to_string(port) + ":" + password + ":http\n";
  host::FileStamp stamp;
  if (!folder_.replace(folder_.name(), line, 0600, &stamp, error)) {
    return false;
  }
  written_ = stamp;
  return true;
}

} // namespace tav::tools
