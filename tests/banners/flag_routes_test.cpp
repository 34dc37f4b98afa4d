// Tests of the reading routes: the owned flags, the equipped flag and the equipped frame.
#include "tests/banners/banners_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav {
namespace {

using test::BannersHarness;
using test::FlagItem;
using test::FrameItem;
using test::HostCall;

constexpr char kEquipEnabledUri[] = "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled";
constexpr char kCurrentSeasonUri[] =
    "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason";
constexpr char kShowingDefault[] =
    "Banner equipping is not enabled; showing the default equipped banner.";

// "theme level season date" of an answered flag.
std::string Describe(const BindingProperty& flag) {
  return std::string(flag.find("theme").getString()) + " " +
         std::string(flag.find("level").getString()) + " " +
         std::string(flag.find("seasonId").getString()) + " " +
         std::string(flag.find("earnedDateIso8601").getString());
}

std::vector<std::string> DescribeList(const BindingProperty& flags) {
  std::vector<std::string> out;
  for (const BindingProperty& flag : flags.elements()) {
    out.push_back(Describe(flag));
  }
  return out;
}

class FlagRoutesTest : public ::testing::Test {
protected:
  void enableEquipping() {
    BindingProperty on;
    on = true;
    ASSERT_TRUE(harness_.deliver(kEquipEnabledUri, "Update", on));
    ASSERT_TRUE(harness_.plugin().equipEnabled());
  }
  void setSeason(int64_t season) {
    BindingProperty value;
    value.setSigned(season);
    ASSERT_TRUE(harness_.deliver(kCurrentSeasonUri, "Update", value));
  }

