// ValueTree: JSON reading into the right kinds, writing back, lookups and parse errors.
#include "host/value_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tav::host {
namespace {

struct JsonKindCase {
  std::string json;
  ValueKind kind;
  std::string written; // what toJson gives back
};

class ValueTreeJson : public ::testing::TestWithParam<JsonKindCase> {};

TEST_P(ValueTreeJson, ReadsEachJsonValueAsItsKindAndWritesItBack) {
  std::string error;
  std::optional<ValueTree> tree = ValueTree::fromJson(GetParam().json, &error);
  ASSERT_TRUE(tree) << error;
  EXPECT_EQ(tree->kind(), GetParam().kind);
  EXPECT_EQ(tree->toJson(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ValueTreeJson,
    ::testing::Values(
        JsonKindCase{"null", ValueKind::Empty, "null"},
        JsonKindCase{"true", ValueKind::Bool, "true"},
        JsonKindCase{"-12", ValueKind::Signed, "-12"},
        JsonKindCase{"9223372036854775807", ValueKind::Signed, "9223372036854775807"},
        JsonKindCase{"18446744073709551615", ValueKind::Unsigned, "18446744073709551615"},
        JsonKindCase{"1.5", ValueKind::Float, "1.5"}, JsonKindCase{"2.0", ValueKind::Float, "2.0"},
        JsonKindCase{R"("a\"b")", ValueKind::String, R"("a\"b")"},
        JsonKindCase{R"([1, "x", []])", ValueKind::List, R"([1,"x",[]])"},
        JsonKindCase{R"({"b": 1, "a": {"c": null}})", ValueKind::Map, R"({"b":1,"a":{"c":null}})"}),
    [](const auto& info) {
      return std::string(valueKindName(info.param.kind)) + "_" + std::to_string(info.index);
    });

TEST(ValueTree, ReportsRapidJsonParseErrorWithOffset) {
  std::string error;
  EXPECT_FALSE(ValueTree::fromJson("[1, 2", &error));
  EXPECT_EQ(error, "Missing a comma or ']' after an array element. (offset 5)");
}

TEST(ValueTree, ReadsNestingAsDeepAsThePluginsReadersAndRefusesDeeperWithoutExhaustingTheStack) {
  const auto nested = [](size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
  };
  std::string error;
  EXPECT_TRUE(ValueTree::fromJson(nested(512), &error)) << error;
  EXPECT_FALSE(ValueTree::fromJson(nested(513), &error));
  EXPECT_EQ(error, "Nested deeper than 512 levels. (offset 512)");
  EXPECT_FALSE(ValueTree::fromJson(nested(1000000), &error));
  EXPECT_FALSE(ValueTree::fromJson("{\"a\": \"\xc3\x28\"}", &error));
  EXPECT_EQ(error, "Invalid encoding in string. (offset 7)");
}

TEST(ValueTree, FindTakesTheLastEntryOfARepeatedKey) {
  const ValueTree tree = ValueTree::map({{"k", 1}, {"other", 2}, {"k", 3}});
  ASSERT_NE(tree.find("k"), nullptr);
  EXPECT_EQ(*tree.find("k"), ValueTree(3));
  EXPECT_EQ(tree.find("missing"), nullptr);
  EXPECT_EQ(ValueTree("text").find("k"), nullptr);
}

TEST(ValueTree, KeepsRepeatedKeysWhenReadFromJson) {
  const std::optional<ValueTree> tree = ValueTree::fromJson(R"({"k": 1, "k": 2})");
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->entries().size(), 2u);
  EXPECT_EQ(tree->toJson(), R"({"k":1,"k":2})");
}

TEST(ValueTree, BlobNeverEqualsTheStringOfItsBytes) {
  EXPECT_NE(ValueTree::blob("ab"), ValueTree("ab"));
  EXPECT_EQ(ValueTree::blob("ab").text(), "ab");
  EXPECT_EQ(ValueTree::blob("ab").toJson(), R"("ab")");
}

struct SameJsonCase {
  std::string left;
  std::string right;
  bool same;
};

class SameJsonValue : public ::testing::TestWithParam<SameJsonCase> {};

TEST_P(SameJsonValue, ComparesAsAJsonReaderWould) {
  const ValueTree left = ValueTree::fromJson(GetParam().left).value();
  const ValueTree right = ValueTree::fromJson(GetParam().right).value();
  EXPECT_EQ(sameJsonValue(left, right), GetParam().same);
  EXPECT_EQ(sameJsonValue(right, left), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SameJsonValue,
    ::testing::Values(SameJsonCase{R"({"a":1,"b":[2]})", R"({"b":[2],"a":1})", true},
                      SameJsonCase{R"({"a":1,"a":2})", R"({"a":2})", true},
                      SameJsonCase{R"({"a":1})", R"({"a":1,"b":null})", false},
                      SameJsonCase{"[1,2]", "[2,1]", false}, SameJsonCase{"1", "1.0", false},
                      SameJsonCase{"-1", "18446744073709551615", false}));

TEST(ValueTree, SameJsonValueTakesSignedAndUnsignedOfOneNumberAsSame) {
  EXPECT_TRUE(sameJsonValue(ValueTree(1), ValueTree(1u)));
  EXPECT_NE(ValueTree(1), ValueTree(1u));
}

TEST(ValueTree, WritesNonFiniteFloatsAsTheirNames) {
  const ValueTree tree = ValueTree::list(
      {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()});
  EXPECT_EQ(tree.toJson(), "[NaN,-Infinity]");
}

} // namespace
} // namespace tav::host
