// The test plugin in hosts as harsh as a desktop client: one that delivers while holding its own
// subscription lock, one whose unsubscribe waits for the name's deliveries in flight, and both.
// Handlers subscribe and unsubscribe from inside deliveries while calls do the same: every run
// completes, and the host sees each name's subscribe and unsubscribe calls in count order.
#include "host/testing/built_plugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tav::host {
namespace {

using testhost::BuiltPluginTest;
using testhost::kTestPluginLibrary;
using testhost::resourceEvent;

constexpr int kUris = 3;
constexpr int kRounds = 150;
constexpr char kTrigger[] = "/tav-test/v1/trigger";
constexpr char kTriggerEvent[] = "OnJsonApiEvent_tav-test_v1_trigger";

std::string churnUri(int index) {
  return "/tav-test/v1/churn" + std::to_string(index) + "/x";
}
std::string churnEvent(int index) {
  return "OnJsonApiEvent_tav-test_v1_churn" + std::to_string(index);
}

// Ends the process when a run hangs: a deadlock would otherwise hold CI until its own timeout.
class HangGuard {
public:
  explicit HangGuard(const char* what)
      : thread_([this, what] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, std::chrono::minutes(3), [this] { return finished_; })) {
            std::fprintf(stderr, "%s did not complete: deadlock\n", what);
            std::abort();
          }
        }) {}
  ~HangGuard() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

struct Harshness {
  const char* name;
  bool lockWhileDelivering;
  bool unsubscribeWaits;
};

class HarshHostTest : public BuiltPluginTest, public ::testing::WithParamInterface<Harshness> {
protected:
  HarshHostTest()
      : BuiltPluginTest(kTestPluginLibrary,
                        HostOptions{.deliveryThreads = 4,
                                    .historyLimit = 1u << 20,
                                    .lockWhileDelivering = GetParam().lockWhileDelivering,
                                    .unsubscribeWaitsForDeliveries = GetParam().unsubscribeWaits}) {
  }

  bool post(const char* route, const std::string& uri) {
    CallRequest request;
    request.method = "POST";
    request.path = route;
    request.contentType = "application/json";
    request.body = "\"" + uri + "\"";
    return host().call(request).ok();
  }
};

TEST_P(HarshHostTest, SubscriptionsFromCallsAndHandlersKeepTheirCountOrder) {
  ASSERT_TRUE(host().start());
  ASSERT_TRUE(post("/tav-test/v1/watch", kTrigger));
  {
    HangGuard guard(GetParam().name);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int caller = 0; caller < 2; ++caller) {
      threads.emplace_back([&, caller] {
        for (int round = 0; round < kRounds; ++round) {
          const std::string uri = churnUri((round + caller) % kUris);
          failures += !post("/tav-test/v1/watch", uri);
          failures += !host().call("GET", "/tav-test/v1/items").ok();
          failures += !post("/tav-test/v1/unwatch", uri);
        }
      });
    }
    // Handlers watch and unwatch in turn: the trigger's, and those of the churned names
    // themselves, whose deliveries an unsubscribe may be waiting for.
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        const char* verb = round % 2 == 0 ? "watch" : "unwatch";
        host().fireEvent(
            kTriggerEvent,
            resourceEvent(kTrigger, "Update", ValueTree::map({{verb, churnUri(round % kUris)}})));
        host().fireEvent(churnEvent(round % kUris),
                         resourceEvent(churnUri(round % kUris), "Update",
                                       ValueTree::map({{verb, churnUri((round + 1) % kUris)}})));
      }
    });
    for (std::thread& thread : threads) {
      thread.join();
    }
    host().waitForDeliveries();
    EXPECT_EQ(failures.load(), 0);
  }

  // Each name's host calls alternate, beginning with a subscribe.
  std::map<std::string, SubscriptionCall::Kind> last;
  for (const SubscriptionCall& call : host().events().calls()) {
    if (call.flag != 0 || call.name == kTriggerEvent) {
      continue;
    }
    const auto previous = last.find(call.name);
    const auto expected =
        previous == last.end() || previous->second == SubscriptionCall::Kind::Unsubscribe
            ? SubscriptionCall::Kind::Subscribe
            : SubscriptionCall::Kind::Unsubscribe;
    ASSERT_EQ(call.kind, expected) << call.name;
    last[call.name] = call.kind;
  }
  EXPECT_EQ(last.size(), static_cast<size_t>(kUris));

  // Whatever count the churn left, enough unsubscriptions end it at the host, and one
  // subscription starts it again.
  for (int index = 0; index < kUris; ++index) {
    for (int round = 0;
         round < 4 * kRounds && !host().events().subscribersOf(churnEvent(index)).empty();
         ++round) {
      ASSERT_TRUE(post("/tav-test/v1/unwatch", churnUri(index)));
    }
    ASSERT_TRUE(host().events().subscribersOf(churnEvent(index)).empty());
    ASSERT_TRUE(post("/tav-test/v1/unwatch", churnUri(index))); // at zero: nothing happens
    ASSERT_TRUE(post("/tav-test/v1/watch", churnUri(index)));
    EXPECT_EQ(host().events().subscribersOf(churnEvent(index)).size(), 1u);
  }
  host().stop();
  EXPECT_TRUE(host().events().subscriptions().empty());
}

INSTANTIATE_TEST_SUITE_P(Hosts, HarshHostTest,
                         ::testing::Values(Harshness{"LockWhileDelivering", true, false},
                                           Harshness{"UnsubscribeWaits", false, true},
                                           Harshness{"Both", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tav::host