  BannersHarness harness_;
};

// ---- GET flags -------------------------------------------------------------------------------

TEST_F(FlagRoutesTest, OwnedFlagsComeNewestSeasonFirstThemesByFirstAcquisitionEachOnce) {
  harness_.serveInventory({
      FlagItem("A", "1", "5", "2024-01-01T00:00:00Z"),
      FlagItem("A", "2", "5", "2024-01-05T00:00:00Z"),
      FlagItem("B", "1", "5", "2024-01-03T00:00:00Z"),
      FlagItem("C", "1", "4", "2024-02-01T00:00:00Z"),
      FlagItem("A", "1", "5", "2024-01-04T12:30:00.250Z"),
  });
  TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags");
  HostCall call(harness_.function(test::kGetOwnedFlags), request);
  ASSERT_FALSE(call.failed()) << call.error();
  EXPECT_EQ(call.status(), 0u);
  EXPECT_EQ(DescribeList(call.value()), (std::vector<std::string>{
                                            "B 1 5 2024-01-03T00:00:00Z",
                                            "A 2 5 2024-01-05T00:00:00Z",
                                            "A 1 5 2024-01-04T12:30:00Z",
                                            "C 1 4 2024-02-01T00:00:00Z",
                                        }));
}

TEST_F(FlagRoutesTest, OwnedFlagsLeaveOutEntriesThatAreNotValidFlags) {
  harness_.serveInventory({
      FlagItem("A", "1", "5", "2024-01-01T00:00:00Z", "flag"),
      FlagItem("A", "1", "5", "2024-01-01T00:00:00Z", "FRAME"),
      FlagItem("", "1", "5", "2024-01-01T00:00:00Z"),
      FlagItem("A", "01", "5", "2024-01-01T00:00:00Z"),
      FlagItem("A", "1", "+5", "2024-01-01T00:00:00Z"),
      FlagItem("A", "1", "5", "yesterday"),
      FlagItem("K", "0", "0", "1970-01-01T00:00:00Z"),
  });
  TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags");
  HostCall call(harness_.function(test::kGetOwnedFlags), request);
  ASSERT_FALSE(call.failed()) << call.error();
  EXPECT_EQ(DescribeList(call.value()), (std::vector<std::string>{"K 0 0 1970-01-01T00:00:00Z"}));
}

TEST_F(FlagRoutesTest, NoOwnedFlagsIsAnEmptyList) {
  harness_.serveInventory({});
  TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags");
  HostCall call(harness_.function(test::kGetOwnedFlags), request);
  ASSERT_FALSE(call.failed()) << call.error();
  EXPECT_EQ(call.status(), 0u);
  EXPECT_TRUE(call.value().isCollection());
  EXPECT_EQ(call.value().size(), 0u);
}

// Every reading route answers 500 with GetInventory's message when the inventory fails.
TEST_F(FlagRoutesTest, InventoryFailuresAnswer500WithTheSourcesMessage) {
  struct RouteCase {
    const char* function;
    const char* path;
    const char* types;
  };
  const RouteCase routes[] = {
      {test::kGetOwnedFlags, "/tav-banners/v1/current-sondar/flags", "TOURNAMENT_FLAG"},
      {test::kGetEquippedFlag, "/tav-banners/v1/current-sondar/flags/equipped", "TOURNAMENT_FLAG"},
      {test::kGetEquippedFrame, "/tav-banners/v1/current-sondar/frames/equipped",
       "TOURNAMENT_FLAG, TOURNAMENT_FRAME"},
  };
  for (const RouteCase& route : routes) {
    harness_.peers().fail(HttpMethod::Get, "/tav-inventory/v1/signedInventory", 502, "gateway");
    TestRequest failing(HttpMethod::Get, route.path);
    HostCall failed(harness_.function(route.function), failing);
    EXPECT_EQ(failed.status(), 500u) << route.path;
    EXPECT_EQ(failed.error(), std::string("Failed to retrieve inventory types [") + route.types +
                                  "] from tav-inventory: Error response for GET "
                                  "/tav-inventory/v1/signedInventory: gateway");

    harness_.serveTokens({});
    TestRequest empty(HttpMethod::Get, route.path);
    HostCall missing(harness_.function(route.function), empty);
    EXPECT_EQ(missing.status(), 500u) << route.path;
    EXPECT_EQ(missing.error(), "Retrieved unexpected empty inventory from tav-inventory");

    harness_.serveTokens({{"TOURNAMENT_FLAG", test::Token(R"({"items":{"TOURNAMENT_FLAG":1}})")},
                          {"TOURNAMENT_FRAME", test::Token("{}")}});
    TestRequest shaped(HttpMethod::Get, route.path);
    HostCall wrong(harness_.function(route.function), shaped);
    EXPECT_EQ(wrong.status(), 500u) << route.path;
    EXPECT_EQ(wrong.error(), "Could not understand tav-inventory JWT payload");
  }
}

// ---- GET flags/equipped ----------------------------------------------------------------------

TEST_F(FlagRoutesTest, EquippedFlagWithoutValidFlagsIsNotFound) {
  for (const std::vector<std::string>& flags :
       {std::vector<std::string>{},
        std::vector<std::string>{FlagItem("A", "1", "5", "not a date")}}) {
    harness_.serveInventory(flags);
    TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags/equipped");
    HostCall call(harness_.function(test::kGetEquippedFlag), request);
    EXPECT_EQ(call.status(), 404u);
    EXPECT_EQ(call.error(), "Current sondar has no banner flags.");
  }
}

TEST_F(FlagRoutesTest, EquippingDisabledShowsTheDefaultFlagAndSaysSoOnce) {
  // The latest acquisition is A level 1; A level 3 is the highest of its theme and season.
  harness_.serveInventory({
      FlagItem("A", "3", "5", "2024-01-02T00:00:00Z"),
      FlagItem("B", "4", "5", "2024-01-03T00:00:00Z"),
      FlagItem("A", "1", "5", "2024-01-09T00:00:00Z"),
  });
  harness_.serveProfile(R"({"equippedBannerFlag":"{\"theme\":\"B\",\"level\":\"4\",)"
                        R"(\"seasonId\":\"5\"}"})");
  TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags/equipped");
  HostCall call(harness_.function(test::kGetEquippedFlag), request);
  ASSERT_FALSE(call.failed()) << call.error();
  EXPECT_EQ(Describe(call.value()), "A 3 5 2024-01-02T00:00:00Z");

  const auto lines = harness_.linesSaying(kShowingDefault);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, LogLevel::Okay);
  EXPECT_EQ(lines[0].groups, kLogGroupGen);
  size_t forwarded = 0;
  for (const test::HostLogLine& line : harness_.host().logLines()) {
    forwarded += line.message == kShowingDefault && line.level == 0 ? 1 : 0;
  }
  EXPECT_EQ(forwarded, 1u);
  EXPECT_TRUE(harness_.peers()
                  .requestsTo(HttpMethod::Get, "/tav-sondar/v1/current-sondar/sondar-profile")
                  .empty());
}

struct EquippedCase {
  const char* what;
  const char* profile; // nullptr: the profile read fails
  const char* answer;
};

