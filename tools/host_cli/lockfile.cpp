// Credentials and the lockfile of `tav-host serve`.
#include "tools/host_cli/lockfile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

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

bool running(pid_t pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
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

std::string defaultLockfilePath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
    return std::string(runtime) + "/tav-host.lock";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
    return std::string(home) + "/.tav-host.lock";
  }
  return "/tmp/tav-host-" + std::to_string(::getuid()) + ".lock";
}

bool writeLockfile(const std::string& path, int port, const std::string& password,
                   std::string* error) {
  const pid_t owner = lockfileOwner(path);
  if (owner != 0 && owner != ::getpid() && running(owner)) {
    *error = path + " belongs to tav-host process " + std::to_string(owner) +
             ", which is still running; stop it or choose another --lockfile";
    return false;
  }
  const std::filesystem::path target(path);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  // mkstemp creates the file with mode 0600, so the password is never readable by others.
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    *error = "cannot write a lockfile in " + folder.string() + ": " + std::strerror(errno);
    return false;
  }
  const std::string line = std::string(kLockName) + ":" + std::to_string(::getpid()) + ":" +
                           std::to_string(port) + ":" + password + ":http\n";
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                       ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

void removeLockfile(const std::string& path) {
  if (lockfileOwner(path) == ::getpid()) {
    ::unlink(path.c_str());
  }
}

} // namespace tav::tools
