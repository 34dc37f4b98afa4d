// DataFileLock: one writer per data file, among every tav-host on the machine.
//
// The lock is an exclusive flock on "<data file>.lock" beside the data file (after symbolic
// links are followed), held for as long as the process may write the file. Saves replace the
// data file by renaming a new file over it, so a lock on the data file itself would be left on
// the old file; the lock file is never replaced, so its lock stays meaningful. The lock file is
// left in place, empty: removing it could let two writers lock two different files of one name.
// Where no lock file can be made (a folder the user cannot write, where no save could succeed
// either), the data file itself is locked.
#pragma once

#include <optional>
#include <string>

namespace tav::tools {

class DataFileLock {
public:
  // Takes the lock of dataFile. Fails, with error, when another process holds it or the lock
  // cannot be taken.
  static std::optional<DataFileLock> acquire(const std::string& dataFile, std::string* error);

  DataFileLock(DataFileLock&& other) noexcept;
  DataFileLock& operator=(DataFileLock&& other) noexcept;
  DataFileLock(const DataFileLock&) = delete;
  DataFileLock& operator=(const DataFileLock&) = delete;
  // Releases the lock.
  ~DataFileLock();

  // The file the lock is held on.
  const std::string& lockPath() const { return lockPath_; }

private:
  DataFileLock(int fd, std::string lockPath) : fd_(fd), lockPath_(std::move(lockPath)) {}

  int fd_ = -1;
  std::string lockPath_;
};

// Removes the temporary files a save into file left behind when its process was killed half-way
// (".<name>.XXXXXX" beside file). Call only while holding what keeps other writers of file away.
void removeStaleTemporaries(const std::string& file);

} // namespace tav::tools
