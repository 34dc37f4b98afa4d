// The six counters of a plugin's fourteen memory statistics words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tav::host {

struct MemoryStatistics {
  uint64_t peakBytes = 0;
  uint64_t peakAllocations = 0; // live allocations when the peak was reached
  uint64_t bytesAllocated = 0;
  uint64_t allocations = 0;
  uint64_t bytesReleased = 0;
  uint64_t releases = 0;
  uint32_t trailing[2] = {0, 0}; // the two words after the counters, zero in a sound record

  uint64_t bytesInUse() const { return bytesAllocated - bytesReleased; }
  uint64_t liveAllocations() const { return allocations - releases; }
};

// Each counter is two words, low word first, in the order of the fields above.
MemoryStatistics decodeMemoryStatistics(const std::array<uint32_t, 14>& words);

} // namespace tav::host
