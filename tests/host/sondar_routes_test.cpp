// The banners read routes end to end: the owned flags in their order, the equipped or default
// flag, and the frame of the current season, answered by libtav_banners.so from the sondar's
// peers.
#include "host/sondar_fixture.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::bannerFlag;
using testhost::canonical;
using testhost::day;
using testhost::flag;
using testhost::frame;
using testhost::sondar;

class SondarRoutesTest : public testhost::SondarPluginTest {};

TEST_F(SondarRoutesTest, FlagsComeNewestSeasonFirstThemesByFirstAcquisitionEachOnce) {
  const SondarFlag a1 = flag("A", "1", "5", day(1));
  const SondarFlag a2 = flag("A", "2", "5", day(5));
  const SondarFlag b1 = flag("B", "1", "5", day(3));
  const SondarFlag b1Again = flag("B", "1", "5", day(7));
  const SondarFlag c1 = flag("C", "1", "4", day(9));
  startWith(sondar({c1, a1, b1Again, a2, b1}));

  const CallResult flags = getFlags();
  ASSERT_TRUE(flags.ok()) << *flags.error;
  EXPECT_EQ(flags.status, 0u);
  EXPECT_EQ(canonical(flags.value),
            ValueTree::list({bannerFlag(b1Again), bannerFlag(a2), bannerFlag(a1), bannerFlag(c1)}));
  const std::vector<SeenRequest> asked = host().requestsTo(kInventoryPath);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].args,
            (std::vector<TypedArgument>{{std::nullopt, ValueTree::list({"TOURNAMENT_FLAG"})}}));
}

TEST_F(SondarRoutesTest, FlagsLeaveOutItemsThatAreNotValidFlags) {
  const SondarFlag valid = flag("T", "2", "5", day(2));
  std::vector<SondarFlag> owned = {
      flag("T", "01", "5", day(1)), flag("T", "+1", "5", day(1)),
      flag("T", "1", " 5", day(1)), flag("T", "1", "5 ", day(1)),
      flag("", "1", "5", day(1)),   flag("T", "1", "5", "yesterday"),
      flag("T", "1", "5", ""),      flag("T", "1", "9223372036854775808", day(1)),
      flag("T", "1", "x", day(1)),  valid,
  };
  SondarFlag lowerCase = flag("T", "3", "5", day(3));
  lowerCase.rewardType = "flag";
  owned.push_back(lowerCase);
  startWith(sondar(owned));
  EXPECT_EQ(canonical(getFlags().value), ValueTree::list({bannerFlag(valid)}));
}

TEST_F(SondarRoutesTest, ASondarWithoutFlagsHasAnEmptyListAndNoEquippedFlag) {
  startWith(sondar({flag("T", "01", "5", day(1))}));
  const CallResult flags = getFlags();
  EXPECT_TRUE(flags.ok());
  EXPECT_EQ(flags.value, ValueTree::list({}));

  const CallResult equipped = getEquipped();
  EXPECT_EQ(equipped.status, 404u);
  EXPECT_EQ(equipped.error, testhost::kNoFlagsMessage);

  const CallResult put = putEquipped(testhost::flagBody(flag("T", "1", "5", day(1))));
  EXPECT_EQ(put.status, 400u);
  EXPECT_EQ(put.error, testhost::kNotOwnedMessage);
}

TEST_F(SondarRoutesTest, DefaultIsTheHighestLevelOfTheThemeAndSeasonAcquiredLast) {
  const SondarFlag a3 = flag("A", "3", "5", day(2));
  startWith(sondar(
      {flag("B", "4", "5", day(3)), a3, flag("A", "1", "5", day(9)), flag("A", "9", "4", day(1))}));
  const CallResult equipped = getEquipped();
  ASSERT_TRUE(equipped.ok()) << *equipped.error;
  EXPECT_EQ(canonical(equipped.value), bannerFlag(a3));
  EXPECT_TRUE(logLinesWith("Sondar profile").empty());
}

TEST_F(SondarRoutesTest, EquippedFlagIsTheProfilesWithTheOwnedAcquisitionTime) {
  const SondarFlag owned = flag("T", "2", "5", day(4));
  SondarData data = sondar({owned, flag("U", "1", "5", day(8))});
  data.profile = ValueTree::map(
      {{"equippedBannerFlag",
        R"({"theme":"T","level":"2","seasonId":"5","earnedDateIso8601":"2001-01-01T00:00:00Z"})"}});
  startWith(data);
  const CallResult equipped = getEquipped();
  ASSERT_TRUE(equipped.ok()) << *equipped.error;
  EXPECT_EQ(canonical(equipped.value), bannerFlag(owned));
}

struct ProfileCase {
  const char* name;
  ValueTree banner;        // the profile's equippedBannerFlag; empty leaves it out
  const char* logFragment; // the level 1 line the plugin writes, or null for none
};

