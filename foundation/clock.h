// The process's high-resolution clock.
#pragma once

#include <cstdint>

namespace tav::clock {

// Counts per second of the performance counter, read once and kept.
uint64_t frequency();

// Seconds since the clock's first use in this process.
double elapsedSeconds();

} // namespace tav::clock
