// Tests of GetInventory: the request it sends, its three failures and how tokens become lists.
#include "banners/inventory_source.h"

#include "banners/inventory_payload_reader.h"

#include "tests/banners/banners_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tav::banners {
namespace {

using test::BannersHarness;
using test::FlagItem;
using test::FrameItem;
using test::ItemsPayload;
using test::Token;

const std::vector<std::string> kBothTypes = {"TOURNAMENT_FLAG", "TOURNAMENT_FRAME"};
const std::string kFlagItem = FlagItem("T", "2", "5", "2024-03-01T10:00:00Z");

class GetInventoryTest : public ::testing::Test {
protected:
  SourceResult<InventoryResponse> fetch(const std::vector<std::string>& types = kBothTypes) {
    return GetInventory(harness_.plugin().requests(), types);
  }

  // The failure's message, which must also be the one line logged at level 1 in group DBG.
  void expectLoggedFailure(const SourceResult<InventoryResponse>& result,
                           const std::string& message) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), message);
    const auto lines = harness_.linesSaying(message);
    ASSERT_EQ(lines.size(), 1u) << message;
    EXPECT_EQ(lines[0].level, LogLevel::Warn);
    EXPECT_EQ(lines[0].groups, kLogGroupDbg);
  }

  BannersHarness harness_;
};

TEST_F(GetInventoryTest, SendsOneUnnamedArgumentListingTheTypes) {
  harness_.serveInventory({kFlagItem});
  ASSERT_TRUE(fetch().ok());
  const auto requests = harness_.peers().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, HttpMethod::Get);
  EXPECT_EQ(requests[0].path, "/tav-inventory/v1/signedInventory");
  EXPECT_EQ(requests[0].callerHandle, BannersHarness::kPluginHandle);
  ASSERT_EQ(requests[0].argumentCount, 1u);
  EXPECT_FALSE(requests[0].argumentNamed);
  const BindingProperty& types = requests[0].argument;
  ASSERT_TRUE(types.isCollection());
  ASSERT_EQ(types.size(), 2u);
  EXPECT_EQ(types.at(0).getString(), "TOURNAMENT_FLAG");
  EXPECT_EQ(types.at(1).getString(), "TOURNAMENT_FRAME");
}

TEST_F(GetInventoryTest, ReadsEachTypeFromItsOwnToken) {
  harness_.serveInventory({kFlagItem, FlagItem("U", "1", "4", "2024-02-01T00:00:00Z")},
                          {FrameItem("3", "5")});
  SourceResult<InventoryResponse> result = fetch();
  ASSERT_TRUE(result.ok()) << result.error();
  const InventoryItemsByType& items = result.value().items;
  ASSERT_EQ(items.TOURNAMENT_FLAG.size(), 2u);
  EXPECT_EQ(items.TOURNAMENT_FLAG[0].payload.rewardSpec.theme, "T");
  EXPECT_EQ(items.TOURNAMENT_FLAG[0].payload.rewardType, "FLAG");
  EXPECT_EQ(items.TOURNAMENT_FLAG[0].purchaseDate, "2024-03-01T10:00:00Z");
  EXPECT_EQ(items.TOURNAMENT_FLAG[1].payload.rewardSpec.seasonId, "4");
  ASSERT_EQ(items.TOURNAMENT_FRAME.size(), 1u);
  EXPECT_EQ(items.TOURNAMENT_FRAME[0].payload.rewardSpec.level, "3");
}

// A payload of the inventory's own shape is read straight into the records, one with anything
// more through a value; the two kinds of token mix in one answer, either way round.
TEST_F(GetInventoryTest, TokensOfEitherShapeMixInOneAnswer) {
  const std::string flags = std::string(R"({"items":{"TOURNAMENT_FLAG":[)") + kFlagItem + "]}";
  const std::string frames =
      std::string(R"({"items":{"TOURNAMENT_FRAME":[)") + FrameItem("3", "5") + "]}";
  const std::string withIssuer = R"(,"issuer":"tav-inventory"})";
  const std::pair<std::string, std::string> payloads[] = {
      {flags + "}", frames + withIssuer},
      {flags + withIssuer, frames + "}"},
      {flags + withIssuer, frames + withIssuer},
  };
  for (const auto& [flagPayload, framePayload] : payloads) {
    harness_.serveTokens(
        {{"TOURNAMENT_FLAG", Token(flagPayload)}, {"TOURNAMENT_FRAME", Token(framePayload)}});
    SourceResult<InventoryResponse> result = fetch();
    ASSERT_TRUE(result.ok()) << result.error();
    const InventoryItemsByType& items = result.value().items;
    ASSERT_EQ(items.TOURNAMENT_FLAG.size(), 1u) << flagPayload;
    EXPECT_EQ(items.TOURNAMENT_FLAG[0].payload.rewardSpec.theme, "T");
    EXPECT_EQ(items.TOURNAMENT_FLAG[0].purchaseDate, "2024-03-01T10:00:00Z");
    ASSERT_EQ(items.TOURNAMENT_FRAME.size(), 1u) << framePayload;
    EXPECT_EQ(items.TOURNAMENT_FRAME[0].payload.rewardSpec.level, "3");
  }
}

