// Memory running out anywhere in the banners plugin: for each entry point of the host (the
// handshake, start, the four routes with the peers answering, a configuration event and stop),
// the plugin's first allocation fails, then in a new run its second, and so on until a run
// completes without meeting a failure. Every run ends without a crash or a hang, the plugin gives
// back all it took, and a call answers what it answers with memory to spare or an error with a
// status.
#include "banners/banners_plugin.h"
#include "foundation/memory.h"
#include "host/host.h"
#include "host/plugin_side.h"
#include "host/sondar_peers.h"
#include "plugin/plugin_entry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace tav::test {
namespace {

using host::CallResult;
using host::Host;
using host::SondarData;
using host::SondarPeers;

// Wraps the allocator table: while armed, the failAt-th allocation the plugin makes fails, and
// the plugin's live allocations are followed throughout.
class FailingAllocator {
public:
  static void install() {
    static const bool installed = [] {
      inner_ = memory::currentAllocator();
      memory::replaceAllocator({allocate, release, resize, duplicate, usableSize, nullptr});
      return true;
    }();
    static_cast<void>(installed);
  }

  static void arm(uint64_t failAt) {
    seen_ = 0;
    met_ = false;
    failAt_ = failAt;
    armed_ = true;
  }
  // Whether the armed run met its failure.
  static bool disarm() {
    armed_ = false;
    return met_;
  }
  static int64_t pluginLive() { return live_.load(); }

private:
  static bool failsNow() {
    return armed_.load() && host::onPluginSide() && ++seen_ == failAt_ && !met_.exchange(true);
  }
  static void* allocate(size_t bytes, void*) {
    if (failsNow()) {
      return nullptr;
    }
    void* block = inner_.allocate(bytes, inner_.context);
    live_ += block != nullptr && host::onPluginSide();
    return block;
  }
  static void release(void* block, void*) {
    live_ -= block != nullptr && host::onPluginSide();
    inner_.release(block, inner_.context);
  }
  static void* resize(void* block, size_t bytes, void*) {
    if (failsNow()) {
      return nullptr;
    }
    void* moved = inner_.resize(block, bytes, inner_.context);
    if (host::onPluginSide()) {
      live_ += (block == nullptr && moved != nullptr) - (block != nullptr && bytes == 0);
    }
    return moved;
  }
  static char* duplicate(const char* text, void*) {
    if (failsNow()) {
      return nullptr;
    }
    char* copy = inner_.duplicateString(text, inner_.context);
    live_ += copy != nullptr && host::onPluginSide();
    return copy;
  }
  static size_t usableSize(void* block, void*) { return inner_.usableSize(block, inner_.context); }

  static inline memory::AllocatorTable inner_{};
  static inline std::atomic<bool> armed_{false};
  static inline std::atomic<bool> met_{false};
  static inline std::atomic<uint64_t> seen_{0};
  static inline uint64_t failAt_ = 0;
  static inline std::atomic<int64_t> live_{0};
};

PluginCreation createBanners() {
  return PluginCreation{std::make_unique<banners::BannersPlugin>(), banners::kBannersShortName,
                        backendKind()};
}

void loadBanners(host::HostHandshake* handshake) {
  loadPlugin(handshake, &createBanners);
}

constexpr char kFlags[] = "/tav-banners/v1/current-sondar/flags";
constexpr char kEquipped[] = "/tav-banners/v1/current-sondar/flags/equipped";
constexpr char kFrame[] = "/tav-banners/v1/current-sondar/frames/equipped";

SondarData sondar() {
  SondarData data;
  data.flags = {{"Storm", "3", "5", "2024-03-04T10:00:00Z"},
                {"Tide", "2", "4", "2024-03-02T10:00:00Z"},
                {"Aurora", "1", "5", "2024-03-01T10:00:00Z"}};
  data.frames = {{"2", "5", "2024-03-01T10:00:00Z"}, {"3", "5", "2024-03-02T10:00:00Z"}};
  data.configuration["Banners"]["IsEquipEnabled"] = true;
  data.configuration["ClientSystemStates"]["currentSeason"] = int64_t{5};
  return data;
}

// One plugin in one host with its peers.
struct Stage {
  Host host;
  SondarPeers peers{sondar()};
  Stage() { peers.install(host); }
  bool load() { return host.load(&loadBanners); }
  bool start() {
    const bool started = host.start();
    host.waitForDeliveries();
    return started;
  }
};

enum class Setup { None, Loaded, Started };

// An entry point: how far the stage is brought before the run, and the run itself, which
// answers the call it made (nothing for the others).
struct EntryPoint {
  const char* name;
  Setup setup;
  std::function<std::optional<CallResult>(Stage&)> run;
};

CallResult putEquipped(Stage& stage, const std::string& theme) {
  host::CallRequest put;
  put.method = "PUT";
  put.path = kEquipped;
  put.contentType = "application/json";
  put.body = R"({"theme":")" + theme + R"(","level":"1","seasonId":"5","earnedDateIso8601":""})";
  CallResult result = stage.host.call(put);
  stage.host.waitForDeliveries();
  return result;
}

const EntryPoint kEntryPoints[] = {
    {"handshake", Setup::None,
     [](Stage& s) -> std::optional<CallResult> {
       s.load();
       return std::nullopt;
     }},
    {"start", Setup::Loaded,
     [](Stage& s) -> std::optional<CallResult> {
       s.start();
       return std::nullopt;
     }},
    {"get flags", Setup::Started,
     [](Stage& s) -> std::optional<CallResult> { return s.host.call("GET", kFlags); }},
    {"get equipped flag", Setup::Started,
     [](Stage& s) -> std::optional<CallResult> { return s.host.call("GET", kEquipped); }},
    {"put equipped flag", Setup::Started,
     [](Stage& s) -> std::optional<CallResult> { return putEquipped(s, "Aurora"); }},
    {"get equipped frame", Setup::Started,
     [](Stage& s) -> std::optional<CallResult> { return s.host.call("GET", kFrame); }},
    {"configuration event", Setup::Started,
     [](Stage& s) -> std::optional<CallResult> {
       s.peers.setConfiguration("Banners", "IsEquipEnabled", host::ValueTree(false));
       s.host.waitForDeliveries();
       return std::nullopt;
     }},
    {"stop", Setup::Started,
     [](Stage& s) -> std::optional<CallResult> {
       s.host.stop();
       return std::nullopt;
     }},
};

// What one run did: whether it met its failure, the call's answer, and the blocks the plugin
// still held after the call and after the stage was gone, beyond what it held before each.
struct SweepRun {
  bool metFailure = false;
  std::optional<CallResult> answer;
  int64_t keptByCall = 0;
  int64_t keptByStage = 0;

