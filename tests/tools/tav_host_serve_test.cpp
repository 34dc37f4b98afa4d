// `tav-host serve` through a real HTTP client on the loopback interface: credentials from the
// lockfile, the four routes, the event stream, configuration and peer edits, and a clean stop.
#include "host/sondar_data.h"
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

namespace tav::testtools {
namespace {

using host::ValueTree;
using Clock = std::chrono::steady_clock;

ValueTree bodyOf(const httplib::Result& result) {
  if (!result) {
    ADD_FAILURE() << "no answer: " << httplib::to_string(result.error());
    return ValueTree();
  }
  std::string error;
  std::optional<ValueTree> value = ValueTree::fromJson(result->body, &error);
  EXPECT_TRUE(value) << error << " in: " << result->body;
  return value.value_or(ValueTree());
}

int statusOf(const httplib::Result& result) {
  return result ? result->status : -1;
}

std::string member(const ValueTree& tree, const char* name) {
  const ValueTree* found = tree.find(name);
  return found != nullptr ? found->text() : std::string();
}

// Repeats ask until it answers true; events reach the plugin on the host's threads, so a change
// takes effect soon after its answer, not at once.
bool eventually(const std::function<bool()>& ask) {
  const auto deadline = Clock::now() + kPatience;
  while (Clock::now() < deadline) {
    if (ask()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The flags the plugin lists, and one of them that is not equipped.
ValueTree anotherFlag(httplib::Client& client) {
  const ValueTree flags = bodyOf(client.Get(kFlagsPath));
  const ValueTree equipped = bodyOf(client.Get(kEquippedPath));
  for (const ValueTree& flag : flags.items()) {
    if (!host::sameJsonValue(flag, equipped)) {
      return flag;
    }
  }
  ADD_FAILURE() << "the sample owns a single flag";
  return ValueTree();
}

httplib::Result putJson(httplib::Client& client, const std::string& path, const ValueTree& body) {
  return client.Put(path, body.toJson(), "application/json");
}

class TavHostServeTest : public ::testing::Test {
protected:
  void SetUp() override {
    TAV_REQUIRE_TOOL();
    ASSERT_TRUE(served.start()) << served.failure();
  }

  ServedHost served;
};

TEST_F(TavHostServeTest, LetsInOnlyTheLockfilesCredentialsAndKeepsTheLockfilePrivate) {
  struct stat status {};
  ASSERT_EQ(::stat(served.lockfile().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(readFile(served.lockfile()).rfind("tav-host:" + std::to_string(served.pid()) + ":", 0),
            0u);
  EXPECT_NE(served.output().find("http://127.0.0.1:" + std::to_string(served.port())),
            std::string::npos)
      << served.output();

  httplib::Client anonymous = served.client(false);
  const httplib::Result refused = anonymous.Get(kFlagsPath);
  EXPECT_EQ(statusOf(refused), 401);
  EXPECT_EQ(refused ? refused->get_header_value("WWW-Authenticate") : "",
            "Basic realm=\"tav-host\"");

  httplib::Client wrong = served.client(false);
  wrong.set_basic_auth("tav", served.password() + "x");
  EXPECT_EQ(statusOf(wrong.Get(kFlagsPath)), 401);
  httplib::Client wrongUser = served.client(false);
  wrongUser.set_basic_auth("someone", served.password());
  EXPECT_EQ(statusOf(wrongUser.Put(kEquipSwitch, "false", "application/json")), 401);

  httplib::Client client = served.client();
  EXPECT_EQ(statusOf(client.Get(kFlagsPath)), 200);
}

TEST_F(TavHostServeTest, AnswersTheFourRoutes) {
  httplib::Client client = served.client();
  const httplib::Result flags = client.Get(kFlagsPath);
  ASSERT_EQ(statusOf(flags), 200);
  EXPECT_EQ(flags->get_header_value("Content-Type"), "application/json");
  EXPECT_FALSE(bodyOf(flags).items().empty());

  const httplib::Result equipped = client.Get(kEquippedPath);
  ASSERT_EQ(statusOf(equipped), 200);
  EXPECT_FALSE(member(bodyOf(equipped), "theme").empty()) << equipped->body;

  const httplib::Result frame = client.Get(kFramePath);
  ASSERT_EQ(statusOf(frame), 200);
  EXPECT_FALSE(member(bodyOf(frame), "level").empty()) << frame->body;

  const ValueTree next = anotherFlag(client);
  const httplib::Result put = putJson(client, kEquippedPath, next);
  ASSERT_EQ(statusOf(put), 200) << (put ? put->body : "");
  EXPECT_TRUE(host::sameJsonValue(bodyOf(put), next)) << put->body;
  EXPECT_TRUE(host::sameJsonValue(bodyOf(client.Get(kEquippedPath)), next));

  const httplib::Result notOwned =
      putJson(client, kEquippedPath,
              ValueTree::map({{"theme", "Nope"},
                              {"level", "1"},
                              {"seasonId", "1"},
                              {"earnedDateIso8601", "2025-01-01T00:00:00Z"}}));
  EXPECT_EQ(statusOf(notOwned), 400);
  EXPECT_EQ(member(bodyOf(notOwned), "message"),
            "Attempted to equip banner flag that sondar does not own.");
}

TEST_F(TavHostServeTest, StreamsTheEquipEventToEventClients) {
  EventListener events(served);
  ASSERT_TRUE(events.waitFor(": connected")) << "the stream did not open";

  httplib::Client client = served.client();
  const ValueTree next = anotherFlag(client);
  ASSERT_EQ(statusOf(putJson(client, kEquippedPath, next)), 200);
  // The plugin announces the change under the resource's own name and under the generic one;
  // the generic message, once it has arrived whole.
  auto generic = [](const std::string& received) {
    const size_t start = received.find("event: OnJsonApiEvent\n");
    const size_t end = start == std::string::npos ? start : received.find("\n\n", start);
    return end == std::string::npos ? std::string() : received.substr(start, end - start);
  };
  std::string message;
  events.waitUntil(
      [&](const std::string& received) { return !(message = generic(received)).empty(); });
  EXPECT_NE(message.find("\"uri\":\"/tav-banners/v1/current-sondar/flags/equipped\""),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("\"eventType\":\"Update\""), std::string::npos) << message;
  EXPECT_NE(message.find("\"theme\":\"" + member(next, "theme") + "\""), std::string::npos)
      << message;
  // The stream sends nothing more on its own for a while; a stop ends it for the listener.
  served.signal(SIGTERM);
  events.join();
  EXPECT_EQ(served.waitForExit(), 0);
}

TEST_F(TavHostServeTest, ConfigurationChangesReachThePlugin) {
  httplib::Client client = served.client();
  const ValueTree next = anotherFlag(client);

  const httplib::Result off = client.Put(kEquipSwitch, "false", "application/json");
  ASSERT_EQ(statusOf(off), 200);
  EXPECT_EQ(bodyOf(client.Get(kEquipSwitch)), ValueTree(false));
  EXPECT_TRUE(eventually([&] { return statusOf(putJson(client, kEquippedPath, next)) == 503; }));

  ASSERT_EQ(statusOf(client.Put(kEquipSwitch, "true", "application/json")), 200);
  EXPECT_TRUE(eventually([&] { return statusOf(putJson(client, kEquippedPath, next)) == 200; }));

  // A season without frames answers level 1; the current one, as the sample has it, another.
  const std::string current = member(bodyOf(client.Get(kFramePath)), "level");
  ASSERT_EQ(statusOf(client.Put(kSeason, "99", "application/json")), 200);
  EXPECT_TRUE(eventually([&] { return member(bodyOf(client.Get(kFramePath)), "level") == "1"; }));
  EXPECT_NE(current, "1");

  ASSERT_EQ(statusOf(client.Delete(kSeason)), 204);
  EXPECT_EQ(statusOf(client.Get(kSeason)), 404);
  EXPECT_EQ(statusOf(client.Put(kEquipSwitch, "{", "application/json")), 400);
}

TEST_F(TavHostServeTest, InventoryProfileAndFailuresCanBeEditedByHand) {
  httplib::Client client = served.client();
  const ValueTree flag = ValueTree::map({{"theme", "Hand"},
                                         {"level", "7"},
                                         {"seasonId", "9"},
                                         {"purchaseDate", "2026-01-02T03:04:05Z"}});
  const httplib::Result edited = putJson(client, "/tav-inventory/v1/signedInventory",
                                         ValueTree::map({{"flags", ValueTree::list({flag})}}));
  ASSERT_EQ(statusOf(edited), 200) << (edited ? edited->body : "");
  const ValueTree flags = bodyOf(client.Get(kFlagsPath));
  ASSERT_EQ(flags.items().size(), 1u) << flags.toJson();
  EXPECT_EQ(member(flags.items()[0], "theme"), "Hand");
  const ValueTree tokens = bodyOf(client.Get("/tav-inventory/v1/signedInventory"));
  EXPECT_NE(tokens.find("TOURNAMENT_FLAG"), nullptr) << tokens.toJson();
  EXPECT_EQ(statusOf(putJson(client, "/tav-inventory/v1/signedInventory",
                             ValueTree::map({{"flags", 3}}))),
            400);

  // A profile naming no owned flag: the default, the one flag owned, is equipped.
  ASSERT_EQ(
      statusOf(putJson(client, "/tav-sondar/v1/current-sondar/sondar-profile", ValueTree::map({}))),
      200);
  EXPECT_EQ(member(bodyOf(client.Get(kEquippedPath)), "theme"), "Hand");

  const httplib::Result injected =
      putJson(client, "/tav-host/v1/failures/inventory",
              ValueTree::map({{"status", 503}, {"message", "Service Unavailable"}}));
  ASSERT_EQ(statusOf(injected), 200) << (injected ? injected->body : "");
  EXPECT_EQ(statusOf(client.Get(kFlagsPath)), 500);
  ASSERT_EQ(statusOf(client.Delete("/tav-host/v1/failures/inventory")), 204);
  EXPECT_EQ(statusOf(client.Get(kFlagsPath)), 200);
  EXPECT_EQ(statusOf(client.Get("/tav-host/v1/failures/nothing")), 404);
}

class TavHostStopTest : public ::testing::TestWithParam<int> {};

TEST_P(TavHostStopTest, StopsCleanlyAndRemovesTheLockfile) {
  TAV_REQUIRE_TOOL();
  ServedHost served;
  ASSERT_TRUE(served.start()) << served.failure();
  served.signal(GetParam());
  EXPECT_EQ(served.waitForExit(), 0) << served.errors();
  EXPECT_FALSE(std::filesystem::exists(served.lockfile()));
  EXPECT_NE(served.output().find("tav-host stopped"), std::string::npos) << served.output();
}

INSTANTIATE_TEST_SUITE_P(Signals, TavHostStopTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == SIGINT    ? std::string("Sigint")
                                  : info.param == SIGTERM ? std::string("Sigterm")
                                                          : std::string("Sighup");
                         });

TEST(TavHostServe, RefusesALockfileOfAnotherRunningHost) {
  TAV_REQUIRE_TOOL();
  ServedHost first;
  ASSERT_TRUE(first.start()) << first.failure();
  const ToolRun second = runTool({"serve", "--port", "0", "--lockfile", first.lockfile()});
  EXPECT_EQ(second.exitCode, 6) << second.err;
  EXPECT_NE(second.err.find("still running"), std::string::npos) << second.err;
  EXPECT_EQ(readFile(first.lockfile()).rfind("tav-host:" + std::to_string(first.pid()), 0), 0u);
}

} // namespace
} // namespace tav::testtools
