// Credentials and the lockfile of `tav-host serve`.
#include "tools/host_cli/lockfile.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

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

// The pid written in the lockfile open as file, or 0 when it holds none.
long lockfileOwner(SystemFile& file) {
  char head[64] = {};
  const std::ptrdiff_t count = file.read(head, sizeof head - 1);
  const std::string_view line(head, count > 0 ? static_cast<size_t>(count) : 0);
  const std::string prefix = std::string(kLockName) + ":";
  if (line.rfind(prefix, 0) != 0) {
    return 0;
  }
  return std::atol(head + prefix.size());
}

// Waits for the lock on the folder in short slices, in which a stop request is taken, up to the
// claim's wait.
bool takeFolderLock(FolderLock& lock, const StopRequest& stop, const std::string& path,
                    std::string* error) {
  const auto deadline = std::chrono::steady_clock::now() + Lockfile::kFolderLockWait;
  bool told = false;
  std::string reason;
  for (LockAttempt attempt; (attempt = lock.tryTake(&reason)) != LockAttempt::Taken;) {
    if (attempt == LockAttempt::Failed) {
      *error = "cannot lock the folder of " + path + ": " + reason;
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
    if (stop.arrivedWithin(std::chrono::milliseconds(50))) {
      *error = "stopped while waiting for the lock on the folder of " + path;
      return false;
    }
  }
  return true;
}

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

std::optional<Lockfile> Lockfile::claim(const std::string& path, const StopRequest& stop,
                                        std::string* error) {
  std::optional<SafeFolder> folder = SafeFolder::of(path, error);
  if (!folder) {
    return std::nullopt;
  }
  FolderLock lock(*folder);
  if (!takeFolderLock(lock, stop, path, error)) {
    return std::nullopt;
  }
  const std::string& name = folder->name();
  const long self = currentProcessId();
  const std::string claim = std::string(kLockName) + ":" + std::to_string(self) + "\n";
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Made for the user alone, so the password written into it later is never readable by
    // others.
    OpenFailure failure = OpenFailure::Other;
    std::optional<SystemFile> file = folder->open(name, OpenMode::CreateNew, error, &failure);
    if (file) {
      std::string reason;
      std::optional<FileStamp> stamp;
      if (file->write(claim, &reason)) {
        stamp = file->stamp(&reason);
      }
      file.reset();
      if (!stamp) {
        *error = "cannot write " + path + ": " + reason;
        folder->remove(name);
        return std::nullopt;
      }
      // Whoever wrote the lockfile before has ended: what its writes left behind is stale.
      folder->removeStaleTemporaries(name);
      Lockfile claimed(std::move(*folder));
      claimed.written_ = stamp;
      return claimed;
    }
    if (failure != OpenFailure::Exists) {
      return std::nullopt;
    }
    // What is there is looked at only when it is a regular file of the user's, never a link.
    std::optional<SystemFile> existing = folder->open(name, OpenMode::Read, error);
    if (!existing) {
      *error += "; remove it or choose another --lockfile";
      return std::nullopt;
    }
    const long owner = lockfileOwner(*existing);
    existing.reset();
    if (owner != self && isRunningTavHost(owner)) {
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
  if (folder_.native() == SystemFile::kNone || !written_) {
    return;
  }
  const std::optional<EntryStatus> current = folder_.status(folder_.name());
  if (current && current->regular && current->stamp.sameFile(*written_)) {
    folder_.remove(folder_.name());
  }
}

bool Lockfile::write(int port, const std::string& password, std::string* error) {
  const std::string line = std::string(kLockName) + ":" + std::to_string(currentProcessId()) + ":" +
                           std::to_string(port) + ":" + password + ":http\n";
  FileStamp stamp;
  if (!folder_.replace(folder_.name(), line, nullptr, &stamp, error)) {
    return false;
  }
  written_ = stamp;
  return true;
}

} // namespace tav::tools
