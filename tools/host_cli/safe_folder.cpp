// Folders of the files tav-host writes, used through their descriptors.
#include "tools/host_cli/safe_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

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

} // namespace

std::optional<SafeFolder> SafeFolder::of(const std::string& path, std::string* error,
                                         std::string shownPath) {
  const std::filesystem::path file(path);
  const std::string name = file.filename().string();
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  if (name.empty() || name == "." || name == "..") {
    *error = path + " names no file";
    return std::nullopt;
  }
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    *error = "cannot open the folder of " + path + ": " + std::strerror(errno);
    if (fd >= 0) {
      ::close(fd);
    }
    return std::nullopt;
  }
  const bool shared = othersMayWrite(status);
  // In a folder others may write, only the sticky bit keeps them from renaming our file away
  // and putting one of theirs in its place; the folder's owner may do so even then.
  if (shared &&
      ((status.st_mode & S_ISVTX) == 0 || (status.st_uid != 0 && status.st_uid != ::geteuid()))) {
    ::close(fd);
    *error = "others may write in " + folder.string() +
             ", which is not a sticky folder of yours or of root's; tav-host keeps no file "
             "there (choose another folder for " +
             path + ")";
    return std::nullopt;
  }
  return SafeFolder(fd, folder.string(), name, shownPath.empty() ? path : std::move(shownPath),
                    shared);
}

SafeFolder::SafeFolder(SafeFolder&& other) noexcept
    : fd_(other.fd_), folderPath_(std::move(other.folderPath_)), name_(std::move(other.name_)),
      shownPath_(std::move(other.shownPath_)), shared_(other.shared_) {
  other.fd_ = -1;
}

SafeFolder& SafeFolder::operator=(SafeFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = std::exchange(other.fd_, -1);
    folderPath_ = std::move(other.folderPath_);
    name_ = std::move(other.name_);
    shownPath_ = std::move(other.shownPath_);
    shared_ = other.shared_;
  }
  return *this;
}

SafeFolder::~SafeFolder() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::string SafeFolder::shownName(const std::string& name) const {
  return name == name_ ? shownPath_ : (std::filesystem::path(folderPath_) / name).string();
}

int SafeFolder::open(const std::string& name, int flags, mode_t mode, std::string* error) const {
  const std::string shown = shownName(name);
  // Non-blocking, so that a fifo put in the file's place cannot hold tav-host at the open.
  const int fd = ::openat(fd_, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
  const int cause = errno;
  if (fd < 0) {
    *error = cause == ELOOP ? shown + " is a symbolic link, which tav-host does not follow"
                            : "cannot open " + shown + ": " + std::strerror(cause);
    errno = cause;
    return -1;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      (shared_ && status.st_uid != ::geteuid())) {
    *error = !S_ISREG(status.st_mode) ? shown + " is not a regular file"
                                      : shown + " belongs to another user";
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

std::optional<struct stat> SafeFolder::status(const std::string& name) const {
  struct stat status {};
  if (::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return status;
}

bool SafeFolder::replace(const std::string& name, std::string_view contents, mode_t mode,
                         host::FileStamp* written, std::string* error) const {
  return host::replaceFileIn(fd_, name, contents, mode, shownName(name), written, error);
}

void SafeFolder::remove(const std::string& name) const {
  ::unlinkat(fd_, name.c_str(), 0);
}

void SafeFolder::removeStaleTemporaries(const std::string& name) const {
  // A descriptor of its own, since closedir closes the one it reads.
  const int listed = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
  if (entries == nullptr) {
    if (listed >= 0) {
      ::close(listed);
    }
    return;
  }
  const std::string prefix = "." + name + ".";
  while (const dirent* entry = ::readdir(entries)) {
    const std::optional<struct stat> found = status(entry->d_name);
    if (isTemporaryOf(entry->d_name, prefix) && found && S_ISREG(found->st_mode) &&
        (!shared_ || found->st_uid == ::geteuid())) {
      remove(entry->d_name);
    }
  }
  ::closedir(entries);
}

} // namespace tav::tools
