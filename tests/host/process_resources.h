// What the test process holds from the operating system, to see what a library left behind
// after it was unloaded.
#pragma once

#include <cstddef>

namespace tav::testhost {

struct ProcessResources {
  // Windows: committed private memory less what the heaps keep free. Linux: anonymous resident
  // memory (RssAnon), once the C heap has given back what it can.
  size_t privateBytes = 0;
  size_t threads = 0;
  size_t handles = 0; // open handles (Windows), open file descriptors (Linux)
};

// Keeps the C heap from holding freed memory for later in ways that vary from one moment to the
// next (glibc: one arena for every thread, large blocks mapped apart, free tops trimmed), so that
// what the process holds follows what is live. Call before any thread starts.
void keepHeapFromCaching();

ProcessResources processResources();

} // namespace tav::testhost
