// POSIX temporary folders, through mkdtemp.
#include "host/temporary_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tav::host {

std::string makeTemporaryFolder(std::string_view prefix, std::string* error) {
  std::error_code failed;
  const std::filesystem::path base = std::filesystem::temp_directory_path(failed);
  std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
  if (failed || ::mkdtemp(pattern.data()) == nullptr) {
    if (error != nullptr)
      *error = "cannot make a folder like " + pattern + ": " +
               (failed ? failed.message() : std::strerror(errno));
    return {};
  }
  return pattern;
}

} // namespace tav::host
