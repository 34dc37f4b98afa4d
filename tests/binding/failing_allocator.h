// One allocation that fails on purpose, for checking what the code does when memory runs out.
// install() replaces the counting allocator for good, so it belongs in a death test's child.
// Blocks come from the C heap, so blocks handed out before are still released correctly.
#pragma once

#include "foundation/memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace tav::test {

struct FailingAllocator {
  static inline int64_t countdown = -1; // allocations left before the failing one; -1 disarmed
  static inline int64_t live = 0;       // blocks taken minus blocks given back since install
  static inline bool failed = false;

  static void install() {
    memory::replaceAllocator({&allocate, &release, &resize, &duplicate, &usable, nullptr});
  }

  // Runs call with its first allocation failing, then its second, and so on until a run no longer
  // reaches the failure. call answers "" for success or its error text; answers that `acceptable`
  // refuses and exceptions come back, one line each.
  template <typename Call, typename Accept>
  static std::string sweep(Call&& call, Accept&& acceptable) {
    std::string refused;
    for (int64_t n = 0; n < 2000; ++n) {
      countdown = n;
      failed = false;
      std::string answer;
      try {
        answer = call();
      } catch (const std::exception& failure) {
        answer = std::string("threw ") + failure.what();
      }
      countdown = -1;
      if (!answer.empty() && !acceptable(answer)) {
        refused += "allocation " + std::to_string(n) + ": " + answer + "\n";
      }
      if (!failed) {
        break;
      }
    }
    return refused;
  }

private:
  static bool failsNow() {
    failed = failed || countdown == 0;
    return countdown >= 0 && countdown-- == 0;
  }
  static void* allocate(size_t bytes, void*) {
    void* block = failsNow() ? nullptr : std::malloc(bytes);
    live += block != nullptr;
    return block;
  }
  static void release(void* block, void*) {
    live -= block != nullptr;
    std::free(block);
  }
  static void* resize(void* block, size_t bytes, void*) {
    return block == nullptr ? allocate(bytes, nullptr)
                            : (failsNow() ? nullptr : std::realloc(block, bytes));
  }
  static char* duplicate(const char* text, void*) {
    char* copy = failsNow() ? nullptr : strdup(text);
    live += copy != nullptr;
    return copy;
  }
  static size_t usable(void*, void*) { return 0; }
};

} // namespace tav::test
