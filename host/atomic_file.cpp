// What replacing a file does alike on every platform; the writing lives in atomic_file_posix.cpp
// and atomic_file_win32.cpp.
#include "host/atomic_file.h"

namespace tav::host {

std::filesystem::path replacedFile(const std::string& path) {
  // Followed by hand rather than with canonical, which fails for a link whose target does not
  // exist yet: that link must still come to name the new file.
  std::filesystem::path current = std::filesystem::absolute(path);
  std::error_code failed;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(current, failed); ++hops) {
    const std::filesystem::path target = std::filesystem::read_symlink(current, failed);
    if (failed)
      break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.lexically_normal();
}

} // namespace tav::host
