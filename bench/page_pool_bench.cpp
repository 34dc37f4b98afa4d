// What the shared page pool's few spare regions save a call: a small tree's worth of blocks
// (three pages) taken and given back, from a pool that keeps no spare region and from one that
// keeps as many as the shared pool does. Without spares, every such tree maps, faults in and
// unmaps a fresh region.
#include "binding/page_pool.h"
#include "binding/slab_pool.h"

#include <benchmark/benchmark.h>

#include <array>

namespace tav {
namespace {

void BM_SmallTreePages(benchmark::State& state) {
  PagePool pages(static_cast<size_t>(state.range(0)));
  constexpr size_t kBlocks = 180; // 64-byte member nodes: three pages
  std::array<void*, kBlocks> blocks{};
  for (auto _ : state) {
    SlabPool pool(pages);
    for (void*& block : blocks) {
      block = pool.allocate(64);
    }
    benchmark::DoNotOptimize(blocks);
    for (void* block : blocks) {
      pool.release(block, 64);
    }
  }
}
BENCHMARK(BM_SmallTreePages)
    ->Name("PagePool/SmallTree")
    ->ArgName("spare")
    ->Arg(0)
    ->Arg(static_cast<int64_t>(PagePool::kSharedSpareRegions));

} // namespace
} // namespace tav
