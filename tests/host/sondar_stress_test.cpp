// Eight host threads calling every banners route at once while configuration events switch
// equipping on and off and move the season: every answer is one the routes may give, and the
// plugin's bytes in use come back to where they started.
#include "host/memory_statistics.h"
#include "host/sondar_fixture.h"
#include "host/sondar_inventory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace tav::host {
namespace {

using testhost::bannerFlag;
using testhost::canonical;
using testhost::canonicalJson;
using testhost::day;
using testhost::flag;
using testhost::flagBody;
using testhost::frame;
using testhost::sondar;

constexpr int kThreads = 8;
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer runs each call many times slower; fewer calls keep the test within minutes
// while still overlapping every route with every kind of event.
constexpr int kCallsPerThread = 2000;
#else
constexpr int kCallsPerThread = 10000;
#endif

class SondarStressTest : public testhost::SondarPluginTest {
protected:
  const std::vector<SondarFlag> owned = {flag("A", "1", "5", day(1)), flag("A", "2", "5", day(2)),
                                         flag("B", "1", "5", day(3)), flag("C", "4", "4", day(4))};
};

// What each route may answer while the switches move, as canonical JSON texts.
struct ValidAnswers {
  std::string flags;
  std::set<std::string> flagsOfSondar; // any owned flag: the equipped one or the default
  std::set<std::string> frames;
};

std::string describe(const CallResult& result) {
  return result.error ? std::to_string(result.status) + " " + *result.error
                      : canonicalJson(result.value);
}

// Runs kThreads callers of callsPerThread calls each, counting the answers that are not valid.
class Callers {
public:
  Callers(testhost::SondarPluginTest& test, const std::vector<SondarFlag>& owned,
          const ValidAnswers& valid)
      : test_(test), owned_(owned), valid_(valid) {}

  void run(int callsPerThread) {
    std::vector<std::thread> callers;
    for (int thread = 0; thread < kThreads; ++thread) {
      callers.emplace_back([this, thread, callsPerThread] {
        for (int call = 0; call < callsPerThread; ++call) {
          callOnce(call + thread);
        }
      });
    }
    for (std::thread& caller : callers) {
      caller.join();
    }
  }

  int invalid() const { return invalid_.load(); }
  int equips() const { return equips_.load(); }
  int refusals() const { return refusals_.load(); }
  std::string firstInvalid() {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstInvalid_;
  }

private:
  void callOnce(int turn) {
    switch (turn % 4) {
    case 0: {
      const CallResult result = test_.getFlags();
      check("GET flags", result, result.ok() && canonicalJson(result.value) == valid_.flags);
      break;
    }
    case 1: {
      const CallResult result = test_.getEquipped();
      check("GET flags/equipped", result,
            result.ok() && valid_.flagsOfSondar.count(canonicalJson(result.value)) != 0);
      break;
    }
    case 2: {
      const SondarFlag& wanted = owned_[static_cast<size_t>(turn / 4) % owned_.size()];
      const CallResult result = test_.putEquipped(flagBody(wanted));
      const bool equipped =
          result.ok() && canonicalJson(result.value) == canonicalJson(bannerFlag(wanted));
      const bool refused = result.status == 503 && result.error == testhost::kEquipDisabledMessage;
      (equipped ? equips_ : refusals_).fetch_add(1);
      check("PUT flags/equipped", result, equipped || refused);
      break;
    }
    default: {
      const CallResult result = test_.getFrame();
      check("GET frames/equipped", result,
            result.ok() && valid_.frames.count(canonicalJson(result.value)) != 0);
      break;
    }
    }
  }

  void check(const char* route, const CallResult& result, bool isValid) {
    if (!isValid && invalid_.fetch_add(1) == 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      firstInvalid_ = std::string(route) + " answered " + describe(result);
    }
  }

