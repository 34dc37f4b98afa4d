// Every error answer of the banners routes end to end: a failing or unusable inventory, flags
// that are not owned, equipping switched off, and failing loadouts and profile writes.
#include "host/sondar_fixture.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::canonical;
using testhost::day;
using testhost::flag;
using testhost::flagBody;
using testhost::frame;
using testhost::sondar;

constexpr char kInventoryError[] =
    "Error response for GET /tav-inventory/v1/signedInventory: Service Unavailable";
constexpr char kEmptyInventory[] = "Retrieved unexpected empty inventory from tav-inventory";
constexpr char kBadPayload[] = "Could not understand tav-inventory JWT payload";

class SondarFailuresTest : public testhost::SondarPluginTest {
protected:
  // Each route, called with an owned flag for PUT.
  std::vector<std::pair<std::string, CallResult>> callEveryRoute() {
    return {{"GET flags", getFlags()},
            {"GET flags/equipped", getEquipped()},
            {"PUT flags/equipped", putEquipped(flagBody(owned))},
            {"GET frames/equipped", getFrame()}};
  }

  const SondarFlag owned = flag("T", "2", "5", day(4));
};

TEST_F(SondarFailuresTest, AFailingInventoryIsAServerErrorNamingTheTypes) {
  SondarData data = sondar({owned}, {frame("2", "5")});
  data.failures[SondarEndpoint::Inventory] = {503, "Service Unavailable"};
  startWith(data);
  const std::string flagOnly = std::string("Failed to retrieve inventory types [TOURNAMENT_FLAG] "
                                           "from tav-inventory: ") +
                               kInventoryError;
  const std::string both = std::string("Failed to retrieve inventory types [TOURNAMENT_FLAG, "
                                       "TOURNAMENT_FRAME] from tav-inventory: ") +
                           kInventoryError;
  for (const auto& [route, answer] : callEveryRoute()) {
    EXPECT_EQ(answer.status, 500u) << route;
    EXPECT_EQ(answer.error, route == "GET frames/equipped" ? both : flagOnly) << route;
  }
  const std::vector<LogLine> logged = logLinesWith(flagOnly);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0].level, 1);
  EXPECT_EQ(logLinesWith(both).size(), 1u);
}

struct InventoryCase {
  const char* name;
  InventoryOverrides overrides;
  std::string flagRoutesError; // of the three flag routes; empty: they answer
  std::string frameRouteError; // of the frame route; empty: it answers
};

InventoryOverrides omitting(std::set<std::string> types) {
  InventoryOverrides overrides;
  overrides.omittedTypes = std::move(types);
  return overrides;
}

InventoryOverrides flagPayload(const char* payloadJson) {
  InventoryOverrides overrides;
  overrides.payloads["TOURNAMENT_FLAG"] = testhost::json(payloadJson);
  return overrides;
}

TEST_F(SondarFailuresTest, AnUnusableInventoryAnswerIsAServerError) {
  startWith(sondar({owned}, {frame("2", "5")}));
  const InventoryCase cases[] = {
      {"frame type missing", omitting({"TOURNAMENT_FRAME"}), "", kEmptyInventory},
      {"flag type missing", omitting({"TOURNAMENT_FLAG"}), kEmptyInventory, kEmptyInventory},
      {"flag list is a text", flagPayload(R"({"items":{"TOURNAMENT_FLAG":"x"}})"), kBadPayload,
       kBadPayload},
      {"flag list is a number", flagPayload(R"({"items":{"TOURNAMENT_FLAG":3}})"), kBadPayload,
       kBadPayload},
      {"item payload is a text",
       flagPayload(R"({"items":{"TOURNAMENT_FLAG":[{"payload":"x","purchaseDate":""}]}})"),
       kBadPayload, kBadPayload},
  };
  for (const InventoryCase& test : cases) {
    SCOPED_TRACE(test.name);
    peers().setInventoryOverrides(test.overrides);
    for (const auto& [route, answer] : callEveryRoute()) {
      const std::string& expected =
          route == "GET frames/equipped" ? test.frameRouteError : test.flagRoutesError;
      if (expected.empty()) {
        EXPECT_TRUE(answer.ok()) << route << ": " << *answer.error;
      } else {
        EXPECT_EQ(answer.status, 500u) << route;
        EXPECT_EQ(answer.error, expected) << route;
      }
    }
    EXPECT_FALSE(
        logLinesWith(test.flagRoutesError.empty() ? test.frameRouteError : test.flagRoutesError)
            .empty());
  }
}

