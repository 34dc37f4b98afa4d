// Locking a data file against other tav-hosts, and cleaning up after killed saves.
#include "tools/host_cli/data_file_lock.h"

#include "host/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tav::tools {
namespace {

// mkstemp's XXXXXX: six letters or digits.
bool isTemporaryOf(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) {
      return false;
    }
  }
  return true;
}

} // namespace

std::optional<DataFileLock> DataFileLock::acquire(const std::string& dataFile, std::string* error) {
  std::error_code failed;
  // Every name of the file, links included, must meet at one lock.
  std::filesystem::path target = std::filesystem::canonical(dataFile, failed);
  if (failed) {
    target = std::filesystem::absolute(dataFile);
  }
  std::string lockPath = target.string() + ".lock";
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    lockPath = target.string();
    fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    *error = "cannot lock " + dataFile + ": cannot open " + lockPath + ": " + std::strerror(errno);
    return std::nullopt;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    ::close(fd);
    *error = cause == EWOULDBLOCK
                 ? dataFile + " is in use by another tav-host (it holds the lock on " + lockPath +
                       "); stop it, or use another data file"
                 : "cannot lock " + lockPath + ": " + std::strerror(cause);
    return std::nullopt;
  }
  return DataFileLock(fd, std::move(lockPath));
}

DataFileLock::DataFileLock(DataFileLock&& other) noexcept
    : fd_(other.fd_), lockPath_(std::move(other.lockPath_)) {
  other.fd_ = -1;
}

DataFileLock& DataFileLock::operator=(DataFileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = other.fd_;
    lockPath_ = std::move(other.lockPath_);
    other.fd_ = -1;
  }
  return *this;
}

DataFileLock::~DataFileLock() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void removeStaleTemporaries(const std::string& file) {
  std::error_code failed;
  // Where saving the file puts its temporaries.
  const std::filesystem::path target = host::replacedFile(file);
  const std::string prefix = "." + target.filename().string() + ".";
  const std::filesystem::path folder = target.parent_path();
  std::filesystem::directory_iterator entry(folder, failed);
  for (; !failed && entry != std::filesystem::directory_iterator(); entry.increment(failed)) {
    std::error_code ignored;
    if (entry->is_regular_file(ignored) &&
        isTemporaryOf(entry->path().filename().string(), prefix)) {
      std::filesystem::remove(entry->path(), ignored);
    }
  }
}

} // namespace tav::tools
