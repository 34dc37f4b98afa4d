// Replacing a file's contents so that a reader, or a process killed half-way, finds the old file
// or the new one, never a torn one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tav::host {

// Writes contents to a temporary file in path's folder, makes it reach the disk, and then gives
// it path's name in one step. A file that path names through a symbolic link is replaced at the
// link's target, so the link stays a link; a replaced file keeps its permissions. On failure
// path is left as it was, no temporary file remains, and error (when given) reads like
// "cannot write <path>: <reason>".
bool replaceFileAtomically(const std::string& path, std::string_view contents,
                           std::string* error = nullptr);

// The file that replacing path replaces, as an absolute path: path itself, or where the chain of
// symbolic links that path names ends, even when nothing is there yet.
std::filesystem::path replacedFile(const std::string& path);

} // namespace tav::host
