// Tests of PUT flags/equipped: the switch, ownership, the two writes, the event and the bodies.
#include "tests/banners/banners_harness.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tav {
namespace {

using test::BannersHarness;
using test::FlagItem;
using test::HostCall;

constexpr char kEquipEnabledUri[] = "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled";
constexpr char kEquippedPath[] = "/tav-banners/v1/current-sondar/flags/equipped";
constexpr char kInventoryUrl[] = "/tav-inventory/v1/signedInventory";
constexpr char kProfileUrl[] = "/tav-sondar/v1/current-sondar/sondar-profile";
constexpr char kLoadoutsUrl[] = "/tav-loadouts/v2/items/1";

// MessagePack of a map whose keys and values are all short strings.
std::string MessagePackMap(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string bytes(1, static_cast<char>(0x80 | members.size()));
  for (const auto& [key, value] : members) {
    for (const std::string* text : {&key, &value}) {
      bytes += static_cast<char>(0xA0 | text->size());
      bytes += *text;
    }
  }
  return bytes;
}

class EquipRouteTest : public ::testing::Test {
protected:
  EquipRouteTest() {
    harness_.serveInventory({
        FlagItem("T", "2", "5", "2024-03-01T10:00:00Z"),
        FlagItem("T", "3", "5", "2024-03-02T10:00:00Z"),
        FlagItem("U", "1", "4", "2024-01-01T00:00:00Z"),
    });
    harness_.acceptWrites();
  }

  void enableEquipping() {
    BindingProperty on;
    on = true;
    ASSERT_TRUE(harness_.deliver(kEquipEnabledUri, "Create", on));
    harness_.peers().clearRequests();
  }

  // PUT with a JSON body naming the flag.
  std::unique_ptr<HostCall> put(const std::string& json) {
    TestRequest request(HttpMethod::Put, kEquippedPath);
    request.body("application/json", json);
    return std::make_unique<HostCall>(harness_.function(test::kPutEquippedFlag), request);
  }

  // "METHOD path" of every request the peers received, in order.
  std::vector<std::string> requestsSent() {
    std::vector<std::string> sent;
    for (const test::PeerRequest& request : harness_.peers().requests()) {
      sent.push_back(std::string(httpMethodName(request.method)) + " " + request.path);
    }
    return sent;
  }

  BannersHarness harness_;
};

TEST_F(EquipRouteTest, DisabledEquippingAnswers503WithoutAskingAnyone) {
  auto call = put(R"({"theme":"T","level":"2","seasonId":"5"})");
  EXPECT_EQ(call->status(), 503u);
  EXPECT_EQ(call->error(), "Banner equipping is not enabled.");
  EXPECT_TRUE(harness_.peers().requests().empty());
  EXPECT_TRUE(harness_.host().events().empty());
}

TEST_F(EquipRouteTest, EquipWritesLoadoutsThenProfileAnnouncesAndAnswersTheOwnedFlag) {
  enableEquipping();
  auto call = put(R"({"theme":"T","level":"2","seasonId":"5",)"
                  R"("earnedDateIso8601":"2000-01-01T00:00:00Z"})");
  ASSERT_FALSE(call->failed()) << call->error();
  EXPECT_EQ(call->status(), 0u);
  const BindingProperty answer = call->value();
  EXPECT_EQ(answer.find("theme").getString(), "T");
  EXPECT_EQ(answer.find("level").getString(), "2");
  EXPECT_EQ(answer.find("seasonId").getString(), "5");
  EXPECT_EQ(answer.find("earnedDateIso8601").getString(), "2024-03-01T10:00:00Z");

  EXPECT_EQ(requestsSent(), (std::vector<std::string>{std::string("GET ") + kInventoryUrl,
                                                      std::string("POST ") + kLoadoutsUrl,
                                                      std::string("POST ") + kProfileUrl}));
  const auto loadouts = harness_.peers().requestsTo(HttpMethod::Post, kLoadoutsUrl);
  const BindingProperty& slot = loadouts.at(0).argument.find("TOURNAMENT_FLAG").find("BANNER_FLAG");
  EXPECT_EQ(slot.find("itemId").getSigned(), 5);
  EXPECT_EQ(slot.find("inventoryType").getString(), "T_2");
  const auto profile = harness_.peers().requestsTo(HttpMethod::Post, kProfileUrl);
  EXPECT_EQ(profile.at(0).argument.find("key").getString(), "equippedBannerFlag");
  EXPECT_EQ(profile.at(0).argument.find("value").getString(),
            R"({"level":"2","seasonId":"5","theme":"T"})");

  const auto events = harness_.host().events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "OnJsonApiEvent_tav-banners_v1_current-sondar");
  EXPECT_EQ(events[1].name, "OnJsonApiEvent");
  for (const test::HostSentEvent& event : events) {
    EXPECT_EQ(event.payload.find("uri").getString(), kEquippedPath);
    EXPECT_EQ(event.payload.find("eventType").getString(), "Update");
    const BindingProperty& data = event.payload.find("data");
    EXPECT_EQ(data.find("theme").getString(), "T");
    EXPECT_EQ(data.find("level").getString(), "2");
    EXPECT_EQ(data.find("seasonId").getString(), "5");
    EXPECT_EQ(data.find("earnedDateIso8601").getString(), "2024-03-01T10:00:00Z");
  }
}

struct RefusedCase {
  const char* what;
  const char* body;
};

