// Reading, locking and saving a data file through its folder's descriptor.
#include "tools/host_cli/data_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tav::tools {
namespace {

// Where the file open as fd lives, as the kernel reached it.
std::string locationOf(int fd, const std::string& path) {
  std::error_code failed;
  std::filesystem::path real =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), failed);
  if (failed) {
    real = std::filesystem::canonical(path, failed);
  }
  return failed ? path : real.string();
}

bool readAll(int fd, std::string& text) {
  char chunk[65536];
  for (;;) {
    const ssize_t count = ::read(fd, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return count == 0;
    }
    text.append(chunk, static_cast<size_t>(count));
  }
}

} // namespace

std::optional<DataFile> DataFile::open(const std::string& path, std::string* error) {
  // The one time the path is resolved: the kernel follows the user's links under its own rules.
  const int first = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (first < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat opened {};
  const bool regular = ::fstat(first, &opened) == 0 && S_ISREG(opened.st_mode);
  const std::string location = locationOf(first, path);
  ::close(first);
  if (!regular) {
    *error = path + " is not a regular file";
    return std::nullopt;
  }
  std::optional<SafeFolder> folder = SafeFolder::of(location, error, path);
  if (!folder) {
    return std::nullopt;
  }
  DataFile file(std::move(*folder), path);
  const std::string& name = file.folder_.name();
  const std::optional<struct stat> entry = file.folder_.status(name);
  if (!entry || entry->st_dev != opened.st_dev || entry->st_ino != opened.st_ino) {
    *error = path + " was moved while tav-host opened it";
    return std::nullopt;
  }

  std::string lockName = name + ".lock";
  file.lockFd_ = file.folder_.open(lockName, O_RDWR | O_CREAT, 0600, error);
  if (file.lockFd_ < 0 && (errno == EACCES || errno == EROFS)) {
    lockName = name;
    file.lockFd_ = file.folder_.open(lockName, O_RDONLY, 0, error);
  }
  if (file.lockFd_ < 0) {
    *error = "cannot lock " + path + ": " + *error;
    return std::nullopt;
  }
  if (::flock(file.lockFd_, LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    const std::string lockPath =
        (std::filesystem::path(location).parent_path() / lockName).string();
    *error = cause == EWOULDBLOCK ? path + " is in use by another tav-host (it holds the lock on " +
                                        lockPath + "); stop it, or use another data file"
                                  : "cannot lock " + lockPath + ": " + std::strerror(cause);
    return std::nullopt;
  }

  // Read only now, so that what is read is what the last writer left.
  file.folder_.removeStaleTemporaries(name);
  const int fd = file.folder_.open(name, O_RDONLY, 0, error);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat status {};
  const bool read = readAll(fd, file.text_) && ::fstat(fd, &status) == 0;
  const int cause = errno;
  ::close(fd);
  if (!read) {
    *error = "cannot read " + path + ": " + std::strerror(cause);
    return std::nullopt;
  }
  file.stamp_ = host::FileStamp::of(status);
  return file;
}

DataFile::DataFile(DataFile&& other) noexcept
    : folder_(std::move(other.folder_)), path_(std::move(other.path_)),
      lockFd_(std::exchange(other.lockFd_, -1)), text_(std::move(other.text_)),
      stamp_(other.stamp_) {}

DataFile::~DataFile() {
  if (lockFd_ >= 0) {
    ::close(lockFd_);
  }
}

bool DataFile::save(std::string_view text, std::string* error) {
  const std::string& name = folder_.name();
  const std::optional<struct stat> current = folder_.status(name);
  if (!current || !S_ISREG(current->st_mode) || host::FileStamp::of(*current) != stamp_) {
    *error = path_ +
             " was changed on disk since tav-host read it (replaced, edited or removed by "
             "another program); it is left as it is and the change is not saved. Start tav-host "
             "again to use the file as it is now";
    return false;
  }
  return folder_.replace(name, text, current->st_mode & 07777, &stamp_, error);
}

} // namespace tav::tools
