// Who may write: one tav-host per data file, per port and per lockfile, and a change that cannot
// be saved is refused rather than answered as done.
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

namespace tav::testtools {
namespace {

using host::ValueTree;

int statusOf(const httplib::Result& result) {
  return result ? result->status : -1;
}

std::string bodyOf(const httplib::Result& result) {
  return result ? result->body : "";
}

// A flag of the sample that is not equipped, as an equip's body.
std::string anotherFlag(httplib::Client& client) {
  const ValueTree equipped = ValueTree::fromJson(bodyOf(client.Get(kEquippedPath))).value_or(0);
  const ValueTree flags = ValueTree::fromJson(bodyOf(client.Get(kFlagsPath))).value_or(0);
  for (const ValueTree& flag : flags.items()) {
    if (!host::sameJsonValue(flag, equipped)) {
      return flag.toJson();
    }
  }
  return "{}";
}

TEST(TavHostWriters, ASecondWriterOfTheDataFileIsRefusedWhateverNameItUses) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  const std::string data = folder.write("sondar.json", sampleText());
  const std::string link = folder.file("link.json");
  std::filesystem::create_symlink(data, link);
  ServedHost first;
  ASSERT_TRUE(first.start({"--data", data})) << first.failure();
  httplib::Client client = first.client();
  ASSERT_EQ(statusOf(client.Put(kEquipSwitch, "false", "application/json")), 200);
  const std::string saved = readFile(data);

  const std::vector<std::vector<std::string>> writers = {
      {"call", "GET", kFlagsPath, "--data", data},
      {"call", "PUT", kEquipSwitch, "--body", "true", "--data", link},
      {"tour", "--data", data},
      {"serve", "--port", "0", "--lockfile", folder.file("other.lock"), "--data", link},
  };
  for (const std::vector<std::string>& writer : writers) {
    SCOPED_TRACE(writer[0] + " --data " + writer.back());
    const ToolRun run = runTool(writer);
    EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
    EXPECT_NE(run.err.find("is in use by another tav-host"), std::string::npos) << run.err;
  }
  EXPECT_EQ(readFile(data), saved);
  EXPECT_EQ(statusOf(client.Get(kFlagsPath)), 200);
}

TEST(TavHostWriters, ASecondServerOnThePortOfAnotherIsRefused) {
  TAV_REQUIRE_TOOL();
  ServedHost first;
  ASSERT_TRUE(first.start()) << first.failure();
  TemporaryFolder folder;
  const ToolRun second = runTool(
      {"serve", "--port", std::to_string(first.port()), "--lockfile", folder.file("second.lock")});
  EXPECT_EQ(second.exitCode, 6) << second.out << second.err;
  EXPECT_NE(second.err.find("cannot listen on 127.0.0.1:" + std::to_string(first.port())),
            std::string::npos)
      << second.err;
  EXPECT_EQ(second.out.find("serving"), std::string::npos) << second.out;
  // Every connection reaches the first server, which knows its password.
  for (int i = 0; i < 20; ++i) {
    httplib::Client client = first.client();
    EXPECT_EQ(statusOf(client.Get(kFlagsPath)), 200);
  }
}

TEST(TavHostWriters, AChangeThatCannotBeSavedIsRefusedAndTheFileStaysAsItWas) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  const std::string data = folder.write("sondar.json", sampleText());
  const std::string before = readFile(data);
  ServedHost served;
  ASSERT_TRUE(served.start({"--data", data})) << served.failure();
  httplib::Client client = served.client();
  const std::string equip = anotherFlag(client);
  const std::string equippedBefore = bodyOf(client.Get(kEquippedPath));

