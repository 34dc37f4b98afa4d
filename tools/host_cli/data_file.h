// DataFile: a sondar data file that one tav-host at a time reads and saves, from the lock to the
// last save the same file.
//
// The path is resolved once, at open, where links the user made to the file are followed by the
// system; from then on the file is reached only by its name in the folder opened then
// (SafeFolder), never through a link, so a link put in its place later leads nowhere.
//
// The lock is an exclusive lock (SystemFile::tryLock) on "<name>.lock" beside the file, held for as
// long as the process may write the file. Saves replace the data file by renaming a new file over
// it, so a lock on the data file itself would be left on the old file; the lock file is never
// replaced, so its lock stays meaningful. The lock file is left in place, empty: removing it could
// let two writers lock two different files of one name. Where no lock file can be made (a folder
// the user cannot write, where no save could succeed either), the data file itself is locked.
//
// Each save first checks that the file on disk is still the one read or last saved (the same
// device, inode, size and change times): one that someone replaced, edited or removed meanwhile
// is left as it is and the save refused.
#pragma once

#include "tools/host_cli/safe_folder.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tav::tools {

class DataFile {
public:
  // Opens, locks and reads path, and removes what saves killed half-way left behind. Fails,
  // with error, when another process holds the lock, when others could swap the file (see
  // SafeFolder), or when it cannot be read.
  static std::optional<DataFile> open(const std::string& path, std::string* error);

  // The lock is released when the file goes.
  DataFile(DataFile&& other) noexcept = default;
  DataFile& operator=(DataFile&& other) = delete;
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // The text as read once the lock was held.
  const std::string& text() const { return text_; }

  // Replaces the whole file by text atomically, keeping its mode, unless it changed on disk
  // since it was read or last saved. Not safe to call from two threads at once.
  bool save(std::string_view text, std::string* error);

private:
  DataFile(SafeFolder folder, std::string path)
      : folder_(std::move(folder)), path_(std::move(path)) {}

  SafeFolder folder_;
  std::string path_; // as the user gave it
  SystemFile lock_;
  std::string text_;
  FileStamp stamp_;
};

} // namespace tav::tools
