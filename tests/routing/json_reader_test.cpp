// readJson: kinds, repeated keys, every error text with its offset, nesting and number limits.
#include "routing/json_reader.h"

#include "binding/binding_document.h"
#include "binding/document_limits.h"
#include "routing/typed_text.h"

#include <gtest/gtest.h>

#include <rapidjson/reader.h>

#include <charconv>
#include <string>
#include <vector>

namespace tav {
namespace {

struct ReadCase {
  std::string text;
  std::string expected; // typedText of the result
};

class JsonReads : public testing::TestWithParam<ReadCase> {};

TEST_P(JsonReads, GivesKindsAndValues) {
  const BindingResult result = readJson(GetParam().text);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  EXPECT_EQ(typedText(result), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Scalars, JsonReads,
                         testing::Values(ReadCase{"null", "~"}, ReadCase{"true", "true"},
                                         ReadCase{"false", "false"}, ReadCase{"0", "u0"},
                                         ReadCase{"-0", "i0"}, ReadCase{"42", "u42"},
                                         ReadCase{"-2", "i-2"}, ReadCase{"3.5", "f3.5"},
                                         ReadCase{"-0.0", "f-0"}, ReadCase{"1e2", "f100"},
                                         ReadCase{"1E+2", "f100"}, ReadCase{"-1.5e-3", "f-0.0015"},
                                         ReadCase{"0.1", "f0.1"},
                                         ReadCase{"18446744073709551615", "u18446744073709551615"},
                                         ReadCase{"-9223372036854775808", "i-9223372036854775808"},
                                         ReadCase{"\"a\\u00e9\\n\\\"\"", "'a\xc3\xa9\n\"'"},
                                         ReadCase{"\"\\ud83d\\ude00\"", "'\xf0\x9f\x98\x80'"},
                                         ReadCase{"\"\"", "''"}, ReadCase{"\"\\/\"", "'/'"}));

// Integers beyond 64 bits become doubles, as RapidJSON reads them.
INSTANTIATE_TEST_SUITE_P(
    WideNumbers, JsonReads,
    testing::Values(ReadCase{"18446744073709551616", "f18446744073709551616"},
                    ReadCase{"-9223372036854775809", "f-9223372036854775808"},
                    ReadCase{"123456789012345678901234567890", "f1.2345678901234568e+29"},
                    ReadCase{"1.7976931348623157e308", "f1.7976931348623157e+308"},
                    ReadCase{"5e-324", "f5e-324"}, ReadCase{"1e-400", "f0"},
                    ReadCase{"-1e-400", "f-0"},
                    // The exponent that overflows RapidJSON's own number parser.
                    ReadCase{"0.0000000001e-2147483639", "f0"},
                    ReadCase{"[-0.0000000001e-2147483649]", "[f-0]"}));

INSTANTIATE_TEST_SUITE_P(
    Containers, JsonReads,
    testing::Values(ReadCase{"[1, -2, 3.5]", "[u1,i-2,f3.5]"}, ReadCase{"[]", "[]"},
                    ReadCase{"{}", "{}"}, ReadCase{"[[], {}, null]", "[[],{},~]"},
                    ReadCase{R"({"b": 1, "A": 2, "a": 3})", "{A:u2,a:u3,b:u1}"},
                    ReadCase{R"({"x": {"y": [true, {"z": "w"}]}})", "{x:{y:[true,{z:'w'}]}}"},
                    ReadCase{" \t\r\n[1]\n\t \r", "[u1]"},
                    // Scalars and containers keep their order whatever their mix.
                    ReadCase{R"([1, [2, 3], 4, {"a": [5, 6]}, "x", [], null])",
                             "[u1,[u2,u3],u4,{a:[u5,u6]},'x',[],~]"},
                    ReadCase{R"([[[1], 2], 3])", "[[[u1],u2],u3]"}));

INSTANTIATE_TEST_SUITE_P(
    RepeatedKeys, JsonReads,
    testing::Values(ReadCase{R"({"a": 1, "a": "x"})", "{a:'x'}"},
                    ReadCase{R"({"a": [1], "a": [2, 3]})", "{a:[u1,u2,u3]}"},
                    ReadCase{R"({"a": {"x": 1, "y": 2}, "a": {"y": 3, "z": 4}})",
                             "{a:{x:u1,y:u3,z:u4}}"},
                    ReadCase{R"({"a": [1], "a": 5})", "{a:u5}"},
                    ReadCase{R"({"a": {"x": 1}, "a": null})", "{a:~}"},
                    ReadCase{R"({"a": 1, "a": [2]})", "{a:[u2]}"},
                    ReadCase{R"({"a": [1], "a": {"x": 2}})", "{a:{x:u2}}"},
                    ReadCase{R"({"a": {"b": [1]}, "a": {"b": [2]}})", "{a:{b:[u1,u2]}}"},
                    ReadCase{R"({"a": [1, [2]], "a": [3, [4], 5]})", "{a:[u1,[u2],u3,[u4],u5]}"},
                    ReadCase{R"([{"a": [[1], {"b": "s"}], "a": [[2, "t"], {"b": 3}]}])",
                             "[{a:[[u1],{b:'s'},[u2,'t'],{b:u3}]}]"}));

// Elements wait until their array closes, then enter it together: arrays of arrays far beyond
// the waiting list's first room, each with a string and an object, keep every value in order.
TEST(JsonReader, LongArraysOfContainersKeepTheirElements) {
  constexpr size_t kCount = 3000;
  std::string text = "[";
  for (size_t i = 0; i < kCount; ++i) {
    text += (i ? "," : "") + std::string("[") + std::to_string(i) + ", \"s" +
            std::to_string(i % 7) + "\", {\"k\": [" + std::to_string(i) + "]}, []]";
  }
  text += "]";
  const BindingResult result = readJson(text);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  ASSERT_EQ(result.size(), kCount);
  for (size_t i = 0; i < kCount; ++i) {
    const BindingProperty& element = result.at(i);
    ASSERT_EQ(element.size(), 4u) << i;
    EXPECT_EQ(element.at(0).getUnsigned(), i);
    EXPECT_EQ(element.at(1).getString(), "s" + std::to_string(i % 7));
    EXPECT_EQ(element.at(2).find("k").at(0).getUnsigned(), i);
    EXPECT_TRUE(element.at(3).isCollection());
  }
  EXPECT_EQ(result.document()->strings().size(), 8u); // "k" and s0 to s6, each once
}

// A document that fails half-way keeps nothing of what was read: elements still waiting for
// their array, strings among them, are released, and only the error's two strings remain.
TEST(JsonReader, FailureReleasesElementsStillWaiting) {
  for (const char* text : {R"([["a", ["b", {"c": "d"}], "e")", R"([["a", ["b", {"c": "d"}], x])",
                           R"({"k": [["a"], ["b", "c"], 1e999]})"}) {
    const BindingResult result = readJson(text);
    ASSERT_FALSE(result.ok()) << text;
    ASSERT_NE(result.document(), nullptr);
    EXPECT_EQ(result.document()->strings().size(), 2u) << text;
  }
}

TEST(JsonReader, WhiteSpaceAloneIsTheEmptyValue) {
  for (const char* text : {"", " ", " \t\r\n "}) {
    const BindingResult result = readJson(text);
    EXPECT_TRUE(result.ok()) << result.errorMessage();
    EXPECT_TRUE(result.isEmpty());
  }
}

TEST(JsonReader, TextEndsAtTheFirstZeroByteOrTheViewsEnd) {
  EXPECT_EQ(typedText(readJson(std::string_view("[1]\0 x", 6))), "[u1]");
  const std::string text = "[1,2]";
  const BindingResult cut = readJson(std::string_view(text).substr(0, 3));
  EXPECT_EQ(cut.errorMessage(), "Error: Invalid value. at offset 3.");
  EXPECT_TRUE(readJson(std::string_view("\0[", 2)).isEmpty());
}

struct ErrorCase {
  std::string text;
  std::string message;
};

class JsonErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(JsonErrors, ReportTextAndOffset) {
  const BindingResult result = readJson(GetParam().text);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.errorMessage(), GetParam().message);
  EXPECT_EQ(result.size(), 1u); // only the error member is left
}

ErrorCase error(std::string text, int code, unsigned offset) {
  return ErrorCase{std::move(text), "Error: " + std::string(jsonErrorText(code)) + " at offset " +
                                        std::to_string(offset) + "."};
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, JsonErrors,
    testing::Values(
        ErrorCase{"{} x", "Error: The document root must not be followed by other values. at "
                          "offset 3."},
        ErrorCase{"nul", "Error: Invalid value. at offset 3."},
        ErrorCase{"{\"a\" 1}",
                  "Error: Missing a colon after a name of object member. at offset 5."},
        ErrorCase{"{1:2}", "Error: Missing a name for object member. at offset 1."},
        ErrorCase{"{\"a\":1 \"b\"", "Error: Missing a comma or '}' after an object member. at "
                                    "offset 7."},
        ErrorCase{"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
        ErrorCase{"\"\\u12G4\"", "Error: Incorrect hex digit after \\u escape in string. at "
                                 "offset 1."},
        ErrorCase{"[\"\\ud800x\"]", "Error: The surrogate pair in string is invalid. at offset 2."},
        ErrorCase{"\"\\x\"", "Error: Invalid escape character in string. at offset 1."},
        ErrorCase{"\"abc", "Error: Missing a closing quotation mark in string. at offset 4."},
        ErrorCase{"1e309", "Error: Number too big to be stored in double. at offset 0."},
        ErrorCase{"1.", "Error: Miss fraction part in number. at offset 2."},
        ErrorCase{"1e", "Error: Miss exponent in number. at offset 2."}));

INSTANTIATE_TEST_SUITE_P(
    Offsets, JsonErrors,
    testing::Values(error("{}  ]", 2, 4), error("[1]\n[2]", 2, 4), error("  x", 3, 2),
                    error("tru", 3, 3), error("[1,]", 3, 3), error("[", 3, 1), error("[,", 3, 1),
                    error("{\"a\":}", 3, 5), error("-", 3, 1), error("+1", 3, 0),
                    // A root that opens with a closing or separating character.
                    error("]", 3, 0), error(" }", 3, 1), error(",", 3, 0), error(":", 3, 0),
                    error("{", 4, 1), error("{\"a\":1,}", 4, 7), error("{\"a\",", 5, 4),
                    error("{\"a\":1]", 6, 6), error("[1}", 7, 2), error("[1", 7, 2),
                    error("\"\\ud800\\u0041\"", 9, 1), error("\"a\x01\"", 10, 2),
                    error("[\"a", 11, 3), error("1.e5", 14, 2), error("1e+", 15, 3),
                    error("[1, 2e-]", 15, 7)));

// Numbers out of the double range keep RapidJSON's text and the offset of the number's start,
// whether RapidJSON's scanner or our conversion finds them.
INSTANTIATE_TEST_SUITE_P(
    NumberTooBig, JsonErrors,
    testing::Values(error("[1, 1e400]", 13, 4), error("{\"a\": -1e309}", 13, 6),
                    error("[10e308]", 13, 1), error("[0.5e309, 1]", 13, 1),
                    error("[2" + std::string(308, '0') + "]", 13, 1),
                    error("17976931348623159" + std::string(292, '0'), 13, 0)));

TEST(JsonReader, AcceptsFullNestingDepth) {
  const std::string text =
      std::string(kMaxDocumentDepth, '[') + std::string(kMaxDocumentDepth, ']');
  const BindingResult result = readJson(text);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  const BindingProperty* node = &result.value();
  size_t depth = 0;
  for (; node->isCollection(); node = &node->at(0)) {
    ++depth;
  }
  EXPECT_EQ(depth, kMaxDocumentDepth);
}

TEST(JsonReader, RefusesNestingBeyondTheLimitWhereItOpens) {
  const std::string arrays =
      std::string(kMaxDocumentDepth + 1, '[') + std::string(kMaxDocumentDepth + 1, ']');
  EXPECT_EQ(readJson(arrays).errorMessage(), "Error: Document nested too deeply at offset 512.");

  std::string objects;
  for (size_t i = 0; i <= kMaxDocumentDepth; ++i) {
    objects += "{\"k\": ";
  }
  EXPECT_EQ(readJson(objects).errorMessage(), "Error: Document nested too deeply at offset " +
                                                  std::to_string(kMaxDocumentDepth * 6) + ".");
}

TEST(JsonReader, MillionOpeningBracketsFailCleanly) {
  const BindingResult result = readJson(std::string(1'000'000, '['));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.errorMessage(), "Error: Document nested too deeply at offset 512.");
}

// The builder must not change what RapidJSON's reader reports: the same error at the same offset
// as the reader with a handler that builds nothing, for every prefix and every single-character
// change of a document.
class RecursiveOutcome : public rapidjson::BaseReaderHandler<> {};

std::string recursiveMessage(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) {
    return "";
  }
  RecursiveOutcome handler;
  rapidjson::Reader reader;
  rapidjson::StringStream stream(text.c_str());
  const rapidjson::ParseResult parsed = reader.Parse(stream, handler);
  if (!parsed.IsError()) {
    return "";
  }
  return "Error: " + std::string(jsonErrorText(parsed.Code())) + " at offset " +
         std::to_string(parsed.Offset()) + ".";
}

TEST(JsonReader, ErrorsMatchTheRecursiveReaderOnMangledDocuments) {
  const std::string document =
      R"({"id": 12, "neg": -3, "pi": 3.25, "e": 1e5, "s": "a\"b\u00e9\ud83d\ude00",)"
      R"( "t": true, "f": false, "n": null, "list": [1, [2, {}], []], "o": {"k": "v"}})";
  std::vector<std::string> texts;
  for (size_t length = 0; length <= document.size(); ++length) {
    texts.push_back(document.substr(0, length));
  }
  const std::string replacements = "{}[]:,\"\\ -+.e0aZu\t";
  for (size_t i = 0; i < document.size(); ++i) {
    for (char c : replacements) {
      std::string text = document;
      text[i] = c;
      texts.push_back(text);
    }
  }
  for (const std::string& text : texts) {
    EXPECT_EQ(std::string(readJson(text).errorMessage()), recursiveMessage(text)) << text;
  }
}

