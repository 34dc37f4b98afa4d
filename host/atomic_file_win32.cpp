// Windows replacement of a file: a new file beside it, written and flushed, then put in its place.
#include "host/atomic_file.h"

#include "host/windows_support.h"

#include <windows.h>

#include <filesystem>

namespace tav::host {
namespace {

// Creates a new, empty file named like ".NAME.XXXXXX" in folder; never opens an existing one.
HANDLE createTemporary(const std::filesystem::path& folder, const std::string& name,
                       std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = (folder / ("." + name + "." + randomNameSuffix())).string();
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
      return file;
  }
  return INVALID_HANDLE_VALUE;
}

} // namespace

bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  const std::filesystem::path target = replacedFile(path);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  auto fail = [&](const std::string& what) {
    if (error != nullptr)
      *error = what + ": " + lastWindowsErrorText();
    return false;
  };

  std::string temporary;
  HANDLE file = createTemporary(folder, target.filename().string(), temporary);
  if (file == INVALID_HANDLE_VALUE)
    return fail("cannot write " + path);
  bool written = true;
  for (size_t done = 0; written && done < contents.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size() - done, 1u << 30));
    DWORD count = 0;
    written = WriteFile(file, contents.data() + done, chunk, &count, nullptr) && count > 0;
    done += count;
  }
  written = written && FlushFileBuffers(file);
  if (!written || !CloseHandle(file)) {
    const DWORD cause = GetLastError();
    if (!written)
      CloseHandle(file);
    DeleteFileA(temporary.c_str());
    SetLastError(cause);
    return fail("cannot write " + path);
  }
  // An existing file is replaced with ReplaceFileA, which gives the new file the old one's
  // attributes and access list; a file not there yet is moved into place, write-through. The
  // contents reached the disk before either. The attributes are set again afterwards, since not
  // every implementation of ReplaceFileA carries them over (wine's does not).
  const std::string targetName = target.string();
  const DWORD attributes = GetFileAttributesA(targetName.c_str());
  const bool replaced = attributes != INVALID_FILE_ATTRIBUTES
                            ? ReplaceFileA(targetName.c_str(), temporary.c_str(), nullptr,
                                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                            : MoveFileExA(temporary.c_str(), targetName.c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (replaced && attributes != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesA(targetName.c_str(), attributes);
  }
  if (!replaced) {
    const DWORD cause = GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(cause);
    return fail("cannot replace " + path);
  }
  return true;
}

} // namespace tav::host
