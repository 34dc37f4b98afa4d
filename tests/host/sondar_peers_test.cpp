// The sondar's peer services on their own, reached through the host's table as the plugin
// reaches them: tokens, profile and loadouts writes, configuration values and their events,
// injected failures and telemetry.
#include "host/sondar_peers.h"

#include "host/fake_plugin.h"
#include "host/host.h"
#include "host/host_value_codec.h"
#include "host/sondar_inventory.h"
#include "host/sondar_resource_event.h"
#include "host/sondar_token.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tav::host {
namespace {

constexpr uint32_t kGet = 2;
constexpr uint32_t kPost = 6;

// Sends one request through the host's table as the plugin does and copies the answer out.
CallResult send(const Host& host, uint32_t method, const std::string& path,
                std::optional<ValueTree> argument = std::nullopt) {
  HostValue encoded{};
  HostTypedArgument typed;
  std::memset(&typed, 0, sizeof typed);
  if (argument) {
    encoded = encodeHostValue(*argument);
    typed.value = encoded;
  }
  HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = method;
  request.path = path.c_str();
  request.args = argument ? &typed : nullptr;
  request.argCount = argument ? 1 : 0;
  request.callerHandle = host.pluginHandle();
  HostResponse response;
  std::memset(&response, 0, sizeof response);
  host.api()->sendRequest(host.api(), &response, &request);
  CallResult result = readResponse(response);
  if (response.release != nullptr) {
    response.release(&response);
  }
  if (argument) {
    releaseEncodedValue(encoded);
  }
  return result;
}

// Base64url without padding, decoded here independently of the encoder under test.
std::string decodeSegment(std::string_view segment) {
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : segment) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    const char* found = std::strchr(alphabet, c);
    EXPECT_TRUE(found != nullptr && c != '\0') << "not base64url: " << c;
    bits = (bits << 6) | static_cast<uint32_t>(found - alphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

std::vector<std::string> segmentsOf(const std::string& token) {
  std::vector<std::string> segments;
  size_t start = 0;
  for (size_t dot = token.find('.'); dot != std::string::npos; dot = token.find('.', start)) {
    segments.push_back(token.substr(start, dot - start));
    start = dot + 1;
  }
  segments.push_back(token.substr(start));
  return segments;
}

ValueTree jsonOf(std::string_view text) {
  std::string error;
  std::optional<ValueTree> tree = ValueTree::fromJson(text, &error);
  EXPECT_TRUE(tree) << error << " in " << text;
  return tree.value_or(ValueTree());
}

ValueTree typeList(std::vector<ValueTree> types) {
  return ValueTree::list(std::move(types));
}

class SondarPeersTest : public ::testing::Test {
protected:
  SondarPeersTest() {
    peers.install(host);
    // Deliveries need a loaded plugin, though the subscriptions here are the test's own.
    testhost::resetFakePlugin();
    EXPECT_TRUE(host.load(&testhost::loadFakePlugin)) << host.lastError();
  }
  void TearDown() override {
    host.waitForDeliveries();
    EXPECT_EQ(host.ownership().outstanding(), 0u);
  }

  Host host;
  SondarPeers peers;
};

TEST(SondarToken, EncodesBase64UrlWithoutPadding) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg"}, {"fo", "Zm8"}, {"foo", "Zm9v"}, {"\xfb\xff", "-_8"}, {"\xff", "_w"}};
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(encodeBase64UrlUnpadded(bytes), text);
    EXPECT_EQ(decodeSegment(text), bytes);
  }
}

