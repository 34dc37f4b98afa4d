// The data file after `tav-host serve` is killed outright while it saves: always one whole data
// file, holding at least every change that was answered.
#include "host/sondar_data.h"
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <random>
#include <thread>

namespace tav::testtools {
namespace {

using host::ValueTree;

constexpr char kCounter[] = "/tav-platform-config/v1/namespaces/Tests/Counter";
constexpr int kRounds = 5;

// The sample with many more flags, so that each save takes long enough to be caught half-way.
std::string largeData() {
  std::string error;
  std::optional<host::SondarData> data = host::SondarData::fromJson(sampleText(), &error);
  EXPECT_TRUE(data) << error;
  for (int i = 0; data && i < 3000; ++i) {
    data->flags.push_back({"Bulk" + std::to_string(i % 40), std::to_string(1 + i % 3), "2",
                           "2024-01-01T00:00:00Z", "FLAG"});
  }
  return data ? data->toJson() : std::string();
}

TEST(TavHostKill, TheDataFileIsAlwaysWholeAndHoldsEveryAnsweredChange) {
  TAV_REQUIRE_TOOL();
  std::mt19937 random(std::random_device{}());
  TemporaryFolder folder;
  const std::string data = folder.write("sondar.json", largeData());
  int64_t answered = 0; // the last counter value whose PUT was answered, over every round

  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ServedHost served;
    ASSERT_TRUE(served.start({"--data", data})) << served.failure();

    // Two writers: one steps the counter, whose saves must hold every answered step, the other
    // equips and edits the profile, so that saves overlap.
    std::atomic<bool> stop{false};
    std::atomic<int64_t> acknowledged{answered};
    std::atomic<int> edits{0};
    std::thread counter([&] {
      httplib::Client client = served.client();
      for (int64_t next = answered + 1; !stop; ++next) {
        const httplib::Result put = client.Put(kCounter, std::to_string(next), "application/json");
        if (!put || put->status != 200) {
          return; // killed
        }
        acknowledged = next;
        ++edits;
      }
    });
    std::thread profile([&] {
      httplib::Client client = served.client();
      for (int i = 0; !stop; ++i) {
        const httplib::Result put =
            client.Post("/tav-sondar/v1/current-sondar/sondar-profile",
                        R"({"key":"note","value":)" + std::to_string(i) + "}", "application/json");
        if (!put || put->status != 200) {
          return;
        }
        ++edits;
      }
    });
    // Kill after a random number of edits, while both writers keep going.
    const int killAfter = std::uniform_int_distribution<int>(3, 40)(random);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (edits < killAfter && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    served.signal(SIGKILL);
    EXPECT_EQ(served.waitForExit(), -SIGKILL);
    stop = true;
    counter.join();
    profile.join();
    EXPECT_GE(edits, killAfter) << "the writers stalled";

    std::string error;
    std::optional<host::SondarData> saved = host::SondarData::fromFile(data, &error);
    ASSERT_TRUE(saved) << "torn data file after the kill: " << error;
    EXPECT_GE(saved->flags.size(), 3000u);
    const int64_t stored = saved->configuration["Tests"]["Counter"].asSigned();
    EXPECT_GE(stored, acknowledged.load()) << "an answered change was lost";
    EXPECT_LE(stored, acknowledged.load() + 1) << "a change that was never sent";
    answered = stored;
  }
}

} // namespace
} // namespace tav::testtools
