// The strict value-to-native rules: every accepted form and every message, kind by kind.
#include "binding/value_conversions.h"

#include "binding/binding_type_registry.h"
#include "binding_test_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tav {
namespace {

using namespace tav::test;

using Make = BindingProperty (*)();

template <typename Value> struct Case {
  const char* label;
  Make input;
  Value expected;      // when message is empty
  const char* message; // "" for success
};

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename Value, typename Convert>
void runCases(const std::vector<Case<Value>>& cases, Convert convert) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const BindingProperty input = c.input();
    BindingResult result;
    Value out{};
    const bool ok = convert(result, out, input);
    if (std::string_view(c.message).empty()) {
      EXPECT_TRUE(ok);
      EXPECT_TRUE(result.ok());
      EXPECT_EQ(out, c.expected);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_FALSE(result.ok());
      EXPECT_EQ(result.errorMessage(), c.message);
      EXPECT_EQ(out, Value{}) << "a failed conversion leaves the output alone";
    }
  }
}

TEST(ConvertBool, AcceptsBoolsAndTheFourTextsOnly) {
  const std::vector<Case<bool>> cases = {
      {"true", [] { return boolValue(true); }, true, ""},
      {"text true", [] { return textValue("true"); }, true, ""},
      {"text 1", [] { return textValue("1"); }, true, ""},
      {"text false", [] { return textValue("false"); }, false, ""},
      {"text 0", [] { return textValue("0"); }, false, ""},
      {"empty", emptyValue, false, "A value for 'x' is required."},
      {"capitals", [] { return textValue("TRUE"); }, false,
       "Value TRUE for 'x' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\"."},
      {"blank", [] { return textValue(" true"); }, false,
       "Value  true for 'x' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\"."},
      {"signed 1", [] { return signedValue(1); }, false,
       "Couldn't assign value to 'x' of type bool because the input is of an invalid type "
       "signed."},
      {"unsigned", [] { return unsignedValue(0); }, false,
       "Couldn't assign value to 'x' of type bool because the input is of an invalid type "
       "unsigned."},
      {"collection", [] { return collectionValue(); }, false,
       "Couldn't assign value to 'x' of type bool because the input is of an invalid type "
       "collection."},
  };
  runCases(cases, [](BindingResult& r, bool& out, const BindingProperty& in) {
    return convertBool(r, out, in, "x");
  });
}

