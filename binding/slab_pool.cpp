// Size classes, chunk free lists and page lists of the slab pool.
#include "binding/slab_pool.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace tav {

namespace {

using Link = uint16_t[3];

void setLink(Link& link, const void* page) {
  uint64_t number = reinterpret_cast<uintptr_t>(page) / SlabPool::kPageSize;
  assert((number >> 48) == 0);
  link[0] = static_cast<uint16_t>(number);
  link[1] = static_cast<uint16_t>(number >> 16);
  link[2] = static_cast<uint16_t>(number >> 32);
}

template <class Header> Header* linked(const Link& link) {
  uint64_t number = link[0] | (uint64_t{link[1]} << 16) | (uint64_t{link[2]} << 32);
  return reinterpret_cast<Header*>(static_cast<uintptr_t>(number * SlabPool::kPageSize));
}

void writeIndex(unsigned char* block, uint16_t index) {
  SlabPool::writeIndex(block, index);
}

constexpr size_t headerBlocks(size_t blockSize) {
  return (SlabPool::kChunkHeaderSize + blockSize - 1) / blockSize;
}

// A fresh chunk's free list holds its first block marked kUntouched (see takeBlock()).
template <class Header> void formatChunk(Header* chunk, size_t chunkSize, size_t blockSize) {
  auto* base = reinterpret_cast<unsigned char*>(chunk);
  size_t first = headerBlocks(blockSize);
  size_t count = chunkSize / blockSize;
  chunk->used = 0;
  if (first < count) {
    writeIndex(base + first * blockSize, SlabPool::kUntouched);
    chunk->freeHead = static_cast<uint16_t>(first);
  } else {
    chunk->freeHead = 0;
  }
}

template <class Header> void putBlock(Header* chunk, void* block, size_t blockSize) {
  auto* base = reinterpret_cast<unsigned char*>(chunk);
  auto* bytes = static_cast<unsigned char*>(block);
  writeIndex(bytes, chunk->freeHead);
  chunk->freeHead = static_cast<uint16_t>((bytes - base) / blockSize);
  --chunk->used;
}

template <class Header> void pushPage(Header*& list, Header* page) {
  setLink(page->previous, nullptr);
  setLink(page->next, list);
  if (list)
    setLink(list->previous, page);
  list = page;
}

template <class Header> void unlinkPage(Header*& list, Header* page) {
  Header* previous = linked<Header>(page->previous);
  Header* next = linked<Header>(page->next);
  if (previous)
    setLink(previous->next, next);
  else
    list = next;
  if (next)
    setLink(next->previous, previous);
}

} // namespace

static_assert(SlabPool::kPageSize / SlabPool::kGranularity < SlabPool::kUntouched,
              "block indices must fit in 16 bits");

SlabPool::SlabPool(PagePool& pages) noexcept : pages_(&pages) {
  static_assert(sizeof(ChunkHeader) == kChunkHeaderSize);
  static_assert(kClassCount <= 32, "one bit of readyClasses_ per class");
}

SlabPool::~SlabPool() {
  // A small tree's pages wait in the page cache for the next one; a large tree's go back to
  // their regions, which can then be released.
  const bool mayCache = pageCount_ <= PagePool::kPagesPerStripe;
  for (uint32_t ready = readyClasses_; ready != 0; ready &= ready - 1) {
    const SizeClass& sizeClass = classes_[std::countr_zero(ready)];
    for (ChunkHeader* list : {sizeClass.pagesWithRoom, sizeClass.fullPages}) {
      while (list) {
        ChunkHeader* next = linked<ChunkHeader>(list->next);
        pages_->release(list, mayCache);
        list = next;
      }
    }
  }
}

SlabPool::ChunkHeader* SlabPool::newPage(SizeClass& sizeClass, size_t blockSize) {
  auto* page = static_cast<ChunkHeader*>(pages_->acquire());
  ++pageCount_;
  formatChunk(page, kPageSize, blockSize);
  pushPage(sizeClass.pagesWithRoom, page);
  return page;
}

void* SlabPool::allocateSlowly(size_t index, size_t blockSize) {
  SizeClass& sizeClass = classes_[index];
  if ((readyClasses_ >> index & 1) == 0) {
    auto* chunk = reinterpret_cast<ChunkHeader*>(sizeClass.inlineChunk);
    formatChunk(chunk, kInlineChunkSize, blockSize);
    sizeClass.pagesWithRoom = nullptr;
    sizeClass.fullPages = nullptr;
    readyClasses_ |= uint32_t{1} << index;
    if (chunk->freeHead != 0)
      return takeBlock(chunk, kInlineChunkSize, blockSize);
  }
  ChunkHeader* page = sizeClass.pagesWithRoom;
  if (!page)
    page = newPage(sizeClass, blockSize);
  void* block = takeBlock(page, kPageSize, blockSize);
  if (page->freeHead == 0)
    retirePage(sizeClass, page);
  return block;
}

void SlabPool::retirePage(SizeClass& sizeClass, ChunkHeader* page) noexcept {
  unlinkPage(sizeClass.pagesWithRoom, page);
  pushPage(sizeClass.fullPages, page);
}

void SlabPool::release(void* block, size_t bytes) noexcept {
  assert(block && bytes >= 1 && bytes <= kMaxBlockSize);
  size_t index = (bytes - 1) / kGranularity;
  size_t blockSize = (index + 1) * kGranularity;
  SizeClass& sizeClass = classes_[index];
  auto* address = static_cast<unsigned char*>(block);
  if (address >= sizeClass.inlineChunk && address < sizeClass.inlineChunk + kInlineChunkSize) {
    putBlock(reinterpret_cast<ChunkHeader*>(sizeClass.inlineChunk), block, blockSize);
    return;
  }
  auto* page = reinterpret_cast<ChunkHeader*>(reinterpret_cast<uintptr_t>(block) &
                                              ~uintptr_t{kPageSize - 1});
  bool wasFull = page->freeHead == 0;
  putBlock(page, block, blockSize);
  if (page->used == 0) {
    unlinkPage(wasFull ? sizeClass.fullPages : sizeClass.pagesWithRoom, page);
    --pageCount_;
    pages_->release(page, pageCount_ < PagePool::kPagesPerStripe);
  } else if (wasFull) {
    unlinkPage(sizeClass.fullPages, page);
    pushPage(sizeClass.pagesWithRoom, page);
  }
}

} // namespace tav
