// The process-wide pool of 4096-byte pages that every document's slab pool draws from.
//
// Pages come from 64 KiB regions reserved from the operating system, sixteen pages each. A page
// given back is kept for the next request. A region whose sixteen pages are all free again goes
// back to the operating system, except that a pool may keep some such spare regions mapped:
// without them every short-lived tree (one per call) would map, fault in and unmap fresh memory,
// which costs far more than building the tree. Past a first few, spare regions are kept
// discarded: still mapped, but the system may take their memory back when it runs short. One
// mutex guards every request and return, so trees on different threads may share the pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tav {

class PagePool {
public:
  static constexpr size_t kPageSize = 4096;
  static constexpr size_t kPagesPerRegion = 16;
  static constexpr size_t kRegionSize = kPageSize * kPagesPerRegion;

  // Fully free regions the shared pool keeps for the next trees. The first 64 (4 MiB, the tree
  // of a document of a few megabytes) are kept as they are. Up to 64 MiB are kept in all, the
  // rest discarded: a large tree built on every call (a big inventory read for each request)
  // then reuses its memory instead of mapping, faulting in and unmapping it each time, and the
  // system can still take that memory back when it needs it.
  static constexpr size_t kSharedSpareRegions = 1024;
  static constexpr size_t kSharedKeptSpareRegions = 64;

  // What the pool holds at one moment, and how often it discarded a spare region.
  struct Stats {
    size_t regions = 0;      // regions reserved from the operating system
    size_t spareRegions = 0; // of those, regions with all sixteen pages free
    size_t freePages = 0;    // pages kept for later requests
    size_t pagesInUse = 0;   // pages handed out and not yet returned
    size_t discards = 0;     // spare regions handed to the system to take back when it likes
  };

  // A pool that keeps at most maxSpareRegions fully free regions instead of releasing them, the
  // first keptSpareRegions of them as they are and the rest discarded.
  explicit PagePool(size_t maxSpareRegions = 0, size_t keptSpareRegions = SIZE_MAX)
      : maxSpareRegions_(maxSpareRegions), keptSpareRegions_(keptSpareRegions) {}
  // Releases every region, whether or not its pages came back.
  ~PagePool();
  PagePool(const PagePool&) = delete;
  PagePool& operator=(const PagePool&) = delete;

  // The pool every document uses. Created on first use and never destroyed, so trees held in
  // static objects may still return their pages during process exit.
  static PagePool& shared();

  // A 4096-byte page aligned to 4096 bytes, read/write, with unspecified contents. Throws
  // std::bad_alloc when the operating system refuses a new region.
  void* acquire();
  // Takes back a page from acquire(); a region whose pages are all free is released unless the
  // pool has room for another spare region, and discarded when it is not among the kept ones.
  void release(void* page);

  Stats stats() const;

private:
  // A free page holds its own list links.
  struct FreePage {
    FreePage* previous;
    FreePage* next;
  };
  struct Region {
    char* base;
    size_t freePages;
  };
  // The system may zero a discarded region at any moment, so its pages cannot hold free-list
  // links: they leave the list, and the region waits on a stack of its own. False when the stack
  // has no room, and the region should go back to the system instead.
  bool discard(Region& region);
  void reuseDiscarded();

  Region& regionOf(void* page);
  void pushFree(FreePage* page);
  void unlinkFree(FreePage* page);

  mutable std::mutex mutex_;
  std::vector<Region> regions_; // ordered by base address
  FreePage* freeList_ = nullptr;
  std::vector<char*> discarded_; // bases of discarded regions, all of their pages free
  size_t freeCount_ = 0;
  size_t inUse_ = 0;
  size_t spareRegions_ = 0;
  size_t maxSpareRegions_ = 0;
  size_t keptSpareRegions_ = 0;
  size_t keptSpare_ = 0; // spare regions whose pages are on the free list
  size_t discards_ = 0;
};

} // namespace tav
