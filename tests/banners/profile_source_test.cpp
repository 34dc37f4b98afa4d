// Tests of the sondar profile and loadouts sources: reading the equipped flag and both writes.
#include "banners/loadouts_source.h"
#include "banners/profile_source.h"

#include "tests/banners/banners_harness.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tav::banners {
namespace {

using test::BannersHarness;

constexpr char kProfileUrl[] = "/tav-sondar/v1/current-sondar/sondar-profile";
constexpr char kLoadoutsUrl[] = "/tav-loadouts/v2/items/1";
constexpr char kBadBannerJson[] = "Sondar profile contains bad banner json: ";
constexpr char kNotOwned[] = "Sondar profile contains banner that sondar does not own.";

// Owned: T level 2 and level 3 of season 5, as ListOwnedFlags would order them.
const std::vector<OwnedFlag> kOwned = {
    OwnedFlag{true, "T", 3, 5, 1700000000},
    OwnedFlag{true, "T", 2, 5, 1600000000},
};

struct ProfileCase {
  const char* what;
  const char* profile;
  std::optional<int64_t> ownedLevel; // the owned entry answered, by level
  const char* error;                 // nullptr when the read succeeds
  const char* logged;                // the one line logged, or nullptr for none
};

class ProfileSourceTest : public ::testing::Test {
protected:
  OutgoingRequests requests() { return harness_.plugin().requests(); }

  BannersHarness harness_;
};

TEST_F(ProfileSourceTest, GetProfileFlagFindsTheStoredFlagAmongTheOwnedOnes) {
  const ProfileCase cases[] = {
      {"owned flag",
       R"({"equippedBannerFlag":"{\"theme\":\"T\",\"level\":\"2\",\"seasonId\":\"5\"}"})", 2,
       nullptr, nullptr},
      {"owned flag with another date",
       R"({"equippedBannerFlag":"{\"theme\":\"T\",\"level\":\"3\",\"seasonId\":\"5\",)"
       R"(\"earnedDateIso8601\":\"1999-01-01T00:00:00Z\"}"})",
       3, nullptr, nullptr},
      {"member absent", R"({"other":1})", std::nullopt, nullptr, nullptr},
      {"member null", R"({"equippedBannerFlag":null})", std::nullopt, nullptr, nullptr},
      {"profile not an object", R"([1,2])", std::nullopt, nullptr, nullptr},
      {"flag not owned",
       R"({"equippedBannerFlag":"{\"theme\":\"T\",\"level\":\"4\",\"seasonId\":\"5\"}"})",
       std::nullopt, nullptr, kNotOwned},
      {"level with a leading zero",
       R"({"equippedBannerFlag":"{\"theme\":\"T\",\"level\":\"02\",\"seasonId\":\"5\"}"})",
       std::nullopt, nullptr, kNotOwned},
      {"number", R"({"equippedBannerFlag":5})", std::nullopt,
       "Unexpected equippedBannerFlag sondar profile type: unsigned", nullptr},
      {"negative number", R"({"equippedBannerFlag":-5})", std::nullopt,
       "Unexpected equippedBannerFlag sondar profile type: signed", nullptr},
      {"float", R"({"equippedBannerFlag":1.5})", std::nullopt,
       "Unexpected equippedBannerFlag sondar profile type: float", nullptr},
      {"bool", R"({"equippedBannerFlag":true})", std::nullopt,
       "Unexpected equippedBannerFlag sondar profile type: bool", nullptr},
      {"object", R"({"equippedBannerFlag":{"theme":"T"}})", std::nullopt,
       "Unexpected equippedBannerFlag sondar profile type: structure", nullptr},
      {"array", R"({"equippedBannerFlag":[]})", std::nullopt,
       "Unexpected equippedBannerFlag sondar profile type: collection", nullptr},
  };
  for (const ProfileCase& c : cases) {
    SCOPED_TRACE(c.what);
    harness_.log().clear();
    harness_.serveProfile(c.profile);
    SourceResult<std::optional<OwnedFlag>> result = GetProfileFlag(requests(), kOwned);
    if (c.error != nullptr) {
      ASSERT_FALSE(result.ok());
      EXPECT_EQ(result.error(), c.error);
    } else {
      ASSERT_TRUE(result.ok()) << result.error();
      ASSERT_EQ(result.value().has_value(), c.ownedLevel.has_value());
      if (c.ownedLevel) {
        EXPECT_EQ(result.value()->level, *c.ownedLevel);
        // The owned acquisition time, not the profile's.
        EXPECT_EQ(result.value()->acquiredAt, *c.ownedLevel == 3 ? 1700000000 : 1600000000);
      }
    }
    size_t warnings = 0;
    for (const test::CapturedRecord& record : harness_.log().records()) {
      warnings += record.level == LogLevel::Warn ? 1 : 0;
    }
    if (c.logged != nullptr) {
      EXPECT_EQ(harness_.linesSaying(c.logged).size(), 1u);
      EXPECT_EQ(warnings, 1u);
    } else {
      EXPECT_EQ(warnings, 0u);
    }
  }
}

