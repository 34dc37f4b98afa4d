// The banners library loaded, started, called a thousand times on four threads, stopped and
// unloaded, fifty times in one process, as a client that loads plugins on demand would: after
// the first cycle the process holds no more memory, threads or handles than it did.
#include "host/sondar_fixture.h"
#include "host/sondar_peers.h"
#include "tests/host/process_resources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace tav::host {
namespace {

using testhost::day;
using testhost::flag;
using testhost::flagBody;
using testhost::frame;
using testhost::sondar;

constexpr int kCycles = 50;
constexpr int kThreads = 4;
constexpr int kCallsPerThread = 250;
// Of each thread's calls, the first few list a large inventory's flags.
constexpr int kLargeCallsPerThread = 3;
constexpr size_t kLargeInventory = 5000;
constexpr size_t kAllowedGrowth = 1024 * 1024;

SondarData largeSondar() {
  std::vector<SondarFlag> flags;
  for (size_t index = 0; index < kLargeInventory; ++index) {
    flags.push_back(flag("T" + std::to_string(index % 97), std::to_string(index % 5 + 1),
                         std::to_string(index % 7 + 1), day(static_cast<int>(index % 28) + 1)));
  }
  return sondar(std::move(flags), {frame("2", "5")});
}

// One cycle; false when the library did not load or start.
bool runCycle(const std::string& path, const SondarData& large, const SondarData& small) {
  Host host(HostOptions{.unmapOnClose = true});
  SondarPeers peers;
  peers.install(host);
  peers.replace(large);
  if (!host.load(path) || !host.start()) {
    ADD_FAILURE() << host.lastError();
    return false;
  }
  auto calls = [&](int thread, int first, int last) {
    for (int call = first; call < last; ++call) {
      switch ((call + thread) % 4) {
      case 0:
        EXPECT_TRUE(host.call("GET", testhost::kFlagsPath).ok());
        break;
      case 1:
        EXPECT_TRUE(host.call("GET", testhost::kEquippedPath).ok());
        break;
      case 2: {
        CallRequest put;
        put.method = "PUT";
        put.path = testhost::kEquippedPath;
        put.contentType = "application/json";
        put.body = flagBody(small.flags[static_cast<size_t>(call) % small.flags.size()]).toJson();
        EXPECT_TRUE(host.call(put).ok());
        break;
      }
      default:
        EXPECT_TRUE(host.call("GET", testhost::kFramePath).ok());
      }
    }
  };
  auto onThreads = [&](auto work) {
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
      threads.emplace_back(work, thread);
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  };
  onThreads([&](int) {
    for (int call = 0; call < kLargeCallsPerThread; ++call) {
      EXPECT_TRUE(host.call("GET", testhost::kFlagsPath).ok());
    }
  });
  peers.replace(small);
  onThreads([&](int thread) { calls(thread, kLargeCallsPerThread, kCallsPerThread); });
  host.stop();
  host.unload();
  return true;
}

TEST(UnloadCyclesTest, FiftyCyclesLeaveNoMemoryThreadOrHandleBehind) {
  const std::optional<std::string> path = testhost::builtLibraryPath(testhost::kBannersLibrary);
  if (!path) {
    GTEST_SKIP() << testhost::kBannersLibrary << " is not in the build folder";
  }
  testhost::keepHeapFromCaching();
  const SondarData large = largeSondar();
  const SondarData small = sondar(
      {flag("A", "1", "5", day(1)), flag("B", "2", "5", day(2)), flag("C", "3", "4", day(3))},
      {frame("2", "5"), frame("3", "5")});
  testhost::ProcessResources first;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(runCycle(*path, large, small));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const testhost::ProcessResources now = testhost::processResources();
    if (cycle == 0) {
      first = now;
    }
    // The figures for whoever follows memory or time across cycles; the checks come last.
    std::printf("cycle %2d: %.2f s, private %zu KiB, %zu threads, %zu handles\n", cycle, seconds,
                now.privateBytes / 1024, now.threads, now.handles);
  }
  const testhost::ProcessResources last = testhost::processResources();
#if !defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer holds freed blocks back in its quarantine; its leak checker, which sees the
  // blocks of an unloaded library as lost, stands in for this check there.
  EXPECT_LT(last.privateBytes, first.privateBytes + kAllowedGrowth)
      << "grew by " << (last.privateBytes - first.privateBytes) / 1024 << " KiB";
#endif
  EXPECT_EQ(last.threads, first.threads);
  EXPECT_EQ(last.handles, first.handles);
}

} // namespace
} // namespace tav::host