TEST_F(SondarPeersTest, InventoryAnswersOneSignedTokenPerRequestedType) {
  peers.addFlag({"T", "2", "5", "2024-03-01T10:00:00Z", "FLAG"});
  peers.addFrame({"3", "5", "", "FRAME"});
  const CallResult answer =
      send(host, kGet, kInventoryPath, typeList({"TOURNAMENT_FLAG", "TOURNAMENT_FRAME"}));
  ASSERT_TRUE(answer.ok()) << *answer.error;
  ASSERT_EQ(answer.value.entries().size(), 2u);
  EXPECT_EQ(answer.value.entries()[0].first, "TOURNAMENT_FLAG");
  EXPECT_EQ(answer.value.entries()[1].first, "TOURNAMENT_FRAME");

  const std::vector<std::string> flagToken = segmentsOf(answer.value.entries()[0].second.text());
  ASSERT_EQ(flagToken.size(), 3u);
  EXPECT_EQ(jsonOf(decodeSegment(flagToken[0])), jsonOf(kSondarTokenHeader));
  EXPECT_EQ(jsonOf(decodeSegment(flagToken[1])),
            jsonOf(R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"theme":"T",)"
                   R"("level":"2","seasonId":"5"},"rewardType":"FLAG"},)"
                   R"("purchaseDate":"2024-03-01T10:00:00Z"}]}})"));
  EXPECT_EQ(decodeSegment(flagToken[2]), kSondarTokenSignature);
  const std::vector<std::string> frameToken = segmentsOf(answer.value.entries()[1].second.text());
  ASSERT_EQ(frameToken.size(), 3u);
  EXPECT_EQ(jsonOf(decodeSegment(frameToken[1])),
            jsonOf(R"({"items":{"TOURNAMENT_FRAME":[{"payload":{"rewardSpec":{"level":"3",)"
                   R"("seasonId":"5"},"rewardType":"FRAME"},"purchaseDate":""}]}})"));
}

TEST_F(SondarPeersTest, InventorySignsTheCurrentItemsAfterAnEdit) {
  peers.addFlag({"T", "1", "5", "2024-03-01T10:00:00Z", "FLAG"});
  send(host, kGet, kInventoryPath, typeList({"TOURNAMENT_FLAG"}));
  peers.setFlags({});
  const CallResult answer = send(host, kGet, kInventoryPath, typeList({"TOURNAMENT_FLAG"}));
  const std::vector<std::string> token = segmentsOf(answer.value.find("TOURNAMENT_FLAG")->text());
  ASSERT_EQ(token.size(), 3u);
  EXPECT_EQ(decodeSegment(token[1]), R"({"items":{"TOURNAMENT_FLAG":[]}})");
}

TEST_F(SondarPeersTest, InventoryOverridesReplaceOrLeaveOutATypesToken) {
  InventoryOverrides overrides;
  overrides.omittedTypes = {"TOURNAMENT_FRAME"};
  overrides.tokens["TOURNAMENT_FLAG"] = "only.two";
  overrides.payloads["OTHER"] = jsonOf(R"({"items":{"OTHER":"x"}})");
  peers.setInventoryOverrides(overrides);
  const CallResult answer =
      send(host, kGet, kInventoryPath, typeList({"TOURNAMENT_FLAG", "TOURNAMENT_FRAME", "OTHER"}));
  ASSERT_EQ(answer.value.entries().size(), 2u);
  EXPECT_EQ(answer.value.find("TOURNAMENT_FLAG")->text(), "only.two");
  const std::vector<std::string> other = segmentsOf(answer.value.find("OTHER")->text());
  ASSERT_EQ(other.size(), 3u);
  EXPECT_EQ(decodeSegment(other[1]), R"({"items":{"OTHER":"x"}})");
}

TEST_F(SondarPeersTest, InventoryRefusesARequestWithoutItsTypeList) {
  for (const std::optional<ValueTree>& argument :
       {std::optional<ValueTree>(), std::optional<ValueTree>("TOURNAMENT_FLAG"),
        std::optional<ValueTree>(typeList({1}))}) {
    const CallResult answer = send(host, kGet, kInventoryPath, argument);
    EXPECT_EQ(answer.status, 400u);
    EXPECT_EQ(answer.error, kBadInventoryRequestMessage);
  }
}