  // No file of the process may grow past half the data file's size: every save fails, as on a
  // full disk, whoever runs the test.
  rlimit original{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &original), 0);
  const rlimit lowered{before.size() / 2, original.rlim_max};
  ASSERT_EQ(::prlimit(served.pid(), RLIMIT_FSIZE, &lowered, nullptr), 0);
  const httplib::Result profile = client.Put(kProfilePath, R"({"note": "x"})", "application/json");
  EXPECT_EQ(statusOf(profile), 500);
  EXPECT_NE(bodyOf(profile).find("File too large"), std::string::npos);
  EXPECT_EQ(statusOf(client.Put(kEquipSwitch, "false", "application/json")), 500);
  EXPECT_NE(statusOf(client.Put(kEquippedPath, equip, "application/json")), 200);
  EXPECT_EQ(readFile(data), before);
  // Nothing refused was kept in memory either.
  EXPECT_EQ(bodyOf(client.Get(kProfilePath)).find("note"), std::string::npos);
  EXPECT_EQ(bodyOf(client.Get(kEquipSwitch)), "true");
  EXPECT_EQ(bodyOf(client.Get(kEquippedPath)), equippedBefore);

  ASSERT_EQ(::prlimit(served.pid(), RLIMIT_FSIZE, &original, nullptr), 0);
  const httplib::Result kept = client.Put(kEquippedPath, equip, "application/json");
  EXPECT_EQ(statusOf(kept), 200) << bodyOf(kept) << served.errors();
  EXPECT_NE(readFile(data), before);
  served.signal(SIGTERM);
  EXPECT_EQ(served.waitForExit(), 5) << "serve ends telling that a save failed";

  // `call` shows no success for an equip it could not save. The limit is the test's own,
  // passed on to the child, and lifted right after.
  const std::string saved = readFile(data);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  const ToolRun call =
      runTool({"call", "PUT", kEquippedPath, "--body", equippedBefore, "--data", data});
  ::setrlimit(RLIMIT_FSIZE, &original);
  EXPECT_EQ(call.exitCode, 5) << call.out << call.err;
  EXPECT_EQ(call.out, "") << "a success shown for a change that was not saved";
  EXPECT_NE(call.err.find("File too large"), std::string::npos) << call.err;
  EXPECT_EQ(readFile(data), saved);
}

TEST(TavHostLockfile, OfTwoServersStartedAtOnceOneServesAndTheOtherStopsBeforeBinding) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ServedHost first;
    ServedHost second;
    first.useLockfile(folder.file("lockfile"));
    second.useLockfile(folder.file("lockfile"));
    ASSERT_TRUE(first.launch() && second.launch());
    const bool firstServes = first.waitUntilServing();
    const bool secondServes = second.waitUntilServing();
    ASSERT_NE(firstServes, secondServes) << first.failure() << second.failure();
    const ServedHost& refused = firstServes ? second : first;
    EXPECT_EQ(refused.earlyExit(), 6) << refused.failure();
    EXPECT_NE(refused.errors().find("still running"), std::string::npos) << refused.errors();
    EXPECT_EQ(refused.output().find("serving"), std::string::npos) << refused.output();
    (firstServes ? first : second).signal(SIGTERM);
    EXPECT_EQ((firstServes ? first : second).waitForExit(), 0);
  }
}

TEST(TavHostLockfile, TakesOverALockfileOfNoRunningTavHostAndRemovesWhatKilledWritesLeft) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  const std::string lockfile = folder.file("lockfile");
  // This test's own process is running, but it is no tav-host.
  folder.write("lockfile", "tav-host:" + std::to_string(::getpid()) + ":1:secret:http\n");
  const std::string data = folder.write("sondar.json", sampleText());
  const std::vector<std::string> leftovers = {folder.write(".lockfile.Ab12Cd", "tav-host:1"),
                                              folder.write(".sondar.json.Xy34Zw", "{")};
  ServedHost served;
  served.useLockfile(lockfile);
  ASSERT_TRUE(served.start({"--data", data})) << served.failure();
  for (const std::string& leftover : leftovers) {
    EXPECT_FALSE(std::filesystem::exists(leftover)) << leftover;
  }
}

} // namespace
} // namespace tav::testtools