  testhost::SondarPluginTest& test_;
  const std::vector<SondarFlag>& owned_;
  const ValidAnswers& valid_;
  std::atomic<int> invalid_{0};
  std::atomic<int> equips_{0};
  std::atomic<int> refusals_{0};
  std::mutex mutex_;
  std::string firstInvalid_;
};

// Flips equipping on every turn and moves the season between 7, 5.5 (read as 5) and none.
class Switcher {
public:
  explicit Switcher(host::SondarPeers& peers)
      : thread_([this, &peers] {
          for (int flip = 0; running_.load(); ++flip) {
            peers.setConfiguration("Banners", "IsEquipEnabled", flip % 2 == 0);
            if (flip % 5 == 4) {
              peers.deleteConfiguration("ClientSystemStates", "currentSeason");
            } else {
              peers.setConfiguration("ClientSystemStates", "currentSeason",
                                     flip % 2 == 0 ? ValueTree(7) : ValueTree(5.5));
            }
            flips_.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
        }) {}
  ~Switcher() { stop(); }

  int stop() {
    running_ = false;
    if (thread_.joinable()) {
      thread_.join();
    }
    return flips_.load();
  }

private:
  std::atomic<bool> running_{true};
  std::atomic<int> flips_{0};
  std::thread thread_;
};

TEST_F(SondarStressTest, ConcurrentCallsAndConfigurationEventsGiveOnlyValidAnswers) {
  startWith(sondar(owned, {frame("3", "5"), frame("7", "7")}));
  ValidAnswers valid;
  valid.flags = canonicalJson(ValueTree::list(
      {bannerFlag(owned[2]), bannerFlag(owned[1]), bannerFlag(owned[0]), bannerFlag(owned[3])}));
  for (const SondarFlag& one : owned) {
    valid.flagsOfSondar.insert(canonicalJson(bannerFlag(one)));
  }
  for (const char* level : {"3", "7", "1"}) {
    valid.frames.insert(canonicalJson(ValueTree::map({{"level", level}})));
  }
  Callers callers(*this, owned, valid);

  // What the plugin keeps for reuse grows with the memory its value trees take at once (the page
  // pool's table of regions never shrinks), so it is brought to its height first: one call whose
  // trees span many regions, more than eight small calls in flight ever need, then a short
  // concurrent round. Only then are the bytes in use taken. The large payload carries a member
  // of its own, so that the plugin reads it through a value tree.
  SondarData large;
  for (int index = 0; index < 4000; ++index) {
    large.flags.push_back(flag("M" + std::to_string(index), "1", "5", day(1 + index % 28)));
  }
  ValueTree payload = inventoryPayload(large, kFlagInventoryType);
  std::vector<ValueEntry> members = payload.entries();
  members.emplace_back("issuer", "tav-inventory");
  InventoryOverrides overrides;
  overrides.payloads[kFlagInventoryType] = ValueTree::map(std::move(members));
  peers().setInventoryOverrides(overrides);
  const CallResult answer = getFlags();
  ASSERT_TRUE(answer.ok());
  ASSERT_EQ(answer.value.items().size(), 4000u);
  peers().setInventoryOverrides({});
  {
    Switcher switcher(peers());
    callers.run(100);
  }
  host().waitForDeliveries();
  const uint64_t before = decodeMemoryStatistics(host().memoryStatistics()).bytesInUse();

  Switcher switcher(peers());
  callers.run(kCallsPerThread);
  const int flips = switcher.stop();
  host().waitForDeliveries();

  EXPECT_EQ(callers.invalid(), 0) << callers.firstInvalid();
  EXPECT_GT(flips, 1) << "the switches never moved during the calls";
  EXPECT_GT(callers.equips(), 0);
  EXPECT_GT(callers.refusals(), 0) << "equipping was never seen switched off";
  EXPECT_EQ(decodeMemoryStatistics(host().memoryStatistics()).bytesInUse(), before);
}

} // namespace
} // namespace tav::host