  bool keptNothing() const { return keptByCall == 0 && keptByStage == 0; }
};

// One run with allocation failAt failing (0: none).
SweepRun runOnce(const EntryPoint& entry, uint64_t failAt) {
  SweepRun run;
  const int64_t liveBeforeStage = FailingAllocator::pluginLive();
  {
    Stage stage;
    if (entry.setup != Setup::None) {
      EXPECT_TRUE(stage.load()) << stage.host.lastError();
    }
    if (entry.setup == Setup::Started) {
      EXPECT_TRUE(stage.start());
    }
    const int64_t liveBefore = FailingAllocator::pluginLive();
    FailingAllocator::arm(failAt);
    run.answer = entry.run(stage);
    run.metFailure = FailingAllocator::disarm();
    // A call's answer is released inside Host::call.
    if (run.answer) {
      run.keptByCall = FailingAllocator::pluginLive() - liveBefore;
    }
  }
  run.keptByStage = FailingAllocator::pluginLive() - liveBeforeStage;
  return run;
}

TEST(OutOfMemorySweep, EveryAllocationOfEveryEntryPointMayFail) {
  FailingAllocator::install();
  for (const EntryPoint& entry : kEntryPoints) {
    // A run with memory to spare first: it gives the right answer, and what the process sets up
    // once on first use (the logger, shared tables) is in place before live blocks are counted.
    const SweepRun clean = runOnce(entry, 0);
    ASSERT_FALSE(clean.metFailure);
    if (clean.answer) {
      ASSERT_TRUE(clean.answer->ok()) << entry.name << ": " << *clean.answer->error;
    }
    uint64_t failAt = 1;
    std::map<std::string, int> errors; // "status text" of the runs that answered an error
    for (SweepRun run = runOnce(entry, failAt); run.metFailure; run = runOnce(entry, ++failAt)) {
      // A failure path may be the first to set up something of the process's (the logger's
      // executable name on the first error line): the same run again must keep nothing.
      if (!run.keptNothing()) {
        run = runOnce(entry, failAt);
      }
      EXPECT_TRUE(run.keptNothing())
          << entry.name << " with allocation " << failAt << " failing kept " << run.keptByCall
          << " blocks after the call, " << run.keptByStage << " after unload";
      if (run.answer && !run.answer->ok()) {
        // An error with a status and a fixed text, never a half-made answer.
        EXPECT_GE(run.answer->status, 400u) << entry.name << ", allocation " << failAt;
        EXPECT_FALSE(run.answer->error->empty()) << entry.name << ", allocation " << failAt;
        ++errors[std::to_string(run.answer->status) + " " + *run.answer->error];
      } else if (run.answer) {
        EXPECT_EQ(run.answer->value, clean.answer->value)
            << entry.name << ", allocation " << failAt;
        EXPECT_EQ(run.answer->status, clean.answer->status)
            << entry.name << ", allocation " << failAt;
      }
      if (::testing::Test::HasFailure()) {
        return;
      }
    }
    std::printf("%s: %llu allocation points\n", entry.name,
                static_cast<unsigned long long>(failAt - 1));
    for (const auto& [error, runs] : errors) {
      std::printf("  %d answered %s\n", runs, error.c_str());
    }
    EXPECT_GT(failAt, 1u) << entry.name << " made no allocation";
  }
}

} // namespace
} // namespace tav::test
