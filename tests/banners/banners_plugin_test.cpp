// Tests of BannersPlugin's registration, its start and the configuration switches it follows.
#include "tests/banners/banners_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tav {
namespace {

using test::BannersHarness;
using test::HostCall;

constexpr char kEquipEnabledUri[] = "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled";
constexpr char kCurrentSeasonUri[] =
    "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason";

struct RouteCase {
  const char* name;
  HttpMethod method;
  const char* templ;
  BindingTypeCode returns;
  const char* returnType;
};

TEST(BannersPluginRegistration, RegistersTheFourRoutesInOrderWithTheFlagFromTheBody) {
  BannersHarness harness(false);
  const RouteCase expected[] = {
      {"GetTavBannersV1CurrentSondarFlags", HttpMethod::Get, "/tav-banners/v1/current-sondar/flags",
       BindingTypeCode::Vector, "VmfBeTavBannersBannerFlag"},
      {"GetTavBannersV1CurrentSondarFlagsEquipped", HttpMethod::Get,
       "/tav-banners/v1/current-sondar/flags/equipped", BindingTypeCode::Struct,
       "VmfBeTavBannersBannerFlag"},
      {"PutTavBannersV1CurrentSondarFlagsEquipped", HttpMethod::Put,
       "/tav-banners/v1/current-sondar/flags/equipped", BindingTypeCode::Struct,
       "VmfBeTavBannersBannerFlag"},
      {"GetTavBannersV1CurrentSondarFramesEquipped", HttpMethod::Get,
       "/tav-banners/v1/current-sondar/frames/equipped", BindingTypeCode::Struct,
       "VmfBeTavBannersBannerFrame"},
  };
  std::vector<const RouteRecord*> records;
  harness.plugin().routeTable().forEachRecord(
      [&](const RouteRecord& record) { records.push_back(&record); });
  ASSERT_EQ(records.size(), 4u);
  for (size_t i = 0; i < records.size(); ++i) {
    const BindingFunctionDescriptor& function = *records[i]->function();
    EXPECT_EQ(function.name, expected[i].name);
    EXPECT_EQ(records[i]->method(), expected[i].method) << function.name;
    EXPECT_EQ(records[i]->templateText(), expected[i].templ) << function.name;
    EXPECT_EQ(function.description, "") << function.name;
    EXPECT_EQ(function.returns.code, expected[i].returns) << function.name;
    ASSERT_NE(function.returns.descriptor, nullptr) << function.name;
    EXPECT_EQ(function.returns.descriptor->name, expected[i].returnType) << function.name;
  }
  EXPECT_EQ(harness.plugin().functionTable()->records().size(), 4u);

  const BindingFunctionDescriptor& put = *records[2]->function();
  ASSERT_EQ(put.arguments.size(), 1u);
  EXPECT_EQ(put.arguments[0].name, "flag");
  EXPECT_EQ(put.arguments[0].description, "");
  EXPECT_EQ(put.arguments[0].type.descriptor, put.returns.descriptor);
  EXPECT_EQ(records[2]->location(0), ArgumentLocation::Body);
  // The records are registered under the plugin's identifier with its tags.
  EXPECT_EQ(put.returns.descriptor->tags,
            (std::vector<std::string>{"Plugins", "Plugin vmf-be-tav-banners"}));
}

TEST(BannersPluginStart, FollowsBothConfigurationValuesStartingFromTheirCurrentValues) {
  BannersHarness harness(false);
  EXPECT_FALSE(harness.plugin().equipEnabled());
  EXPECT_EQ(harness.plugin().currentSeason(), -1);
  harness.peers().answer(HttpMethod::Get, kEquipEnabledUri, test::Json("true"));
  harness.peers().answer(HttpMethod::Get, kCurrentSeasonUri, test::Json("7.9"));
  harness.start();
  EXPECT_TRUE(harness.plugin().equipEnabled());
  EXPECT_EQ(harness.plugin().currentSeason(), 7);

  std::vector<std::string> fetched;
  for (const test::PeerRequest& request : harness.peers().requests()) {
    fetched.push_back(request.path);
  }
  EXPECT_EQ(fetched, (std::vector<std::string>{kEquipEnabledUri, kCurrentSeasonUri}));

  std::vector<std::string> resourceNames;
  for (const test::HostSubscription& subscription : harness.host().subscriptions()) {
    if (subscription.flag == 0) {
      EXPECT_EQ(subscription.handle, BannersHarness::kPluginHandle);
      resourceNames.push_back(subscription.name);
    }
  }
  EXPECT_EQ(resourceNames,
            (std::vector<std::string>{
                "OnJsonApiEvent_tav-platform-config_v1_namespaces_Banners_IsEquipEnabled",
                "OnJsonApiEvent_tav-platform-config_v1_namespaces_ClientSystemStates_currentSeason",
            }));
}

TEST(BannersPluginStart, FailedFirstFetchesKeepTheConstructionValues) {
  BannersHarness harness; // nobody serves the configuration values
  EXPECT_FALSE(harness.plugin().equipEnabled());
  EXPECT_EQ(harness.plugin().currentSeason(), -1);
  // The switches still follow their events.
  BindingProperty on;
  on = true;
  ASSERT_TRUE(harness.deliver(kEquipEnabledUri, "Create", on));
  EXPECT_TRUE(harness.plugin().equipEnabled());
}

struct SwitchEvent {
  const char* uri;
  const char* eventType;
  const char* dataJson;
  bool enabled;
  int32_t season;
};

TEST(BannersPluginStart, ConfigurationEventsSetTheSwitchesInTurn) {
  BannersHarness harness;
  const SwitchEvent events[] = {
      {kEquipEnabledUri, "Update", R"("true")", false, -1},
      {kEquipEnabledUri, "Update", "1", false, -1},
      {kEquipEnabledUri, "Update", "true", true, -1},
      {kEquipEnabledUri, "Update", "null", false, -1},
      {kEquipEnabledUri, "Create", "true", true, -1},
      {kEquipEnabledUri, "Delete", "true", false, -1},
      {kCurrentSeasonUri, "Update", "7.9", false, 7},
      {kCurrentSeasonUri, "Update", R"("0x1F")", false, 31},
      {kCurrentSeasonUri, "Update", R"("soon")", false, 0},
      {kCurrentSeasonUri, "Create", "[5]", false, -1},
      {kCurrentSeasonUri, "Update", "12", false, 12},
      {kCurrentSeasonUri, "Delete", "12", false, -1},
      {kCurrentSeasonUri, "Update", "4294967298", false, 2},
  };
  for (const SwitchEvent& event : events) {
    ASSERT_TRUE(harness.deliver(event.uri, event.eventType, test::Json(event.dataJson)));
    EXPECT_EQ(harness.plugin().equipEnabled(), event.enabled)
        << event.eventType << " " << event.dataJson;
    EXPECT_EQ(harness.plugin().currentSeason(), event.season)
        << event.eventType << " " << event.dataJson;
  }
}

TEST(BannersPluginConcurrency, CallsReadTheSwitchesWhileEventsChangeThem) {
  BannersHarness harness;
  harness.serveInventory({test::FlagItem("A", "1", "5", "2024-01-01T00:00:00Z")},
                         {test::FrameItem("3", "5")});
  std::atomic<bool> done{false};
  std::thread events([&] {
    for (int i = 0; i < 200; ++i) {
      BindingProperty season;
      season.setSigned(i % 2 == 0 ? 5 : 6);
      harness.deliver(kCurrentSeasonUri, "Update", season);
      BindingProperty enabled;
      enabled = i % 2 == 0;
      harness.deliver(kEquipEnabledUri, "Update", enabled);
    }
    done.store(true);
  });
  std::set<std::string> levels;
  int calls = 0;
  while (!done.load() || calls < 20) {
    TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/frames/equipped");
    HostCall call(harness.function(test::kGetEquippedFrame), request);
    ASSERT_FALSE(call.failed()) << call.error();
    levels.insert(std::string(call.value().find("level").getString()));
    ++calls;
  }
  events.join();
  for (const std::string& level : levels) {
    EXPECT_TRUE(level == "1" || level == "3") << level;
  }
}

} // namespace
} // namespace tav
