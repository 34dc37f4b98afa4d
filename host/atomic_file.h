// Replacing a file's contents so that a reader, or a process killed half-way, finds the old file
// or the new one, never a torn one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifndef _WIN32
#include <sys/stat.h>

#include <cstdint>
#endif

namespace tav::host {

// Writes contents to a temporary file in path's folder, makes it reach the disk, and then gives
// it path's name in one step. A file that path names through a symbolic link is replaced at the
// link's target, so the link stays a link, except where following the link would be refused by
// the kernel's own rule for shared sticky folders (below): there the link's own name is
// replaced, which the folder then refuses. A replaced file keeps its permissions, a file made
// anew gets 0644, and on POSIX the new file has its final permissions from its first byte on.
// On failure path is left as it was, no temporary file remains, and error (when given) reads
// like "cannot write <path>: <reason>".
bool replaceFileAtomically(const std::string& path, std::string_view contents,
                           std::string* error = nullptr);

// The file that replacing path replaces, as an absolute path: path itself, or where the chain of
// symbolic links that path names ends, even when nothing is there yet. On POSIX a link is only
// followed where the kernel would follow it (fs.protected_symlinks): in a folder that everyone
// may write and that is sticky, such as /tmp, only a link of the user or of the folder's owner.
std::filesystem::path replacedFile(const std::string& path);

#ifndef _WIN32
// Which file a name leads to and the last change made to it: a file replaced, edited in place,
// renamed or given other permissions gets another stamp.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;

  static FileStamp of(const struct stat& status);
  bool operator==(const FileStamp&) const = default;
};

// Replaces the entry name of the open folder `folder` as replaceFileAtomically does, through the
// folder's descriptor alone and without following a link anywhere: the temporary file is made
// exclusively (".<name>.XXXXXX") with mode from its first byte, then written, synced and renamed
// over name, and the folder is synced. written, when given, receives the stamp of the new file.
// Errors name shownPath.
bool replaceFileIn(int folder, const std::string& name, std::string_view contents, mode_t mode,
                   const std::string& shownPath, FileStamp* written = nullptr,
                   std::string* error = nullptr);
#endif

} // namespace tav::host