TEST_F(EquipRouteTest, FlagsNotOwnedOrNotReadStrictlyAre400WithoutWrites) {
  enableEquipping();
  const RefusedCase cases[] = {
      {"level not owned", R"({"theme":"T","level":"4","seasonId":"5"})"},
      {"other season", R"({"theme":"T","level":"2","seasonId":"4"})"},
      {"other theme", R"({"theme":"t","level":"2","seasonId":"5"})"},
      {"leading zero level", R"({"theme":"T","level":"02","seasonId":"5"})"},
      {"leading space season", R"({"theme":"T","level":"2","seasonId":" 5"})"},
      {"nothing named", R"({})"},
  };
  for (const RefusedCase& c : cases) {
    auto call = put(c.body);
    EXPECT_EQ(call->status(), 400u) << c.what;
    EXPECT_EQ(call->error(), "Attempted to equip banner flag that sondar does not own.") << c.what;
  }
  EXPECT_TRUE(harness_.peers().requestsTo(HttpMethod::Post, kLoadoutsUrl).empty());
  EXPECT_TRUE(harness_.peers().requestsTo(HttpMethod::Post, kProfileUrl).empty());
  EXPECT_TRUE(harness_.host().events().empty());
}

TEST_F(EquipRouteTest, EmptyInventoryOwnsNothingToEquip) {
  enableEquipping();
  harness_.serveInventory({});
  auto call = put(R"({"theme":"T","level":"2","seasonId":"5"})");
  EXPECT_EQ(call->status(), 400u);
  EXPECT_EQ(call->error(), "Attempted to equip banner flag that sondar does not own.");
}

TEST_F(EquipRouteTest, FailedInventoryIs500WithItsMessage) {
  enableEquipping();
  harness_.peers().fail(HttpMethod::Get, kInventoryUrl, 500, "down");
  auto call = put(R"({"theme":"T","level":"2","seasonId":"5"})");
  EXPECT_EQ(call->status(), 500u);
  EXPECT_EQ(call->error(), "Failed to retrieve inventory types [TOURNAMENT_FLAG] from "
                           "tav-inventory: Error response for GET "
                           "/tav-inventory/v1/signedInventory: down");
}

TEST_F(EquipRouteTest, FailedLoadoutsWriteStopsBeforeTheProfile) {
  enableEquipping();
  harness_.peers().fail(HttpMethod::Post, kLoadoutsUrl, 503, "loadouts busy");
  auto call = put(R"({"theme":"T","level":"3","seasonId":"5"})");
  EXPECT_EQ(call->status(), 500u);
  EXPECT_EQ(call->error(), "Error response for POST /tav-loadouts/v2/items/1: loadouts busy");
  EXPECT_TRUE(harness_.peers().requestsTo(HttpMethod::Post, kProfileUrl).empty());
  EXPECT_TRUE(harness_.host().events().empty());
}

TEST_F(EquipRouteTest, FailedProfileWriteKeepsTheLoadoutsAndSendsNoEvent) {
  enableEquipping();
  harness_.peers().fail(HttpMethod::Post, kProfileUrl, 400, "");
  auto call = put(R"({"theme":"T","level":"3","seasonId":"5"})");
  EXPECT_EQ(call->status(), 500u);
  // The host's error text is empty, so the request's message ends after the colon.
  EXPECT_EQ(call->error(),
            "Error response for POST /tav-sondar/v1/current-sondar/sondar-profile: ");
  EXPECT_EQ(harness_.peers().requestsTo(HttpMethod::Post, kLoadoutsUrl).size(), 1u);
  EXPECT_TRUE(harness_.host().events().empty());
}

struct BodyCase {
  const char* contentType;
  std::string body;
};

TEST_F(EquipRouteTest, AcceptsTheFlagInJsonYamlAndMessagePack) {
  enableEquipping();
  const BodyCase cases[] = {
      {"application/json", R"({"theme":"U","level":"1","seasonId":"4"})"},
      {"application/x-yaml", "theme: U\nlevel: '1'\nseasonId: '4'\n"},
      {"application/x-msgpack",
       MessagePackMap({{"theme", "U"}, {"level", "1"}, {"seasonId", "4"}})},
  };
  for (const BodyCase& c : cases) {
    TestRequest request(HttpMethod::Put, kEquippedPath);
    request.body(c.contentType, c.body);
    HostCall call(harness_.function(test::kPutEquippedFlag), request);
    ASSERT_FALSE(call.failed()) << c.contentType << ": " << call.error();
    EXPECT_EQ(call.value().find("theme").getString(), "U") << c.contentType;
    EXPECT_EQ(call.value().find("earnedDateIso8601").getString(), "2024-01-01T00:00:00Z");
  }
  EXPECT_EQ(harness_.peers().requestsTo(HttpMethod::Post, kProfileUrl).size(), 3u);
}

TEST_F(EquipRouteTest, UnreadableBodyNeverReachesTheHandler) {
  enableEquipping();
  for (const char* body : {"{\"theme\":", "[1,2]"}) {
    auto call = put(body);
    EXPECT_TRUE(call->failed()) << body;
  }
  EXPECT_TRUE(harness_.peers().requests().empty());
}

TEST_F(EquipRouteTest, DeleteOfTheSwitchDisablesEquippingAgain) {
  enableEquipping();
  ASSERT_TRUE(harness_.deliver(kEquipEnabledUri, "Delete"));
  auto call = put(R"({"theme":"T","level":"2","seasonId":"5"})");
  EXPECT_EQ(call->status(), 503u);
  EXPECT_TRUE(harness_.peers().requests().empty());
}

} // namespace
} // namespace tav
