// The plugin's two configuration switches end to end: the values fetched at start, the events
// that change them, and what each kind of value means.
#include "host/sondar_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tav::host {
namespace {

using testhost::day;
using testhost::flag;
using testhost::flagBody;
using testhost::frame;
using testhost::sondar;

constexpr char kEquipEnabledEvent[] =
    "OnJsonApiEvent_tav-platform-config_v1_namespaces_Banners_IsEquipEnabled";
constexpr char kSeasonEvent[] =
    "OnJsonApiEvent_tav-platform-config_v1_namespaces_ClientSystemStates_currentSeason";

class SondarConfigurationTest : public testhost::SondarPluginTest {
protected:
  bool equipAccepted() {
    const CallResult put = putEquipped(flagBody(owned));
    EXPECT_TRUE(put.ok() || put.error == testhost::kEquipDisabledMessage) << *put.error;
    return put.ok();
  }

  const SondarFlag owned = flag("T", "2", "5", day(4));
};

TEST_F(SondarConfigurationTest, StartFetchesBothValuesAndSubscribesToTheirEvents) {
  startWith(sondar({owned}));
  const std::vector<std::string> names = testhost::subscribedNames(host(), 0);
  EXPECT_NE(std::find(names.begin(), names.end(), kEquipEnabledEvent), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), kSeasonEvent), names.end());
  EXPECT_EQ(host().requestsTo(configurationUri("Banners", "IsEquipEnabled")).size(), 1u);
  EXPECT_EQ(host().requestsTo(configurationUri("ClientSystemStates", "currentSeason")).size(), 1u);
  EXPECT_TRUE(equipAccepted());
}

TEST_F(SondarConfigurationTest, OnlyTheBooleanTrueEnablesEquipping) {
  startWith(sondar({owned}, {}, false));
  const std::pair<const char*, ValueTree> cases[] = {
      {"true", true},        {"the text true", "true"},
      {"false", false},      {"1", 1},
      {"1.0", 1.0},          {"true", true},
      {"null", ValueTree()}, {"a list", ValueTree::list({true})},
  };
  for (const auto& [name, value] : cases) {
    configure("Banners", "IsEquipEnabled", value);
    EXPECT_EQ(equipAccepted(), value.kind() == ValueKind::Bool && value.asBool()) << name;
  }
}

TEST_F(SondarConfigurationTest, DeletingTheValueDisablesEquipping) {
  startWith(sondar({owned}));
  ASSERT_TRUE(equipAccepted());
  unconfigure("Banners", "IsEquipEnabled");
  EXPECT_FALSE(equipAccepted());
  configure("Banners", "IsEquipEnabled", true);
  EXPECT_TRUE(equipAccepted());
}

TEST_F(SondarConfigurationTest, AFailedFirstFetchLeavesEquippingDisabled) {
  SondarData data = sondar({owned}, {frame("4", "5")});
  data.failures[SondarEndpoint::Configuration] = {503, "Service Unavailable"};
  startWith(data);
  EXPECT_FALSE(equipAccepted());
  EXPECT_EQ(getFrame().value, ValueTree::map({{"level", "1"}})) << "season stays unset";
}

struct SeasonCase {
  const char* name;
  ValueTree value;
  const char* frameLevel;
};

TEST_F(SondarConfigurationTest, TheSeasonIsReadAsAWholeNumber) {
  startWith(sondar({owned}, {frame("2", "5"), frame("7", "7"), frame("6", "0")}, true, -1));
  const SeasonCase cases[] = {
      {"7", 7, "7"},
      {"7.9", 7.9, "7"},
      {"unsigned 7", uint64_t{7}, "7"},
      {"the text 7", "7", "7"},
      {"the text 0x7", "0x7", "7"},
      {"5", 5, "2"},
      {"unreadable text reads as 0", "x", "6"},
      {"true reads as 1, a season without frames", true, "1"},
      {"null reads as no season", ValueTree(), "1"},
  };
  for (const SeasonCase& season : cases) {
    configure("ClientSystemStates", "currentSeason", season.value);
    EXPECT_EQ(getFrame().value, ValueTree::map({{"level", season.frameLevel}})) << season.name;
  }
  configure("ClientSystemStates", "currentSeason", 7);
  unconfigure("ClientSystemStates", "currentSeason");
  EXPECT_EQ(getFrame().value, ValueTree::map({{"level", "1"}})) << "deleted";
}

} // namespace
} // namespace tav::host
