// Counters of the counting allocator after allocate, release, resize and duplicate.
#include "foundation/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tav::memory {
namespace {

// Counter deltas across one step; other threads of the test runner do not allocate meanwhile.
struct Delta {
  MemoryCounters before = snapshot();
  MemoryCounters after;
  void take() { after = snapshot(); }
  uint64_t allocs() const { return after.totalAllocations - before.totalAllocations; }
  uint64_t releases() const { return after.totalReleases - before.totalReleases; }
  uint64_t bytesIn() const { return after.totalBytesAllocated - before.totalBytesAllocated; }
  uint64_t bytesOut() const { return after.totalBytesReleased - before.totalBytesReleased; }
};

TEST(CountingAllocator, AllocateThenReleaseBalancesAndKeepsPeak) {
  Delta d;
  void* block = allocate(1000);
  ASSERT_NE(block, nullptr);
  size_t usable = usableSize(block);
  EXPECT_GE(usable, 1000u);
  MemoryCounters mid = snapshot();
  EXPECT_GE(mid.peakBytes, mid.bytesInUse());
  release(block);
  d.take();
  EXPECT_EQ(d.allocs(), 1u);
  EXPECT_EQ(d.releases(), 1u);
  // Byte amounts are the usable size the runtime reports, not the size asked for.
  EXPECT_EQ(d.bytesIn(), usable);
  EXPECT_EQ(d.bytesOut(), usable);
  EXPECT_EQ(d.after.bytesInUse(), d.before.bytesInUse());
  EXPECT_GE(d.after.peakBytes, d.before.bytesInUse() + usable);
}

TEST(CountingAllocator, ReleasingNullChangesNothing) {
  Delta d;
  release(nullptr);
  d.take();
  EXPECT_EQ(d.releases(), 0u);
  EXPECT_EQ(d.bytesOut(), 0u);
}

TEST(CountingAllocator, ResizeOfNullIsOneReleaseOfZeroAndOneAllocation) {
  Delta d;
  void* block = resize(nullptr, 64);
  d.take();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(d.allocs(), 1u);
  EXPECT_EQ(d.releases(), 1u);
  EXPECT_EQ(d.bytesOut(), 0u);
  EXPECT_EQ(d.bytesIn(), usableSize(block));
  release(block);
}

TEST(CountingAllocator, ResizeMovesTheCountedBytes) {
  void* block = allocate(16);
  size_t oldSize = usableSize(block);
  Delta d;
  block = resize(block, 100000);
  d.take();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(d.bytesOut(), oldSize);
  EXPECT_EQ(d.bytesIn(), usableSize(block));
  release(block);
}

TEST(CountingAllocator, FailedAllocationCountsZeroBytes) {
  Delta d;
  void* block = allocate(SIZE_MAX - 4096);
  d.take();
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(d.allocs(), 1u);
  EXPECT_EQ(d.bytesIn(), 0u);
}

TEST(CountingAllocator, DuplicateCountsTheCopy) {
  Delta d;
  char* copy = duplicateString("hello");
  d.take();
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "hello");
  EXPECT_EQ(d.allocs(), 1u);
  EXPECT_EQ(d.bytesIn(), usableSize(copy));
  release(copy);
}

TEST(CountingAllocator, GlobalOperatorNewIsCounted) {
  Delta d;
  {
    std::vector<int> v(1000);
    std::string s(500, 'x');
  }
  d.take();
  EXPECT_GE(d.allocs(), 2u);
  EXPECT_EQ(d.allocs(), d.releases());
  EXPECT_EQ(d.after.bytesInUse(), d.before.bytesInUse());
}

TEST(MemoryStatistics, RecordHoldsSixCountersLowWordFirstThenTwoZeros) {
  void* keep = allocate(100);
  uint32_t words[14];
  std::memset(words, 0xAB, sizeof words);
  memoryStatistics(words);
  MemoryCounters c = snapshot();
  auto word = [&](int i) { return uint64_t(words[2 * i]) | (uint64_t(words[2 * i + 1]) << 32); };
  EXPECT_EQ(word(3), c.totalAllocations);
  EXPECT_EQ(word(5), c.totalReleases);
  EXPECT_EQ(word(2), c.totalBytesAllocated);
  EXPECT_GE(word(0), word(2) - word(4));
  EXPECT_EQ(words[12], 0u);
  EXPECT_EQ(words[13], 0u);
  release(keep);
}

} // namespace
} // namespace tav::memory
