// The process-wide page pool: regions from the platform layer, a free list of pages inside them.
#include "binding/page_pool.h"

#include "foundation/platform.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <new>

namespace tav {

PagePool::~PagePool() {
  for (const Region& region : regions_)
    platform::releaseRegion(region.base, kRegionSize);
}

PagePool& PagePool::shared() {
  // Placement into static storage keeps the pool out of the heap counters and alive past the
  // destructors of other statics.
  alignas(PagePool) static unsigned char storage[sizeof(PagePool)];
  static PagePool* pool = new (storage) PagePool(kSharedSpareRegions, kSharedKeptSpareRegions);
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

bool PagePool::discard(Region& region) {
  try {
    discarded_.reserve(regions_.size()); // so that the push below cannot fail
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t i = 0; i < kPagesPerRegion; ++i)
    unlinkFree(reinterpret_cast<FreePage*>(region.base + i * kPageSize));
  platform::discardRegion(region.base, kRegionSize);
  discarded_.push_back(region.base);
  ++discards_;
  return true;
}

void PagePool::reuseDiscarded() {
  char* base = discarded_.back();
  discarded_.pop_back();
  ++keptSpare_;
  for (size_t i = kPagesPerRegion; i-- > 0;)
    pushFree(reinterpret_cast<FreePage*>(base + i * kPageSize));
}

void* PagePool::acquire() {
  std::lock_guard lock(mutex_);
  if (!freeList_ && !discarded_.empty()) {
    reuseDiscarded();
  } else if (!freeList_) {
    char* base = static_cast<char*>(platform::reserveRegion(kRegionSize));
    if (!base)
      throw std::bad_alloc();
    auto at = std::upper_bound(regions_.begin(), regions_.end(), base,
                               [](char* a, const Region& r) { return a < r.base; });
    try {
      regions_.insert(at, Region{base, kPagesPerRegion});
      ++spareRegions_;
      ++keptSpare_;
    } catch (...) {
      platform::releaseRegion(base, kRegionSize);
      throw;
    }
    // Pushed from the top so that the region's pages are handed out in address order.
    for (size_t i = kPagesPerRegion; i-- > 0;)
      pushFree(reinterpret_cast<FreePage*>(base + i * kPageSize));
  }
  FreePage* page = freeList_;
  unlinkFree(page);
  Region& region = regionOf(page);
  if (region.freePages-- == kPagesPerRegion) {
    --spareRegions_;
    --keptSpare_;
  }
  ++inUse_;
  return page;
}

void PagePool::release(void* page) {
  if (!page)
    return;
  assert(reinterpret_cast<uintptr_t>(page) % kPageSize == 0);
  std::lock_guard lock(mutex_);
  Region& region = regionOf(page);
  --inUse_;
  pushFree(static_cast<FreePage*>(page));
  if (++region.freePages < kPagesPerRegion)
    return;
  // Kept regions are counted apart from discarded ones: a small tree taking a page of a kept
  // region and giving it back must find it kept again, not discard it, or every such tree would
  // cost two calls into the system once a large one had come and gone.
  if (spareRegions_ < maxSpareRegions_) {
    if (keptSpare_ < keptSpareRegions_) {
      ++keptSpare_;
      ++spareRegions_;
      return;
    }
    // Discarded under the lock: a page of the region handed out meanwhile could lose its contents.
    if (discard(region)) {
      ++spareRegions_;
      return;
    }
  }
  for (size_t i = 0; i < kPagesPerRegion; ++i)
    unlinkFree(reinterpret_cast<FreePage*>(region.base + i * kPageSize));
  char* base = region.base;
  regions_.erase(regions_.begin() + (&region - regions_.data()));
  platform::releaseRegion(base, kRegionSize);
}

PagePool::Stats PagePool::stats() const {
  std::lock_guard lock(mutex_);
  return Stats{regions_.size(), spareRegions_, freeCount_, inUse_, discards_};
}

} // namespace tav
