// readYaml: scalar resolution, tags, anchors and aliases, documents, positions, and the limits.
#include "routing/yaml_reader.h"

#include "binding/document_limits.h"
#include "foundation/memory.h"
#include "routing/typed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

struct ReadCase {
  std::string text;
  std::string expected; // typedText of the result
};

class YamlReads : public testing::TestWithParam<ReadCase> {};

TEST_P(YamlReads, GivesKindsAndValues) {
  const BindingResult result = readYaml(GetParam().text);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  EXPECT_EQ(typedText(result), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    PlainScalars, YamlReads,
    testing::Values(
        ReadCase{"a: 007", "{a:u7}"}, ReadCase{"a: '007'", "{a:'007'}"},
        ReadCase{"a: 1e3", "{a:u1000}"}, ReadCase{"a: 0x1F", "{a:u31}"},
        ReadCase{"a: .5", "{a:f0.5}"}, ReadCase{"a: -0x10", "{a:i-16}"},
        ReadCase{"a: +5", "{a:u5}"}, ReadCase{"a: -2", "{a:i-2}"}, ReadCase{"a: 1.0", "{a:u1}"},
        ReadCase{"a: -2.5", "{a:f-2.5}"}, ReadCase{"a: 1e-400", "{a:u0}"},
        ReadCase{"a: 1e400", "{a:'1e400'}"}, ReadCase{"a: .inf", "{a:'.inf'}"},
        ReadCase{"a: nan", "{a:'nan'}"}, ReadCase{"a: 1_000", "{a:'1_000'}"},
        ReadCase{"a: 1.2.3", "{a:'1.2.3'}"}, ReadCase{"a: 2023-01-05", "{a:'2023-01-05'}"},
        ReadCase{"a: 12abc", "{a:'12abc'}"}, ReadCase{"a: Yes", "{a:true}"},
        ReadCase{"a: off", "{a:false}"}, ReadCase{"a: ~", "{a:~}"}, ReadCase{"a:", "{a:~}"},
        ReadCase{"a: Null", "{a:~}"}, ReadCase{"a: NULL", "{a:~}"},
        ReadCase{"a: nULL", "{a:'nULL'}"},
        ReadCase{"[y, Y, n, N, on, ON, On, no, NO, true, True, TRUE, false, FALSE, yES]",
                 "[true,true,false,false,true,true,true,false,false,true,true,true,false,false,"
                 "'yES']"},
        ReadCase{"a: |-\n  12\n", "{a:u12}"}, ReadCase{"a: |\n  12\n", "{a:'12\n'}"},
        ReadCase{"a: >-\n  7\n", "{a:u7}"}, ReadCase{"42", "u42"}, ReadCase{"", "~"},
        ReadCase{"~: 1\nnull: 2", "{null:u2,~:u1}"}));

// Plain integers at or beyond 2^64, or below -2^63, have no 64-bit form and stay doubles.
INSTANTIATE_TEST_SUITE_P(
    WideNumbers, YamlReads,
    testing::Values(ReadCase{"a: 18446744073709549568", "{a:u18446744073709549568}"},
                    ReadCase{"a: 18446744073709551616", "{a:f18446744073709551616}"},
                    ReadCase{"a: 1e30", "{a:f1e+30}"},
                    ReadCase{"a: -9223372036854775808", "{a:i-9223372036854775808}"},
                    ReadCase{"a: -1e19", "{a:f-1e+19}"}));

INSTANTIATE_TEST_SUITE_P(
    QuotedAndTagged, YamlReads,
    testing::Values(ReadCase{"a: \"yes\"", "{a:'yes'}"}, ReadCase{"a: ''", "{a:''}"},
                    ReadCase{"a: !!str 12", "{a:'12'}"}, ReadCase{"a: !!int 0x10", "{a:u16}"},
                    ReadCase{"a: !!int 010", "{a:u8}"}, ReadCase{"a: !!int -5", "{a:i-5}"},
                    ReadCase{"a: !!int '18446744073709551615'", "{a:u18446744073709551615}"},
                    // Only a first character "-" is a minus sign; strtoull wraps a later one.
                    ReadCase{"a: !!int \" -1\"", "{a:u18446744073709551615}"},
                    ReadCase{"a: !!float 2.5", "{a:f2.5}"}, ReadCase{"a: !!float 3", "{a:f3}"},
                    ReadCase{"a: !!bool yes", "{a:true}"}, ReadCase{"a: !!bool OFF", "{a:false}"},
                    ReadCase{"a: !!bool maybe", "{a:~}"}, ReadCase{"!!str k: v", "{k:'v'}"}));

INSTANTIATE_TEST_SUITE_P(
    Structure, YamlReads,
    testing::Values(ReadCase{"b: 1\nA: 2\na: [x, {c: d}]", "{A:u2,a:['x',{c:'d'}],b:u1}"},
                    ReadCase{"- 1\n- - 2\n  - 3\n- {}\n- []", "[u1,[u2,u3],{},[]]"},
                    ReadCase{"a: [1]\na: [2]", "{a:[u1,u2]}"},
                    ReadCase{"a: {x: 1, y: 2}\na: {y: 3, z: 4}", "{a:{x:u1,y:u3,z:u4}}"},
                    ReadCase{"a: {x: 1}\na: 3", "{a:u3}"},
                    ReadCase{"a: [1]\na: {x: 2}", "{a:{x:u2}}"},
                    // A first document that is empty gives way to the next.
                    ReadCase{"---\n---\na: 1\n", "{a:u1}"}, ReadCase{"--- ~\n--- 5\n", "u5"}));

INSTANTIATE_TEST_SUITE_P(
    Aliases, YamlReads,
    testing::Values(
        ReadCase{"base: &b {x: 1, y: [1, 2]}\ncopy: *b",
                 "{base:{x:u1,y:[u1,u2]},copy:{x:u1,y:[u1,u2]}}"},
        ReadCase{"- &s hello\n- *s\n- [*s]", "['hello','hello',['hello']]"},
        ReadCase{"a: &n 5\nb: [&m x, *m, *n]", "{a:u5,b:['x','x',u5]}"},
        // An anchor on a key names the key text, also where a key is expected.
        ReadCase{"&k name: 1\nother: *k", "{name:u1,other:'name'}"},
        ReadCase{"&k name: 1\n*k : 2", "{name:u2}"},
        ReadCase{"a: &v text\n*v : 3", "{a:'text',text:u3}"},
        // The anchored node is found again by its path, after later keys changed the tree.
        ReadCase{"a: [&x 1]\na: [2]\nb: *x", "{a:[u1,u2],b:u1}"},
        ReadCase{"a: {b: &x 1}\na: *x", "{a:u1}"},
        ReadCase{"a: {b: &x {c: [1]}}\na: *x", "{a:{c:[u1]}}"},
        // A repeated key reopens the anchored node after it closed, or puts a sequence where it
        // was: the alias copies the node as it stands, the new empty element included.
        ReadCase{"a: &x [1]\na: [*x]", "{a:[u1,[u1,~]]}"},
        ReadCase{"a: &x {b: 1}\na: {c: *x}", "{a:{b:u1,c:{b:u1,c:~}}}"},
        ReadCase{"a: &x 1\na: [*x]", "{a:[[~]]}"},
        // Places under an empty key and under a key taken from an alias.
        ReadCase{"'': [&x 1]\nb: *x", "{:[u1],b:u1}"},
        ReadCase{"&k a: 1\nb: {*k : [&y 2]}\nc: *y", "{a:u1,b:{a:[u2]},c:u2}"},
        ReadCase{"s: &v a\n*v : [&y 3]\nc: *y", "{a:[u3],c:u3,s:'a'}"}));

TEST(YamlReader, QuotedTextKeepsZeroBytes) {
  const BindingResult result = readYaml("a: \"x\\0y\"");
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  EXPECT_EQ(result.find("a").getString(), std::string_view("x\0y", 3));
}

TEST(YamlReader, ReadsAllBytesOfTheView) {
  const std::string text = "a: 1\nb: 2";
  EXPECT_EQ(typedText(readYaml(std::string_view(text).substr(0, 4))), "{a:u1}");
}

// The text ends at its first zero byte, as a zero-terminated text would; a view without data is
// the empty text.
TEST(YamlReader, TextEndsAtItsFirstZeroByte) {
  EXPECT_EQ(typedText(readYaml(std::string_view("a: 1\0x", 6))), "{a:u1}");
  EXPECT_EQ(readYaml(std::string_view("a: \"x\0y\"", 9)).errorMessage(),
            "YAML parser error: found unexpected end of stream. At line: 0 col: 5");
  EXPECT_EQ(typedText(readYaml(std::string_view(nullptr, 0))), "~");
}

struct ErrorCase {
  std::string text;
  std::string message;
};

class YamlErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(YamlErrors, ReportMessageAndPosition) {
  const BindingResult result = readYaml(GetParam().text);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.errorMessage(), GetParam().message);
  EXPECT_EQ(result.size(), 1u); // only the error member is left
}

