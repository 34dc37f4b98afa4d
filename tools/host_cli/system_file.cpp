// What SystemFile does alike on every platform.
#include "tools/host_cli/system_file.h"

#include <utility>

namespace tav::tools {

SystemFile::SystemFile(SystemFile&& other) noexcept
    : native_(std::exchange(other.native_, kNone)) {}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept {
  if (this != &other) {
    close();
    native_ = std::exchange(other.native_, kNone);
  }
  return *this;
}

SystemFile::~SystemFile() {
  close();
}

} // namespace tav::tools
