// The slab pool of one document: small fixed-size blocks for headers, records and tree nodes.
//
// Requests of 1 to 72 bytes are rounded up to a multiple of 4, which gives 18 size classes. Each
// class first uses a 144-byte chunk inside the pool object itself, so a small tree needs no page
// at all, then 4096-byte pages from the shared page pool. A chunk opens with a 16-byte header
// (rounded up to whole blocks); its free blocks form a list threaded through their first 16 bits
// by block index, 0 ending the list. A page whose last block is freed goes straight back to the
// page pool, and destroying the pool returns every page it still holds.
//
// Not thread-safe: a pool belongs to one tree, which is used by one thread at a time.
#pragma once

#include "binding/page_pool.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace tav {

class SlabPool {
public:
  static constexpr size_t kGranularity = 4;
  static constexpr size_t kClassCount = 18;
  static constexpr size_t kMaxBlockSize = kGranularity * kClassCount;
  static constexpr size_t kInlineChunkSize = 144;
  static constexpr size_t kChunkHeaderSize = 16;
  static constexpr size_t kPageSize = PagePool::kPageSize;

  explicit SlabPool(PagePool& pages = PagePool::shared()) noexcept;
  ~SlabPool();
  SlabPool(const SlabPool&) = delete;
  SlabPool& operator=(const SlabPool&) = delete;

  // A block of at least `bytes` (1 to kMaxBlockSize) bytes. Blocks of a size that is a multiple
  // of 8 are 8-aligned, others 4-aligned. Throws std::bad_alloc when no page can be had.
  void* allocate(size_t bytes);
  // Gives back a block from allocate(); `bytes` must be the size it was asked with.
  void release(void* block, size_t bytes) noexcept;

  template <class T, class... Args> T* create(Args&&... args) {
    static_assert(sizeof(T) <= kMaxBlockSize && alignof(T) <= 8);
    return new (allocate(sizeof(T))) T(std::forward<Args>(args)...);
  }
  template <class T> void destroy(T* object) noexcept {
    object->~T();
    release(object, sizeof(T));
  }

  // Pages currently taken from the page pool.
  size_t pageCount() const { return pageCount_; }

private:
  struct ChunkHeader;
  struct SizeClass {
    alignas(8) unsigned char inlineChunk[kInlineChunkSize];
    ChunkHeader* pagesWithRoom = nullptr;
    ChunkHeader* fullPages = nullptr;
  };

  ChunkHeader* newPage(SizeClass& sizeClass, size_t blockSize);

  PagePool* pages_;
  size_t pageCount_ = 0;
  SizeClass classes_[kClassCount];
};

} // namespace tav
