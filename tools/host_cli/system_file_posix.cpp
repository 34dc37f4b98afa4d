// Files as descriptors.
#include "tools/host_cli/system_file.h"

#include "host/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tav::tools {

void SystemFile::close() {
  if (native_ >= 0) {
    ::close(static_cast<int>(native_));
  }
  native_ = kNone;
}

std::optional<SystemFile> SystemFile::openToRead(const std::string& path, std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return std::nullopt;
  }
  return SystemFile(fd);
}

std::ptrdiff_t SystemFile::read(char* data, size_t size) {
  return ::read(static_cast<int>(native_), data, size);
}

bool SystemFile::readAll(std::string& text, std::string* reason) {
  char chunk[65536];
  for (;;) {
    const ssize_t count = ::read(static_cast<int>(native_), chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      if (count < 0) {
        *reason = std::strerror(errno);
      }
      return count == 0;
    }
    text.append(chunk, static_cast<size_t>(count));
  }
}

bool SystemFile::write(std::string_view text, std::string* reason) {
  if (::write(static_cast<int>(native_), text.data(), text.size()) ==
      static_cast<ssize_t>(text.size())) {
    return true;
  }
  *reason = std::strerror(errno);
  return false;
}

std::optional<FileStamp> SystemFile::stamp(std::string* reason) const {
  struct stat status {};
  if (::fstat(static_cast<int>(native_), &status) != 0) {
    *reason = std::strerror(errno);
    return std::nullopt;
  }
  const host::FileStamp found = host::FileStamp::of(status);
  return FileStamp{found.device, found.inode, found.size, found.modifiedNs, found.changedNs};
}

LockAttempt SystemFile::tryLock(std::string* reason) {
  if (::flock(static_cast<int>(native_), LOCK_EX | LOCK_NB) == 0) {
    return LockAttempt::Taken;
  }
  if (errno == EWOULDBLOCK) {
    return LockAttempt::Busy;
  }
  *reason = std::strerror(errno);
  return LockAttempt::Failed;
}

} // namespace tav::tools
