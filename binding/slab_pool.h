// The slab pool of one document: small fixed-size blocks for headers, records and tree nodes.
//
// Requests of 1 to 72 bytes are rounded up to a multiple of 4, which gives 18 size classes. Each
// class first uses a 144-byte chunk inside the pool object itself, so a small tree needs no page
// at all, then 4096-byte pages from the shared page pool. A chunk opens with a 16-byte header
// (rounded up to whole blocks); its free blocks form a list threaded through their first 16 bits
// by block index, 0 ending the list, extended block by block as the chunk fills. A page whose last
// block is freed goes straight back to the page pool, and destroying the pool returns every page it
// still holds.
//
// Not thread-safe: a pool belongs to one tree, which is used by one thread at a time.
#pragma once

#include "binding/page_pool.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
  // Inline, so that the common case of a block from the class's inline chunk folds the size
  // arithmetic away at each call site.
  void* allocate(size_t bytes) {
    assert(bytes >= 1 && bytes <= kMaxBlockSize);
    size_t index = (bytes - 1) / kGranularity;
    size_t blockSize = (index + 1) * kGranularity;
    SizeClass& sizeClass = classes_[index];
    if ((readyClasses_ >> index & 1) != 0) {
      auto* inlineChunk = reinterpret_cast<ChunkHeader*>(sizeClass.inlineChunk);
      if (inlineChunk->freeHead != 0)
        return takeBlock(inlineChunk, kInlineChunkSize, blockSize);
      // A large tree takes most of its blocks from its newest page; only a page's first and last
      // block leave this path.
      if (ChunkHeader* page = sizeClass.pagesWithRoom) {
        void* block = takeBlock(page, kPageSize, blockSize);
        if (page->freeHead == 0)
          retirePage(sizeClass, page);
        return block;
      }
    }
    return allocateSlowly(index, blockSize);
  }
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

  // The 16-bit block index stored at the start of a free block.
  static uint16_t readIndex(const unsigned char* block) {
    uint16_t index;
    std::memcpy(&index, block, sizeof index);
    return index;
  }
  static void writeIndex(unsigned char* block, uint16_t index) {
    std::memcpy(block, &index, sizeof index);
  }
  // The index that marks the first block never handed out: it and every block after it in the
  // chunk are free.
  static constexpr uint16_t kUntouched = 0xFFFF;

private:
  // The 16-byte header at the start of every chunk. The page-list links are page numbers (the
  // address divided by 4096) in three 16-bit words each, which covers every address a 64-bit
  // system hands out while keeping the header at 16 bytes on every target; 0 is no page.
  struct ChunkHeader {
    uint16_t previous[3];
    uint16_t next[3];
    uint16_t used;
    uint16_t freeHead;
  };
  // Left unformatted until the class is first used (see readyClasses_): a small tree uses a few
  // classes, and formatting all eighteen cost a fair share of building one.
  struct SizeClass {
    alignas(8) unsigned char inlineChunk[kInlineChunkSize];
    ChunkHeader* pagesWithRoom;
    ChunkHeader* fullPages;
  };

  // Blocks are threaded onto a chunk's free list only as they are reached: taking the block
  // marked kUntouched marks the next one, so a document that uses a few blocks of a class never
  // pays for formatting the whole chunk or page.
  static void* takeBlock(ChunkHeader* chunk, size_t chunkSize, size_t blockSize) {
    auto* base = reinterpret_cast<unsigned char*>(chunk);
    size_t index = chunk->freeHead;
    auto* block = base + index * blockSize;
    uint16_t next = readIndex(block);
    if (next == kUntouched) {
      next = (index + 2) * blockSize <= chunkSize ? static_cast<uint16_t>(index + 1) : 0;
      if (next != 0)
        writeIndex(base + size_t{next} * blockSize, kUntouched);
    }
    chunk->freeHead = next;
    ++chunk->used;
    return block;
  }

  // Formats the class on its first use, then takes a block from the inline chunk or a page.
  void* allocateSlowly(size_t index, size_t blockSize);
  // Moves a page that has just handed out its last free block to the list of full pages.
  void retirePage(SizeClass& sizeClass, ChunkHeader* page) noexcept;
  ChunkHeader* newPage(SizeClass& sizeClass, size_t blockSize);

  PagePool* pages_;
  size_t pageCount_ = 0;
  uint32_t readyClasses_ = 0; // bit i: class i's inline chunk and page lists are formatted
  SizeClass classes_[kClassCount];
};

} // namespace tav
