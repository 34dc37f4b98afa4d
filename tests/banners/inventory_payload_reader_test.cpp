// Tests of the shape-directed payload reader: what it takes it must read as the general way
// (ReadTokenPart, then the converters) does, and everything else it must leave to that way.
#include "banners/inventory_payload_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "banners/banner_registration.h"
#include "banners/token_part_reader.h"
#include "binding/native_binding.h"
#include "tests/binding/binding_test_values.h"

namespace tav::banners {
namespace {

class InventoryPayloadReaderTest : public ::testing::Test {
protected:
  InventoryPayloadReaderTest() { RegisterBannerRecords(registry_, "VmfBeTavBanners", {}); }

  // The records as a value, for comparing two readings of them.
  std::string Describe(const InventoryItemsByType& items) {
    const BindingResult value = toValue(items, registry_);
    std::string out;
    test::describeValue(value, out);
    return out;
  }

  // The general way: the whole payload read as a value, then converted. "broken" or
  // "not understood" when it fails.
  std::string General(std::string_view text) {
    BindingProperty payload;
    if (!ReadTokenPart(text, payload)) {
      return "broken";
    }
    InventoryResponse inventory;
    BindingResult result;
    if (!fromValue(result, inventory, payload, "<value>", registry_)) {
      return "not understood";
    }
    return Describe(inventory.items);
  }

  // The direct reading; "refused" when it leaves the text to the general way.
  std::string Direct(std::string_view text) {
    InventoryItemsByType items;
    if (!ReadInventoryPayload(text, items)) {
      return "refused";
    }
    return Describe(items);
  }

  BindingTypeRegistry registry_;
};

const std::string kFlag =
    R"({"payload":{"rewardSpec":{"theme":"T","level":"2","seasonId":"5"},"rewardType":"FLAG"},)"
    R"("purchaseDate":"2024-03-01T10:00:00Z"})";
const std::string kFrame = R"({"purchaseDate":"2024-03-01T10:00:00Z","payload":)"
                           R"({"rewardType":"FRAME","rewardSpec":{"seasonId":"5","level":"3"}}})";

TEST_F(InventoryPayloadReaderTest, TakesTheCommonShapeAndReadsItAsTheGeneralWayDoes) {
  const std::string texts[] = {
      "{}",
      R"({"items":{}})",
      R"({"items":{"TOURNAMENT_FLAG":[]}})",
      R"({"items":{"TOURNAMENT_FLAG":[)" + kFlag + "]}}",
      R"({"items":{"TOURNAMENT_FLAG":[)" + kFlag + "," + kFlag + "]}}",
      R"({"items":{"TOURNAMENT_FRAME":[)" + kFrame + R"(],"TOURNAMENT_FLAG":[)" + kFlag + "]}}",
      // Whitespace of every kind between tokens, members in any order, members left out.
      " \t\n\v\f\r{ \"items\" : { \"TOURNAMENT_FLAG\" : [ { \"purchaseDate\" : \"d\" } ,"
      " {\"payload\":{}} , {\"payload\":{\"rewardSpec\":{}}} ] } } \r\n",
      // Bytes that are not escapes are taken as they stand, "/" and control characters included.
      R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"theme":"a/b é"}}}]}})",
      std::string(R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":"x)") + '\x01' + "\t\"}]}}",
  };
  for (const std::string& text : texts) {
    const std::string direct = Direct(text);
    EXPECT_NE(direct, "refused") << text;
    EXPECT_EQ(direct, General(text)) << text;
  }
}

TEST_F(InventoryPayloadReaderTest, LeavesEverythingElseToTheGeneralWay) {
  const std::string texts[] = {
      // Other members, anywhere.
      R"({"items":{},"issuer":"x"})",
      R"({"items":{"OTHER_TYPE":[]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"id":"1"}]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"colour":"red"}}}]}})",
      // Values that are not strings where strings go, and lists or items that are not.
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":12}]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":null}]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":true}]}})",
      R"({"items":{"TOURNAMENT_FLAG":["item"]}})",
      R"({"items":{"TOURNAMENT_FLAG":{}}})",
      R"({"items":[]})",
      R"({"items":null})",
      // Escapes, even harmless ones.
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":"a\"b"}]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":"\u0041"}]}})",
      // A name twice in one object.
      R"({"items":{},"items":{}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":"a","purchaseDate":"b"}]}})",
      // Broken text.
      "",
      "[]",
      R"({"items":{"TOURNAMENT_FLAG":[)" + kFlag + ",]}}",
      R"({"items":{"TOURNAMENT_FLAG":[)" + kFlag + "]}",
      R"({"items":{}} {})",
      R"({"items":{}} x)",
      R"({"items" {}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":"unterminated}]}})",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(Direct(text), "refused") << text;
  }
}

