// Tests of the strict decimal reader and the owned flag and frame conversions.
#include "banners/owned_items.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/utc_time.h"

namespace tav::banners {
namespace {

struct StrictIntCase {
  std::string text;
  std::optional<int64_t> expected;
};

TEST(ParseStrictInt64, AcceptsOnlyPlainDecimalsThatFit) {
  const StrictIntCase cases[] = {
      {"0", 0},
      {"7", 7},
      {"42", 42},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"00", std::nullopt},
      {"01", std::nullopt},
      {"0x1", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"", std::nullopt},
      {"1a", std::nullopt},
      {"a1", std::nullopt},
      {"1.0", std::nullopt},
  };
  for (const StrictIntCase& c : cases) {
    EXPECT_EQ(ParseStrictInt64(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TournamentFlagInventoryItem FlagItem(std::string rewardType, std::string theme, std::string level,
                                     std::string seasonId, std::string purchaseDate) {
  TournamentFlagInventoryItem item;
  item.payload.rewardType = std::move(rewardType);
  item.payload.rewardSpec.theme = std::move(theme);
  item.payload.rewardSpec.level = std::move(level);
  item.payload.rewardSpec.seasonId = std::move(seasonId);
  item.purchaseDate = std::move(purchaseDate);
  return item;
}

TEST(OwnedFlag, ReadsInventoryItemFields) {
  OwnedFlag entry = MakeOwnedFlag(FlagItem("FLAG", "storm", "3", "12", "1970-01-02T00:00:00Z"));
  EXPECT_TRUE(entry.isFlag);
  EXPECT_EQ(entry.theme, "storm");
  EXPECT_EQ(entry.level, 3);
  EXPECT_EQ(entry.seasonId, 12);
  EXPECT_EQ(entry.acquiredAt, 86400);
  EXPECT_TRUE(IsValid(entry));
}

// Purchase dates in the inventory's own form are read without the runtime's calendar parsing;
// the seconds must be exactly those of parseUtcTime, for every day and for the texts that only
// look like that form.
TEST(OwnedFlag, ReadsPurchaseDatesAsParseUtcTimeDoes) {
  std::vector<std::string> dates;
  for (int64_t day = 0; day < 366 * 140; day += 1) {
    const int64_t seconds = day * 86400 + (day * 7919) % 86400;
    dates.push_back(formatUtcTime(seconds));
  }
  const char* const oddities[] = {
      "1969-12-31T23:59:59Z",   "1970-01-01T00:00:00Z", "2024-02-29T12:00:00Z",
      "2023-02-29T12:00:00Z",   "2100-02-29T00:00:00Z", "2000-02-29T00:00:00Z",
      "2024-04-31T00:00:00Z",   "2024-12-32T00:00:00Z", "2024-13-01T00:00:00Z",
      "2024-00-10T00:00:00Z",   "2024-01-00T00:00:00Z", "2024-01-01T24:00:00Z",
      "2024-01-01T23:60:00Z",   "2024-01-01T23:59:60Z", "2024-01-01t23:59:59Z",
      "2024-01-01T23:59:59z",   "2024-01-01 23:59:59Z", "2024-01-01T23:59:59",
      "2024-01-01T23:59:59.5Z", "20240101T235959Z",     "2024-1-01T23:59:59Z",
      "2024-01-01T23:59:5xZ",   "+024-01-01T23:59:59Z", "2024-01-01T23:59:59+00",
      "9999-12-31T23:59:59Z",   "0000-01-01T00:00:00Z", "",
  };
  dates.insert(dates.end(), std::begin(oddities), std::end(oddities));
  for (const std::string& date : dates) {
    EXPECT_EQ(MakeOwnedFlag(FlagItem("FLAG", "t", "1", "1", date)).acquiredAt, parseUtcTime(date))
        << date;
  }
}

// Listed flags write their dates without the runtime's calendar; the text must be exactly that
// of formatUtcTime, inside and outside the range written directly.
TEST(BannerFlag, WritesEarnedDatesAsFormatUtcTimeDoes) {
  std::vector<int64_t> times = {0,
                                1,
                                59,
                                86399,
                                86400,
                                951782400,
                                951868799,
                                4107456000,
                                253402300799,
                                253402300800,
                                253402300801,
                                -86400,
                                -2,
                                int64_t{1} << 40};
  for (int64_t day = 0; day < 366 * 140; ++day) {
    times.push_back(day * 86400 + (day * 7919) % 86400);
  }
  for (int64_t seconds : times) {
    OwnedFlag entry;
    entry.acquiredAt = seconds;
    EXPECT_EQ(MakeBannerFlag(entry).earnedDateIso8601, formatUtcTime(seconds)) << seconds;
  }
}

struct FlagValidityCase {
  const char* name;
  TournamentFlagInventoryItem item;
  bool valid;
};

TEST(OwnedFlag, DiscardsItemsThatAreNotCompleteFlags) {
  const char* date = "2024-03-01T10:00:00Z";
  const FlagValidityCase cases[] = {
      {"complete", FlagItem("FLAG", "A", "1", "5", date), true},
      {"lower-case reward type", FlagItem("flag", "A", "1", "5", date), false},
      {"frame reward type", FlagItem("FRAME", "A", "1", "5", date), false},
      {"reward type with trailing space", FlagItem("FLAG ", "A", "1", "5", date), false},
      {"empty theme", FlagItem("FLAG", "", "1", "5", date), false},
      {"unreadable level", FlagItem("FLAG", "A", "01", "5", date), false},
      {"unreadable season", FlagItem("FLAG", "A", "1", " 5", date), false},
      {"unreadable date", FlagItem("FLAG", "A", "1", "5", "March 1st"), false},
      {"empty date", FlagItem("FLAG", "A", "1", "5", ""), false},
  };
  for (const FlagValidityCase& c : cases) {
    EXPECT_EQ(IsValid(MakeOwnedFlag(c.item)), c.valid) << c.name;
  }
}

TournamentFrameInventoryItem FrameItem(std::string rewardType, std::string level,
                                       std::string seasonId, std::string purchaseDate = "") {
  TournamentFrameInventoryItem item;
  item.payload.rewardType = std::move(rewardType);
  item.payload.rewardSpec.level = std::move(level);
  item.payload.rewardSpec.seasonId = std::move(seasonId);
  item.purchaseDate = std::move(purchaseDate);
  return item;
}

struct FrameValidityCase {
  const char* name;
  TournamentFrameInventoryItem item;
  bool valid;
};

TEST(OwnedFrame, IsValidWithoutPurchaseDateButNeedsFrameAndNumbers) {
  const FrameValidityCase cases[] = {
      {"empty purchase date", FrameItem("FRAME", "2", "5"), true},
      {"unreadable purchase date", FrameItem("FRAME", "2", "5", "never"), true},
      {"flag reward type", FrameItem("FLAG", "2", "5"), false},
      {"lower-case reward type", FrameItem("frame", "2", "5"), false},
      {"unreadable level", FrameItem("FRAME", "two", "5"), false},
      {"unreadable season", FrameItem("FRAME", "2", "-5"), false},
  };
  for (const FrameValidityCase& c : cases) {
    EXPECT_EQ(IsValid(MakeOwnedFrame(c.item)), c.valid) << c.name;
  }
  OwnedFrame frame = MakeOwnedFrame(FrameItem("FRAME", "2", "5"));
  EXPECT_EQ(frame.level, 2);
  EXPECT_EQ(frame.seasonId, 5);
}

TEST(OwnedFlag, FromBannerFlagIsAlwaysAFlagAndReadsStrictly) {
  OwnedFlag entry = MakeOwnedFlag(BannerFlag{"T", "2", "5", "1970-01-01T00:01:00Z"});
  EXPECT_TRUE(entry.isFlag);
  EXPECT_EQ(entry.theme, "T");
  EXPECT_EQ(entry.level, 2);
  EXPECT_EQ(entry.seasonId, 5);
  EXPECT_EQ(entry.acquiredAt, 60);

  OwnedFlag sloppy = MakeOwnedFlag(BannerFlag{"T", "02", " 5", ""});
  EXPECT_EQ(sloppy.level, -1);
  EXPECT_EQ(sloppy.seasonId, -1);
  EXPECT_EQ(sloppy.acquiredAt, -1);
}

TEST(BannerFlag, FromOwnedFlagWritesShortestDecimalsAndIsoDate) {
  OwnedFlag entry{true, "T", 10, 3, 86400};
  BannerFlag flag = MakeBannerFlag(entry);
  EXPECT_EQ(flag.theme, "T");
  EXPECT_EQ(flag.level, "10");
  EXPECT_EQ(flag.seasonId, "3");
  EXPECT_EQ(flag.earnedDateIso8601, "1970-01-02T00:00:00Z");
}

TEST(BannerFlag, FromOwnedFlagWithUnknownTimeHasEmptyDate) {
  BannerFlag flag = MakeBannerFlag(OwnedFlag{true, "T", -1, 0, -1});
  EXPECT_EQ(flag.level, "-1");
  EXPECT_EQ(flag.seasonId, "0");
  EXPECT_EQ(flag.earnedDateIso8601, "");
}

TEST(OwnedFlag, SameFlagIgnoresKindAndAcquisitionTime) {
  OwnedFlag a{true, "T", 2, 5, 100};
  EXPECT_TRUE(SameFlag(a, OwnedFlag{false, "T", 2, 5, 999}));
  EXPECT_FALSE(SameFlag(a, OwnedFlag{true, "t", 2, 5, 100}));
  EXPECT_FALSE(SameFlag(a, OwnedFlag{true, "T", 3, 5, 100}));
  EXPECT_FALSE(SameFlag(a, OwnedFlag{true, "T", 2, 4, 100}));
}

} // namespace
} // namespace tav::banners
