// Windows temporary folders: GetTempPathA and CreateDirectoryA under a random name.
#include "host/temporary_folder.h"

#include "host/windows_support.h"

#include <windows.h>

namespace tav::host {

std::string makeTemporaryFolder(std::string_view prefix, std::string* error) {
  char base[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) {
    if (error != nullptr)
      *error = "cannot find the temporary folder: error " + std::to_string(GetLastError());
    return {};
  }
  std::string path;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = std::string(base, length) + std::string(prefix) + randomNameSuffix();
    if (CreateDirectoryA(path.c_str(), nullptr))
      return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      break;
  }
  if (error != nullptr)
    *error = "cannot make a folder like " + path + ": error " + std::to_string(GetLastError());
  return {};
}

} // namespace tav::host
