// Tests of the owned flag order, the default flag and the season frame level.
#include "banners/flag_selection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace tav::banners {
namespace {

constexpr int64_t kDay = 86400;

OwnedFlag Flag(std::string theme, int64_t level, int64_t seasonId, int64_t acquiredAt) {
  return OwnedFlag{true, std::move(theme), level, seasonId, acquiredAt};
}

// "theme level season @time" for readable failure output.
std::vector<std::string> Describe(const std::vector<OwnedFlag>& flags) {
  std::vector<std::string> out;
  for (const OwnedFlag& f : flags) {
    out.push_back(f.theme + std::to_string(f.level) + " s" + std::to_string(f.seasonId) + " @" +
                  std::to_string(f.acquiredAt));
  }
  return out;
}

TEST(SortOwnedFlags, ListsCopiesOnceWithTheLaterTime) {
  std::vector<OwnedFlag> sorted =
      SortOwnedFlags({Flag("A", 1, 5, 1 * kDay), Flag("A", 1, 5, 4 * kDay)});
  EXPECT_EQ(Describe(sorted), (std::vector<std::string>{"A1 s5 @345600"}));
}

TEST(SortOwnedFlags, PutsNewerSeasonFirstWhateverTheTimes) {
  std::vector<OwnedFlag> sorted =
      SortOwnedFlags({Flag("A", 1, 4, 9 * kDay), Flag("B", 1, 5, 1 * kDay)});
  EXPECT_EQ(Describe(sorted), (std::vector<std::string>{"B1 s5 @86400", "A1 s4 @777600"}));
}

TEST(SortOwnedFlags, OrdersThemesByFirstAcquisitionThenLevels) {
  // A first acquired on day 1, B on day 3; A level 2 came later, on day 5.
  std::vector<OwnedFlag> sorted = SortOwnedFlags(
      {Flag("A", 1, 5, 1 * kDay), Flag("A", 2, 5, 5 * kDay), Flag("B", 1, 5, 3 * kDay)});
  EXPECT_EQ(Describe(sorted),
            (std::vector<std::string>{"B1 s5 @259200", "A2 s5 @432000", "A1 s5 @86400"}));
}

TEST(SortOwnedFlags, ComparesExtremeValuesWithoutOverflow) {
  std::vector<OwnedFlag> sorted =
      SortOwnedFlags({Flag("A", INT64_MIN, -2, INT64_MIN), Flag("A", 1, INT64_MAX, INT64_MAX),
                      Flag("A", INT64_MAX, -2, 0)});
  ASSERT_EQ(sorted.size(), 3u);
  EXPECT_EQ(sorted[0].seasonId, INT64_MAX);
  EXPECT_EQ(sorted[1].level, INT64_MAX);
  EXPECT_EQ(sorted[2].level, INT64_MIN);
}

TEST(SortOwnedFlags, KeepsThemesFirstAcquiredTogetherGrouped) {
  // A and B were both first acquired at t=5. Ordering their entries by their own times would
  // interleave A and B and contradict A's level order (A2 before A1, A1 after B1, B1 after A2);
  // the themes stay grouped instead, the one acquired most recently (A, t=10) first.
  std::vector<OwnedFlag> sorted =
      SortOwnedFlags({Flag("B", 0, 5, 5), Flag("A", 1, 5, 10), Flag("B", 1, 5, 7),
                      Flag("A", 2, 5, 5), Flag("A", 1, 5, 6)});
  EXPECT_EQ(Describe(sorted),
            (std::vector<std::string>{"A2 s5 @5", "A1 s5 @10", "B1 s5 @7", "B0 s5 @5"}));
}

TEST(SortOwnedFlags, HandlesManyFlagsWithManyTies) {
  // Small value ranges make most comparisons ties, which is where an inconsistent comparator
  // makes std::sort misbehave.
  std::mt19937 random(20240301);
  std::vector<OwnedFlag> flags;
  std::map<std::tuple<int64_t, std::string, int64_t>, int64_t> latestCopy;
  for (int i = 0; i < 100000; ++i) {
    OwnedFlag f = Flag(std::string(1, static_cast<char>('A' + random() % 6)), random() % 4,
                       random() % 3, random() % 50);
    auto key = std::make_tuple(f.seasonId, f.theme, f.level);
    auto [it, inserted] = latestCopy.emplace(key, f.acquiredAt);
    if (!inserted && f.acquiredAt > it->second) {
      it->second = f.acquiredAt;
    }
    flags.push_back(std::move(f));
  }

  std::vector<OwnedFlag> sorted = SortOwnedFlags(flags);

  ASSERT_EQ(sorted.size(), latestCopy.size());
  std::set<std::pair<int64_t, std::string>> closedThemes;
  for (size_t i = 0; i < sorted.size(); ++i) {
    const OwnedFlag& f = sorted[i];
    EXPECT_EQ(f.acquiredAt, latestCopy.at(std::make_tuple(f.seasonId, f.theme, f.level)));
    if (i == 0) {
      continue;
    }
    const OwnedFlag& prev = sorted[i - 1];
    ASSERT_GE(prev.seasonId, f.seasonId);
    if (prev.seasonId == f.seasonId && prev.theme == f.theme) {
      ASSERT_GT(prev.level, f.level) << "levels of one theme descend, each once";
    } else {
      closedThemes.emplace(prev.seasonId, prev.theme);
      ASSERT_EQ(closedThemes.count({f.seasonId, f.theme}), 0u) << "a theme's entries are adjacent";
    }
  }
}

TEST(SelectDefaultFlag, PicksHighestLevelOfLatestThemeAndSeason) {
  std::vector<OwnedFlag> flags = {Flag("B", 4, 5, 3 * kDay), Flag("A", 3, 5, 2 * kDay),
                                  Flag("A", 1, 5, 9 * kDay), Flag("A", 7, 4, 1 * kDay)};
  std::optional<BannerFlag> chosen = SelectDefaultFlag(flags);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->theme, "A");
  EXPECT_EQ(chosen->level, "3");
  EXPECT_EQ(chosen->seasonId, "5");
  EXPECT_EQ(chosen->earnedDateIso8601, "1970-01-03T00:00:00Z");
}

