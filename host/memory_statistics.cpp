// Decoding the memory statistics words.
#include "host/memory_statistics.h"

namespace tav::host {
namespace {

uint64_t counter(const std::array<uint32_t, 14>& words, size_t index) {
  return static_cast<uint64_t>(words[index * 2]) |
         (static_cast<uint64_t>(words[index * 2 + 1]) << 32);
}

} // namespace

MemoryStatistics decodeMemoryStatistics(const std::array<uint32_t, 14>& words) {
  MemoryStatistics statistics;
  statistics.peakBytes = counter(words, 0);
  statistics.peakAllocations = counter(words, 1);
  statistics.bytesAllocated = counter(words, 2);
  statistics.allocations = counter(words, 3);
  statistics.bytesReleased = counter(words, 4);
  statistics.releases = counter(words, 5);
  statistics.trailing[0] = words[12];
  statistics.trailing[1] = words[13];
  return statistics;
}

} // namespace tav::host
