// Numbered-placeholder templates: exact outputs, including the odd readings the rules pin down.
#include "foundation/message_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace tav {
namespace {

struct TemplateCase {
  const char* what;
  std::string templ;
  std::vector<FormatArg> args;
  std::string expected;
};

void PrintTo(const TemplateCase& c, std::ostream* os) {
  *os << c.what;
}

class MessageTemplate : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(MessageTemplate, WritesExactText) {
  const TemplateCase& c = GetParam();
  EXPECT_EQ(formatMessageList(c.templ, c.args), c.expected) << c.what;
}

const std::string kLongFlags57(57, '-');

INSTANTIATE_TEST_SUITE_P(
    Numbered, MessageTemplate,
    ::testing::Values(
        TemplateCase{
            "bare placeholder", "Index %1 is out of range", {5}, "Index 5 is out of range"},
        TemplateCase{"char and text", "%1%2/", {'G', "et"}, "Get/"},
        TemplateCase{"percent pair", "100%%", {}, "100%"},
        TemplateCase{"placeholder without argument stops", "Value %1 here", {}, "Value "},
        TemplateCase{"numbered printf conversion", "%1$05d", {42}, "00042"},
        TemplateCase{"disallowed conversion on text uses s", "%1$x", {"text"}, "text"},
        TemplateCase{"sequential printf placeholders",
                     "Error: %s at offset %u.",
                     {"bad token", 12u},
                     "Error: bad token at offset 12."},
        TemplateCase{"number past argument count is a width; space is the conversion",
                     "%10 items",
                     {"abc"},
                     "       abcitems"},
        TemplateCase{
            "trailing number past count converts with its last digit", "a%3", {"x", "y"}, "ax"},
        TemplateCase{"two-digit placeholder selects argument twelve",
                     "%12",
                     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                     "12"},
        TemplateCase{"two-digit number past count reads width 1 and conversion 2",
                     "%12",
                     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
                     "1"},
        TemplateCase{"dollar after too large a number is the conversion", "%5$d", {7, 8}, "    7d"},
        TemplateCase{"n takes an argument and writes nothing", "a%nb%s", {5, "x"}, "abx"},
        TemplateCase{"sequence runs out", "%d and %d", {1}, "1 and "},
        TemplateCase{
            "numbered placeholders do not advance the sequence", "%2 %s %s", {"a", "b"}, "b a b"},
        TemplateCase{"reordered numbered conversions", "%2$s %1$s", {"a", "b"}, "b a"},
        TemplateCase{"star width from the sequence", "[%*d]", {5, 42}, "[   42]"},
        TemplateCase{"negative star width left-justifies", "[%*d]", {-5, 42}, "[42   ]"},
        TemplateCase{"star precision", "[%.*s]", {2, "abcdef"}, "[ab]"},
        TemplateCase{"numbered star width", "[%1$*2$d]", {42, 6}, "[    42]"},
        TemplateCase{"star width on text stops", "a%*d", {"x", 42}, "a"},
        TemplateCase{"numbered star past count stops", "a%*3$d", {1, 2}, "a"},
        TemplateCase{"precision on text", "%.3s", {"abcdef"}, "abc"},
        TemplateCase{"dot alone is precision zero", "[%.s]", {"abc"}, "[]"},
        TemplateCase{"signed 64-bit default", "%1", {int64_t{-9000000000}}, "-9000000000"},
        TemplateCase{"unsigned 64-bit default", "%1", {UINT64_MAX}, "18446744073709551615"},
        TemplateCase{"unsigned 32-bit default", "%1", {4000000000u}, "4000000000"},
        TemplateCase{"double default is g", "%1", {0.5}, "0.5"},
        TemplateCase{"double with f", "%1$.2f", {3.14159}, "3.14"},
        TemplateCase{"integer with s becomes d", "%1$s", {7}, "7"},
        TemplateCase{"double with d becomes g", "%1$d", {2.5}, "2.5"},
        TemplateCase{"int64 with plain d gets ll", "%d", {int64_t{1} << 40}, "1099511627776"},
        TemplateCase{"long modifier on int32 is dropped", "%ld|%lld", {7, 8}, "7|8"},
        TemplateCase{"hh kept on int32", "%hhu", {300u}, "44"},
        TemplateCase{"hex of unsigned", "%1$x %1$X", {255u}, "ff FF"},
        TemplateCase{"int as character", "%1$c", {65}, "A"},
        TemplateCase{"character as number", "%1$d", {'A'}, "65"},
        TemplateCase{"64-bit value as character", "%1$c", {int64_t{66}}, "B"},
        TemplateCase{"bool is an int", "%1", {true}, "1"},
        TemplateCase{"null text", "%1", {static_cast<const char*>(nullptr)}, "(null)"},
        TemplateCase{"lone percent at the end", "abc%", {1}, "abc"},
        TemplateCase{"dollar with nothing after", "abc%1$", {1}, "abc"},
        TemplateCase{"flags at the end convert with the last flag", "x%-", {"v"}, "xv"},
        TemplateCase{"placeholder text of 59 characters", "x%" + kLongFlags57 + "s", {"a"}, "xa"},
        TemplateCase{
            "placeholder text of 60 characters stops", "x%" + kLongFlags57 + "-s", {"a"}, "x"}));

TEST(MessageTemplate, TextViewIsBoundedByItsLength) {
  const char buffer[] = {'a', 'b', 'c', 'd', 'e', 'f'};
  EXPECT_EQ(formatMessage("[%1]", std::string_view(buffer, 3)), "[abc]");
  EXPECT_EQ(formatMessage("[%1$.5s]", std::string_view(buffer, 3)), "[abc]");
  EXPECT_EQ(formatMessage("[%1$-5s]", std::string_view(buffer, 3)), "[abc  ]");
}

TEST(MessageTemplate, OwnedStringArgument) {
  std::string value = "owned";
  EXPECT_EQ(formatMessage("Couldn't assign value to '%1' of type %2.", value, "Int32"),
            "Couldn't assign value to 'owned' of type Int32.");
}

TEST(MessageTemplate, OutputIsCutAt4095Characters) {
  std::string longText(5000, 'x');
  std::string viaArgument = formatMessage("ab%1cd", longText);
  EXPECT_EQ(viaArgument.size(), 4095u);
  EXPECT_EQ(viaArgument.substr(0, 3), "abx");

  std::string longTemplate(5000, 'y');
  EXPECT_EQ(formatMessage(longTemplate), std::string(4095, 'y'));

  // Once full, nothing more is written even where the template continues.
  std::string almost(4094, 'z');
  EXPECT_EQ(formatMessage(almost + "%1%2", "AB", "CD"), almost + "A");
}

TEST(MessageTemplate, HugeWidthFillsTheOutputWithoutOverrun) {
  EXPECT_EQ(formatMessage("%*d", INT_MAX, 1), std::string(4095, ' '));
  EXPECT_EQ(formatMessage("%999999999999d", 1), std::string(4095, ' '));
}

TEST(FormatArg, IntegerTypesMapByWidthAndSign) {
  using Kind = FormatArg::Kind;
  EXPECT_EQ(FormatArg(1).kind(), Kind::Int32);
  EXPECT_EQ(FormatArg(1u).kind(), Kind::UInt32);
  EXPECT_EQ(FormatArg(short{1}).kind(), Kind::Int32);
  EXPECT_EQ(FormatArg(uint8_t{1}).kind(), Kind::UInt32);
  EXPECT_EQ(FormatArg(1ll).kind(), Kind::Int64);
  EXPECT_EQ(FormatArg(1ull).kind(), Kind::UInt64);
  EXPECT_EQ(FormatArg(1l).kind(), sizeof(long) == 8 ? Kind::Int64 : Kind::Int32);
  EXPECT_EQ(FormatArg(size_t{1}).kind(), sizeof(size_t) == 8 ? Kind::UInt64 : Kind::UInt32);
  EXPECT_EQ(FormatArg('c').kind(), Kind::Char);
  EXPECT_EQ(FormatArg(true).kind(), Kind::Bool);
  EXPECT_EQ(FormatArg(1.5f).kind(), Kind::Double);
  EXPECT_EQ(FormatArg("x").kind(), Kind::Text);
}

TEST(FormatArg, LongValuesKeepTheirFullRange) {
  EXPECT_EQ(formatMessage("%1", LONG_MIN), std::to_string(LONG_MIN));
  EXPECT_EQ(formatMessage("%1", SIZE_MAX), std::to_string(SIZE_MAX));
  EXPECT_EQ(formatMessage("%1$x", int64_t{-1}), "ffffffffffffffff");
}

} // namespace
} // namespace tav