TEST_F(SondarFailuresTest, APayloadWithoutTheTypeIsAnEmptyListNotAnError) {
  startWith(sondar({owned}));
  for (const char* payload : {R"({})", R"({"items":{}})", R"({"items":{"TOURNAMENT_FLAG":null}})",
                              R"({"items":{"OTHER":[1]}})"}) {
    peers().setInventoryOverrides(flagPayload(payload));
    const CallResult flags = getFlags();
    EXPECT_TRUE(flags.ok()) << payload << ": " << *flags.error;
    EXPECT_EQ(flags.value, ValueTree::list({})) << payload;
    EXPECT_EQ(getEquipped().error, testhost::kNoFlagsMessage) << payload;
  }
}

TEST_F(SondarFailuresTest, EquippingAFlagNotOwnedIsABadRequest) {
  startWith(sondar({owned, flag("U", "1", "4", day(2))}));
  const std::pair<const char*, ValueTree> cases[] = {
      {"other level", flagBody(flag("T", "3", "5", day(4)))},
      {"other season", flagBody(flag("T", "2", "4", day(4)))},
      {"other theme", flagBody(flag("t", "2", "5", day(4)))},
      {"level with a leading zero", flagBody(flag("T", "02", "5", day(4)))},
      {"season with a leading space", flagBody(flag("T", "2", " 5", day(4)))},
      {"no members", ValueTree::map({})},
  };
  for (const auto& [name, body] : cases) {
    const CallResult put = putEquipped(body);
    EXPECT_EQ(put.status, 400u) << name;
    EXPECT_EQ(put.error, testhost::kNotOwnedMessage) << name;
  }
  EXPECT_TRUE(host().requestsTo(kLoadoutsPath).empty());
  EXPECT_TRUE(host().requestsTo(kProfilePath).empty());
  EXPECT_TRUE(host().events().sentEvents().empty());
}

TEST_F(SondarFailuresTest, EquippingWhileDisabledIsUnavailableWithoutAskingTheInventory) {
  startWith(sondar({owned}, {}, false));
  const CallResult put = putEquipped(flagBody(owned));
  EXPECT_EQ(put.status, 503u);
  EXPECT_EQ(put.error, testhost::kEquipDisabledMessage);
  EXPECT_TRUE(host().requestsTo(kInventoryPath).empty());
  EXPECT_TRUE(host().requestsTo(kLoadoutsPath).empty());
}

TEST_F(SondarFailuresTest, AFailingLoadoutsWriteStopsBeforeTheProfile) {
  SondarData data = sondar({owned});
  data.failures[SondarEndpoint::Loadouts] = {409, "Conflict"};
  startWith(data);
  const CallResult put = putEquipped(flagBody(owned));
  EXPECT_EQ(put.status, 500u);
  EXPECT_EQ(put.error, "Error response for POST /tav-loadouts/v2/items/1: Conflict");
  EXPECT_TRUE(host().requestsTo(kProfilePath).empty());
  EXPECT_EQ(peers().loadouts(), ValueTree());
  EXPECT_TRUE(host().events().sentEvents().empty());
}

TEST_F(SondarFailuresTest, AFailingProfileWriteLeavesTheLoadoutsWritten) {
  SondarData data = sondar({owned});
  data.failures[SondarEndpoint::ProfileWrite] = {503, "Service Unavailable"};
  startWith(data);
  const CallResult put = putEquipped(flagBody(owned));
  EXPECT_EQ(put.status, 500u);
  EXPECT_EQ(put.error, "Error response for POST "
                       "/tav-sondar/v1/current-sondar/sondar-profile: Service Unavailable");
  EXPECT_EQ(
      canonical(peers().loadouts()),
      testhost::json(R"({"TOURNAMENT_FLAG":{"BANNER_FLAG":{"inventoryType":"T_2","itemId":5}}})"));
  EXPECT_EQ(peers().profile().find("equippedBannerFlag"), nullptr);
  EXPECT_TRUE(host().events().sentEvents().empty());
}

} // namespace
} // namespace tav::host