// A type named twice has one token, so its list is the same however often it is asked for.
TEST_F(GetInventoryTest, TypeNamedTwiceGivesItsListOnce) {
  harness_.serveInventory({kFlagItem, kFlagItem}, {});
  SourceResult<InventoryResponse> result = fetch({"TOURNAMENT_FLAG", "TOURNAMENT_FLAG"});
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(result.value().items.TOURNAMENT_FLAG.size(), 2u);
}

// Records what ReadInventory hands over, drops included.
class RecordingSink final : public InventoryItemSink {
public:
  void expect(std::string_view, size_t) override {}
  void take(TournamentFlagInventoryItem& item) override {
    flags.push_back(item.payload.rewardSpec.theme + "/" + item.payload.rewardSpec.level + "/" +
                    item.purchaseDate);
  }
  void take(TournamentFrameInventoryItem& item) override {
    frames.push_back(item.payload.rewardSpec.level);
  }
  void drop(std::string_view type) override {
    (type == "TOURNAMENT_FLAG" ? flags : frames).clear();
    ++drops;
  }

  std::vector<std::string> flags;
  std::vector<std::string> frames;
  int drops = 0;
};

// Items are read into one record, one after the other: members an item leaves out are empty
// in it, whatever the item before held. A payload that leaves the common shape after some items
// has those items dropped and read again the general way, so every item arrives once.
TEST_F(GetInventoryTest, ReadInventoryHandsOverEveryItemOnceInOrder) {
  const std::string partial = R"({"payload":{"rewardSpec":{"level":"7"}}})";
  const std::string odd = R"({"purchaseDate":"2024-05-05T00:00:00Z","note":"x"})";
  const struct {
    std::vector<std::string> flags;
    std::vector<std::string> expected;
    int drops;
  } cases[] = {
      {{kFlagItem, partial, kFlagItem},
       {"T/2/2024-03-01T10:00:00Z", "/7/", "T/2/2024-03-01T10:00:00Z"},
       0},
      {{kFlagItem, partial, odd}, {"T/2/2024-03-01T10:00:00Z", "/7/", "//2024-05-05T00:00:00Z"}, 1},
      {{odd, kFlagItem}, {"//2024-05-05T00:00:00Z", "T/2/2024-03-01T10:00:00Z"}, 1},
  };
  for (const auto& each : cases) {
    harness_.serveInventory(each.flags, {FrameItem("3", "5")});
    RecordingSink sink;
    ASSERT_TRUE(ReadInventory(harness_.plugin().requests(), {"TOURNAMENT_FLAG"}, sink).ok());
    EXPECT_EQ(sink.flags, each.expected);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(sink.drops, each.drops);

    SourceResult<InventoryResponse> listed = fetch();
    ASSERT_TRUE(listed.ok()) << listed.error();
    EXPECT_EQ(listed.value().items.TOURNAMENT_FLAG.size(), each.expected.size());
    EXPECT_EQ(listed.value().items.TOURNAMENT_FRAME.size(), 1u);
  }
}

TEST_F(GetInventoryTest, IgnoresListsOfTypesNotRequestedOrNotInTheirOwnToken) {
  // The flag token also lists a frame, and the frame token is there, but only flags are asked.
  const std::string flagToken = Token(std::string(R"({"items":{"TOURNAMENT_FLAG":[)") + kFlagItem +
                                      R"(],"TOURNAMENT_FRAME":[)" + FrameItem("1", "5") + "]}}");
  harness_.serveTokens({{"TOURNAMENT_FLAG", flagToken},
                        {"TOURNAMENT_FRAME", Token(ItemsPayload("TOURNAMENT_FRAME", {}))}});
  SourceResult<InventoryResponse> result = fetch({"TOURNAMENT_FLAG"});
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(result.value().items.TOURNAMENT_FLAG.size(), 1u);
  EXPECT_TRUE(result.value().items.TOURNAMENT_FRAME.empty());
}

TEST_F(GetInventoryTest, FailedRequestNamesTheTypesAndTheRequestsMessage) {
  harness_.peers().fail(HttpMethod::Get, "/tav-inventory/v1/signedInventory", 503, "busy");
  expectLoggedFailure(fetch(), "Failed to retrieve inventory types [TOURNAMENT_FLAG, "
                               "TOURNAMENT_FRAME] from tav-inventory: Error response for GET "
                               "/tav-inventory/v1/signedInventory: busy");
}

TEST_F(GetInventoryTest, AnswerThatIsNotAMapOfTokensIsAFailedRequest) {
  harness_.peers().answer(HttpMethod::Get, "/tav-inventory/v1/signedInventory", test::Json("[1]"));
  SourceResult<InventoryResponse> result = fetch({"TOURNAMENT_FLAG"});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().rfind("Failed to retrieve inventory types [TOURNAMENT_FLAG] from "
                                 "tav-inventory: Error converting response for GET "
                                 "/tav-inventory/v1/signedInventory: ",
                                 0),
            0u)
      << result.error();
}

