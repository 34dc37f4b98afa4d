// The process-wide pool of 4096-byte pages that every document's slab pool draws from.
//
// Pages come from 64 KiB regions reserved from the operating system, sixteen pages each. A page
// given back is kept for the next request. A region whose sixteen pages are all free again goes
// back to the operating system, except that a pool may keep a few such spare regions mapped:
// without them every short-lived tree (one per call) would map, fault in and unmap fresh memory,
// which costs far more than building the tree. One mutex guards every request and return, so
// trees on different threads may share the pool.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace tav {

class PagePool {
public:
  static constexpr size_t kPageSize = 4096;
  static constexpr size_t kPagesPerRegion = 16;
  static constexpr size_t kRegionSize = kPageSize * kPagesPerRegion;

  // What the pool holds at one moment.
  // Fully free regions the shared pool keeps mapped for the next trees (4 MiB): enough for the
  // tree of a document of a few megabytes, which would otherwise fault in fresh pages each time.
  static constexpr size_t kSharedSpareRegions = 64;

  struct Stats {
    size_t regions = 0;      // regions reserved from the operating system
    size_t spareRegions = 0; // of those, regions with all sixteen pages free
    size_t freePages = 0;    // pages kept for later requests
    size_t pagesInUse = 0;   // pages handed out and not yet returned
  };

  // A pool that keeps at most maxSpareRegions fully free regions instead of releasing them.
  explicit PagePool(size_t maxSpareRegions = 0) : maxSpareRegions_(maxSpareRegions) {}
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
  // pool has room for another spare region.
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

  Region& regionOf(void* page);
  void pushFree(FreePage* page);
  void unlinkFree(FreePage* page);

  mutable std::mutex mutex_;
  std::vector<Region> regions_; // ordered by base address
  FreePage* freeList_ = nullptr;
  size_t freeCount_ = 0;
  size_t inUse_ = 0;
  size_t spareRegions_ = 0;
  size_t maxSpareRegions_ = 0;
};

} // namespace tav
