// writeJson: every kind, empty values, enum names, very deep trees and round trips through
// readJson.
#include "routing/json_writer.h"

#include "binding/binding_type_registry.h"
#include "binding/static_type_id.h"
#include "routing/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace tav {
namespace {

struct ScalarCase {
  const char* name;
  std::function<void(BindingProperty&)> fill;
  std::string expected;
};

class JsonWritesScalar : public testing::TestWithParam<ScalarCase> {};

// Each scalar is written as the only element of an array, so that empty shows as null.
TEST_P(JsonWritesScalar, AsJsonValue) {
  BindingProperty root;
  GetParam().fill(root.append());
  EXPECT_EQ(writeJson(root), "[" + GetParam().expected + "]");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JsonWritesScalar,
    testing::Values(
        ScalarCase{"Empty", [](BindingProperty&) {}, "null"},
        ScalarCase{"True", [](BindingProperty& v) { v = true; }, "true"},
        ScalarCase{"False", [](BindingProperty& v) { v = false; }, "false"},
        ScalarCase{"SignedMin",
                   [](BindingProperty& v) { v.setSigned(std::numeric_limits<int64_t>::min()); },
                   "-9223372036854775808"},
        ScalarCase{"UnsignedMax",
                   [](BindingProperty& v) { v.setUnsigned(std::numeric_limits<uint64_t>::max()); },
                   "18446744073709551615"},
        ScalarCase{"Tenth", [](BindingProperty& v) { v = 0.1; }, "0.1"},
        ScalarCase{"Integral", [](BindingProperty& v) { v = 1.0; }, "1.0"},
        ScalarCase{"NegativeZero", [](BindingProperty& v) { v = -0.0; }, "-0.0"},
        ScalarCase{"Large", [](BindingProperty& v) { v = 1e21; }, "1e21"},
        ScalarCase{"Small", [](BindingProperty& v) { v = 1.5e-7; }, "1.5e-7"},
        ScalarCase{"Denormal", [](BindingProperty& v) { v = 5e-324; }, "5e-324"},
        ScalarCase{"Third", [](BindingProperty& v) { v = 1.0 / 3; }, "0.3333333333333333"},
        ScalarCase{"Max", [](BindingProperty& v) { v = std::numeric_limits<double>::max(); },
                   "1.7976931348623157e308"},
        ScalarCase{"NaN", [](BindingProperty& v) { v = std::nan(""); }, "null"},
        ScalarCase{"Infinity",
                   [](BindingProperty& v) { v = -std::numeric_limits<double>::infinity(); },
                   "null"},
        ScalarCase{"String", [](BindingProperty& v) { v = "caf\xc3\xa9"; }, "\"caf\xc3\xa9\""},
        ScalarCase{"Escapes", [](BindingProperty& v) { v = "a\"b\\c/\n\t\x01"; },
                   R"("a\"b\\c/\n\t\u0001")"},
        ScalarCase{"ZeroByte", [](BindingProperty& v) { v = std::string_view("a\0b", 3); },
                   R"("a\u0000b")"},
        ScalarCase{"EmptyString", [](BindingProperty& v) { v = ""; }, R"("")"},
        ScalarCase{"Blob",
                   [](BindingProperty& v) {
                     v = std::vector<uint8_t>{1, 2, 3, 4};
                   },
                   R"("AQIDBA==")"},
        ScalarCase{"EmptyBlob", [](BindingProperty& v) { v = std::vector<uint8_t>{}; }, R"("")"},
        ScalarCase{"EnumWithoutRegistry",
                   [](BindingProperty& v) {
                     v = BindingEnum{-7, nullptr};
                   },
                   "-7"},
        ScalarCase{"EmptyCollection", [](BindingProperty& v) { v.makeCollection(); }, "[]"},
        ScalarCase{"EmptyStructure", [](BindingProperty& v) { v.makeStructure(); }, "{}"}),
    [](const testing::TestParamInfo<ScalarCase>& info) { return info.param.name; });

TEST(JsonWriter, EmptyRootIsEmptyText) {
  EXPECT_EQ(writeJson(BindingProperty()), "");
  BindingProperty cleared;
  cleared.member("a") = 1;
  cleared.clear();
  EXPECT_EQ(writeJson(cleared), "");
}

TEST(JsonWriter, ScalarRootIsWrittenAlone) {
  BindingProperty root;
  root = "x";
  EXPECT_EQ(writeJson(root), R"("x")");
  root = uint64_t{7};
  EXPECT_EQ(writeJson(root), "7");
}

TEST(JsonWriter, MembersInByteOrderWithNestedEmptyAsNull) {
  BindingProperty root;
  root.member("b") = 1;
  root.member("A").append() = "x";
  root.member("a");
  root.member("c").member("d").makeCollection();
  EXPECT_EQ(writeJson(root), R"({"A":["x"],"a":null,"b":1,"c":{"d":[]}})");
}

enum class Shade : int32_t { Light = 1, Dark = 2 };

TEST(JsonWriter, EnumsByNameWhenTheRegistryKnowsThem) {
  BindingTypeRegistry registry;
  auto builder = registry.registerType(sizeof(Shade), "Shade", &typeId<Shade>(), true);
  builder.addValue("Light", 1);
  builder.addValue("Dark", 2);

  BindingProperty root;
  root.append() = BindingEnum{2, &typeId<Shade>()};
  root.append() = BindingEnum{5, &typeId<Shade>()};
  root.append() = BindingEnum{1, &typeId<int>()};
  EXPECT_EQ(writeJson(root, &registry), R"(["Dark",5,1])");
  EXPECT_EQ(writeJson(root), "[2,5,1]");
}

TEST(JsonWriter, WritesTreesDeeperThanTheStack) {
  constexpr size_t kDepth = 100'000;
  BindingProperty root;
  BindingProperty* node = &root;
  for (size_t i = 0; i < kDepth; ++i) {
    node = &node->member("k");
  }
  *node = 1;
  std::string expected;
  for (size_t i = 0; i < kDepth; ++i) {
    expected += "{\"k\":";
  }
  expected += "1" + std::string(kDepth, '}');
  EXPECT_EQ(writeJson(root), expected);

  BindingProperty arrays;
  node = &arrays;
  for (size_t i = 0; i < kDepth; ++i) {
    node = &node->append();
  }
  EXPECT_EQ(writeJson(arrays), std::string(kDepth, '[') + "null" + std::string(kDepth, ']'));
}

struct RoundTripCase {
  std::string input;
  std::string output;
};

class JsonRoundTrips : public testing::TestWithParam<RoundTripCase> {};

// JSON -> value -> JSON gives compact text with sorted members, and is then stable.
TEST_P(JsonRoundTrips, ThroughTheValue) {
  const BindingResult first = readJson(GetParam().input);
  ASSERT_TRUE(first.ok()) << first.errorMessage();
  const std::string written = writeJson(first);
  EXPECT_EQ(written, GetParam().output);
  const BindingResult second = readJson(written);
  ASSERT_TRUE(second.ok()) << second.errorMessage();
  EXPECT_EQ(writeJson(second), written);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, JsonRoundTrips,
    testing::Values(RoundTripCase{" [1, -2, 3.5, 1e2, null, true] ", "[1,-2,3.5,100.0,null,true]"},
                    RoundTripCase{R"({ "z": {"y": [], "x": {}}, "a": "\u00e9\t" })",
                                  "{\"a\":\"\xc3\xa9\\t\",\"z\":{\"x\":{},\"y\":[]}}"},
                    // Grisu2 picks digits that read back to the same double, not always the
                    // nearest ones: 0.30000000000000004 comes back as ...07, 2^64 as ...53000.0.
                    RoundTripCase{"[0.1, 0.30000000000000004, 2.2250738585072014e-308, -1.5e300]",
                                  "[0.1,0.30000000000000007,2.2250738585072014e-308,-1.5e300]"},
                    RoundTripCase{
                        "[18446744073709551615, -9223372036854775808, 18446744073709551616]",
                        "[18446744073709551615,-9223372036854775808,18446744073709553000.0]"},
                    RoundTripCase{R"({"a": [1], "a": [2], "b": {"c": 1}, "b": {"d": 2}})",
                                  R"({"a":[1,2],"b":{"c":1,"d":2}})"},
                    RoundTripCase{R"("\ud83d\ude00\"\\\/\b\f\n\r\t")",
                                  "\"\xf0\x9f\x98\x80\\\"\\\\/\\b\\f\\n\\r\\t\""},
                    RoundTripCase{"null", ""}, RoundTripCase{"{}", "{}"}));

} // namespace
} // namespace tav