// Every prefix and one-byte change of a payload: what is taken agrees with the general way.
TEST_F(InventoryPayloadReaderTest, DamagedPayloadsAreTakenOnlyWhereTheGeneralWayAgrees) {
  const std::string payload = R"({"items":{"TOURNAMENT_FLAG":[)" + kFlag + "," + kFlag +
                              R"(],"TOURNAMENT_FRAME":[)" + kFrame + "]}}";
  std::mt19937 random(7);
  const std::string replacements = "{}[]:,\" \\x1tn-";
  int taken = 0;
  for (size_t length = 0; length <= payload.size(); ++length) {
    std::string texts[2] = {payload.substr(0, length), payload};
    texts[1][random() % payload.size()] = replacements[random() % replacements.size()];
    for (const std::string& text : texts) {
      const std::string direct = Direct(text);
      if (direct != "refused") {
        ++taken;
        EXPECT_EQ(direct, General(text)) << text;
      }
    }
  }
  EXPECT_GT(taken, 1) << "the damage never left a readable payload";
}

// Names are compared a word at a time from each end: a name of the shape with any one byte
// changed, or a byte short or over, is no name of the shape.
TEST_F(InventoryPayloadReaderTest, NamesOneByteAwayFromTheShapeAreLeftToTheGeneralWay) {
  const std::string payload =
      R"({"items":{"TOURNAMENT_FLAG":[)" + kFlag + R"(],"TOURNAMENT_FRAME":[)" + kFrame + "]}}";
  ASSERT_NE(Direct(payload), "refused");
  const std::string names[] = {"items",      "TOURNAMENT_FLAG", "TOURNAMENT_FRAME", "payload",
                               "rewardSpec", "rewardType",      "purchaseDate",     "theme",
                               "level",      "seasonId"};
  for (const std::string& name : names) {
    const size_t at = payload.find('"' + name + '"') + 1;
    ASSERT_NE(at, std::string::npos + 1) << name;
    std::vector<std::string> near = {name.substr(0, name.size() - 1), name + name.back()};
    for (size_t i = 0; i < name.size(); ++i) {
      near.push_back(name);
      near.back()[i] ^= 0x20;
    }
    for (const std::string& other : near) {
      const std::string text = payload.substr(0, at) + other + payload.substr(at + name.size());
      EXPECT_EQ(Direct(text), "refused") << text;
    }
  }
}

// A string's end is looked for many bytes at a time: themes of every length across those
// steps, with an escape at each place and the payload's end right behind the last string, must
// read exactly as the general way reads them or be left to it.
TEST_F(InventoryPayloadReaderTest, ThemesOfEveryLengthAndEscapesAtEveryPlaceReadAsTheGeneralWay) {
  auto payload = [](const std::string& theme) {
    return R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"theme":")" + theme +
           R"(","level":"2","seasonId":"5"},"rewardType":"FLAG"},"purchaseDate":")" + theme +
           R"("}]}})";
  };
  for (size_t length = 0; length <= 40; ++length) {
    const std::string plain(length, 'a');
    const std::string text = payload(plain);
    ASSERT_NE(Direct(text), "refused") << text;
    EXPECT_EQ(Direct(text), General(text)) << text;
    for (size_t at = 0; at < length; ++at) {
      std::string escaped = plain;
      escaped.replace(at, 1, "\\u00e9");
      const std::string withEscape = payload(escaped);
      const std::string direct = Direct(withEscape);
      if (direct != "refused") {
        EXPECT_EQ(direct, General(withEscape)) << withEscape;
      }
    }
  }
  // A string that runs to the end of the text has no end to find.
  for (size_t length = 0; length <= 40; ++length) {
    EXPECT_EQ(
        Direct(R"({"items":{"TOURNAMENT_FLAG":[{"purchaseDate":")" + std::string(length, 'b')),
        "refused");
  }
}

} // namespace
} // namespace tav::banners
