// Entry point of tav_bench; every area adds its benchmarks in its own file.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
