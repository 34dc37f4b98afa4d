// What the test process holds from the operating system, to see what a library left behind
// after it was unloaded.
#pragma once

#include <cstddef>

namespace tav::testhost {

struct ProcessResources {
  // Windows: committed private memory. Linux: the bytes the C heap has handed out and not got
  // back; memory mapped apart from it shows in mappings.
  size_t privateBytes = 0;
  size_t mappings = 0; // Linux: the process's memory mappings; Windows: 0
  size_t threads = 0;
  size_t handles = 0; // open handles (Windows), open file descriptors (Linux)
};

ProcessResources processResources();

} // namespace tav::testhost