TEST(ConvertSigned, Int32RulesAndMessages) {
  const std::vector<Case<int64_t>> cases = {
      {"signed", [] { return signedValue(-5); }, -5, ""},
      {"signed min", [] { return signedValue(kInt32Min); }, kInt32Min, ""},
      {"signed above", [] { return signedValue(kInt32Max + 1); }, 0,
       "Value 2147483648 for 'x' of type int32 is out of range"},
      {"signed below", [] { return signedValue(kInt32Min - 1); }, 0,
       "Value -2147483649 for 'x' of type int32 is out of range"},
      {"unsigned", [] { return unsignedValue(kInt32Max); }, kInt32Max, ""},
      {"unsigned above", [] { return unsignedValue(1ull << 63); }, 0,
       "Value 9223372036854775808 for 'x' of type int32 is out of range"},
      {"float truncates", [] { return floatValue(2.9); }, 2, ""},
      {"negative float truncates", [] { return floatValue(-2.9); }, -2, ""},
      {"float out of range", [] { return floatValue(3e9); }, 0,
       "Value 3e+09 for 'x' of type int32 is out of range"},
      {"NaN", [] { return floatValue(kNaN); }, 0,
       "Value nan for 'x' of type int32 is out of range"},
      {"hex text", [] { return textValue("0x10"); }, 16, ""},
      {"octal text", [] { return textValue("010"); }, 8, ""},
      {"leading blank", [] { return textValue(" 12"); }, 12, ""},
      {"signed text", [] { return textValue("-7"); }, -7, ""},
      {"empty text", [] { return textValue(""); }, 0, ""},
      {"trailing blank", [] { return textValue("12 "); }, 0,
       "Value 12  for 'x' of type int32 is in an incorrect format"},
      {"letters", [] { return textValue("abc"); }, 0,
       "Value abc for 'x' of type int32 is in an incorrect format"},
      {"embedded zero byte",
       [] {
         return textValue(std::string_view("1\0"
                                           "2",
                                           3));
       },
       0, "Value 1 for 'x' of type int32 is in an incorrect format"},
      {"text above", [] { return textValue("2147483648"); }, 0,
       "Value 2147483648 for 'x' of type int32 is out of range"},
      {"text overflow", [] { return textValue("99999999999999999999"); }, 0,
       "Value 99999999999999999999 for 'x' of type int32 is out of range"},
      {"enum", [] { return enumValue(7); }, 7, ""},
      {"empty", emptyValue, 0, "A value for 'x' is required."},
      {"bool", [] { return boolValue(true); }, 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type bool."},
      {"blob", [] { return blobValue({1}); }, 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type blob."},
      {"structure", structureValue, 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type "
       "structure."},
  };
  runCases(cases, [](BindingResult& r, int64_t& out, const BindingProperty& in) {
    return convertSigned(r, out, in, "x", kInt32Min, kInt32Max, "int32");
  });
}

TEST(ConvertSigned, Int64EdgesStayDefined) {
  const std::vector<Case<int64_t>> cases = {
      {"min", [] { return signedValue(kInt64Min); }, kInt64Min, ""},
      {"max text", [] { return textValue("9223372036854775807"); }, kInt64Max, ""},
      {"min text", [] { return textValue("-9223372036854775808"); }, kInt64Min, ""},
      {"text above", [] { return textValue("9223372036854775808"); }, 0,
       "Value 9223372036854775808 for 'x' of type int64 is out of range"},
      {"unsigned above", [] { return unsignedValue(1ull << 63); }, 0,
       "Value 9223372036854775808 for 'x' of type int64 is out of range"},
      // 2^63 compares equal to the maximum as a double but fits no int64.
      {"float 2^63", [] { return floatValue(9223372036854775808.0); }, 0,
       "Value 9.22337e+18 for 'x' of type int64 is out of range"},
      {"float -2^63", [] { return floatValue(-9223372036854775808.0); }, kInt64Min, ""},
  };
  runCases(cases, [](BindingResult& r, int64_t& out, const BindingProperty& in) {
    return convertSigned(r, out, in, "x", kInt64Min, kInt64Max, "int64");
  });
}

TEST(ConvertUnsigned, Uint32RulesAndMessages) {
  const std::vector<Case<uint64_t>> cases = {
      {"signed", [] { return signedValue(5); }, 5, ""},
      {"negative signed", [] { return signedValue(-1); }, 0,
       "Value -1 for 'x' of type uint32 is out of range"},
      {"unsigned max", [] { return unsignedValue(4294967295u); }, 4294967295u, ""},
      {"unsigned above", [] { return unsignedValue(4294967296u); }, 0,
       "Value 4294967296 for 'x' of type uint32 is out of range"},
      {"float", [] { return floatValue(1.9); }, 1, ""},
      {"negative float", [] { return floatValue(-0.5); }, 0,
       "Value -0.5 for 'x' of type uint32 is out of range"},
      {"NaN", [] { return floatValue(kNaN); }, 0,
       "Value nan for 'x' of type uint32 is out of range"},
      {"text", [] { return textValue("0x20"); }, 32, ""},
      {"minus text", [] { return textValue("-1"); }, 0,
       "Value -1 for 'x' of type uint32 is out of range"},
      {"minus zero", [] { return textValue("-0"); }, 0,
       "Value -0 for 'x' of type uint32 is out of range"},
      {"blank then minus", [] { return textValue(" -1"); }, 0,
       "Value  -1 for 'x' of type uint32 is out of range"},
      {"text above", [] { return textValue("4294967296"); }, 0,
       "Value 4294967296 for 'x' of type uint32 is out of range"},
      {"trailing letters", [] { return textValue("7z"); }, 0,
       "Value 7z for 'x' of type uint32 is in an incorrect format"},
      {"enum", [] { return enumValue(3); }, 3, ""},
      {"negative enum", [] { return enumValue(-1); }, 0,
       "Value -1 for 'x' of type uint32 is out of range"},
      {"empty", emptyValue, 0, "A value for 'x' is required."},
      {"bool", [] { return boolValue(false); }, 0,
       "Couldn't assign value to 'x' of type uint32 because the input is of an invalid type bool."},
  };
  runCases(cases, [](BindingResult& r, uint64_t& out, const BindingProperty& in) {
    return convertUnsigned(r, out, in, "x", 4294967295u, "uint32");
  });
}

TEST(ConvertUnsigned, Uint64EdgesStayDefined) {
  const std::vector<Case<uint64_t>> cases = {
      {"max text", [] { return textValue("18446744073709551615"); }, UINT64_MAX, ""},
      {"text above", [] { return textValue("18446744073709551616"); }, 0,
       "Value 18446744073709551616 for 'x' of type uint64 is out of range"},
      // strtoull would turn this into the maximum.
      {"minus one", [] { return textValue("-1"); }, 0,
       "Value -1 for 'x' of type uint64 is out of range"},
      // Only a first character "-" counts; after white space strtoull's own reading stands.
      {"blank then minus one", [] { return textValue(" -1"); }, UINT64_MAX, ""},
      {"tab then minus two", [] { return textValue("\t-2"); }, UINT64_MAX - 1, ""},
      {"float 2^64", [] { return floatValue(18446744073709551616.0); }, 0,
       "Value 1.84467e+19 for 'x' of type uint64 is out of range"},
  };
  runCases(cases, [](BindingResult& r, uint64_t& out, const BindingProperty& in) {
    return convertUnsigned(r, out, in, "x", UINT64_MAX, "uint64");
  });
}

TEST(ConvertDouble, BoundedRulesAndMessages) {
  const std::vector<Case<double>> cases = {
      {"signed", [] { return signedValue(-5); }, -5.0, ""},
      {"signed above", [] { return signedValue(1001); }, 0,
       "Value 1001 for 'x' of type double is out of range"},
      {"signed below", [] { return signedValue(-1001); }, 0,
       "Value -1001 for 'x' of type double is out of range"},
      {"unsigned", [] { return unsignedValue(7); }, 7.0, ""},
      {"unsigned above", [] { return unsignedValue(1001); }, 0,
       "Value 1001 for 'x' of type double is out of range"},
      {"float", [] { return floatValue(2.5); }, 2.5, ""},
      {"float above", [] { return floatValue(1e4); }, 0,
       "Value 10000 for 'x' of type double is out of range"},
      {"text", [] { return textValue("-2.5"); }, -2.5, ""},
      {"empty text", [] { return textValue(""); }, 0.0, ""},
      {"text above", [] { return textValue("1e5"); }, 0,
       "Value 1e5 for 'x' of type double is out of range"},
      {"text with letters", [] { return textValue("2.5x"); }, 0,
       "Value 2.5x for 'x' of type double is in an incorrect format"},
      {"enum", [] { return enumValue(3); }, 3.0, ""},
      {"enum above", [] { return enumValue(2000); }, 0,
       "Value 2000 for 'x' of type double is out of range"},
      {"empty", emptyValue, 0, "A value for 'x' is required."},
      {"bool", [] { return boolValue(true); }, 0,
       "Couldn't assign value to 'x' of type double because the input is of an invalid type bool."},
      {"collection", [] { return collectionValue({1}); }, 0,
       "Couldn't assign value to 'x' of type double because the input is of an invalid type "
       "collection."},
  };
  runCases(cases, [](BindingResult& r, double& out, const BindingProperty& in) {
    return convertDouble(r, out, in, "x", -1000.0, 1000.0, "double");
  });
}

TEST(ConvertDouble, FullRangeAcceptsExtremesAndNaN) {
  const double lowest = std::numeric_limits<double>::lowest();
  const double highest = std::numeric_limits<double>::max();
  const auto convert = [&](const BindingProperty& input, double& out) {
    BindingResult result;
    const bool ok = convertDouble(result, out, input, "x", lowest, highest, "double");
    return std::make_pair(ok, std::string(result.errorMessage()));
  };
  double out = 0;
  EXPECT_TRUE(convert(signedValue(kInt64Min), out).first);
  EXPECT_EQ(out, -9223372036854775808.0);
  EXPECT_TRUE(convert(unsignedValue(UINT64_MAX), out).first);
  EXPECT_TRUE(convert(floatValue(kNaN), out).first);
  EXPECT_TRUE(std::isnan(out));
  // strtod reports ERANGE for a value beyond every double.
  EXPECT_EQ(convert(textValue("1e999"), out).second,
            "Value 1e999 for 'x' of type double is out of range");
}

struct Palette : ::testing::Test {
  enum class Color : int32_t { Red = 1, Green = 2 };

  void SetUp() override {
    auto b = registry.registerType<Color>("Color");
    b.addValue("Red", Color::Red);
    b.addValue("Green", Color::Green);
    descriptor = registry.findTypeById(&typeId<Color>());
    ASSERT_NE(descriptor, nullptr);
  }

  BindingTypeRegistry registry;
  const BindingTypeDescriptor* descriptor = nullptr;
};

TEST_F(Palette, EnumFromNamesNumbersAndNumericText) {
  const std::vector<Case<int32_t>> cases = {
      {"name", [] { return textValue("Green"); }, 2, ""},
      {"numeric text", [] { return textValue("1"); }, 1, ""},
      {"hex text", [] { return textValue("0x2"); }, 2, ""},
      {"unknown numeric text", [] { return textValue("7"); }, 0,
       "7 is not a valid Color enumeration value for 'x'."},
      {"name in other case", [] { return textValue("red"); }, 0,
       "red is not a valid Color enumeration value for 'x'."},
      {"text out of int32", [] { return textValue("4294967297"); }, 0,
       "4294967297 is not a valid Color enumeration value for 'x'."},
      {"signed", [] { return signedValue(2); }, 2, ""},
      {"unknown signed", [] { return signedValue(7); }, 0,
       "7 is not a valid Color enumeration value for 'x'."},
      {"low 32 bits of unsigned", [] { return unsignedValue(4294967297u); }, 1, ""},
      {"low 32 bits of signed", [] { return signedValue(-4294967295); }, 1, ""},
      {"enum record", [] { return enumValue(2); }, 2, ""},
      {"unknown enum record", [] { return enumValue(9); }, 0,
       "9 is not a valid Color enumeration value for 'x'."},
      {"empty", emptyValue, 0, "A value for 'x' is required."},
      {"float", [] { return floatValue(1.0); }, 0,
       "Couldn't assign value to 'x' of enum type because the input is of an invalid type float."},
      {"bool", [] { return boolValue(true); }, 0,
       "Couldn't assign value to 'x' of enum type because the input is of an invalid type bool."},
  };
  runCases(cases, [this](BindingResult& r, int32_t& out, const BindingProperty& in) {
    return convertEnum(r, out, in, "x", descriptor);
  });
}

TEST_F(Palette, EnumWithoutDescriptorAcceptsNothing) {
  BindingResult result;
  int32_t out = 0;
  EXPECT_FALSE(convertEnum(result, out, signedValue(1), "x", nullptr));
  EXPECT_EQ(result.errorMessage(), "1 is not a valid  enumeration value for 'x'.");
}

TEST_F(Palette, TextFromStringsAndEnumNames) {
  const StaticTypeId* color = &typeId<Color>();
  const auto convert = [&](const BindingProperty& input, const BindingTypeRegistry* source) {
    BindingResult result;
    std::string out = "untouched";
    convertText(result, out, input, "x", source);
    return result.ok() ? out : std::string(result.errorMessage());
  };
  EXPECT_EQ(convert(textValue("plain"), &registry), "plain");
  EXPECT_EQ(convert(textValue(""), &registry), "");
  EXPECT_EQ(convert(enumValue(2, color), &registry), "Green");
  EXPECT_EQ(convert(enumValue(9, color), &registry), "9 is not a valid enumeration value for 'x'.");
  EXPECT_EQ(convert(enumValue(2, color), nullptr), "2 is not a valid enumeration value for 'x'.");
  EXPECT_EQ(convert(enumValue(1, &typeId<int>()), &registry),
            "1 is not a valid enumeration value for 'x'.");
  EXPECT_EQ(convert(emptyValue(), &registry), "A value for 'x' is required.");
  EXPECT_EQ(convert(signedValue(5), &registry),
            "Couldn't assign value to 'x' because the input is not a string.");
  EXPECT_EQ(convert(boolValue(true), &registry),
            "Couldn't assign value to 'x' because the input is not a string.");
}

TEST(ValueConversions, FailedResultIsLeftAsIs) {
  BindingResult result;
  result.setError("first");
  bool flag = false;
  int64_t number = 4;
  uint64_t count = 4;
  double real = 4.0;
  std::string text = "kept";
  int32_t enumerator = 4;
  EXPECT_FALSE(convertBool(result, flag, boolValue(true), "x"));
  EXPECT_FALSE(convertSigned(result, number, signedValue(1), "x", kInt64Min, kInt64Max, "int64"));
  EXPECT_FALSE(convertUnsigned(result, count, unsignedValue(1), "x", UINT64_MAX, "uint64"));
  EXPECT_FALSE(convertDouble(result, real, floatValue(1.0), "x", -1.0, 1.0, "double"));
  EXPECT_FALSE(convertText(result, text, textValue("new"), "x", nullptr));
  EXPECT_FALSE(convertEnum(result, enumerator, signedValue(1), "x", nullptr));
  EXPECT_EQ(result.errorMessage(), "first");
  EXPECT_FALSE(flag);
  EXPECT_EQ(number, 4);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(real, 4.0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(enumerator, 4);
}

} // namespace
} // namespace tav