TEST_F(SondarRoutesTest, AProfileWithoutAnOwnedReadableFlagGivesTheDefault) {
  const SondarFlag fallback = flag("U", "1", "5", day(8));
  startWith(sondar({flag("T", "2", "5", day(4)), fallback}));
  const ProfileCase cases[] = {
      {"absent", ValueTree(), nullptr},
      {"not owned", R"({"theme":"T","level":"3","seasonId":"5"})",
       "Sondar profile contains banner that sondar does not own."},
      {"level with a leading zero", R"({"theme":"T","level":"02","seasonId":"5"})",
       "Sondar profile contains banner that sondar does not own."},
      {"unreadable text", "{\"theme\":", "Sondar profile contains bad banner json: "},
      {"not an object", R"(["T"])", "Sondar profile contains bad banner json: "},
      {"a number", 5, nullptr},
      {"a boolean", true, nullptr},
      {"an object", ValueTree::map({{"theme", "T"}, {"level", "2"}, {"seasonId", "5"}}), nullptr},
  };
  for (const ProfileCase& profile : cases) {
    SCOPED_TRACE(profile.name);
    peers().eraseProfileMember("equippedBannerFlag");
    if (!profile.banner.isEmpty()) {
      peers().setProfileMember("equippedBannerFlag", profile.banner);
    }
    const size_t linesBefore = host().journal().logLines().size();
    const CallResult equipped = getEquipped();
    ASSERT_TRUE(equipped.ok()) << *equipped.error;
    EXPECT_EQ(canonical(equipped.value), bannerFlag(fallback));

    const std::vector<LogLine> lines = host().journal().logLines();
    std::vector<LogLine> written(lines.begin() + static_cast<ptrdiff_t>(linesBefore), lines.end());
    if (profile.logFragment == nullptr) {
      EXPECT_TRUE(written.empty()) << written.front().message;
    } else {
      ASSERT_EQ(written.size(), 1u);
      EXPECT_NE(written[0].message.find(profile.logFragment), std::string::npos)
          << written[0].message;
      EXPECT_EQ(written[0].level, 1);
    }
  }
}

TEST_F(SondarRoutesTest, AFailedProfileReadGivesTheDefaultWithoutALogLine) {
  const SondarFlag fallback = flag("U", "1", "5", day(8));
  SondarData data = sondar({flag("T", "2", "5", day(4)), fallback});
  data.profile =
      ValueTree::map({{"equippedBannerFlag", R"({"theme":"T","level":"2","seasonId":"5"})"}});
  data.failures[SondarEndpoint::ProfileRead] = {503, "Service Unavailable"};
  startWith(data);
  const size_t linesBefore = host().journal().logLines().size();
  const CallResult equipped = getEquipped();
  ASSERT_TRUE(equipped.ok()) << *equipped.error;
  EXPECT_EQ(canonical(equipped.value), bannerFlag(fallback));
  EXPECT_EQ(host().journal().logLines().size(), linesBefore);
}

TEST_F(SondarRoutesTest, WithEquippingDisabledTheDefaultIsShownAndOneLineLogged) {
  const SondarFlag fallback = flag("U", "1", "5", day(8));
  SondarData data = sondar({flag("T", "2", "5", day(4)), fallback}, {}, false);
  data.profile =
      ValueTree::map({{"equippedBannerFlag", R"({"theme":"T","level":"2","seasonId":"5"})"}});
  startWith(data);

  const CallResult equipped = getEquipped();
  ASSERT_TRUE(equipped.ok()) << *equipped.error;
  EXPECT_EQ(canonical(equipped.value), bannerFlag(fallback));
  const std::vector<LogLine> lines = logLinesWith(testhost::kDisabledLogLine);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 0);
  EXPECT_TRUE(host().requestsTo(kProfilePath).empty());
}

struct FrameCase {
  const char* name;
  std::vector<SondarFlag> flags;
  std::vector<SondarFrame> frames;
  ValueTree season; // empty: no configuration value
  uint32_t status;
  std::string answer; // the level, or the error text
};

TEST_F(SondarRoutesTest, FrameIsTheHighestLevelOfTheCurrentSeason) {
  startWith(sondar({}, {}, true, -1));
  const std::vector<SondarFlag> owned = {flag("T", "1", "5", day(1))};
  SondarFrame lowerCase = frame("8", "5");
  lowerCase.rewardType = "frame";
  const FrameCase cases[] = {
      {"no season yet", owned, {frame("2", "5")}, ValueTree(), 0, "1"},
      {"levels 2, 3, 3",
       owned,
       {frame("2", "5"), frame("3", "5"), frame("3", "5"), frame("9", "4")},
       5,
       0,
       "3"},
      {"no frame of the season", owned, {frame("2", "5")}, 6, 0, "1"},
      {"no frames", owned, {}, 5, 0, "1"},
      {"invalid frames left out",
       owned,
       {lowerCase, frame("x", "5"), frame("7", "05"), frame("2", "5")},
       5,
       0,
       "2"},
      {"no valid flag",
       {flag("T", "01", "5", day(1))},
       {frame("2", "5")},
       5,
       404,
       testhost::kNoFrameMessage},
      {"no flags", {}, {frame("2", "5")}, 5, 404, testhost::kNoFrameMessage},
  };
  for (const FrameCase& test : cases) {
    SCOPED_TRACE(test.name);
    peers().setFlags(test.flags);
    peers().setFrames(test.frames);
    if (test.season.isEmpty()) {
      peers().deleteConfiguration("ClientSystemStates", "currentSeason");
      host().waitForDeliveries();
    } else {
      configure("ClientSystemStates", "currentSeason", test.season);
    }
    const CallResult answer = getFrame();
    EXPECT_EQ(answer.status, test.status);
    if (test.status == 0) {
      ASSERT_TRUE(answer.ok()) << *answer.error;
      EXPECT_EQ(answer.value, ValueTree::map({{"level", test.answer}}));
    } else {
      EXPECT_EQ(answer.error, test.answer);
    }
  }
  const std::vector<SeenRequest> asked = host().requestsTo(kInventoryPath);
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back().args,
            (std::vector<TypedArgument>{
                {std::nullopt, ValueTree::list({"TOURNAMENT_FLAG", "TOURNAMENT_FRAME"})}}));
}

} // namespace
} // namespace tav::host