TEST_F(ProfileSourceTest, UnreadableBannerTextIsLoggedAndAnsweredWithItsMessage) {
  struct BadText {
    const char* profile;
    const char* message;
  };
  const BadText cases[] = {
      {R"({"equippedBannerFlag":"not json"})", "Error: Invalid value. at offset 1."},
      {R"({"equippedBannerFlag":""})", "A value for '<value>' is required."},
      {R"({"equippedBannerFlag":"[1]"})",
       "Couldn't assign value to '<value>' of type VmfBeTavBannersBannerFlag because the input "
       "not a structure."},
  };
  for (const BadText& c : cases) {
    SCOPED_TRACE(c.profile);
    harness_.log().clear();
    harness_.serveProfile(c.profile);
    SourceResult<std::optional<OwnedFlag>> result = GetProfileFlag(requests(), kOwned);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), c.message);
    const auto lines = harness_.linesSaying(std::string(kBadBannerJson) + c.message);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, LogLevel::Warn);
    EXPECT_EQ(lines[0].groups, kLogGroupDbg);
  }
}

TEST_F(ProfileSourceTest, GetProfileFlagHandsOnAFailedRequestUnlogged) {
  harness_.peers().fail(HttpMethod::Get, kProfileUrl, 500, "profile store down");
  SourceResult<std::optional<OwnedFlag>> result = GetProfileFlag(requests(), kOwned);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), "Error response for GET /tav-sondar/v1/current-sondar/sondar-profile: "
                            "profile store down");
  EXPECT_EQ(harness_.log().count(), 0u);
  const auto sent = harness_.peers().requestsTo(HttpMethod::Get, kProfileUrl);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].argumentCount, 0u);
}

TEST_F(ProfileSourceTest, WriteProfileFlagStoresCompactTextWithNumbersAsStrings) {
  harness_.acceptWrites();
  BannerFlag flag{"T", "2", "5", "2024-03-01T10:00:00Z"};
  ASSERT_TRUE(WriteProfileFlag(requests(), flag).ok());
  const auto sent = harness_.peers().requestsTo(HttpMethod::Post, kProfileUrl);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].argumentCount, 1u);
  EXPECT_FALSE(sent[0].argumentNamed);
  const BindingProperty& update = sent[0].argument;
  EXPECT_EQ(update.size(), 2u);
  EXPECT_EQ(update.find("key").getString(), "equippedBannerFlag");
  ASSERT_TRUE(update.find("value").isString());
  EXPECT_EQ(update.find("value").getString(), R"({"level":"2","seasonId":"5","theme":"T"})");
}

TEST_F(ProfileSourceTest, WriteProfileFlagAnswersTheRequestsMessage) {
  harness_.peers().fail(HttpMethod::Post, kProfileUrl, 409, "conflict");
  SourceResult<void> result = WriteProfileFlag(requests(), BannerFlag{"T", "2", "5", ""});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(),
            "Error response for POST /tav-sondar/v1/current-sondar/sondar-profile: conflict");
}

TEST_F(ProfileSourceTest, WriteLoadoutsFlagFillsTheBannerSlotUnderTournamentFlag) {
  harness_.acceptWrites();
  ASSERT_TRUE(WriteLoadoutsFlag(requests(), BannerFlag{"a_b", "10", "3", ""}).ok());
  const auto sent = harness_.peers().requestsTo(HttpMethod::Post, kLoadoutsUrl);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].argumentCount, 1u);
  EXPECT_FALSE(sent[0].argumentNamed);
  const BindingProperty& body = sent[0].argument;
  ASSERT_EQ(body.size(), 1u);
  ASSERT_EQ(body.find("TOURNAMENT_FLAG").size(), 1u);
  const BindingProperty& slot = body.find("TOURNAMENT_FLAG").find("BANNER_FLAG");
  EXPECT_EQ(slot.size(), 2u);
  EXPECT_EQ(slot.find("inventoryType").getString(), "a_b_10");
  EXPECT_EQ(slot.find("itemId").kind(), BindingKind::Signed);
  EXPECT_EQ(slot.find("itemId").getSigned(), 3);
}

TEST_F(ProfileSourceTest, WriteLoadoutsFlagRefusesAnUnreadableSeasonWithoutSending) {
  for (const char* season : {" 3", "03", "-3", "x", ""}) {
    SourceResult<void> result = WriteLoadoutsFlag(requests(), BannerFlag{"T", "2", season, ""});
    ASSERT_FALSE(result.ok()) << season;
    EXPECT_EQ(result.error(), "BannerFlag seasonId not a number") << season;
  }
  EXPECT_TRUE(harness_.peers().requests().empty());
}

TEST_F(ProfileSourceTest, WriteLoadoutsFlagAnswersTheRequestsMessage) {
  harness_.peers().fail(HttpMethod::Post, kLoadoutsUrl, 500, "no loadout");
  SourceResult<void> result = WriteLoadoutsFlag(requests(), BannerFlag{"T", "2", "5", ""});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), "Error response for POST /tav-loadouts/v2/items/1: no loadout");
}

} // namespace
} // namespace tav::banners
