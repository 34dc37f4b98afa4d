// What SafeFolder does alike on every platform.
#include "tools/host_cli/safe_folder.h"

#include <cctype>
#include <filesystem>

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

} // namespace

std::optional<SafeFolder> SafeFolder::of(const std::string& path, std::string* error,
                                         std::string shownPath) {
  const std::filesystem::path file(path);
  const std::string name = file.filename().string();
  const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
  if (name.empty() || name == "." || name == "..") {
    *error = path + " names no file";
    return std::nullopt;
  }
  bool shared = false;
  std::optional<SystemFile> opened = openFolder(folder, path, &shared, error);
  if (!opened) {
    return std::nullopt;
  }
  return SafeFolder(std::move(*opened), folder, name,
                    shownPath.empty() ? path : std::move(shownPath), shared);
}

std::optional<SafeFolder> SafeFolder::ofFile(const std::string& path, std::string* error) {
  std::string location;
  FileStamp opened;
  if (!resolve(path, location, opened, error)) {
    return std::nullopt;
  }
  std::optional<SafeFolder> folder = of(location, error, path);
  if (!folder) {
    return std::nullopt;
  }
  const std::optional<EntryStatus> entry = folder->status(folder->name());
  if (!entry || !entry->stamp.sameFile(opened)) {
    *error = path + " was moved while tav-host opened it";
    return std::nullopt;
  }
  return folder;
}

std::string SafeFolder::shownName(const std::string& name) const {
  return name == name_ ? shownPath_ : (std::filesystem::path(folderPath_) / name).string();
}

void SafeFolder::removeStaleTemporaries(const std::string& name) const {
  const std::string prefix = "." + name + ".";
  for (const std::string& entry : entryNames()) {
    if (!isTemporaryOf(entry, prefix)) {
      continue;
    }
    const std::optional<EntryStatus> found = status(entry);
    if (found && found->regular && (!shared_ || found->own)) {
      remove(entry);
    }
  }
}

} // namespace tav::tools
