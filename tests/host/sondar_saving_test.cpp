// Keeping a data file in step with the peers: the change listener runs once for each change of
// the saved state and sees it made, and saving replaces the file whole.
#include "host/sondar_peers.h"

#include "host/fake_plugin.h"
#include "host/host.h"
#include "host/host_value_codec.h"
#include "host/temporary_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

namespace tav::host {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
public:
  TemporaryFolder() {
    std::string error;
    path_ = makeTemporaryFolder("sondar_saving_", &error);
    EXPECT_FALSE(path_.empty()) << error;
  }
  ~TemporaryFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  std::vector<std::string> names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

private:
  fs::path path_;
};

SondarData someState() {
  SondarData data;
  data.flags.push_back({"T", "2", "5", "2024-03-01T10:00:00Z", "FLAG"});
  data.frames.push_back({"3", "5", "2024-03-01T10:00:00Z", "FRAME"});
  data.configuration["Banners"]["IsEquipEnabled"] = true;
  return data;
}

TEST(SondarDataSaving, ReplacesTheFileWholeAndLeavesNothingElseInTheFolder) {
  TemporaryFolder folder;
  const std::string path = (folder.path() / "sondar.json").string();
  std::ofstream(path) << "{\"flags\": [ half a file";
  std::string error;
  ASSERT_TRUE(someState().saveFile(path, &error)) << error;
  const std::optional<SondarData> read = SondarData::fromFile(path, &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(*read, someState());
  EXPECT_EQ(folder.names(), std::vector<std::string>{"sondar.json"});
}

TEST(SondarDataSaving, KeepsTheModeOfTheFileItReplacesAndMakesNewFilesReadable) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no POSIX mode bits to keep";
#else
  TemporaryFolder folder;
  const std::string kept = (folder.path() / "kept.json").string();
  std::ofstream(kept) << "{}";
  ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
  const std::string created = (folder.path() / "created.json").string();
  std::string error;
  ASSERT_TRUE(someState().saveFile(kept, &error)) << error;
  ASSERT_TRUE(someState().saveFile(created, &error)) << error;

  struct stat status {};
  ASSERT_EQ(::stat(kept.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat(created.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
#endif
}

TEST(SondarDataSaving, NamesTheFileItCannotWrite) {
  std::string error;
  EXPECT_FALSE(someState().saveFile("/nonexistent/folder/sondar.json", &error));
  // The reason is the system's own text, which differs between systems.
  EXPECT_EQ(error.rfind("cannot write /nonexistent/folder/sondar.json: ", 0), 0u) << error;
  EXPECT_GT(error.size(), std::string("cannot write /nonexistent/folder/sondar.json: ").size());
}

// Sends one request through the host's table as the plugin does; answers the status and whether
// an error came back.
std::pair<uint32_t, bool> send(const Host& host, uint32_t method, const std::string& path,
                               const ValueTree& argument) {
  HostValue encoded = encodeHostValue(argument);
  HostTypedArgument typed;
  std::memset(&typed, 0, sizeof typed);
  typed.value = encoded;
  HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = method;
  request.path = path.c_str();
  request.args = &typed;
  request.argCount = 1;
  request.callerHandle = host.pluginHandle();
  HostResponse response;
  std::memset(&response, 0, sizeof response);
  host.api()->sendRequest(host.api(), &response, &request);
  const CallResult result = readResponse(response);
  if (response.release != nullptr) {
    response.release(&response);
  }
  releaseEncodedValue(encoded);
  return {result.status, result.ok()};
}

constexpr uint32_t kPost = 6;

class SondarChangeListenerTest : public ::testing::Test {
protected:
  SondarChangeListenerTest() : peers(someState()) {
    peers.install(host);
    testhost::resetFakePlugin();
    EXPECT_TRUE(host.load(&testhost::loadFakePlugin)) << host.lastError();
    // What the listener sees is what a save made from it would hold.
    peers.setChangeListener([this] { seen.push_back(peers.snapshot()); });
  }
  void TearDown() override { host.waitForDeliveries(); }

  Host host;
  SondarPeers peers;
  std::vector<SondarData> seen;
};

TEST_F(SondarChangeListenerTest, EveryChangeRunsItOnceWithTheChangeAlreadyMade) {
  const SondarFlag added{"U", "1", "5", "2024-03-02T10:00:00Z", "FLAG"};
  const SondarFrame frame{"4", "5", "2024-03-02T10:00:00Z", "FRAME"};
  struct Change {
    const char* name;
    std::function<void()> make;
    std::function<bool(const SondarData&)> madeIn;
  };
  const std::vector<Change> changes = {
      {"addFlag", [&] { peers.addFlag(added); },
       [&](const SondarData& d) { return d.flags.back() == added; }},
      {"setFlags", [&] { peers.setFlags({}); },
       [](const SondarData& d) { return d.flags.empty(); }},
      {"addFrame", [&] { peers.addFrame(frame); },
       [&](const SondarData& d) { return d.frames.back() == frame; }},
      {"setFrames", [&] { peers.setFrames({}); },
       [](const SondarData& d) { return d.frames.empty(); }},
      {"setInventoryOverrides",
       [&] {
         peers.setInventoryOverrides({{"X"}, {}, {}});
       },
       [](const SondarData& d) { return d.inventory.omittedTypes.count("X") == 1; }},
      {"setProfile",
       [&] {
         peers.setProfile(ValueTree::map({{"a", 1}}));
       },
       [](const SondarData& d) { return d.profile.find("a") != nullptr; }},
      {"setProfileMember", [&] { peers.setProfileMember("b", 2); },
       [](const SondarData& d) { return d.profile.find("b") != nullptr; }},
      {"eraseProfileMember", [&] { peers.eraseProfileMember("a"); },
       [](const SondarData& d) { return d.profile.find("a") == nullptr; }},
      {"setConfiguration", [&] { peers.setConfiguration("Banners", "IsEquipEnabled", false); },
       [](const SondarData& d) {
         return d.configuration.at("Banners").at("IsEquipEnabled") == ValueTree(false);
       }},
      {"deleteConfiguration", [&] { peers.deleteConfiguration("Banners", "IsEquipEnabled"); },
       [](const SondarData& d) { return d.configuration.count("Banners") == 0; }},
      {"setFailure", [&] { peers.setFailure(SondarEndpoint::Loadouts); },
       [](const SondarData& d) { return d.failures.count(SondarEndpoint::Loadouts) == 1; }},
      {"clearFailure", [&] { peers.clearFailure(SondarEndpoint::Loadouts); },
       [](const SondarData& d) { return d.failures.empty(); }},
      {"the plugin's profile write",
       [&] {
         send(host, kPost, kProfilePath, ValueTree::map({{"key", "c"}, {"value", "v"}}));
       },
       [](const SondarData& d) { return d.profile.find("c") != nullptr; }},
      {"the plugin's loadouts write",
       [&] {
         send(host, kPost, kLoadoutsPath, ValueTree::map({{"TOURNAMENT_FLAG", 1}}));
       },
       [](const SondarData& d) { return !d.loadouts.isEmpty(); }},
      {"replace", [&] { peers.replace(someState()); },
       [](const SondarData& d) { return d == someState(); }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    seen.clear();
    change.make();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(change.madeIn(seen[0])) << seen[0].toJson();
  }
}

TEST_F(SondarChangeListenerTest, WhatChangesNothingDoesNotRunIt) {
  const std::vector<std::pair<const char*, std::function<void()>>> nothing = {
      {"eraseProfileMember of a missing member", [&] { peers.eraseProfileMember("missing"); }},
      {"deleteConfiguration of a missing value",
       [&] { peers.deleteConfiguration("Banners", "Missing"); }},
      {"clearFailure without a failure", [&] { peers.clearFailure(SondarEndpoint::Inventory); }},
      {"telemetry",
       [&] { send(host, kPost, std::string(kTelemetryPrefix) + "e", ValueTree::map({})); }},
      {"a profile write refused for its shape",
       [&] {
         send(host, kPost, kProfilePath, ValueTree::map({{"value", 1}}));
       }},
  };
  for (const auto& [name, make] : nothing) {
    SCOPED_TRACE(name);
    make();
    EXPECT_TRUE(seen.empty());
  }
  peers.setFailure(SondarEndpoint::ProfileWrite);
  seen.clear();
  const auto [status, ok] =
      send(host, kPost, kProfilePath, ValueTree::map({{"key", "c"}, {"value", "v"}}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(status, 500u);
  EXPECT_TRUE(seen.empty()) << "a write that failed changed nothing to save";
}

TEST_F(SondarChangeListenerTest, AChangeTheStoreRefusesIsNotMadeAndTellsWhy) {
  std::vector<SondarData> offered;
  bool refuse = true;
  peers.setStore([&](const SondarData& next, std::string* error) {
    offered.push_back(next);
    *error = "disk full";
    return !refuse;
  });
  const SondarData before = peers.snapshot();
  std::string error;
  EXPECT_FALSE(peers.setProfileMember("a", 1, &error));
  EXPECT_EQ(error, "disk full");
  EXPECT_FALSE(peers.setConfiguration("Banners", "IsEquipEnabled", false, &error));
  const auto [status, ok] =
      send(host, kPost, kLoadoutsPath, ValueTree::map({{"TOURNAMENT_FLAG", 1}}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(status, 500u);
  EXPECT_EQ(peers.snapshot(), before);
  EXPECT_TRUE(seen.empty()) << "the listener heard of a change that was not made";
  ASSERT_EQ(offered.size(), 3u);
  EXPECT_EQ(offered[1].configuration.at("Banners").at("IsEquipEnabled"), ValueTree(false));

  refuse = false;
  EXPECT_TRUE(peers.setProfileMember("a", 1, &error));
  EXPECT_EQ(peers.snapshot(), offered.back());
  EXPECT_EQ(seen.size(), 1u);
}

} // namespace
} // namespace tav::host
