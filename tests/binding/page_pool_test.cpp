// The page pool and the slab pool: page alignment and reuse, region release, size classes,
// inline chunks and the return of empty pages.
#include "binding/page_pool.h"
#include "binding/slab_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace tav {
namespace {

bool pageAligned(const void* page) {
  return reinterpret_cast<uintptr_t>(page) % PagePool::kPageSize == 0;
}

TEST(PagePool, HandsOutDistinctAlignedWritablePagesFromSixteenPageRegions) {
  PagePool pool;
  std::vector<void*> pages;
  for (size_t i = 0; i < PagePool::kPagesPerRegion; ++i) {
    pages.push_back(pool.acquire());
    ASSERT_TRUE(pageAligned(pages.back()));
    std::memset(pages.back(), static_cast<int>(i), PagePool::kPageSize);
  }
  EXPECT_EQ(pool.stats().regions, 1u);
  EXPECT_EQ(pool.stats().freePages, 0u);
  EXPECT_EQ(pool.stats().pagesInUse, 16u);
  for (size_t i = 0; i < pages.size(); ++i)
    EXPECT_EQ(static_cast<unsigned char*>(pages[i])[PagePool::kPageSize - 1], i);

  pages.push_back(pool.acquire());
  EXPECT_EQ(pool.stats().regions, 2u);
  EXPECT_EQ(pool.stats().freePages, 15u);
  EXPECT_EQ(std::set<void*>(pages.begin(), pages.end()).size(), pages.size());
  for (void* page : pages)
    pool.release(page);
  EXPECT_EQ(pool.stats().regions, 0u);
  EXPECT_EQ(pool.stats().freePages, 0u);
  EXPECT_EQ(pool.stats().pagesInUse, 0u);
}

TEST(PagePool, KeepsARegionUntilAllSixteenPagesAreBack) {
  PagePool pool;
  std::vector<void*> pages;
  for (size_t i = 0; i < PagePool::kPagesPerRegion; ++i)
    pages.push_back(pool.acquire());
  for (size_t i = 0; i + 1 < pages.size(); ++i)
    pool.release(pages[i]);
  EXPECT_EQ(pool.stats().regions, 1u);
  EXPECT_EQ(pool.stats().freePages, 15u);

  // A returned page is handed out again before any new region.
  void* again = pool.acquire();
  EXPECT_NE(std::find(pages.begin(), pages.end(), again), pages.end());
  EXPECT_EQ(pool.stats().regions, 1u);
  pool.release(again);
  pool.release(pages.back());
  EXPECT_EQ(pool.stats().regions, 0u);
}

TEST(PagePool, ReleasesOnlyTheRegionThatBecameFree) {
  PagePool pool;
  std::vector<void*> pages;
  for (size_t i = 0; i < 3 * PagePool::kPagesPerRegion; ++i)
    pages.push_back(pool.acquire());
  EXPECT_EQ(pool.stats().regions, 3u);
  // Return the middle region's pages in a scrambled order.
  std::vector<void*> middle(pages.begin() + 16, pages.begin() + 32);
  std::reverse(middle.begin(), middle.begin() + 8);
  for (void* page : middle)
    pool.release(page);
  EXPECT_EQ(pool.stats().regions, 2u);
  EXPECT_EQ(pool.stats().freePages, 0u);
  EXPECT_EQ(pool.stats().pagesInUse, 32u);
  for (size_t i = 0; i < pages.size(); ++i)
    if (i < 16 || i >= 32)
      std::memset(pages[i], 0xAB, PagePool::kPageSize); // still mapped and writable
  for (size_t i = 0; i < pages.size(); ++i)
    if (i < 16 || i >= 32)
      pool.release(pages[i]);
  EXPECT_EQ(pool.stats().regions, 0u);
}

TEST(PagePool, KeepsUpToItsSpareRegionsMappedAndReusesThemFirst) {
  PagePool pool(2);
  std::vector<void*> pages;
  for (size_t i = 0; i < 3 * PagePool::kPagesPerRegion; ++i)
    pages.push_back(pool.acquire());
  EXPECT_EQ(pool.stats().spareRegions, 0u);
  for (void* page : pages)
    pool.release(page);
  // Two emptied regions stay mapped; the third goes back to the operating system.
  EXPECT_EQ(pool.stats().regions, 2u);
  EXPECT_EQ(pool.stats().spareRegions, 2u);
  EXPECT_EQ(pool.stats().freePages, 32u);

  std::vector<void*> again;
  for (size_t i = 0; i < 2 * PagePool::kPagesPerRegion; ++i)
    again.push_back(pool.acquire());
  EXPECT_EQ(pool.stats().regions, 2u);
  EXPECT_EQ(pool.stats().spareRegions, 0u);
  for (void* page : again)
    EXPECT_NE(std::find(pages.begin(), pages.end(), page), pages.end());
  for (void* page : again)
    pool.release(page);
  EXPECT_EQ(pool.stats().spareRegions, 2u);
  EXPECT_EQ(pool.stats().pagesInUse, 0u);
}

TEST(PagePool, CloseReleasesSpareRegionsAndKeepsNoneFromThenOn) {
  PagePool pool(4);
  std::vector<void*> pages;
  for (size_t i = 0; i < 3 * PagePool::kPagesPerRegion; ++i)
    pages.push_back(pool.acquire());
  for (size_t i = 0; i < PagePool::kPagesPerRegion; ++i)
    pool.release(pages[i]);
  EXPECT_EQ(pool.stats().spareRegions, 1u);

  // As at unload: the spare region goes, the two in use stay usable and go as they empty.
  pool.close();
  PagePool::Stats stats = pool.stats();
  EXPECT_EQ(stats.regions, 2u);
  EXPECT_EQ(stats.spareRegions, 0u);
  EXPECT_EQ(stats.pagesInUse, 32u);
  for (size_t i = PagePool::kPagesPerRegion; i < pages.size(); ++i)
    std::memset(pages[i], 0xCD, PagePool::kPageSize);
  for (size_t i = PagePool::kPagesPerRegion; i < pages.size(); ++i)
    pool.release(pages[i]);
  stats = pool.stats();
  EXPECT_EQ(stats.regions, 0u);
  EXPECT_EQ(stats.freePages, 0u);
  EXPECT_EQ(stats.pagesInUse, 0u);
}

TEST(PagePool, CachesSmallTreesPagesUpToItsBoundAndEmptiesTheCacheOnRequestAndAtClose) {
  PagePool pool(0, true);
  std::vector<void*> pages;
  for (size_t i = 0; i < 2 * PagePool::kPagesPerStripe; ++i)
    pages.push_back(pool.acquire());
  for (void* page : pages)
    pool.release(page, true);
  // One thread fills its stripe; the rest go back to the region.
  PagePool::Stats stats = pool.stats();
  EXPECT_EQ(stats.cachedPages, PagePool::kPagesPerStripe);
  EXPECT_EQ(stats.pagesInUse, 0u);
  EXPECT_EQ(stats.regions, 1u);

  // The cached pages come back first, the last one cached first.
  for (size_t i = 0; i < PagePool::kPagesPerStripe; ++i)
    EXPECT_EQ(pool.acquire(), pages[PagePool::kPagesPerStripe - 1 - i]);
  EXPECT_EQ(pool.stats().cachedPages, 0u);
  for (size_t i = 0; i < PagePool::kPagesPerStripe; ++i)
    pool.release(pages[i], i % 2 == 0); // a large tree's pages do not enter the cache
  EXPECT_EQ(pool.stats().cachedPages, PagePool::kPagesPerStripe / 2);

  pool.emptyCache();
  stats = pool.stats();
  EXPECT_EQ(stats.cachedPages, 0u);
  EXPECT_EQ(stats.regions, 0u);

  void* page = pool.acquire();
  pool.release(page, true);
  EXPECT_EQ(pool.stats().cachedPages, 1u);
  pool.close();
  EXPECT_EQ(pool.stats().regions, 0u);
  page = pool.acquire();
  pool.release(page, true);
  stats = pool.stats();
  EXPECT_EQ(stats.cachedPages, 0u);
  EXPECT_EQ(stats.regions, 0u);
}

TEST(PagePool, ThreadsSharingTheCacheNeverHoldOnePageAtOnce) {
  PagePool pool(1, true);
  constexpr int kThreads = 6;
  constexpr int kRounds = 4000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&pool, t] {
      const auto mark = static_cast<unsigned char>(t + 1);
      for (int round = 0; round < kRounds; ++round) {
        void* held[3];
        for (void*& page : held) {
          page = pool.acquire();
          std::memset(page, mark, 64);
        }
        for (void* page : held) {
          const auto* bytes = static_cast<const unsigned char*>(page);
          ASSERT_TRUE(bytes[0] == mark && bytes[63] == mark) << "a page was handed out twice";
          pool.release(page, round % 3 != 0);
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  PagePool::Stats stats = pool.stats();
  EXPECT_EQ(stats.pagesInUse, 0u);
  EXPECT_LE(stats.cachedPages, PagePool::kStripes * PagePool::kPagesPerStripe);
  pool.emptyCache();
  EXPECT_LE(pool.stats().regions, 1u);
}

TEST(SlabPool, EachClassFirstUsesItsInlineChunk) {
  // Blocks that fit in 144 bytes after a 16-byte header rounded up to whole blocks.
  struct Case {
    size_t bytes;
    size_t inlineBlocks;
  };
  const Case cases[] = {{1, 32}, {4, 32}, {8, 16}, {12, 10}, {16, 8}, {24, 5},
                        {40, 2}, {48, 2}, {56, 1}, {64, 1},  {72, 1}};
  for (const Case& c : cases) {
    PagePool pages;
    SlabPool pool(pages);
    std::vector<void*> blocks;
    for (size_t i = 0; i < c.inlineBlocks; ++i)
      blocks.push_back(pool.allocate(c.bytes));
    EXPECT_EQ(pool.pageCount(), 0u) << c.bytes;
    blocks.push_back(pool.allocate(c.bytes));
    EXPECT_EQ(pool.pageCount(), 1u) << c.bytes;
    EXPECT_EQ(pages.stats().pagesInUse, 1u);
    for (void* block : blocks)
      pool.release(block, c.bytes);
    EXPECT_EQ(pool.pageCount(), 0u) << c.bytes;
    EXPECT_EQ(pages.stats().regions, 0u) << c.bytes;
  }
}

TEST(SlabPool, BlocksOfEveryClassAreDistinctAlignedAndDoNotOverlap) {
  PagePool pages;
  SlabPool pool(pages);
  struct Live {
    unsigned char* block;
    size_t bytes;
    unsigned char fill;
  };
  std::vector<Live> live;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    if (!live.empty() && random() % 3 == 0) {
      size_t index = random() % live.size();
      Live gone = live[index];
      for (size_t i = 0; i < gone.bytes; ++i)
        ASSERT_EQ(gone.block[i], gone.fill) << "block of " << gone.bytes << " overwritten";
      pool.release(gone.block, gone.bytes);
      live[index] = live.back();
      live.pop_back();
      continue;
    }
    size_t bytes = 1 + random() % SlabPool::kMaxBlockSize;
    auto* block = static_cast<unsigned char*>(pool.allocate(bytes));
    size_t rounded = (bytes + 3) / 4 * 4;
    ASSERT_EQ(reinterpret_cast<uintptr_t>(block) % (rounded % 8 == 0 ? 8 : 4), 0u) << bytes;
    auto fill = static_cast<unsigned char>(step);
    std::memset(block, fill, bytes);
    live.push_back({block, bytes, fill});
  }
  for (const Live& block : live)
    for (size_t i = 0; i < block.bytes; ++i)
      ASSERT_EQ(block.block[i], block.fill);
  for (const Live& block : live)
    pool.release(block.block, block.bytes);
  EXPECT_EQ(pool.pageCount(), 0u);
  EXPECT_EQ(pages.stats().pagesInUse, 0u);
}

TEST(SlabPool, AFullPageTakesBlocksAgainOnceOneIsFreed) {
  PagePool pages;
  SlabPool pool(pages);
  constexpr size_t kBytes = 64;
  // One inline block, then 63 per page (the header takes the first block).
  std::vector<void*> blocks;
  for (size_t i = 0; i < 1 + 63; ++i)
    blocks.push_back(pool.allocate(kBytes));
  EXPECT_EQ(pool.pageCount(), 1u);
  void* onFullPage = blocks[10];
  pool.release(onFullPage, kBytes);
  EXPECT_EQ(pool.allocate(kBytes), onFullPage);
  EXPECT_EQ(pool.pageCount(), 1u);
  blocks.push_back(pool.allocate(kBytes));
  EXPECT_EQ(pool.pageCount(), 2u);
  for (void* block : blocks)
    pool.release(block, kBytes);
  EXPECT_EQ(pool.pageCount(), 0u);
}

TEST(SlabPool, ReturnsEachPageWhenItsLastBlockIsFreed) {
  PagePool pages;
  SlabPool pool(pages);
  constexpr size_t kBytes = 8;
  constexpr size_t kPerPage = 4096 / 8 - 2;
  std::vector<void*> blocks;
  for (size_t i = 0; i < 16 + 3 * kPerPage; ++i)
    blocks.push_back(pool.allocate(kBytes));
  EXPECT_EQ(pool.pageCount(), 3u);
  // Free the second page's blocks only: that page alone goes back.
  for (size_t i = 16 + kPerPage; i < 16 + 2 * kPerPage; ++i)
    pool.release(blocks[i], kBytes);
  EXPECT_EQ(pool.pageCount(), 2u);
  EXPECT_EQ(pages.stats().pagesInUse, 2u);
  EXPECT_EQ(pages.stats().freePages, 14u);
}

TEST(SlabPool, DestroyingThePoolReturnsPagesStillInUse) {
  PagePool pages;
  {
    SlabPool pool(pages);
    for (size_t i = 0; i < 1000; ++i)
      pool.allocate(1 + i % SlabPool::kMaxBlockSize);
    EXPECT_GT(pages.stats().pagesInUse, 0u);
  }
  EXPECT_EQ(pages.stats().pagesInUse, 0u);
  EXPECT_EQ(pages.stats().regions, 0u);
}

} // namespace
} // namespace tav
