// The executable's path, read once on first use.
#include "foundation/executable_name.h"

#include "foundation/platform.h"

#include <cstring>

namespace tav {
namespace {

constexpr size_t kPathCapacity = 1024;

struct ExecutableName {
  char path[kPathCapacity] = {};
  const char* fileName = "<unknown>";

  ExecutableName() {
    if (platform::executablePath(path, sizeof path) == 0)
      return;
    const char* separator = std::strrchr(path, platform::kPathSeparator);
    fileName = separator ? separator + 1 : path;
  }
};

// Read once and never rewritten, so rendering may use it without taking any lock.
const ExecutableName& executable() {
  static const ExecutableName name;
  return name;
}

} // namespace

const char* executablePathText() {
  return executable().path;
}

const char* executableFileName() {
  return executable().fileName;
}

} // namespace tav
