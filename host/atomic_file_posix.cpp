// POSIX replacement of a file: a new file made exclusively beside it, written, synced, renamed
// over it, and the folder synced; all of it through the folder's descriptor.
#include "host/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace tav::host {
namespace {

int64_t nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Six letters or digits, as mkstemp makes them, so that cleaning up after a killed save finds
// the temporaries of either.
std::string randomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::string suffix;
  for (int i = 0; i < 6; ++i) {
    suffix.push_back(kAlphabet[source() % (sizeof kAlphabet - 1)]);
  }
  return suffix;
}

bool writeAll(int fd, std::string_view contents) {
  for (size_t done = 0; done < contents.size();) {
    const ssize_t count = ::write(fd, contents.data() + done, contents.size() - done);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

} // namespace

FileStamp FileStamp::of(const struct stat& status) {
  return FileStamp{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                   static_cast<int64_t>(status.st_size), nanoseconds(status.st_mtim),
                   nanoseconds(status.st_ctim)};
}

bool replaceFileIn(int folder, const std::string& name, std::string_view contents, mode_t mode,
                   const std::string& shownPath, FileStamp* written, std::string* error) {
  auto fail = [&](const std::string& what, int cause) {
    if (error != nullptr)
      *error = what + " " + shownPath + ": " + std::strerror(cause);
    return false;
  };
  std::string temporary;
  int fd = -1;
  // Made with its final mode, so that not even for a moment may others read what it will hold;
  // the umask may only narrow it, and fchmod then gives back exactly the mode asked for.
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = "." + name + "." + randomSuffix();
    fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  mode);
    if (fd < 0 && errno != EEXIST)
      break;
  }
  if (fd < 0)
    return fail("cannot write", errno);
  struct stat status {};
  bool done = ::fchmod(fd, mode) == 0 && writeAll(fd, contents) && ::fsync(fd) == 0;
  done = done && ::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
  int cause = errno;
  if (!done) {
    ::unlinkat(folder, temporary.c_str(), 0);
    ::close(fd);
    return fail("cannot write", cause);
  }
  // Taken after the rename, which may itself change the file's change time.
  const bool stamped = ::fstat(fd, &status) == 0;
  if (::close(fd) != 0)
    return fail("cannot write", errno);
  if (written != nullptr && stamped)
    *written = FileStamp::of(status);
  // The rename itself lives in the folder; without this a crash may still bring back the old
  // name.
  if (::fsync(folder) != 0)
    return fail("cannot sync the folder of", errno);
  return true;
}

bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  const std::filesystem::path target = replacedFile(path);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    if (error != nullptr)
      *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  // A replaced file keeps the mode it had.
  struct stat old {};
  const std::string name = target.filename().string();
  const mode_t mode =
      ::fstatat(dir, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)
          ? (old.st_mode & 07777)
          : 0644;
  const bool replaced = replaceFileIn(dir, name, contents, mode, path, nullptr, error);
  ::close(dir);
  return replaced;
}

} // namespace tav::host
