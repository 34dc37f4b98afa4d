// The process-wide page pool: regions from the platform layer, a free list of pages inside them.
#include "binding/page_pool.h"

#include "foundation/platform.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <new>
#include <thread>

namespace tav {
namespace {

// Closes the shared pool when the library's statics are destroyed: at dlclose or FreeLibrary
// (DLL_PROCESS_DETACH) as at process exit. Constructed with this file's statics, so trees in
// statics made later are gone by then, and those made earlier give their regions back as they
// go, the pool itself staying alive.
struct CloseSharedPoolAtUnload {
  ~CloseSharedPoolAtUnload() { PagePool::shared().close(); }
} closeSharedPoolAtUnload;

} // namespace

PagePool::~PagePool() {
  for (const Region& region : regions_)
    platform::releaseRegion(region.base, kRegionSize);
}

PagePool& PagePool::shared() {
  // Placement into static storage keeps the pool out of the heap counters and alive past the
  // destructors of other statics.
  alignas(PagePool) static unsigned char storage[sizeof(PagePool)];
  static PagePool* pool = new (storage) PagePool(kSharedSpareRegions, true);
  return *pool;
}

PagePool::Region& PagePool::regionOf(void* page) {
  char* address = static_cast<char*>(page);
  auto after = std::upper_bound(regions_.begin(), regions_.end(), address,
                                [](char* a, const Region& r) { return a < r.base; });
  assert(after != regions_.begin());
  Region& region = *(after - 1);
  assert(address < region.base + kRegionSize);
  return region;
}

void PagePool::pushFree(FreePage* page) {
  page->previous = nullptr;
  page->next = freeList_;
  if (freeList_)
    freeList_->previous = page;
  freeList_ = page;
  ++freeCount_;
}

void PagePool::unlinkFree(FreePage* page) {
  if (page->previous)
    page->previous->next = page->next;
  else
    freeList_ = page->next;
  if (page->next)
    page->next->previous = page->previous;
  --freeCount_;
}

void PagePool::releaseRegion(Region& region) {
  for (size_t i = 0; i < kPagesPerRegion; ++i)
    unlinkFree(reinterpret_cast<FreePage*>(region.base + i * kPageSize));
  char* base = region.base;
  regions_.erase(regions_.begin() + (&region - regions_.data()));
  platform::releaseRegion(base, kRegionSize);
}

PagePool::Stripe& PagePool::stripeOfThisThread() {
  // Threads' stacks lie a mebibyte or more apart, so the mebibyte a local variable sits in tells
  // threads apart without thread-local storage, whose clean-up a library unloaded while the
  // host's threads live on cannot count on. Threads that happen to share a stripe take turns.
  char marker;
  const uint64_t mebibyte = reinterpret_cast<uintptr_t>(&marker) >> 20;
  constexpr int kStripeBits = std::countr_zero(kStripes);
  static_assert(kStripes == size_t{1} << kStripeBits);
  return stripes_[(mebibyte * 0x9E3779B97F4A7C15ull) >> (64 - kStripeBits)];
}

bool PagePool::takeStripe(Stripe& stripe, unsigned attempts) {
  for (unsigned attempt = 0; attempt < attempts; ++attempt) {
    if (!stripe.busy.exchange(true, std::memory_order_acquire))
      return true;
    std::this_thread::yield();
  }
  return false;
}

void PagePool::emptyStripesLocked(unsigned attempts) {
  for (Stripe& stripe : stripes_) {
    if (!takeStripe(stripe, attempts))
      continue;
    void* pages[kPagesPerStripe];
    const uint32_t count = stripe.count;
    std::copy_n(stripe.pages, count, pages);
    stripe.count = 0;
    stripe.busy.store(false, std::memory_order_release);
    for (uint32_t i = 0; i < count; ++i)
      releaseLocked(pages[i]);
  }
}

void PagePool::emptyCache() {
  std::lock_guard lock(mutex_);
  emptyStripesLocked(kPatientAttempts);
}

void* PagePool::acquire() {
  if (cacheOpen_.load(std::memory_order_relaxed)) {
    Stripe& stripe = stripeOfThisThread();
    if (!stripe.busy.exchange(true, std::memory_order_acquire)) {
      void* page = stripe.count != 0 ? stripe.pages[--stripe.count] : nullptr;
      stripe.busy.store(false, std::memory_order_release);
      if (page)
        return page;
    }
  }
  std::lock_guard lock(mutex_);
  if (void* page = acquireLocked())
    return page;
  // The operating system refused a region: the cached pages are the last free ones.
  emptyStripesLocked(kPatientAttempts);
  if (void* page = acquireLocked())
    return page;
  throw std::bad_alloc();
}

void* PagePool::acquireLocked() {
  if (!freeList_) {
    char* base = static_cast<char*>(platform::reserveRegion(kRegionSize));
    if (!base)
      return nullptr;
    auto at = std::upper_bound(regions_.begin(), regions_.end(), base,
                               [](char* a, const Region& r) { return a < r.base; });
    try {
      regions_.insert(at, Region{base, kPagesPerRegion});
    } catch (...) {
      platform::releaseRegion(base, kRegionSize);
      throw;
    }
    ++spareRegions_;
    // Pushed from the top so that the region's pages are handed out in address order.
    for (size_t i = kPagesPerRegion; i-- > 0;)
      pushFree(reinterpret_cast<FreePage*>(base + i * kPageSize));
  }
  FreePage* page = freeList_;
  unlinkFree(page);
  Region& region = regionOf(page);
  if (region.freePages-- == kPagesPerRegion)
    --spareRegions_;
  ++inUse_;
  return page;
}

void PagePool::release(void* page, bool mayCache) {
  if (!page)
    return;
  assert(reinterpret_cast<uintptr_t>(page) % kPageSize == 0);
  if (mayCache && cacheOpen_.load(std::memory_order_relaxed)) {
    Stripe& stripe = stripeOfThisThread();
    if (!stripe.busy.exchange(true, std::memory_order_acquire)) {
      const bool kept = stripe.count < kPagesPerStripe;
      if (kept)
        stripe.pages[stripe.count++] = page;
      stripe.busy.store(false, std::memory_order_release);
      if (kept)
        return;
    }
  }
  std::lock_guard lock(mutex_);
  releaseLocked(page);
}

void PagePool::releaseLocked(void* page) {
  Region& region = regionOf(page);
  --inUse_;
  pushFree(static_cast<FreePage*>(page));
  if (++region.freePages < kPagesPerRegion)
    return;
  if (spareRegions_ < maxSpareRegions_) {
    ++spareRegions_;
    return;
  }
  releaseRegion(region);
  if (regions_.empty() && maxSpareRegions_ == 0)
    std::vector<Region>().swap(regions_);
}

void PagePool::close() {
  // At process exit a thread killed inside acquire or release may still hold the lock or a
  // stripe; the system takes everything back then anyway, and waiting would hang the exit.
  cacheOpen_.store(false, std::memory_order_relaxed);
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock)
    return;
  emptyStripesLocked(1);
  maxSpareRegions_ = 0;
  for (size_t i = regions_.size(); i-- > 0;) {
    if (regions_[i].freePages == kPagesPerRegion) {
      releaseRegion(regions_[i]);
      --spareRegions_;
    }
  }
  if (regions_.empty())
    std::vector<Region>().swap(regions_);
}

PagePool::Stats PagePool::stats() const {
  std::lock_guard lock(mutex_);
  size_t cached = 0;
  for (Stripe& stripe : stripes_) {
    if (!takeStripe(stripe, kPatientAttempts))
      continue;
    cached += stripe.count;
    stripe.busy.store(false, std::memory_order_release);
  }
  return Stats{regions_.size(), spareRegions_, freeCount_, inUse_ - cached, cached};
}

} // namespace tav
