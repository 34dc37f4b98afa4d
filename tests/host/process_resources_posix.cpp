// The process's resources from the C library's heap and /proc/self.
#include "tests/host/process_resources.h"

#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tav::testhost {
namespace {

// A "Name:   value" line of /proc/self/status; kB figures come back in bytes.
size_t statusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      const size_t value = std::stoul(line.substr(name.size() + 1));
      return line.find("kB") != std::string::npos ? value * 1024 : value;
    }
  }
  return 0;
}

} // namespace

ProcessResources processResources() {
  ProcessResources resources;
  // The C library's heap keeps freed memory in per-thread arenas for later, more or less of it
  // from one moment to the next; what it has handed out and not got back is what someone holds.
  const struct mallinfo2 heap = mallinfo2();
  resources.privateBytes = heap.uordblks + heap.hblkhd;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    ++resources.mappings;
  }
  resources.threads = statusField("Threads");
  std::error_code failed;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", failed);
       !failed && it != std::filesystem::directory_iterator(); it.increment(failed)) {
    ++resources.handles;
  }
  return resources;
}

} // namespace tav::testhost