TEST_F(FlagRoutesTest, EquippingEnabledShowsTheProfilesOwnedFlagOrElseTheDefault) {
  enableEquipping();
  harness_.serveInventory({
      FlagItem("A", "3", "5", "2024-01-02T00:00:00Z"),
      FlagItem("B", "4", "5", "2024-01-03T00:00:00Z"),
      FlagItem("A", "1", "5", "2024-01-09T00:00:00Z"),
  });
  const EquippedCase cases[] = {
      {"owned", R"({"equippedBannerFlag":"{\"theme\":\"B\",\"level\":\"4\",\"seasonId\":\"5\"}"})",
       "B 4 5 2024-01-03T00:00:00Z"},
      {"not owned",
       R"({"equippedBannerFlag":"{\"theme\":\"B\",\"level\":\"5\",\"seasonId\":\"5\"}"})",
       "A 3 5 2024-01-02T00:00:00Z"},
      {"unreadable text", R"({"equippedBannerFlag":"{theme"})", "A 3 5 2024-01-02T00:00:00Z"},
      {"unexpected kind", R"({"equippedBannerFlag":7})", "A 3 5 2024-01-02T00:00:00Z"},
      {"nothing stored", R"({})", "A 3 5 2024-01-02T00:00:00Z"},
      {"profile read fails", nullptr, "A 3 5 2024-01-02T00:00:00Z"},
  };
  for (const EquippedCase& c : cases) {
    if (c.profile != nullptr) {
      harness_.serveProfile(c.profile);
    } else {
      harness_.peers().fail(HttpMethod::Get, "/tav-sondar/v1/current-sondar/sondar-profile", 500,
                            "down");
    }
    TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags/equipped");
    HostCall call(harness_.function(test::kGetEquippedFlag), request);
    ASSERT_FALSE(call.failed()) << c.what << ": " << call.error();
    EXPECT_EQ(call.status(), 0u) << c.what;
    EXPECT_EQ(Describe(call.value()), c.answer) << c.what;
  }
  EXPECT_TRUE(harness_.linesSaying(kShowingDefault).empty());
  EXPECT_EQ(harness_.linesSaying("Sondar profile contains banner that sondar does not own.").size(),
            1u);
}

// ---- GET frames/equipped ---------------------------------------------------------------------

struct FrameCase {
  const char* what;
  int64_t season; // -1: no configuration value delivered
  std::vector<std::string> frames;
  const char* level;
};

TEST_F(FlagRoutesTest, EquippedFrameIsTheHighestOfTheCurrentSeasonOrLevelOne) {
  const std::string flag = FlagItem("A", "1", "5", "2024-01-01T00:00:00Z");
  const FrameCase cases[] = {
      {"no season yet", -1, {FrameItem("4", "5")}, "1"},
      {"highest of the season",
       5,
       {FrameItem("2", "5"), FrameItem("3", "5"), FrameItem("3", "5"), FrameItem("9", "4")},
       "3"},
      {"no frame of the season", 6, {FrameItem("2", "5")}, "1"},
      {"no frames at all", 5, {}, "1"},
      {"invalid frames left out",
       5,
       {FrameItem("8", "5", "frame"), FrameItem("x", "5"), FrameItem("08", "5"),
        FrameItem("2", "5")},
       "2"},
      {"level zero", 5, {FrameItem("0", "5")}, "0"},
  };
  for (const FrameCase& c : cases) {
    harness_.serveInventory({flag}, c.frames);
    if (c.season >= 0) {
      setSeason(c.season);
    } else {
      ASSERT_TRUE(harness_.deliver(kCurrentSeasonUri, "Delete"));
    }
    TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/frames/equipped");
    HostCall call(harness_.function(test::kGetEquippedFrame), request);
    ASSERT_FALSE(call.failed()) << c.what << ": " << call.error();
    EXPECT_EQ(call.value().size(), 1u) << c.what;
    EXPECT_EQ(call.value().find("level").getString(), c.level) << c.what;
  }
}

TEST_F(FlagRoutesTest, EquippedFrameNeedsAValidFlagWhateverTheFrames) {
  setSeason(5);
  harness_.serveInventory({FlagItem("A", "1", "5", "")}, {FrameItem("3", "5")});
  TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/frames/equipped");
  HostCall call(harness_.function(test::kGetEquippedFrame), request);
  EXPECT_EQ(call.status(), 404u);
  EXPECT_EQ(call.error(), "Banner frame not found for current sondar");
}

TEST_F(FlagRoutesTest, EquippedFrameAsksForFlagsThenFrames) {
  harness_.serveInventory({FlagItem("A", "1", "5", "2024-01-01T00:00:00Z")});
  TestRequest request(HttpMethod::Get, "/tav-banners/v1/current-sondar/frames/equipped");
  HostCall call(harness_.function(test::kGetEquippedFrame), request);
  ASSERT_FALSE(call.failed()) << call.error();
  const auto sent =
      harness_.peers().requestsTo(HttpMethod::Get, "/tav-inventory/v1/signedInventory");
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].argument.size(), 2u);
  EXPECT_EQ(sent[0].argument.at(0).getString(), "TOURNAMENT_FLAG");
  EXPECT_EQ(sent[0].argument.at(1).getString(), "TOURNAMENT_FRAME");
}

} // namespace
} // namespace tav