TEST_F(SondarPeersTest, ProfileWriteSetsOneMemberAndKeepsTheOthers) {
  peers.setProfileMember("summonerLevel", 30);
  peers.setProfileMember("equippedBannerFlag", "old");
  const CallResult written =
      send(host, kPost, kProfilePath,
           ValueTree::map({{"key", "equippedBannerFlag"}, {"value", R"({"level":"2"})"}}));
  EXPECT_TRUE(written.ok()) << *written.error;
  const CallResult read = send(host, kGet, kProfilePath);
  EXPECT_EQ(read.value,
            ValueTree::map({{"summonerLevel", 30}, {"equippedBannerFlag", R"({"level":"2"})"}}));
  EXPECT_EQ(peers.profile(), read.value);
}

TEST_F(SondarPeersTest, WritesWithoutAnObjectAreRefused) {
  for (const char* path : {kProfilePath, kLoadoutsPath}) {
    const CallResult answer = send(host, kPost, path, ValueTree("text"));
    EXPECT_EQ(answer.status, 400u) << path;
    EXPECT_EQ(answer.error, kBadWriteMessage) << path;
  }
  EXPECT_EQ(peers.loadouts(), ValueTree());
}

TEST_F(SondarPeersTest, LoadoutsWriteStoresTheBody) {
  const ValueTree body =
      jsonOf(R"({"TOURNAMENT_FLAG":{"BANNER_FLAG":{"inventoryType":"T_2","itemId":5}}})");
  EXPECT_TRUE(send(host, kPost, kLoadoutsPath, body).ok());
  EXPECT_EQ(peers.loadouts(), body);
  EXPECT_EQ(peers.snapshot().loadouts, body);
}

TEST_F(SondarPeersTest, ConfigurationAnswersStoredValuesAndNotFoundOtherwise) {
  peers.setConfiguration("ClientSystemStates", "currentSeason", 7.9);
  EXPECT_EQ(send(host, kGet, configurationUri("ClientSystemStates", "currentSeason")).value,
            ValueTree(7.9));
  for (const char* path :
       {"/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled",
        "/tav-platform-config/v1/namespaces/ClientSystemStates",
        "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason/x"}) {
    const CallResult answer = send(host, kGet, path);
    EXPECT_EQ(answer.status, 404u) << path;
    EXPECT_EQ(answer.error, "Not found") << path;
  }
}

void ignoreEvent(HostEvent*) {}

TEST_F(SondarPeersTest, ConfigurationChangesReachSubscribersAsResourceEvents) {
  const std::string name =
      "OnJsonApiEvent_tav-platform-config_v1_namespaces_Banners_IsEquipEnabled";
  EXPECT_EQ(resourceEventName(configurationUri("Banners", "IsEquipEnabled")), name);
  host.api()->subscribe(host.api(), name.c_str(), host.pluginHandle(), &ignoreEvent, nullptr, 0);

  peers.setConfiguration("Banners", "IsEquipEnabled", true);
  host.waitForDeliveries();
  peers.setConfiguration("Banners", "IsEquipEnabled", false);
  host.waitForDeliveries();
  EXPECT_TRUE(peers.deleteConfiguration("Banners", "IsEquipEnabled"));
  EXPECT_FALSE(peers.deleteConfiguration("Banners", "IsEquipEnabled"));
  host.waitForDeliveries();

  const std::string uri = "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled";
  const std::vector<ValueTree> expected = {resourceEventPayload(uri, "Create", true),
                                           resourceEventPayload(uri, "Update", false),
                                           resourceEventPayload(uri, "Delete", ValueTree())};
  std::vector<ValueTree> delivered;
  for (const DeliveredEvent& event : host.events().deliveries()) {
    EXPECT_EQ(event.name, name);
    delivered.push_back(event.payload);
  }
  EXPECT_EQ(delivered, expected);
  EXPECT_EQ(peers.configuration("Banners", "IsEquipEnabled"), std::nullopt);
}

