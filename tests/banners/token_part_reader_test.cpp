// Tests of the one-pass token part reader against the two-phase reader and its conversion.
#include "banners/token_part_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "banners/json_token_reader.h"
#include "banners/json_web_token.h"
#include "tests/binding/binding_test_values.h"

namespace tav::banners {
namespace {

// What the two-phase reader and ToBindingProperty make of the text; "broken" when it throws.
std::string TwoPhase(std::string_view text) {
  json::Value parsed;
  try {
    parsed = json::Reader::read(text);
  } catch (const json::Exception&) {
    return "broken";
  }
  BindingProperty value;
  ToBindingProperty(parsed, value);
  std::string out;
  test::describeValue(value, out);
  return out;
}

std::string OnePass(std::string_view text) {
  BindingProperty value;
  if (!ReadTokenPart(text, value)) {
    return "broken";
  }
  std::string out;
  test::describeValue(value, out);
  return out;
}

TEST(TokenPartReader, AgreesWithTwoPhaseReaderOnEveryShape) {
  const std::string texts[] = {
      "{}",
      " \t\n\v\f\r{ } \r\n",
      R"({"n":null,"t":true,"f":false,"s":"x","d":2,"o":{"b":1,"a":[3,"y",[],{}]}})",
      R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"level":"1"}}}]}})",
      R"({"e":"a\"b\\c\/d\be\ff\ng\rh\ti\u00e9j"})",
      R"({"":1,"B":2,"a":3})",
      std::string("{\"z\\u0000\":1,\"z\":2,\"a\0b\":\"c\0d\"}", 30),
      R"({"n":[-0,0.5,1e3,1E-3,-2.5e+2,1e400,-1e400,1e-400,12345678901234567890]})",
      R"({"raw":"line
break	tab"})",
      // Broken: lexical.
      "",
      "   ",
      R"({"a":tru})",
      R"({"a":truex})",
      R"({"a":nul})",
      R"({"a":"\x"})",
      R"({"a":"open)",
      R"({"a":"ends with backslash\)",
      R"({"a":#})",
      R"({"a":1} x)",
      R"({'a':1})",
      // Broken: grammatical.
      R"([{"a":1}])",
      R"("a")",
      R"({"a":1,})",
      R"({,"a":1})",
      R"({"a" 1})",
      R"({"a":})",
      R"({"a":1 "b":2})",
      R"({"a":[1,]})",
      R"({"a":[,1]})",
      R"({"a":[1 2]})",
      R"({"a":{})",
      R"({"a":1}})",
      R"({"a":1}{})",
      R"({"a":1,"a":2})",
      R"({"a":{"b":1,"b":{}}})",
      R"({1:2})",
      R"({"a":1.2.3})",
      R"({"a":1-2})",
      R"({"a":-})",
      R"({"a":1e})",
      R"({"a":+1})",
      R"({"a":.5})",
      R"({"a":1true})",
      R"({"a":"x"1})",
      "{\"a\":" + std::string(512, '[') + std::string(512, ']') + "}",
      "{\"a\":" + std::string(511, '[') + std::string(511, ']') + "}",
      "{\"a\":" + std::string(100000, '['),
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(OnePass(text), TwoPhase(text)) << text.substr(0, 60);
  }
}

// Damaged copies of a real payload: every kind of break at every kind of place.
TEST(TokenPartReader, AgreesWithTwoPhaseReaderOnDamagedPayloads) {
  const std::string payload =
      R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"level":"2","seasonId":"5",)"
      R"("theme":"T\"\u00e9"},"rewardType":"FLAG"},"purchaseDate":"2024-01-02T03:04:05Z",)"
      R"("n":[1.5,-2,null,true,false,{},[]]}]}})";
  const char replacements[] = {'{', '}', '[', ']', ',', ':', '"',  '\\', ' ', '1',
                               '-', '.', 'e', 't', 'n', 'x', '\0', '/',  'u'};
  std::mt19937 random(20240521);
  size_t broken = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text = payload;
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int edit = 0; edit < edits; ++edit) {
      const size_t at = random() % text.size();
      switch (random() % 3) {
      case 0:
        text[at] = replacements[random() % sizeof replacements];
        break;
      case 1:
        text.erase(at, 1);
        break;
      default:
        text.insert(at, 1, replacements[random() % sizeof replacements]);
        break;
      }
    }
    const std::string expected = TwoPhase(text);
    broken += expected == "broken";
    ASSERT_EQ(OnePass(text), expected) << text;
  }
  // Both outcomes must be exercised for the comparison to mean anything.
  EXPECT_GT(broken, 100u);
  EXPECT_LT(broken, 3900u);
}

TEST(TokenPartReader, ReplacesWhatTheTargetHeldAndReadsIntoPartsOfATree) {
  BindingProperty root;
  BindingProperty& part = root.member("list");
  part.member("old") = "kept?";
  ASSERT_TRUE(ReadTokenPart(R"({"new":1})", part));
  EXPECT_EQ(part.size(), 1u);
  EXPECT_EQ(part.find("new").getFloat(), 1.0);
  EXPECT_FALSE(part.contains("old"));
  EXPECT_EQ(root.size(), 1u);
}

} // namespace
} // namespace tav::banners
