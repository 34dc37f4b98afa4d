// Files as handles.
#include "tools/host_cli/system_file.h"

#include "host/windows_support.h"

#include <windows.h>

#include <algorithm>

namespace tav::tools {
namespace {

HANDLE handleOf(SystemFile::Native native) {
  return reinterpret_cast<HANDLE>(native);
}

// 100-nanosecond ticks since 1601 as nanoseconds since 1970, which an int64_t holds.
int64_t nanoseconds(LARGE_INTEGER ticks) {
  constexpr int64_t kTicksTo1970 = 116444736000000000;
  return (ticks.QuadPart - kTicksTo1970) * 100;
}

// The byte that tryLock locks: past any size a file of tav-host's reaches, so that the lock
// hinders no read, not even one of the locking process's own other handles.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

} // namespace

void SystemFile::close() {
  if (native_ != kNone) {
    CloseHandle(handleOf(native_));
  }
  native_ = kNone;
}

std::optional<SystemFile> SystemFile::openToRead(const std::string& path, std::string* reason) {
  // A folder cannot be opened as a file: CreateFile wants FILE_FLAG_BACKUP_SEMANTICS for one.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *reason = host::lastWindowsErrorText();
    return std::nullopt;
  }
  return SystemFile(reinterpret_cast<Native>(file));
}

std::ptrdiff_t SystemFile::read(char* data, size_t size) {
  DWORD count = 0;
  if (!ReadFile(handleOf(native_), data, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)),
                &count, nullptr)) {
    // A pipe whose writer has closed it has ended.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<std::ptrdiff_t>(count);
}

bool SystemFile::readAll(std::string& text, std::string* reason) {
  char chunk[65536];
  for (;;) {
    const std::ptrdiff_t count = read(chunk, sizeof chunk);
    if (count <= 0) {
      if (count < 0) {
        *reason = host::lastWindowsErrorText();
      }
      return count == 0;
    }
    text.append(chunk, static_cast<size_t>(count));
  }
}

bool SystemFile::write(std::string_view text, std::string* reason) {
  for (size_t done = 0; done < text.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
    DWORD count = 0;
    if (!WriteFile(handleOf(native_), text.data() + done, chunk, &count, nullptr) || count == 0) {
      *reason = host::lastWindowsErrorText();
      return false;
    }
    done += count;
  }
  return true;
}

std::optional<FileStamp> SystemFile::stamp(std::string* reason) const {
  BY_HANDLE_FILE_INFORMATION file{};
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandle(handleOf(native_), &file) ||
      !GetFileInformationByHandleEx(handleOf(native_), FileBasicInfo, &times, sizeof times)) {
    *reason = host::lastWindowsErrorText();
    return std::nullopt;
  }
  return FileStamp{
      file.dwVolumeSerialNumber,
      (static_cast<uint64_t>(file.nFileIndexHigh) << 32) | file.nFileIndexLow,
      static_cast<int64_t>((static_cast<uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow),
      nanoseconds(times.LastWriteTime), nanoseconds(times.ChangeTime)};
}

LockAttempt SystemFile::tryLock(std::string* reason) {
  OVERLAPPED where{};
  where.OffsetHigh = kLockOffsetHigh;
  if (LockFileEx(handleOf(native_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &where)) {
    return LockAttempt::Taken;
  }
  if (GetLastError() == ERROR_LOCK_VIOLATION) {
    return LockAttempt::Busy;
  }
  *reason = host::lastWindowsErrorText();
  return LockAttempt::Failed;
}

} // namespace tav::tools
