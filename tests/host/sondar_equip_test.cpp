// Equipping a flag end to end: the loadouts and profile writes in their order, the two events the
// host sees, the normalised answer, and the three body formats the route reads.
#include "host/sondar_fixture.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::bannerFlag;
using testhost::canonical;
using testhost::day;
using testhost::flag;
using testhost::flagBody;
using testhost::sondar;

// MessagePack of a map of short texts: fixmap, then fixstr keys and values.
std::string messagePackOf(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string bytes(1, static_cast<char>(0x80 | members.size()));
  for (const auto& [key, value] : members) {
    for (const std::string* text : {&key, &value}) {
      EXPECT_LT(text->size(), 32u);
      bytes.push_back(static_cast<char>(0xA0 | text->size()));
      bytes += *text;
    }
  }
  return bytes;
}

class SondarEquipTest : public testhost::SondarPluginTest {
protected:
  const SondarFlag owned = flag("T", "2", "5", day(4));
  const SondarFlag other = flag("U", "1", "5", day(9));
};

TEST_F(SondarEquipTest, EquipWritesLoadoutsThenProfileAndAnnouncesTheChange) {
  startWith(sondar({other, owned}));
  // A different acquisition time is accepted; the owned one is what is written and answered.
  SondarFlag asked = owned;
  asked.purchaseDate = "2001-01-01T00:00:00Z";
  const CallResult put = putEquipped(flagBody(asked));
  ASSERT_TRUE(put.ok()) << *put.error;
  EXPECT_EQ(canonical(put.value), bannerFlag(owned));

  EXPECT_EQ(peers().loadouts(), testhost::json(R"({"TOURNAMENT_FLAG":{"BANNER_FLAG":)"
                                               R"({"inventoryType":"T_2","itemId":5}}})"));
  const ValueTree profile = peers().profile();
  const ValueTree* stored = profile.find("equippedBannerFlag");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(*stored, ValueTree(R"({"level":"2","seasonId":"5","theme":"T"})"));

  std::vector<std::string> writes;
  for (const SeenRequest& request : host().requests()) {
    if (request.method == "POST") {
      writes.push_back(request.path);
    }
  }
  EXPECT_EQ(writes, (std::vector<std::string>{kLoadoutsPath, kProfilePath}));
  const std::vector<SeenRequest> profileWrites = host().requestsTo(kProfilePath);
  ASSERT_EQ(profileWrites.size(), 1u);
  EXPECT_EQ(profileWrites[0].args,
            (std::vector<TypedArgument>{
                {std::nullopt,
                 ValueTree::map({{"key", "equippedBannerFlag"},
                                 {"value", R"({"level":"2","seasonId":"5","theme":"T"})"}})}}));

  const ValueTree announced =
      testhost::resourceEvent(testhost::kEquippedPath, "Update", bannerFlag(owned));
  const std::vector<SentEvent> sent = host().events().sentEvents();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].name, "OnJsonApiEvent_tav-banners_v1_current-sondar");
  EXPECT_EQ(sent[1].name, "OnJsonApiEvent");
  for (const SentEvent& event : sent) {
    EXPECT_EQ(canonical(event.payload), canonical(announced)) << event.name;
    EXPECT_EQ(event.senderWord, 0u);
  }

  const CallResult equipped = getEquipped();
  ASSERT_TRUE(equipped.ok()) << *equipped.error;
  EXPECT_EQ(canonical(equipped.value), bannerFlag(owned));
}

TEST_F(SondarEquipTest, LoadoutsSlotJoinsThemeAndLevelAndCarriesTheSeasonNumber) {
  const SondarFlag underscored = flag("a_b", "10", "3", day(2));
  startWith(sondar({underscored}));
  ASSERT_TRUE(putEquipped(flagBody(underscored)).ok());
  EXPECT_EQ(peers().loadouts(), testhost::json(R"({"TOURNAMENT_FLAG":{"BANNER_FLAG":)"
                                               R"({"inventoryType":"a_b_10","itemId":3}}})"));
}

struct BodyFormat {
  const char* contentType;
  std::string body;
};

TEST_F(SondarEquipTest, ReadsTheFlagAsJsonYamlOrMessagePack) {
  startWith(sondar({other, owned}));
  const BodyFormat formats[] = {
      {"application/json", R"({"theme":"T","level":"2","seasonId":"5"})"},
      {"APPLICATION/JSON; charset=utf-8", R"({"theme":"T","level":"2","seasonId":"5"})"},
      {"application/x-yaml", "theme: T\nlevel: \"2\"\nseasonId: '5'\n"},
      {"application/x-msgpack", messagePackOf({{"theme", "T"}, {"level", "2"}, {"seasonId", "5"}})},
  };
  for (const BodyFormat& format : formats) {
    const CallResult put = putEquipped(format.contentType, format.body);
    ASSERT_TRUE(put.ok()) << format.contentType << ": " << *put.error;
    EXPECT_EQ(canonical(put.value), bannerFlag(owned)) << format.contentType;
  }
  EXPECT_EQ(host().requestsTo(kLoadoutsPath).size(), 4u);
}

} // namespace
} // namespace tav::host
