// SafeFolder: the folder of a file tav-host writes (its lockfile, a data file and the data file's
// lock), opened once and from then on used only through what was opened then.
//
//   std::optional<SafeFolder> folder = SafeFolder::of("/tmp/tav.lock", &error);
//   std::optional<SystemFile> file = folder->open(folder->name(), OpenMode::Read, &error);
//
// Other users must not be able to steer what tav-host writes: a name is never followed when it
// is a link. On POSIX the folder is used through its descriptor, and a folder that others may
// write is taken only when it is sticky (as /tmp is: nobody may then rename or remove another's
// file) and owned by the user or root; in such a shared folder a file is only used when it is the
// user's own. Windows has no sticky folders: a folder that someone but the user, SYSTEM and the
// Administrators owns or may add or remove files in is refused; the folder is held open without
// sharing deletion, so that nobody can rename, remove or replace it while tav-host uses it; and
// a name is opened as the reparse point it may be, so that a symbolic link or junction is seen
// and refused. The folder's own path may pass through links, which the system follows under its
// own rules.
#pragma once

#include "tools/host_cli/system_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tav::tools {

enum class OpenMode : uint8_t {
  Read,      // an existing file, to read
  CreateNew, // a new file, to write, that the user alone may use (mode 0600); Exists if taken
  LockFile,  // to read and write, made as CreateNew makes it when missing
};

// Why an open failed, where callers act on the reason.
enum class OpenFailure : uint8_t {
  Other,
  Exists,      // CreateNew found the name taken
  NotWritable, // the folder or the file may not be written, or is on a read-only volume
};

// A folder entry itself, a link not followed.
struct EntryStatus {
  FileStamp stamp;
  bool regular = false;
  bool own = true;   // the user's; always on Windows, where a shared folder is refused
  uint32_t mode = 0; // the permission bits on POSIX; Windows keeps access lists with the file
};

class SafeFolder {
public:
  // The folder that holds path, and path's last component as name(). Fails, with error, when
  // the folder cannot be opened or others may write it without the protection above. Messages
  // name the file as shownPath (path when empty).
  static std::optional<SafeFolder> of(const std::string& path, std::string* error,
                                      std::string shownPath = {});
  // The folder of the regular file path leads to, resolved this once: links the user made to
  // the file are followed by the system, under its own rules. Fails, with error, as of does,
  // for anything but a regular file, and for a file moved away meanwhile.
  static std::optional<SafeFolder> ofFile(const std::string& path, std::string* error);

  SafeFolder(SafeFolder&& other) noexcept = default;
  SafeFolder& operator=(SafeFolder&& other) noexcept = default;

  // The last component of the path the folder was opened for.
  const std::string& name() const { return name_; }
  // The folder's path, as it was opened.
  const std::string& folderPath() const { return folderPath_; }
  SystemFile::Native native() const { return folder_.native(); }

  // Opens name in the folder, never through a link. Fails, with error naming the file and
  // failure (when given) saying why, for a link, for anything but a regular file, and in a
  // shared folder for a file of another user.
  std::optional<SystemFile> open(const std::string& name, OpenMode mode, std::string* error,
                                 OpenFailure* failure = nullptr) const;
  // The entry name itself, a link not followed; nothing when there is none.
  std::optional<EntryStatus> status(const std::string& name) const;
  // Replaces name atomically: a new file ".<name>.XXXXXX" is written, made to reach the disk and
  // renamed over name. From its first byte the new file may be used by whoever may use
  // `replaced` (the entry as status() found it: its mode, or its access list), or by the user
  // alone when that is null. written, when given, receives the new file's stamp.
  bool replace(const std::string& name, std::string_view contents, const EntryStatus* replaced,
               FileStamp* written, std::string* error) const;
  void remove(const std::string& name) const;
  // Removes the temporary files that saves of name killed half-way left behind
  // (".<name>.XXXXXX"). Call only while holding what keeps other writers of name away.
  void removeStaleTemporaries(const std::string& name) const;

private:
  SafeFolder(SystemFile folder, std::string folderPath, std::string name, std::string shownPath,
             bool shared)
      : folder_(std::move(folder)), folderPath_(std::move(folderPath)), name_(std::move(name)),
        shownPath_(std::move(shownPath)), shared_(shared) {}
  // Opens folder, the folder of path, and says whether others may write in it; fails, with
  // error, where they could swap files in it.
  static std::optional<SystemFile> openFolder(const std::string& folder, const std::string& path,
                                              bool* shared, std::string* error);
  // Follows path to the file it names and answers where that is and its stamp.
  static bool resolve(const std::string& path, std::string& location, FileStamp& stamp,
                      std::string* error);
  // How messages name the entry name.
  std::string shownName(const std::string& name) const;
  std::vector<std::string> entryNames() const;

  SystemFile folder_;
  std::string folderPath_;
  std::string name_;
  std::string shownPath_;
  bool shared_ = false; // others may write in it
};

// An exclusive lock on a folder, between processes, held while it lives: on POSIX a flock of
// the folder on an open file description of its own; on Windows a mutex named after the
// folder's volume and index, in the namespace of the user's logon session.
class FolderLock {
public:
  explicit FolderLock(const SafeFolder& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // One attempt, without waiting; reason says why one failed.
  LockAttempt tryTake(std::string* reason);

private:
  SystemFile lock_;
  std::string failure_; // why lock_ could not be made
  bool taken_ = false;
};

} // namespace tav::tools
