// POSIX replacement of a file: mkstemp, write, fsync, rename, and the folder synced.
#include "host/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tav::host {

bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  const std::filesystem::path target = replacedFile(path);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  auto fail = [&](const std::string& what) {
    if (error != nullptr)
      *error = what + ": " + std::strerror(errno);
    return false;
  };

  const int fd = ::mkstemp(temporary.data());
  if (fd < 0)
    return fail("cannot write " + path);
  // mkstemp makes the file private; a replaced file keeps the mode it had.
  struct stat old {};
  const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  bool written = ::fchmod(fd, mode) == 0;
  for (size_t done = 0; written && done < contents.size();) {
    const ssize_t count = ::write(fd, contents.data() + done, contents.size() - done);
    if (count < 0 && errno == EINTR)
      continue;
    written = count > 0;
    done += written ? static_cast<size_t>(count) : 0;
  }
  written = written && ::fsync(fd) == 0;
  if (!written || ::close(fd) != 0) {
    const int cause = errno;
    if (!written)
      ::close(fd);
    ::unlink(temporary.c_str());
    errno = cause;
    return fail("cannot write " + path);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int cause = errno;
    ::unlink(temporary.c_str());
    errno = cause;
    return fail("cannot replace " + path);
  }
  // The rename itself lives in the folder; without this a crash may still bring back the old
  // name.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0)
    return fail("cannot open the folder of " + path);
  const bool synced = ::fsync(dir) == 0;
  const int cause = errno;
  ::close(dir);
  errno = cause;
  return synced || fail("cannot sync the folder of " + path);
}

} // namespace tav::host
