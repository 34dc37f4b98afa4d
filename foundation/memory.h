// The replaceable allocator table and the counting allocator behind every framework allocation.
//
// All dynamic memory of the framework, including the containers and strings of every other
// subsystem (the global operator new and delete of this library route here), goes through the
// five operations below. The first of them to run installs the counting allocator, whose six
// lock-free counters the host can read as the memory statistics record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::memory {

// The allocator table: five entries and the context handed to each of them.
struct AllocatorTable {
  void* (*allocate)(size_t bytes, void* context);
  void (*release)(void* block, void* context);
  void* (*resize)(void* block, size_t bytes, void* context);
  char* (*duplicateString)(const char* text, void* context);
  size_t (*usableSize)(void* block, void* context);
  void* context;
};

// The framework's allocation entry points. Each installs the counting allocator on first use.
// allocate and resize return null on failure; release(nullptr) does nothing.
void* allocate(size_t bytes);
void release(void* block);
void* resize(void* block, size_t bytes);
char* duplicateString(const char* text);
size_t usableSize(void* block);

// The table in force, installing the counting allocator first if nothing has yet, so that a
// replacement may wrap it.
AllocatorTable currentAllocator();

// Replaces all five entries and the context at once. Nothing in this library calls it with other
// functions; it exists for embedders that bring their own heap.
void replaceAllocator(const AllocatorTable& table);

// The six counters in the order of the statistics record.
struct MemoryCounters {
  uint64_t peakBytes = 0;
  uint64_t liveAllocationsAtPeak = 0;
  uint64_t totalBytesAllocated = 0;
  uint64_t totalAllocations = 0;
  uint64_t totalBytesReleased = 0;
  uint64_t totalReleases = 0;

  uint64_t bytesInUse() const { return totalBytesAllocated - totalBytesReleased; }
  uint64_t liveAllocations() const { return totalAllocations - totalReleases; }
};

// Each counter read atomically; the six together are not one consistent set under concurrency.
MemoryCounters snapshot();

// Fills the fourteen-word statistics record the host receives: the six counters low word first,
// then two zero words.
void memoryStatistics(uint32_t out[14]);

} // namespace tav::memory