// Plain numbers are only scanned by the reader and the rest go to RapidJSON's own number routine,
// so every combination of the parts of a number must end where RapidJSON ends it and fail as it
// fails (beyond the double range the reader fails where RapidJSON gives an infinity), and a
// fraction must read as it does when an exponent sends it through RapidJSON's routine.
TEST(JsonReader, NumbersEndAndFailAsRapidJsonReadsThem) {
  const char* const signs[] = {"", "-", "+"};
  const char* const integers[] = {"",
                                  "0",
                                  "00",
                                  "7",
                                  "10",
                                  "123456789012345678",
                                  "9223372036854775808",
                                  "18446744073709551616",
                                  "1234567890123456789012345",
                                  "x"};
  // Fractions end at each place of a block of eight digits and beyond.
  const char* const fractions[] = {
      "",  ".", ".5", ".000", ".1234567", ".12345678", ".123456789", ".12345678901234567890123",
      ".x"};
  const char* const exponents[] = {"", "e", "E+", "e-", "e5", "E+308", "e-400", "e309"};
  for (const char* sign : signs) {
    for (const char* integer : integers) {
      for (const char* fraction : fractions) {
        for (const char* exponent : exponents) {
          const std::string number = std::string(sign) + integer + fraction + exponent;
          for (const auto& [before, after] :
               {std::pair<std::string, std::string>{"", ""}, {"[", ",1]"}, {"{\"k\":", "}"}}) {
            const std::string text = before + number + after;
            const BindingResult result = readJson(text);
            const std::string expected = recursiveMessage(text);
            double value = 0;
            if (expected.empty() && !result.ok() &&
                std::from_chars(number.data(), number.data() + number.size(), value).ec ==
                    std::errc::result_out_of_range) {
              EXPECT_EQ(result.errorMessage(), "Error: Number too big to be stored in double. at "
                                               "offset " +
                                                   std::to_string(before.size()) + ".");
              continue;
            }
            ASSERT_EQ(std::string(result.errorMessage()), expected) << text;
            if (result.ok() && *fraction != '\0' && *exponent == '\0') {
              EXPECT_EQ(typedText(result), typedText(readJson(before + number + "e0" + after)))
                  << text;
            }
          }
        }
      }
    }
  }
}

