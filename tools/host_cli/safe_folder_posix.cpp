// Folders of the files tav-host writes, used through their descriptors.
#include "tools/host_cli/safe_folder.h"

#include "host/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tav::tools {
namespace {

// Whether gid is the user's private group: named as the user, with no other member. Systems that
// give every user such a group often make folders group-writable.
bool isPrivateGroup(gid_t gid) {
  const passwd* user = ::getpwuid(::geteuid());
  const group* found = ::getgrgid(gid);
  if (user == nullptr || found == nullptr || std::strcmp(user->pw_name, found->gr_name) != 0) {
    return false;
  }
  for (char** member = found->gr_mem; *member != nullptr; ++member) {
    if (std::strcmp(*member, user->pw_name) != 0) {
      return false;
    }
  }
  return true;
}

// Whether someone other than the user may add, rename or remove entries of the folder.
bool othersMayWrite(const struct stat& folder) {
  return (folder.st_mode & S_IWOTH) != 0 ||
         ((folder.st_mode & S_IWGRP) != 0 && !isPrivateGroup(folder.st_gid));
}

FileStamp stampOf(const struct stat& status) {
  const host::FileStamp found = host::FileStamp::of(status);
  return FileStamp{found.device, found.inode, found.size, found.modifiedNs, found.changedNs};
}

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

int flagsOf(OpenMode mode) {
  switch (mode) {
  case OpenMode::Read:
    return O_RDONLY;
  case OpenMode::CreateNew:
    return O_WRONLY | O_CREAT | O_EXCL;
  case OpenMode::LockFile:
    return O_RDWR | O_CREAT;
  }
  return O_RDONLY;
}

} // namespace

std::optional<SystemFile> SafeFolder::openFolder(const std::string& folder, const std::string& path,
                                                 bool* shared, std::string* error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    *error = "cannot open the folder of " + path + ": " + std::strerror(errno);
    if (fd >= 0) {
      ::close(fd);
    }
    return std::nullopt;
  }
  *shared = othersMayWrite(status);
  // In a folder others may write, only the sticky bit keeps them from renaming our file away
  // and putting one of theirs in its place; the folder's owner may do so even then.
  if (*shared &&
      ((status.st_mode & S_ISVTX) == 0 || (status.st_uid != 0 && status.st_uid != ::geteuid()))) {
    ::close(fd);
    *error = "others may write in " + folder +
             ", which is not a sticky folder of yours or of root's; tav-host keeps no file "
             "there (choose another folder for " +
             path + ")";
    return std::nullopt;
  }
  return SystemFile(fd);
}

bool SafeFolder::resolve(const std::string& path, std::string& location, FileStamp& stamp,
                         std::string* error) {
  // Non-blocking, so that a fifo given as the file cannot hold tav-host at the open.
  const int first = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (first < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat opened {};
  const bool regular = ::fstat(first, &opened) == 0 && S_ISREG(opened.st_mode);
  location = locationOf(first, path);
  ::close(first);
  if (!regular) {
    *error = path + " is not a regular file";
    return false;
  }
  stamp = stampOf(opened);
  return true;
}

std::optional<SystemFile> SafeFolder::open(const std::string& name, OpenMode mode,
                                           std::string* error, OpenFailure* failure) const {
  const std::string shown = shownName(name);
  OpenFailure why = OpenFailure::Other;
  // Non-blocking, so that a fifo put in the file's place cannot hold tav-host at the open.
  const int fd = ::openat(static_cast<int>(folder_.native()), name.c_str(),
                          flagsOf(mode) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  const int cause = errno;
  struct stat status {};
  if (fd < 0) {
    *error = cause == ELOOP ? shown + " is a symbolic link, which tav-host does not follow"
                            : "cannot open " + shown + ": " + std::strerror(cause);
    why = cause == EEXIST                     ? OpenFailure::Exists
          : cause == EACCES || cause == EROFS ? OpenFailure::NotWritable
                                              : OpenFailure::Other;
  } else if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
             (shared_ && status.st_uid != ::geteuid())) {
    *error = !S_ISREG(status.st_mode) ? shown + " is not a regular file"
                                      : shown + " belongs to another user";
    ::close(fd);
  } else {
    return SystemFile(fd);
  }
  if (failure != nullptr) {
    *failure = why;
  }
  return std::nullopt;
}

std::optional<EntryStatus> SafeFolder::status(const std::string& name) const {
  struct stat status {};
  if (::fstatat(static_cast<int>(folder_.native()), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) !=
      0) {
    return std::nullopt;
  }
  return EntryStatus{stampOf(status), S_ISREG(status.st_mode), status.st_uid == ::geteuid(),
                     static_cast<uint32_t>(status.st_mode & 07777)};
}

bool SafeFolder::replace(const std::string& name, std::string_view contents,
                         const EntryStatus* replaced, FileStamp* written,
                         std::string* error) const {
  host::FileStamp stamp;
  if (!host::replaceFileIn(static_cast<int>(folder_.native()), name, contents,
                           replaced != nullptr ? replaced->mode : 0600, shownName(name), &stamp,
                           error)) {
    return false;
  }
  if (written != nullptr) {
    *written = FileStamp{stamp.device, stamp.inode, stamp.size, stamp.modifiedNs, stamp.changedNs};
  }
  return true;
}

void SafeFolder::remove(const std::string& name) const {
  ::unlinkat(static_cast<int>(folder_.native()), name.c_str(), 0);
}

std::vector<std::string> SafeFolder::entryNames() const {
  std::vector<std::string> names;
  // A descriptor of its own, since closedir closes the one it reads.
  const int listed =
      ::openat(static_cast<int>(folder_.native()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
  if (entries == nullptr) {
    if (listed >= 0) {
      ::close(listed);
    }
    return names;
  }
  while (const dirent* entry = ::readdir(entries)) {
    names.emplace_back(entry->d_name);
  }
  ::closedir(entries);
  return names;
}

FolderLock::FolderLock(const SafeFolder& folder) {
  const int fd =
      ::openat(static_cast<int>(folder.native()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    failure_ = std::strerror(errno);
  }
  lock_ = SystemFile(fd);
}

// The lock ends with the file description, closed with lock_.
FolderLock::~FolderLock() = default;

LockAttempt FolderLock::tryTake(std::string* reason) {
  if (!lock_.isOpen()) {
    *reason = failure_;
    return LockAttempt::Failed;
  }
  if (::flock(static_cast<int>(lock_.native()), LOCK_EX | LOCK_NB) == 0) {
    taken_ = true;
    return LockAttempt::Taken;
  }
  if (errno == EWOULDBLOCK || errno == EINTR) {
    return LockAttempt::Busy;
  }
  *reason = std::strerror(errno);
  return LockAttempt::Failed;
}

} // namespace tav::tools
