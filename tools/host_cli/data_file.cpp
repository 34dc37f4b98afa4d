// Reading, locking and saving a data file through its folder.
#include "tools/host_cli/data_file.h"

#include <filesystem>
#include <utility>

namespace tav::tools {

std::optional<DataFile> DataFile::open(const std::string& path, std::string* error) {
  std::optional<SafeFolder> folder = SafeFolder::ofFile(path, error);
  if (!folder) {
    return std::nullopt;
  }
  DataFile file(std::move(*folder), path);
  const std::string& name = file.folder_.name();

  std::string lockName = name + ".lock";
  OpenFailure failure = OpenFailure::Other;
  std::optional<SystemFile> lock = file.folder_.open(lockName, OpenMode::LockFile, error, &failure);
  if (!lock && failure == OpenFailure::NotWritable) {
    lockName = name;
    lock = file.folder_.open(lockName, OpenMode::Read, error);
  }
  if (!lock) {
    *error = "cannot lock " + path + ": " + *error;
    return std::nullopt;
  }
  file.lock_ = std::move(*lock);
  std::string reason;
  const LockAttempt locked = file.lock_.tryLock(&reason);
  if (locked != LockAttempt::Taken) {
    const std::string lockPath =
        (std::filesystem::path(file.folder_.folderPath()) / lockName).string();
    *error = locked == LockAttempt::Busy ? path +
                                               " is in use by another tav-host (it holds the "
                                               "lock on " +
                                               lockPath + "); stop it, or use another data file"
                                         : "cannot lock " + lockPath + ": " + reason;
    return std::nullopt;
  }

  // Read only now, so that what is read is what the last writer left.
  file.folder_.removeStaleTemporaries(name);
  std::optional<SystemFile> data = file.folder_.open(name, OpenMode::Read, error);
  if (!data) {
    return std::nullopt;
  }
  std::optional<FileStamp> stamp;
  if (data->readAll(file.text_, &reason)) {
    stamp = data->stamp(&reason);
  }
  if (!stamp) {
    *error = "cannot read " + path + ": " + reason;
    return std::nullopt;
  }
  file.stamp_ = *stamp;
  return file;
}

bool DataFile::save(std::string_view text, std::string* error) {
  const std::string& name = folder_.name();
  const std::optional<EntryStatus> current = folder_.status(name);
  if (!current || !current->regular || current->stamp != stamp_) {
    *error = path_ +
             " was changed on disk since tav-host read it (replaced, edited or removed by "
             "another program); it is left as it is and the change is not saved. Start tav-host "
             "again to use the file as it is now";
    return false;
  }
  // The new file keeps the permissions of the one it replaces.
  return folder_.replace(name, text, &*current, &stamp_, error);
}

} // namespace tav::tools