// Runs of white space are skipped sixteen bytes at a time while that many are left in the copy,
// so what a document holds must not depend on where a run starts or ends: strings with escapes
// and runs of every length up to three blocks, at every start within one, in a text copied to
// the stack and in one copied to the heap, with the same text cut off inside a string, broken by
// a control character or followed by white space to the end.
// `count` bytes of white space, of all four kinds in turn.
std::string spaces(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i)
    text += " \n\t\r"[i % 4];
  return text;
}

TEST(JsonReader, StringsAndSpaceReadTheSameAtEveryAlignment) {
  for (size_t padding : {size_t{0}, size_t{2000}}) {
    for (size_t shift = 0; shift < 16; ++shift) {
      for (size_t length = 0; length <= 48; ++length) {
        const std::string body =
            std::string(length, 'x') + R"(\"q\u0041y)" + std::string(length, 'z');
        const std::string expected = std::string(length, 'x') + "\"qAy" + std::string(length, 'z');
        const std::string lead = "[" + spaces(padding) + spaces(shift);
        const std::string text = lead + "\"" + body + "\"" + spaces(length) + "]";
        const BindingResult result = readJson(text);
        ASSERT_TRUE(result.ok()) << result.errorMessage() << " " << length << "/" << shift;
        EXPECT_EQ(result.at(0).getString(), expected) << length << "/" << shift;
        for (const std::string& broken :
             {lead + "\"" + std::string(length, 'x'),
              lead + "\"" + std::string(length, 'x') + "\n\"]", lead + "1" + spaces(length)}) {
          EXPECT_EQ(std::string(readJson(broken).errorMessage()), recursiveMessage(broken))
              << length << "/" << shift << "/" << padding;
        }
      }
    }
  }
}

} // namespace
} // namespace tav