TEST(SelectDefaultFlag, TakesLaterCopyOnEqualLevels) {
  std::optional<BannerFlag> chosen =
      SelectDefaultFlag({Flag("A", 2, 5, 10), Flag("A", 2, 5, 60), Flag("A", 1, 5, 120)});
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->level, "2");
  EXPECT_EQ(chosen->earnedDateIso8601, "1970-01-01T00:01:00Z");
}

TEST(SelectDefaultFlag, TakesFirstOfEquallyLatestEntries) {
  std::optional<BannerFlag> chosen = SelectDefaultFlag({Flag("B", 1, 5, 50), Flag("A", 9, 5, 50)});
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->theme, "B");
}

TEST(SelectDefaultFlag, GivesNothingForEmptyList) {
  EXPECT_FALSE(SelectDefaultFlag({}).has_value());
}

OwnedFrame Frame(int64_t level, int64_t seasonId) {
  return OwnedFrame{true, level, seasonId};
}

TEST(SelectSeasonFrameLevel, GivesGreatestLevelOfTheSeasonAsText) {
  EXPECT_EQ(SelectSeasonFrameLevel({Frame(2, 7), Frame(3, 7), Frame(9, 6), Frame(3, 7)}, 7),
            std::optional<std::string>("3"));
}

TEST(SelectSeasonFrameLevel, GivesNothingWithoutFrameOfTheSeason) {
  EXPECT_EQ(SelectSeasonFrameLevel({Frame(2, 6), Frame(4, 8)}, 7), std::nullopt);
  EXPECT_EQ(SelectSeasonFrameLevel({Frame(2, 6)}, -1), std::nullopt);
  EXPECT_EQ(SelectSeasonFrameLevel({}, 7), std::nullopt);
}

} // namespace
} // namespace tav::banners
