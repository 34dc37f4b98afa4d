// Folders of the files tav-host writes on Windows: held open without sharing deletion, their
// entries opened as the reparse points they may be.
#include "tools/host_cli/safe_folder.h"

#include "host/windows_support.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace tav::tools {
namespace {

HANDLE handleOf(SystemFile::Native native) {
  return reinterpret_cast<HANDLE>(native);
}

// INVALID_HANDLE_VALUE becomes SystemFile::kNone.
SystemFile::Native nativeOf(HANDLE handle) {
  return reinterpret_cast<SystemFile::Native>(handle);
}

// What others must not be granted on a folder: adding files, removing or renaming any entry,
// changing the access list or the owner. (Adding folders only lets them take a name.)
constexpr ACCESS_MASK kChangesEntries =
    FILE_ADD_FILE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The user the process runs as, read once.
PSID userSid() {
  static const std::unique_ptr<BYTE[]> user = [] {
    HANDLE token = nullptr;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> buffer;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      GetTokenInformation(token, TokenUser, nullptr, 0, &size);
      buffer = std::make_unique<BYTE[]>(size);
      if (!GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
        buffer.reset();
      }
      CloseHandle(token);
    }
    return buffer;
  }();
  return user ? reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid : nullptr;
}

// The user, SYSTEM and the Administrators, who may change anything anyway.
bool isTrusted(PSID sid) {
  const PSID user = userSid();
  return (user != nullptr && EqualSid(sid, user)) || IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// Whether another than those may add, rename or remove the folder's entries: its owner, or an
// entry of its access list that applies to the folder itself. A folder whose list cannot be read
// counts as shared.
bool othersMayWrite(HANDLE folder) {
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return true;
  }
  // No list at all lets everyone do everything.
  bool shared = list == nullptr || !isTrusted(owner);
  for (DWORD i = 0; !shared && i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) {
      continue;
    }
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
      continue;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    shared = (allowed->Mask & kChangesEntries) != 0 && !isTrusted(&allowed->SidStart);
  }
  LocalFree(descriptor);
  return shared;
}

// The path by which the system reaches what handle holds now, starting with "\\?\"; empty
// when it cannot be found.
std::string finalPath(HANDLE handle) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleA(
        handle, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length);
  }
  return path;
}

// A final path as people write it, without the "\\?\" (or "\\?\UNC") it starts with.
std::string shownPath(const std::string& path) {
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) {
    return "\\" + path.substr(7);
  }
  return path.rfind("\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

// name in the folder open as folder, through the path the system reaches the folder by now, so
// that no link on the way to it is followed again; empty, which opens nothing, when that path
// cannot be found.
std::string pathIn(HANDLE folder, const std::string& name) {
  const std::string base = finalPath(folder);
  if (base.empty()) {
    return {};
  }
  return base.back() == '\\' ? base + name : base + "\\" + name;
}

// A security descriptor for a new file, owned by the caller: an access list granting the user
// alone everything, or a copy of the list of the entry `like` names.
class NewFileSecurity {
public:
  explicit NewFileSecurity(const std::string* like) {
    if (like == nullptr) {
      std::string text = "D:P(A;;FA;;;";
      char* user = nullptr;
      if (userSid() != nullptr && ConvertSidToStringSidA(userSid(), &user)) {
        text += user;
        LocalFree(user);
        ConvertStringSecurityDescriptorToSecurityDescriptorA((text + ")").c_str(), SDDL_REVISION_1,
                                                             &descriptor_, nullptr);
      }
    } else {
      GetNamedSecurityInfoA(like->c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor_);
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
  }
  ~NewFileSecurity() { LocalFree(descriptor_); }
  NewFileSecurity(const NewFileSecurity&) = delete;
  NewFileSecurity& operator=(const NewFileSecurity&) = delete;

  // Null when no descriptor could be made: the caller then makes no file.
  SECURITY_ATTRIBUTES* attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// Whether the entry open as handle is a regular file, and not a folder, device or link.
struct Kind {
  bool regular = false;
  bool link = false; // a symbolic link, junction or other reparse point that names another file
};

Kind kindOf(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
    return {};
  }
  const bool link = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                    IsReparseTagNameSurrogate(tag.ReparseTag);
  return {!link && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
              GetFileType(handle) == FILE_TYPE_DISK,
          link};
}

// As kindOf, for what was opened as `name` in the folder open as folder: reached anywhere else
// than there, it came through a link. Wine follows Unix symbolic links even where asked not to,
// and shows them as no reparse point.
Kind kindOf(HANDLE handle, HANDLE folder, const std::string& name) {
  Kind kind = kindOf(handle);
  const std::string asked = pathIn(folder, name);
  if (asked.empty() || lstrcmpiA(asked.c_str(), finalPath(handle).c_str()) != 0) {
    kind = {false, true};
  }
  return kind;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Gives the open file the name `name` in the folder open as folder, replacing what has that
// name: the folder's handle says where, as renameat's descriptor does, and the file renamed is
// the one open here, whatever names lead to it.
bool renameInto(HANDLE file, HANDLE folder, const std::string& name) {
  const int characters =
      MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFORMATION, FileName) +
                                    (characters + 1) * sizeof(WCHAR));
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<ULONG>(characters * sizeof(WCHAR));
  MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), rename->FileName,
                      characters);
  IO_STATUS_BLOCK status{};
  const NTSTATUS result = NtSetInformationFile(
      file, &status, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
  if (result < 0) {
    SetLastError(RtlNtStatusToDosError(result));
    return false;
  }
  return true;
}

