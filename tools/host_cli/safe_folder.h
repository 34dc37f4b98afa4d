// SafeFolder: the folder of a file tav-host writes (its lockfile, a data file and the data file's
// lock), opened once and from then on used only through its descriptor.
//
//   std::optional<SafeFolder> folder = SafeFolder::of("/tmp/tav.lock", &error);
//   const int fd = folder->open(folder->name(), O_RDONLY, 0, &error);  // never through a link
//
// Other users must not be able to steer what tav-host writes: a name is never followed when it
// is a symbolic link, and a folder that others may write is taken only when it is sticky (as
// /tmp is: nobody may then rename or remove another's file) and owned by the user or root; in
// such a shared folder a file is only used when it is the user's own. The folder's own path may
// pass through links, which the kernel follows under its own rules.
#pragma once

#include "host/atomic_file.h"

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

namespace tav::tools {

class SafeFolder {
public:
  // The folder that holds path, and path's last component as name(). Fails, with error, when
  // the folder cannot be opened or others may write it without the protection above. Messages
  // name the file as shownPath (path when empty).
  static std::optional<SafeFolder> of(const std::string& path, std::string* error,
                                      std::string shownPath = {});

  SafeFolder(SafeFolder&& other) noexcept;
  SafeFolder& operator=(SafeFolder&& other) noexcept;
  SafeFolder(const SafeFolder&) = delete;
  SafeFolder& operator=(const SafeFolder&) = delete;
  ~SafeFolder();

  int fd() const { return fd_; }
  // The last component of the path the folder was opened for.
  const std::string& name() const { return name_; }
  // Opens name in the folder with flags (O_NOFOLLOW and O_CLOEXEC added). Fails, with error
  // naming shownPath, for a symbolic link, for anything but a regular file, and in a shared
  // folder for a file of another user. Answers the descriptor, or -1 with errno kept.
  int open(const std::string& name, int flags, mode_t mode, std::string* error) const;
  // The entry name itself, a link not followed; nothing when there is none.
  std::optional<struct stat> status(const std::string& name) const;
  // Replaces name atomically (host::replaceFileIn) with mode from the first byte.
  bool replace(const std::string& name, std::string_view contents, mode_t mode,
               host::FileStamp* written, std::string* error) const;
  void remove(const std::string& name) const;
  // Removes the temporary files that saves of name killed half-way left behind
  // (".<name>.XXXXXX"). Call only while holding what keeps other writers of name away.
  void removeStaleTemporaries(const std::string& name) const;

private:
  SafeFolder(int fd, std::string folderPath, std::string name, std::string shownPath, bool shared)
      : fd_(fd), folderPath_(std::move(folderPath)), name_(std::move(name)),
        shownPath_(std::move(shownPath)), shared_(shared) {}
  // How messages name the entry name.
  std::string shownName(const std::string& name) const;

  int fd_ = -1;
  std::string folderPath_;
  std::string name_;
  std::string shownPath_;
  bool shared_ = false; // others may write in it
};

} // namespace tav::tools
