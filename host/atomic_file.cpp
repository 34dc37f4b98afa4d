// What replacing a file does alike on every platform; the writing lives in atomic_file_posix.cpp
// and atomic_file_win32.cpp.
#include "host/atomic_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tav::host {
namespace {

// The kernel's rule for links it follows itself (fs.protected_symlinks), kept when links are
// followed by hand: in a sticky folder that everyone may write, another user's link may lead
// anywhere that user chose, such as to a file of ours.
bool mayFollow([[maybe_unused]] const std::filesystem::path& link) {
#ifdef _WIN32
  return true;
#else
  struct stat entry {};
  struct stat folder {};
  if (::lstat(link.c_str(), &entry) != 0 || ::stat(link.parent_path().c_str(), &folder) != 0) {
    return false;
  }
  const bool open = (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !open || entry.st_uid == ::geteuid() || entry.st_uid == folder.st_uid;
#endif
}

} // namespace

std::filesystem::path replacedFile(const std::string& path) {
  // Followed by hand rather than with canonical, which fails for a link whose target does not
  // exist yet: that link must still come to name the new file.
  std::filesystem::path current = std::filesystem::absolute(path);
  std::error_code failed;
  for (int hops = 0;
       hops < 40 && std::filesystem::is_symlink(current, failed) && mayFollow(current); ++hops) {
    const std::filesystem::path target = std::filesystem::read_symlink(current, failed);
    if (failed)
      break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.lexically_normal();
}

} // namespace tav::host