TEST_F(GetInventoryTest, RequestedTypeMissingFromTheAnswerFailsWhateverTheOtherTokenHolds) {
  harness_.serveTokens({{"TOURNAMENT_FLAG", Token(ItemsPayload("TOURNAMENT_FLAG", {kFlagItem}))}});
  expectLoggedFailure(fetch(), "Retrieved unexpected empty inventory from tav-inventory");
}

TEST_F(GetInventoryTest, PayloadsOfTheWrongShapeCannotBeUnderstood) {
  const char* payloads[] = {
      R"({"items":{"TOURNAMENT_FLAG":"none"}})",
      R"({"items":{"TOURNAMENT_FLAG":7}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"payload":"FLAG"}]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":12}]}})",
  };
  for (const char* payload : payloads) {
    SCOPED_TRACE(payload);
    harness_.log().clear();
    harness_.serveTokens({{"TOURNAMENT_FLAG", Token(payload)}});
    expectLoggedFailure(fetch({"TOURNAMENT_FLAG"}),
                        "Could not understand tav-inventory JWT payload");
  }
}

struct TokenCase {
  const char* what;
  std::string token;
  size_t flags;
};

TEST_F(GetInventoryTest, BrokenOrIncompleteTokensLeaveTheirTypeEmptyWithoutFailing) {
  const std::string payload = test::Base64Url(ItemsPayload("TOURNAMENT_FLAG", {kFlagItem}));
  const std::string header = test::Base64Url(R"({"alg":"none"})");
  const TokenCase cases[] = {
      {"three segments", header + "." + payload + ".c2ln", 1},
      {"no signature segment", header + "." + payload, 1},
      {"empty signature segment", header + "." + payload + ".", 1},
      {"segments after the third", header + "." + payload + ".c2ln.eHg.eXk", 1},
      {"empty header segment", "." + payload + ".c2ln", 1},
      {"empty payload segment", header + "..c2ln", 0},
      {"one segment", header, 0},
      {"empty token", "", 0},
      {"payload without items", header + "." + test::Base64Url(R"({"sub":"x"})") + ".c2ln", 0},
      {"items without the type",
       header + "." + test::Base64Url(R"({"items":{"TOURNAMENT_FRAME":[]}})") + ".c2ln", 0},
      {"items list null",
       header + "." + test::Base64Url(R"({"items":{"TOURNAMENT_FLAG":null}})") + ".c2ln", 0},
      {"lexically broken payload", header + "." + test::Base64Url(R"({"items": tru})") + ".c2ln",
       0},
      {"bad escape in payload",
       header + "." + test::Base64Url(R"({"items":{"TOURNAMENT_FLAG":"\q"}})") + ".c2ln", 0},
      {"top-level array payload", header + "." + test::Base64Url("[1]") + ".c2ln", 0},
      {"duplicate member payload",
       header + "." + test::Base64Url(R"({"items":{},"items":{}})") + ".c2ln", 0},
      {"unbalanced payload", header + "." + test::Base64Url(R"({"items":{)") + ".c2ln", 0},
      {"payload that is not Base64", header + ".!!!!.c2ln", 0},
  };
  for (const TokenCase& c : cases) {
    harness_.serveTokens({{"TOURNAMENT_FLAG", c.token}});
    SourceResult<InventoryResponse> result = fetch({"TOURNAMENT_FLAG"});
    ASSERT_TRUE(result.ok()) << c.what << ": " << result.error();
    EXPECT_EQ(result.value().items.TOURNAMENT_FLAG.size(), c.flags) << c.what;
  }
}

TEST_F(GetInventoryTest, UnpaddedUrlSafeSegmentsOfEveryLengthDecode) {
  // Themes of three lengths give payload segments of 4n, 4n+2 and 4n+3 characters, and the
  // bytes of "~~~???>>>???" encode with both URL-safe characters.
  for (const char* theme : {"~~~?\?\?>>>?\?\?", "x~~~?\?\?>>>?\?\?", "xx~~~?\?\?>>>?\?\?"}) {
    const std::string payload =
        ItemsPayload("TOURNAMENT_FLAG", {FlagItem(theme, "1", "1", "2024-01-01T00:00:00Z")});
    const std::string segment = test::Base64Url(payload);
    ASSERT_NE(segment.find('-'), std::string::npos) << theme;
    ASSERT_NE(segment.find('_'), std::string::npos) << theme;
    harness_.serveTokens({{"TOURNAMENT_FLAG", "e30." + segment + ".c2ln"}});
    SourceResult<InventoryResponse> result = fetch({"TOURNAMENT_FLAG"});
    ASSERT_TRUE(result.ok()) << result.error();
    ASSERT_EQ(result.value().items.TOURNAMENT_FLAG.size(), 1u) << theme;
    EXPECT_EQ(result.value().items.TOURNAMENT_FLAG[0].payload.rewardSpec.theme, theme)
        << "segment length " << segment.size();
  }
}

} // namespace
} // namespace tav::banners
