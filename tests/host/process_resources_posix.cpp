// The process's resources from /proc/self, after glibc's heap has given back what it can.
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

constexpr int kHeapThreshold = 128 * 1024;

} // namespace

void keepHeapFromCaching() {
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, kHeapThreshold);
  mallopt(M_TRIM_THRESHOLD, kHeapThreshold);
}

ProcessResources processResources() {
  malloc_trim(0);
  ProcessResources resources;
  resources.privateBytes = statusField("RssAnon");
  resources.threads = statusField("Threads");
  std::error_code failed;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", failed);
       !failed && it != std::filesystem::directory_iterator(); it.increment(failed)) {
    ++resources.handles;
  }
  return resources;
}

} // namespace tav::testhost
