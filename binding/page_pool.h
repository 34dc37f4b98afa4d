// The process-wide pool of 4096-byte pages that every document's slab pool draws from.
//
// Pages come from 64 KiB regions reserved from the operating system, sixteen pages each. A page
// given back is kept for the next request, and a region whose sixteen pages are all free again
// goes back to the operating system. The shared pool keeps a few such regions (256 KiB) for the
// next trees, because a call's tree that maps, faults in and unmaps a fresh region each time pays
// more for that than for building the tree; a large call's regions all go back. When the library
// is unloaded the pool returns whatever is free and keeps nothing from then on. One mutex guards
// the regions, so trees on different threads may share the pool.
//
// In front of the mutex, the shared pool keeps a few pages in a small cache of four stripes, a
// thread using the stripe its stack lies in: a small tree takes its pages and gives them back
// there without the mutex or the regions' bookkeeping. Only the pages of small trees enter it, so
// a large tree's regions still go back as it is destroyed. The cache is emptied into the pool when
// the operating system refuses a region and when the library is unloaded.
#pragma once

#include <atomic>
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

  // Fully free regions the shared pool keeps for the next trees (tav_bench PagePool/* shows
  // what they save a small call).
  static constexpr size_t kSharedSpareRegions = 4;
  // The page cache of the shared pool: at most 16 pages (64 KiB). A tree of at most
  // kPagesPerStripe pages gives its pages to the cache.
  static constexpr size_t kStripes = 4;
  static constexpr size_t kPagesPerStripe = 4;

  // What the pool holds at one moment.
  struct Stats {
    size_t regions = 0;      // regions reserved from the operating system
    size_t spareRegions = 0; // of those, regions with all sixteen pages free
    size_t freePages = 0;    // pages kept for later requests
    size_t pagesInUse = 0;   // pages handed out and not yet returned
    size_t cachedPages = 0;  // pages returned into the page cache
  };

  // A pool that keeps at most maxSpareRegions fully free regions instead of releasing them, and,
  // when cachePages is set, returned pages of small trees in its page cache.
  explicit PagePool(size_t maxSpareRegions = 0, bool cachePages = false)
      : maxSpareRegions_(maxSpareRegions), cacheOpen_(cachePages) {}
  // Releases every region, whether or not its pages came back.
  ~PagePool();
  PagePool(const PagePool&) = delete;
  PagePool& operator=(const PagePool&) = delete;

  // The pool every document uses. Created on first use and never destroyed, so trees held in
  // static objects may still return their pages while the library is unloaded; at that point
  // the pool is closed (see close()).
  static PagePool& shared();

  // A 4096-byte page aligned to 4096 bytes, read/write, with unspecified contents. Throws
  // std::bad_alloc when the operating system refuses a new region even once the page cache is
  // emptied.
  void* acquire();
  // Takes back a page from acquire(). The page enters the page cache when mayCache is set and
  // its stripe has room; otherwise a region whose pages are all free is released unless the pool
  // has room for another spare region.
  void release(void* page, bool mayCache = false);

  // Returns the pages of the page cache to the pool, whose regions then go as usual.
  void emptyCache();

  // Empties the page cache, releases every spare region and keeps neither from now on; once no
  // region is left, the bookkeeping's own memory goes too. Pages still in use return as usual,
  // and their regions go back as they empty.
  void close();

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

  // One stripe of the page cache, taken by exchanging `busy`; a thread that finds it taken goes
  // to the mutex instead of waiting.
  struct alignas(64) Stripe {
    std::atomic<bool> busy{false};
    uint32_t count = 0;
    void* pages[kPagesPerStripe];
  };

  // A stripe is held for a few instructions at a time; waiting for one yields between tries.
  static constexpr unsigned kPatientAttempts = 1000;

  Stripe& stripeOfThisThread();
  static bool takeStripe(Stripe& stripe, unsigned attempts);
  // With the mutex held: returns the pages of every stripe to the regions, leaving a stripe
  // still busy after `attempts` tries as it is.
  void emptyStripesLocked(unsigned attempts);
  // acquire() and release() at the regions, with the mutex held; null when no region can be had.
  void* acquireLocked();
  void releaseLocked(void* page);
  Region& regionOf(void* page);
  void pushFree(FreePage* page);
  void unlinkFree(FreePage* page);
  // Unlinks the region's pages, forgets it and gives it back to the operating system.
  void releaseRegion(Region& region);

  mutable std::mutex mutex_;
  std::vector<Region> regions_; // ordered by base address
  FreePage* freeList_ = nullptr;
  size_t freeCount_ = 0;
  size_t inUse_ = 0;
  size_t spareRegions_ = 0;
  size_t maxSpareRegions_ = 0;
  std::atomic<bool> cacheOpen_;
  mutable Stripe stripes_[kStripes];
};

} // namespace tav