// Marks the open file to be removed when its last handle closes.
void removeWhenClosed(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

} // namespace

std::optional<SystemFile> SafeFolder::openFolder(const std::string& folder, const std::string& path,
                                                 bool* shared, std::string* error) {
  // Without FILE_SHARE_DELETE nobody may rename or remove the folder while it is open here.
  SystemFile held(nativeOf(CreateFileA(folder.c_str(),
                                       FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  BY_HANDLE_FILE_INFORMATION status{};
  bool isFolder = held.isOpen() && GetFileInformationByHandle(handleOf(held.native()), &status);
  if (isFolder && (status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetLastError(ERROR_DIRECTORY);
    isFolder = false;
  }
  if (!isFolder) {
    *error = "cannot open the folder of " + path + ": " + host::lastWindowsErrorText();
    return std::nullopt;
  }
  if (othersMayWrite(handleOf(held.native()))) {
    *error = "others may write in " + folder +
             " (it is not yours, or its access list lets others add or remove files); tav-host "
             "keeps no file there (choose another folder for " +
             path + ")";
    return std::nullopt;
  }
  *shared = false;
  return held;
}

bool SafeFolder::resolve(const std::string& path, std::string& location, FileStamp& stamp,
                         std::string* error) {
  SystemFile file(nativeOf(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  if (!file.isOpen()) {
    *error = "cannot open " + path + ": " + host::lastWindowsErrorText();
    return false;
  }
  std::string reason;
  const std::optional<FileStamp> found = file.stamp(&reason);
  location = shownPath(finalPath(handleOf(file.native())));
  if (!found || location.empty() || !kindOf(handleOf(file.native())).regular) {
    *error = path + " is not a regular file";
    return false;
  }
  stamp = *found;
  return true;
}

std::optional<SystemFile> SafeFolder::open(const std::string& name, OpenMode mode,
                                           std::string* error, OpenFailure* failure) const {
  const std::string shown = shownName(name);
  const bool reading = mode == OpenMode::Read;
  // A file made here is the user's alone; without a list saying so, none is made.
  std::optional<NewFileSecurity> security;
  if (!reading) {
    security.emplace(nullptr);
  }
  const DWORD disposition = reading                       ? OPEN_EXISTING
                            : mode == OpenMode::CreateNew ? CREATE_NEW
                                                          : OPEN_ALWAYS;
  SystemFile file;
  if (reading || security->attributes() != nullptr) {
    file = SystemFile(
        nativeOf(CreateFileA(pathIn(handleOf(folder_.native()), name).c_str(),
                             reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, kShareAll,
                             reading ? nullptr : security->attributes(), disposition,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  }
  OpenFailure why = OpenFailure::Other;
  const Kind kind =
      file.isOpen() ? kindOf(handleOf(file.native()), handleOf(folder_.native()), name) : Kind{};
  if (!file.isOpen()) {
    const DWORD cause = GetLastError();
    *error = "cannot open " + shown + ": " + host::lastWindowsErrorText();
    why = cause == ERROR_FILE_EXISTS || cause == ERROR_ALREADY_EXISTS    ? OpenFailure::Exists
          : cause == ERROR_ACCESS_DENIED || cause == ERROR_WRITE_PROTECT ? OpenFailure::NotWritable
                                                                         : OpenFailure::Other;
  } else if (kind.link) {
    *error = shown + " is a symbolic link or junction, which tav-host does not follow";
  } else if (!kind.regular) {
    *error = shown + " is not a regular file";
  } else {
    return file;
  }
  if (failure != nullptr) {
    *failure = why;
  }
  return std::nullopt;
}

std::optional<EntryStatus> SafeFolder::status(const std::string& name) const {
  SystemFile entry(nativeOf(CreateFileA(
      pathIn(handleOf(folder_.native()), name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  std::string reason;
  const std::optional<FileStamp> stamp = entry.isOpen() ? entry.stamp(&reason) : std::nullopt;
  if (!stamp) {
    return std::nullopt;
  }
  return EntryStatus{
      *stamp, kindOf(handleOf(entry.native()), handleOf(folder_.native()), name).regular, true, 0};
}

bool SafeFolder::replace(const std::string& name, std::string_view contents,
                         const EntryStatus* replaced, FileStamp* written,
                         std::string* error) const {
  const std::string target = pathIn(handleOf(folder_.native()), name);
  auto fail = [&](const std::string& what) {
    *error = what + " " + shownName(name) + ": " + host::lastWindowsErrorText();
    return false;
  };
  NewFileSecurity security(replaced != nullptr ? &target : nullptr);
  if (target.empty() || security.attributes() == nullptr) {
    return fail("cannot write");
  }
  // Made with its access list from the start under a name of its own, and moved into place
  // through its own handle. Others may read it but not write it: once it stands at its name it is
  // still open for the last flush, and whoever reads the name then (a client or a second serve,
  // for the lockfile) must find the new contents, not a sharing violation.
  SystemFile file;
  for (int attempt = 0; !file.isOpen() && attempt < 100; ++attempt) {
    const std::string temporary =
        pathIn(handleOf(folder_.native()), "." + name + "." + host::randomNameSuffix());
    const HANDLE made =
        CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                    security.attributes(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made != INVALID_HANDLE_VALUE) {
      file = SystemFile(nativeOf(made));
    } else if (GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  if (!file.isOpen()) {
    return fail("cannot write");
  }
  std::string reason;
  const HANDLE handle = handleOf(file.native());
  // Flushed once more after the rename, so that the new name is written through too.
  const bool done = file.write(contents, &reason) && FlushFileBuffers(handle) &&
                    renameInto(handle, handleOf(folder_.native()), name) &&
                    FlushFileBuffers(handle);
  if (!done) {
    const DWORD cause = GetLastError();
    removeWhenClosed(handle);
    SetLastError(cause);
    return fail("cannot write");
  }
  const std::optional<FileStamp> stamp = file.stamp(&reason);
  if (written != nullptr && stamp) {
    *written = *stamp;
  }
  return true;
}

void SafeFolder::remove(const std::string& name) const {
  const std::string path = pathIn(handleOf(folder_.native()), name);
  if (!path.empty()) {
    DeleteFileA(path.c_str());
  }
}

std::vector<std::string> SafeFolder::entryNames() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const std::string pattern = pathIn(handleOf(folder_.native()), "*");
  const HANDLE search =
      pattern.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

FolderLock::FolderLock(const SafeFolder& folder) {
  BY_HANDLE_FILE_INFORMATION status{};
  if (!GetFileInformationByHandle(handleOf(folder.native()), &status)) {
    failure_ = host::lastWindowsErrorText();
    return;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\tav-host-folder-%08lx-%08lx%08lx",
                status.dwVolumeSerialNumber, status.nFileIndexHigh, status.nFileIndexLow);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) {
    failure_ = host::lastWindowsErrorText();
    return;
  }
  lock_ = SystemFile(nativeOf(mutex));
}

FolderLock::~FolderLock() {
  if (taken_) {
    ReleaseMutex(handleOf(lock_.native()));
  }
}

LockAttempt FolderLock::tryTake(std::string* reason) {
  if (!lock_.isOpen()) {
    *reason = failure_;
    return LockAttempt::Failed;
  }
  // An abandoned mutex is one whose holder ended without releasing it: it is now ours.
  switch (WaitForSingleObject(handleOf(lock_.native()), 0)) {
  case WAIT_OBJECT_0:
  case WAIT_ABANDONED:
    taken_ = true;
    return LockAttempt::Taken;
  case WAIT_TIMEOUT:
    return LockAttempt::Busy;
  default:
    *reason = host::lastWindowsErrorText();
    return LockAttempt::Failed;
  }
}

} // namespace tav::tools
