// The counting allocator and the allocator table.
#include "foundation/memory.h"

#include "foundation/platform.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace tav::memory {
namespace {

struct CounterBlock {
  std::atomic<uint64_t> peakBytes{0};
  std::atomic<uint64_t> liveAllocationsAtPeak{0};
  std::atomic<uint64_t> totalBytesAllocated{0};
  std::atomic<uint64_t> totalAllocations{0};
  std::atomic<uint64_t> totalBytesReleased{0};
  std::atomic<uint64_t> totalReleases{0};
};

constinit CounterBlock gCounters;
constinit std::atomic<CounterBlock*> gPublished{nullptr};

void* defaultAllocate(size_t bytes, void*) {
  return std::malloc(bytes);
}
void defaultRelease(void* block, void*) {
  std::free(block);
}
void* defaultResize(void* block, size_t bytes, void*) {
  return std::realloc(block, bytes);
}
char* defaultDuplicate(const char* text, void*) {
  return platform::heapDuplicateString(text);
}
size_t defaultUsableSize(void* block, void*) {
  return platform::heapBlockSize(block);
}

constinit AllocatorTable gTable{defaultAllocate,  defaultRelease,    defaultResize,
                                defaultDuplicate, defaultUsableSize, nullptr};
constinit bool gInstalled = false;

// Two separate stores rather than a compare-and-maximum: under concurrent allocation the last
// writer wins and the peak may sit slightly below the true maximum, which is accepted.
void updatePeak(CounterBlock& c) {
  uint64_t inUse = c.totalBytesAllocated.load() - c.totalBytesReleased.load();
  if (inUse > c.peakBytes.load()) {
    c.peakBytes.store(inUse);
    c.liveAllocationsAtPeak.store(c.totalAllocations.load() - c.totalReleases.load());
  }
}

void* countingAllocate(size_t bytes, void* context) {
  auto& c = *static_cast<CounterBlock*>(context);
  void* block = std::malloc(bytes);
  c.totalBytesAllocated += platform::heapBlockSize(block);
  c.totalAllocations += 1;
  updatePeak(c);
  return block;
}

void countingRelease(void* block, void* context) {
  if (!block)
    return;
  auto& c = *static_cast<CounterBlock*>(context);
  size_t size = platform::heapBlockSize(block);
  std::free(block);
  c.totalBytesReleased += size;
  c.totalReleases += 1;
}

void* countingResize(void* block, size_t bytes, void* context) {
  auto& c = *static_cast<CounterBlock*>(context);
  size_t oldSize = platform::heapBlockSize(block);
  void* moved = std::realloc(block, bytes);
  // A failed realloc leaves the old block allocated; count it as released and re-allocated
  // at its old size so that bytes in use stay right.
  size_t newSize = moved ? platform::heapBlockSize(moved) : (bytes == 0 ? 0 : oldSize);
  c.totalBytesReleased += oldSize;
  c.totalReleases += 1;
  c.totalBytesAllocated += newSize;
  c.totalAllocations += 1;
  updatePeak(c);
  return moved;
}

char* countingDuplicate(const char* text, void* context) {
  auto& c = *static_cast<CounterBlock*>(context);
  char* copy = platform::heapDuplicateString(text);
  c.totalBytesAllocated += platform::heapBlockSize(copy);
  c.totalAllocations += 1;
  updatePeak(c);
  return copy;
}

size_t countingUsableSize(void* block, void*) {
  return platform::heapBlockSize(block);
}

// Runs during single-threaded library initialisation, so it takes no lock.
void installOnce() {
  if (gInstalled)
    return;
  gInstalled = true;
  gCounters.peakBytes = 0;
  gCounters.liveAllocationsAtPeak = 0;
  gCounters.totalBytesAllocated = 0;
  gCounters.totalAllocations = 0;
  gCounters.totalBytesReleased = 0;
  gCounters.totalReleases = 0;
  replaceAllocator({countingAllocate, countingRelease, countingResize, countingDuplicate,
                    countingUsableSize, &gCounters});
  gPublished.store(&gCounters);
}

} // namespace

void* allocate(size_t bytes) {
  installOnce();
  return gTable.allocate(bytes, gTable.context);
}

void release(void* block) {
  installOnce();
  gTable.release(block, gTable.context);
}

void* resize(void* block, size_t bytes) {
  installOnce();
  return gTable.resize(block, bytes, gTable.context);
}

char* duplicateString(const char* text) {
  installOnce();
  return gTable.duplicateString(text, gTable.context);
}

size_t usableSize(void* block) {
  installOnce();
  return gTable.usableSize(block, gTable.context);
}

AllocatorTable currentAllocator() {
  installOnce();
  return gTable;
}

void replaceAllocator(const AllocatorTable& table) {
  gTable = table;
}

MemoryCounters snapshot() {
  MemoryCounters out;
  CounterBlock* c = gPublished.load();
  if (!c)
    return out;
  out.peakBytes = c->peakBytes.load();
  out.liveAllocationsAtPeak = c->liveAllocationsAtPeak.load();
  out.totalBytesAllocated = c->totalBytesAllocated.load();
  out.totalAllocations = c->totalAllocations.load();
  out.totalBytesReleased = c->totalBytesReleased.load();
  out.totalReleases = c->totalReleases.load();
  return out;
}

void memoryStatistics(uint32_t out[14]) {
  MemoryCounters c = snapshot();
  const uint64_t values[6] = {c.peakBytes,        c.liveAllocationsAtPeak, c.totalBytesAllocated,
                              c.totalAllocations, c.totalBytesReleased,    c.totalReleases};
  for (int i = 0; i < 6; ++i) {
    out[2 * i] = static_cast<uint32_t>(values[i]);
    out[2 * i + 1] = static_cast<uint32_t>(values[i] >> 32);
  }
  out[12] = 0;
  out[13] = 0;
}

} // namespace tav::memory