TEST_F(SondarPeersTest, ConfigurationChangesAreAlsoAnnouncedUnderTheGenericName) {
  host.api()->subscribe(host.api(), "OnJsonApiEvent", host.pluginHandle(), &ignoreEvent, nullptr,
                        0);
  peers.setConfiguration("ClientSystemStates", "currentSeason", 7);
  host.waitForDeliveries();
  ASSERT_EQ(host.events().deliveries().size(), 1u);
  EXPECT_EQ(
      host.events().deliveries()[0].payload,
      resourceEventPayload(configurationUri("ClientSystemStates", "currentSeason"), "Create", 7));
}

struct InjectedFailure {
  SondarEndpoint endpoint;
  uint32_t method;
  std::string path;
  std::optional<ValueTree> argument;
};

TEST_F(SondarPeersTest, InjectedFailuresAnswerTheirStatusAndMessageUntilCleared) {
  peers.setConfiguration("Banners", "IsEquipEnabled", true);
  const InjectedFailure cases[] = {
      {SondarEndpoint::Inventory, kGet, kInventoryPath, typeList({"TOURNAMENT_FLAG"})},
      {SondarEndpoint::ProfileRead, kGet, kProfilePath, std::nullopt},
      {SondarEndpoint::ProfileWrite, kPost, kProfilePath,
       ValueTree::map({{"key", "k"}, {"value", "v"}})},
      {SondarEndpoint::Loadouts, kPost, kLoadoutsPath, ValueTree::map({})},
      {SondarEndpoint::Configuration, kGet, configurationUri("Banners", "IsEquipEnabled"),
       std::nullopt},
      {SondarEndpoint::Telemetry, kPost, std::string(kTelemetryPrefix) + "x", std::nullopt},
  };
  for (const InjectedFailure& failure : cases) {
    const std::string_view name = sondarEndpointName(failure.endpoint);
    peers.setFailure(failure.endpoint, {503, "Service Unavailable"});
    const CallResult failed = send(host, failure.method, failure.path, failure.argument);
    EXPECT_EQ(failed.status, 503u) << name;
    EXPECT_EQ(failed.error, "Service Unavailable") << name;
    peers.clearFailure(failure.endpoint);
    const CallResult answered = send(host, failure.method, failure.path, failure.argument);
    EXPECT_TRUE(answered.ok()) << name << ": " << answered.error.value_or("");
  }
  EXPECT_EQ(peers.profile().find("k")->text(), "v");
}

TEST_F(SondarPeersTest, TelemetryRecordsTheEventNameAndParameters) {
  send(host, kPost, std::string(kTelemetryPrefix) + "banner-equipped",
       ValueTree::map({{"theme", "T"}}));
  const std::vector<SondarTelemetryEvent> events = peers.telemetry();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "banner-equipped");
  EXPECT_EQ(events[0].parameters, ValueTree::map({{"theme", "T"}}));
}

TEST(SondarResourceEvent, NamesKeepFourPartsExceptForPlatformConfiguration) {
  const std::pair<const char*, const char*> cases[] = {
      {"/tav-banners/v1/current-sondar/flags/equipped",
       "OnJsonApiEvent_tav-banners_v1_current-sondar"},
      {"/tav-banners", "OnJsonApiEvent_tav-banners"},
      {"//tav-banners//v1", "OnJsonApiEvent_tav-banners_v1"},
      {"", "OnJsonApiEvent"},
      {"/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled/extra",
       "OnJsonApiEvent_tav-platform-config_v1_namespaces_Banners_IsEquipEnabled"},
  };
  for (const auto& [uri, name] : cases) {
    EXPECT_EQ(resourceEventName(uri), name) << uri;
  }
}

} // namespace
} // namespace tav::host
