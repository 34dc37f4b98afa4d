// Windows replacement of a file: a new file beside it, written and flushed, then moved over it.
#include "host/atomic_file.h"

#include <windows.h>

#include <filesystem>
#include <random>

namespace tav::host {
namespace {

std::string lastErrorText() {
  const DWORD code = GetLastError();
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    text[--length] = '\0';
  return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}

// Creates a new, empty file named like ".NAME.XXXXXX" in folder; never opens an existing one.
HANDLE createTemporary(const std::filesystem::path& folder, const std::string& name,
                       std::string& temporary) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::minstd_rand pick(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(6, 'X');
    for (char& c : suffix)
      c = kLetters[pick() % (sizeof kLetters - 1)];
    temporary = (folder / ("." + name + "." + suffix)).string();
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
      return file;
  }
  return INVALID_HANDLE_VALUE;
}

} // namespace

bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  std::error_code ignored;
  std::filesystem::path target(path);
  if (std::filesystem::is_symlink(target, ignored)) {
    const std::filesystem::path resolved = std::filesystem::canonical(target, ignored);
    if (!ignored)
      target = resolved;
  }
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  auto fail = [&](const std::string& what) {
    if (error != nullptr)
      *error = what + ": " + lastErrorText();
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
  // Write-through: the call returns once the move has reached the disk.
  if (!MoveFileExA(temporary.c_str(), target.string().c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD cause = GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(cause);
    return fail("cannot replace " + path);
  }
  return true;
}

} // namespace tav::host