INSTANTIATE_TEST_SUITE_P(
    Builder, YamlErrors,
    testing::Values(
        ErrorCase{"a: &x [1, *x]",
                  "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
        ErrorCase{"a: &x\n  b:\n    - *x",
                  "Cannot deserialize cyclic aliases. Alias \"x\". At line: 3 col: 7"},
        ErrorCase{"a: 1\nb: *y", "Undefined alias encountered: \"y\". At line: 2 col: 4"},
        ErrorCase{"a: &x 1\nb: [&x 2]", "Duplicate occurrence of anchor \"x\". At line: 2 col: 5"},
        ErrorCase{"&x a: &x 1", "Duplicate occurrence of anchor \"x\". At line: 1 col: 7"},
        ErrorCase{"? [1, 2]\n: v", "Unexpected start of sequence. At line: 1 col: 3"},
        ErrorCase{"x: 1\n? {a: b}\n: v", "Unexpected start of mapping. At line: 2 col: 3"},
        ErrorCase{"a: 1\n!!int 2: b",
                  "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        ErrorCase{"a: &n [1]\n*n : 2",
                  "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        ErrorCase{"a: 1\n---\nb: 2", "Multi-document YAML is not supported."},
        ErrorCase{"[]\n--- 1", "Multi-document YAML is not supported."}));

INSTANTIATE_TEST_SUITE_P(
    Tags, YamlErrors,
    testing::Values(
        ErrorCase{"a: !!binary aGVsbG8=", "Unsupported YAML tag 'tag:yaml.org,2002:binary'."},
        ErrorCase{"a: !custom x", "Unsupported YAML tag '!custom'."},
        ErrorCase{"a: !!null ~", "Unsupported YAML tag 'tag:yaml.org,2002:null'."},
        ErrorCase{"a: !!int abc",
                  "Value abc for 'yaml' of type uint64_t is in an incorrect format"},
        ErrorCase{"a: !!int -1x", "Value -1x for 'yaml' of type int64_t is in an incorrect format"},
        ErrorCase{"a: !!int 18446744073709551616",
                  "Value 18446744073709551616 for 'yaml' of type uint64_t is out of range"},
        ErrorCase{"a: !!int -9223372036854775809",
                  "Value -9223372036854775809 for 'yaml' of type int64_t is out of range"},
        ErrorCase{"a: !!float 1e400", "Value 1e400 for 'yaml' of type double is out of range"},
        ErrorCase{"a: !!float 1.5x",
                  "Value 1.5x for 'yaml' of type double is in an incorrect format"}));

// libyaml's own errors keep its text and its position counted from 0.
INSTANTIATE_TEST_SUITE_P(
    Parser, YamlErrors,
    testing::Values(
        ErrorCase{"a: [1, 2",
                  "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        ErrorCase{"a: \"abc",
                  "YAML parser error: found unexpected end of stream. At line: 0 col: 7"},
        ErrorCase{
            "a: b: c",
            "YAML parser error: mapping values are not allowed in this context. At line: 0 col: 4"},
        ErrorCase{
            "a:\n\t- 1",
            "YAML parser error: found character that cannot start any token. At line: 1 col: 0"},
        // An error after a completed document still stops the read.
        ErrorCase{"a: 1\n...\n]",
                  "YAML parser error: did not find expected <document start>. At line: 2 col: 0"}));

std::string nestedSequences(size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(YamlReader, AcceptsFullNestingDepth) {
  const BindingResult result = readYaml(nestedSequences(kMaxDocumentDepth));
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  size_t depth = 0;
  for (const BindingProperty* node = &result.value(); node->isCollection(); node = &node->at(0)) {
    ++depth;
  }
  EXPECT_EQ(depth, kMaxDocumentDepth);
}

TEST(YamlReader, RefusesNestingBeyondTheLimitWhereItOpens) {
  EXPECT_EQ(readYaml(nestedSequences(kMaxDocumentDepth + 1)).errorMessage(),
            "Document nested too deeply. At line: 1 col: 513");
  std::string block;
  for (size_t i = 0; i <= kMaxDocumentDepth; ++i) {
    block += std::string(i * 2, ' ') + "k:\n";
  }
  block += std::string((kMaxDocumentDepth + 1) * 2, ' ') + "v\n";
  EXPECT_EQ(readYaml(block).errorMessage(), "Document nested too deeply. At line: 513 col: 1025");
}

TEST(YamlReader, MillionOpeningBracketsFailCleanly) {
  EXPECT_EQ(readYaml(std::string(1'000'000, '[')).errorMessage(),
            "Document nested too deeply. At line: 1 col: 513");
}

// A copy counts at its place: 511 levels fit under the root mapping, one more level around the
// alias does not.
TEST(YamlReader, NestingLimitAppliesToAliasCopies) {
  const std::string anchored = "a: &a " + nestedSequences(kMaxDocumentDepth - 1) + "\n";
  const BindingResult fits = readYaml(anchored + "b: *a\n");
  EXPECT_TRUE(fits.ok()) << fits.errorMessage();
  EXPECT_EQ(readYaml(anchored + "b: [*a]\n").errorMessage(),
            "Document nested too deeply. At line: 2 col: 5");
}

std::string laughs(int levels) {
  std::string text = "a: &a [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
  for (int level = 1; level < levels; ++level) {
    const char name = static_cast<char>('a' + level);
    const char previous = static_cast<char>(name - 1);
    text += std::string(1, name) + ": &" + name + " [";
    for (int i = 0; i < 9; ++i) {
      text += std::string(i ? ", *" : "*") + previous;
    }
    text += "]\n";
  }
  return text;
}

// Copies: b 90, c 819, d 7380 (8289 in all); the first *d would add 7381 more, past 10,000.
TEST(YamlReader, BillionLaughsStopAtTheExpansionLimit) {
  EXPECT_TRUE(readYaml(laughs(4)).ok());
  EXPECT_EQ(readYaml(laughs(5)).errorMessage(),
            "Document expands aliases too far. At line: 5 col: 8");
  EXPECT_EQ(readYaml(laughs(10)).errorMessage(),
            "Document expands aliases too far. At line: 5 col: 8");
}

// A large document may copy ten nodes for every node of its own text: 2002 nodes here (two
// sequences and 2000 numbers) allow 20,020 copied nodes, ten copies of the 2001-node sequence.
TEST(YamlReader, ExpansionLimitGrowsWithTheText) {
  std::string text = "a: &a [";
  for (int i = 0; i < 2000; ++i) {
    text += i ? ", 1" : "1";
  }
  text += "]\n";
  std::string aliases = "b: [*a";
  for (int i = 1; i < 10; ++i) {
    aliases += ", *a";
  }
  const BindingResult fits = readYaml(text + aliases + "]\n");
  ASSERT_TRUE(fits.ok()) << fits.errorMessage();
  EXPECT_EQ(fits.find("b").size(), 10u);
  EXPECT_EQ(fits.find("b").at(9).size(), 2000u);

  const std::string column = std::to_string(aliases.size() + 3); // the eleventh "*a"
  EXPECT_EQ(readYaml(text + aliases + ", *a, *a]\n").errorMessage(),
            "Document expands aliases too far. At line: 2 col: " + column);
}

// Anchors deep inside nested mappings: a body of 360 KB (20,000 anchored scalars under 500
// mappings) and one of 290 KB (200-byte keys, 11,000 anchors). With every anchor keeping its own
// path from the root they took 480 MB and 1.5 GB; the tree alone takes about 4 times the text.
TEST(YamlReader, DeepAnchorsCostAFewTimesTheirText) {
  for (const auto& [keyLength, anchors] : {std::pair<size_t, size_t>{1, 20'000}, {200, 11'000}}) {
    const std::string key(keyLength, 'k');
    std::string text;
    for (int level = 0; level < 500; ++level) {
      text += "{" + key + ": ";
    }
    for (size_t i = 0; i < anchors; ++i) {
      const std::string n = std::to_string(i);
      text += (i == 0 ? "{m" : ", m") + n + ": &a" + n + " 1";
    }
    text += std::string(501, '}');
    // The process-wide peak cannot be reset: a ballast block (never touched) first lifts the
    // bytes in use to the peak so far, so that any later peak is the read's own.
    const memory::MemoryCounters start = memory::snapshot();
    void* ballast = memory::allocate(start.peakBytes - start.bytesInUse() + 1);
    const uint64_t base = memory::snapshot().bytesInUse();
    EXPECT_TRUE(readYaml(text).ok());
    const uint64_t peak = memory::snapshot().peakBytes - base;
    memory::release(ballast);
    EXPECT_LE(peak, 10 * text.size()) << text.size() << "-byte text, keys of " << keyLength;
  }
}

} // namespace
} // namespace tav
