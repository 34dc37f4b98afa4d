// The high-resolution clock: a base value taken at first use, and the counter frequency.
#include "foundation/clock.h"

#include "foundation/platform.h"

#include <atomic>

namespace tav::clock {
namespace {

// Set on first use without a lock; concurrent first calls may set the base twice, the later
// one winning, which moves the origin by a few nanoseconds at most.
std::atomic<uint64_t> gFrequency{0};
std::atomic<uint64_t> gBase{0};
std::atomic<bool> gBaseSet{false};

} // namespace

uint64_t frequency() {
  uint64_t f = gFrequency.load(std::memory_order_relaxed);
  if (f == 0) {
    f = platform::performanceFrequency();
    gFrequency.store(f, std::memory_order_relaxed);
  }
  return f;
}

double elapsedSeconds() {
  uint64_t now = platform::performanceCounter();
  if (!gBaseSet.load(std::memory_order_acquire)) {
    gBase.store(now, std::memory_order_relaxed);
    gBaseSet.store(true, std::memory_order_release);
  }
  uint64_t base = gBase.load(std::memory_order_relaxed);
  uint64_t ticks = now > base ? now - base : 0;
  return static_cast<double>(ticks) * (1.0 / static_cast<double>(frequency()));
}

} // namespace tav::clock
