// MessagePack decoding: every code class, every failure text with its position, nesting limits,
// cut-short documents and round trips of generated trees.
#include "binding/message_pack_reader.h"

#include "binding/document_limits.h"
#include "foundation/memory.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tav {
namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
  BindingResult result;
  uint32_t consumed = 0xFFFFFFFF;
};

Decoded decode(const Bytes& bytes) {
  Decoded decoded;
  decodeMessagePack(decoded.result, decoded.consumed, bytes.data(),
                    static_cast<uint32_t>(bytes.size()));
  return decoded;
}

Bytes repeated(uint8_t code, size_t times) {
  return Bytes(times, code);
}

Bytes concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// A compact, kind-exact rendering: 5 signed, 5u unsigned, 1.5f float, "t" string, b'0aff' blob,
// empty, [..] collection, {"k":..} structure in member order.
void render(const BindingProperty& value, std::string& out) {
  char buffer[32];
  switch (value.kind()) {
  case BindingKind::Empty:
    out += "empty";
    break;
  case BindingKind::Bool:
    out += value.getBool() ? "true" : "false";
    break;
  case BindingKind::Signed:
    out += std::to_string(value.getSigned());
    break;
  case BindingKind::Unsigned:
    out += std::to_string(value.getUnsigned()) + "u";
    break;
  case BindingKind::Float:
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value.getFloat()).ptr);
    out += "f";
    break;
  case BindingKind::String:
    out += '"';
    for (unsigned char c : value.getString()) {
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        out += static_cast<char>(c);
      } else {
        std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
        out += buffer;
      }
    }
    out += '"';
    break;
  case BindingKind::Blob:
    out += "b'";
    for (uint8_t byte : value.getBlob()) {
      std::snprintf(buffer, sizeof buffer, "%02x", byte);
      out += buffer;
    }
    out += "'";
    break;
  case BindingKind::Collection: {
    out += '[';
    const char* separator = "";
    for (const BindingProperty& element : value.elements()) {
      out += separator;
      render(element, out);
      separator = ",";
    }
    out += ']';
    break;
  }
  case BindingKind::Structure: {
    out += '{';
    const char* separator = "";
    for (auto [key, member] : value.members()) {
      out += separator;
      out += '"';
      out += key;
      out += "\":";
      render(member, out);
      separator = ",";
    }
    out += '}';
    break;
  }
  default:
    out += "?";
    break;
  }
}

std::string render(const BindingProperty& value) {
  std::string out;
  render(value, out);
  return out;
}

struct ValueCase {
  const char* name;
  Bytes bytes;
  const char* expected;
  uint32_t consumed;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
  *os << c.name;
}

class DecodesValue : public testing::TestWithParam<ValueCase> {};

TEST_P(DecodesValue, WithExactKindAndConsumedLength) {
  const ValueCase& c = GetParam();
  Decoded decoded = decode(c.bytes);
  ASSERT_TRUE(decoded.result.ok()) << decoded.result.errorMessage();
  EXPECT_EQ(render(decoded.result), c.expected);
  EXPECT_EQ(decoded.consumed, c.consumed);
}

INSTANTIATE_TEST_SUITE_P(
    MessagePackReader, DecodesValue,
    testing::Values(
        ValueCase{"PositiveFixint", {0x05}, "5", 1}, ValueCase{"TopFixint", {0x7F}, "127", 1},
        ValueCase{"NegativeFixint", {0xFF}, "-1", 1},
        ValueCase{"LowestNegativeFixint", {0xE0}, "-32", 1},
        ValueCase{"Uint8", {0xCC, 0xFF}, "255u", 2},
        ValueCase{"Uint16", {0xCD, 0x01, 0x02}, "258u", 3},
        ValueCase{"Uint32", {0xCE, 0x01, 0x02, 0x03, 0x04}, "16909060u", 5},
        ValueCase{"Uint64",
                  {0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                  "18446744073709551615u",
                  9},
        ValueCase{"Int8", {0xD0, 0xFF}, "-1", 2}, ValueCase{"Int8Lowest", {0xD0, 0x80}, "-128", 2},
        ValueCase{"Int16", {0xD1, 0xFF, 0x7F}, "-129", 3},
        ValueCase{"Int32", {0xD2, 0x80, 0x00, 0x00, 0x00}, "-2147483648", 5},
        ValueCase{"Int64",
                  {0xD3, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                  "-9223372036854775808",
                  9},
        ValueCase{"Nil", {0xC0}, "empty", 1}, ValueCase{"False", {0xC2}, "false", 1},
        ValueCase{"True", {0xC3}, "true", 1},
        ValueCase{"Float32", {0xCA, 0x3F, 0xC0, 0x00, 0x00}, "1.5f", 5},
        // Widened, not re-rounded: the float nearest 0.1 keeps its exact value.
        ValueCase{"Float32Widened", {0xCA, 0x3D, 0xCC, 0xCC, 0xCD}, "0.10000000149011612f", 5},
        ValueCase{"Float64",
                  {0xCB, 0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18},
                  "3.141592653589793f",
                  9},
        ValueCase{"EmptyFixstr", {0xA0}, "\"\"", 1},
        ValueCase{"Fixstr", {0xA3, 'a', 'b', 'c'}, "\"abc\"", 4},
        ValueCase{"StringBytesUnchecked", {0xA2, 0xFF, 0x00}, "\"\\xff\\x00\"", 3},
        ValueCase{"Str8", {0xD9, 0x02, 'h', 'i'}, "\"hi\"", 4},
        ValueCase{"Str16", {0xDA, 0x00, 0x01, 'x'}, "\"x\"", 4},
        ValueCase{"Str32", {0xDB, 0x00, 0x00, 0x00, 0x01, 'y'}, "\"y\"", 6},
        ValueCase{"Bin8", {0xC4, 0x02, 0x01, 0xFF}, "b'01ff'", 4},
        ValueCase{"Bin16Empty", {0xC5, 0x00, 0x00}, "b''", 3},
        ValueCase{"Bin32", {0xC6, 0x00, 0x00, 0x00, 0x01, 0xAB}, "b'ab'", 6},
        ValueCase{"EmptyFixarray", {0x90}, "[]", 1}, ValueCase{"EmptyFixmap", {0x80}, "{}", 1},
        ValueCase{"NilElement", {0x92, 0x01, 0xC0}, "[1,empty]", 3},
        ValueCase{"Array16", {0xDC, 0x00, 0x02, 0x01, 0x02}, "[1,2]", 5},
        ValueCase{"Array32", {0xDD, 0x00, 0x00, 0x00, 0x01, 0xC3}, "[true]", 6},
        ValueCase{"Map16", {0xDE, 0x00, 0x01, 0xA1, 'a', 0x01}, "{\"a\":1}", 6},
        ValueCase{"Map32", {0xDF, 0x00, 0x00, 0x00, 0x01, 0xA1, 'a', 0x90}, "{\"a\":[]}", 8},
        ValueCase{"Str8Key", {0x81, 0xD9, 0x01, 'k', 0x05}, "{\"k\":5}", 5},
        ValueCase{"Str16Key", {0x81, 0xDA, 0x00, 0x01, 'k', 0x05}, "{\"k\":5}", 6},
        ValueCase{"Str32Key", {0x81, 0xDB, 0x00, 0x00, 0x00, 0x01, 'k', 0x05}, "{\"k\":5}", 8},
        ValueCase{"EmptyKey", {0x81, 0xA0, 0x05}, "{\"\":5}", 3},
        ValueCase{"NilMember", {0x81, 0xA1, 'k', 0xC0}, "{\"k\":empty}", 4},
        ValueCase{"MembersInByteOrder",
                  {0x83, 0xA1, 'b', 0x01, 0xA1, 'A', 0x02, 0xA1, 'a', 0x03},
                  "{\"A\":2,\"a\":3,\"b\":1}",
                  10},
        ValueCase{"Nested", {0x81, 0xA1, 'k', 0x92, 0x80, 0x91, 0x90}, "{\"k\":[{},[[]]]}", 7},
        // Items close their containers without a terminator, so siblings follow directly.
        ValueCase{"SiblingsAfterNested",
                  {0x93, 0x91, 0x91, 0x01, 0x81, 0xA1, 'x', 0x02, 0x03},
                  "[[[1]],{\"x\":2},3]",
                  9},
        ValueCase{"RepeatedKeyScalarReplaces",
                  {0x82, 0xA1, 0x61, 0x01, 0xA1, 0x61, 0x02},
                  "{\"a\":2}",
                  7},
        ValueCase{"RepeatedKeyMapMerges",
                  {0x82, 0xA1, 'a', 0x82, 0xA1, 'x', 0x01, 0xA1, 'y', 0x02, 0xA1, 'a', 0x81, 0xA1,
                   'x', 0x03},
                  "{\"a\":{\"x\":3,\"y\":2}}",
                  16},
        ValueCase{"RepeatedKeyArrayKeepsTail",
                  {0x82, 0xA1, 'a', 0x93, 0x01, 0x02, 0x03, 0xA1, 'a', 0x91, 0x09},
                  "{\"a\":[9,2,3]}",
                  11},
        ValueCase{"RepeatedKeyEmptyArrayKeepsAll",
                  {0x82, 0xA1, 'a', 0x92, 0x01, 0x02, 0xA1, 'a', 0x90},
                  "{\"a\":[1,2]}",
                  9},
        ValueCase{
            "RepeatedKeyMergesInsideElements",
            {0x82, 0xA1, 'a', 0x91, 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x91, 0x81, 0xA1, 'y', 0x02},
            "{\"a\":[{\"x\":1,\"y\":2}]}",
            15},
        ValueCase{"RepeatedKeyScalarReplacesMap",
                  {0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x05},
                  "{\"a\":5}",
                  10},
        ValueCase{"RepeatedKeyArrayReplacesMap",
                  {0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x91, 0x05},
                  "{\"a\":[5]}",
                  11},
        ValueCase{
            "RepeatedKeyNilEmpties", {0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}, "{\"a\":empty}", 7},
        // The second value merges into the first member by member, in the order of the bytes.
        ValueCase{"RepeatedKeyInsideRepeatedValue",
                  {0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x91, 0x01, 0xA1, 'a', 0x82, 0xA1, 'x', 0x02,
                   0xA1, 'x', 0x91, 0x03},
                  "{\"a\":{\"x\":[3]}}",
                  18},
        // Elements that fit the room reserved for them are made at once and decoded in place,
        // containers and empty values among them.
        ValueCase{"AnnouncedElementsInPlace",
                  {0x93, 0x91, 0x01, 0x81, 0xA1, 'k', 0x92, 0x02, 0x03, 0xC0},
                  "[[1],{\"k\":[2,3]},empty]",
                  10},
        // Leading scalars of a new collection are decoded at once; a container among them
        // leaves the rest to the collection's frame, scalars after it included.
        ValueCase{"ScalarsAroundAContainerInPlace",
                  {0x95, 0x01, 0xCB, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0xA1, 's', 0x91, 0x03, 0x04},
                  "[1,1.5f,\"s\",[3],4]",
                  16},
        ValueCase{"RepeatedKeyArrayReplacesString",
                  {0x82, 0xA1, 'a', 0xA1, 'x', 0xA1, 'a', 0x92, 0x01, 0x02},
                  "{\"a\":[1,2]}",
                  10},
        // Beyond the reserved room the elements are appended, growing the array.
        ValueCase{"SeventeenElementsAppended", concat({0xDC, 0x00, 0x11}, repeated(0x07, 17)),
                  "[7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7]", 20},
        ValueCase{"TrailingBytesNotConsumed", {0x01, 0x02}, "1", 1},
        ValueCase{"TrailingRejectedCodeNotRead", {0x91, 0x01, 0xC1}, "[1]", 2},
        ValueCase{"EmptyDocument", {}, "empty", 0}),
    [](const testing::TestParamInfo<ValueCase>& info) { return info.param.name; });

struct ErrorCase {
  const char* name;
  Bytes bytes;
  const char* message;
  uint32_t consumed;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class RejectsDocument : public testing::TestWithParam<ErrorCase> {};

TEST_P(RejectsDocument, WithExactMessageAndPosition) {
  const ErrorCase& c = GetParam();
  Decoded decoded = decode(c.bytes);
  EXPECT_FALSE(decoded.result.ok());
  EXPECT_EQ(decoded.result.errorMessage(), c.message);
  EXPECT_EQ(render(decoded.result), std::string("{\"error\":\"") + c.message + "\"}");
  EXPECT_EQ(decoded.consumed, c.consumed);
}

constexpr const char* kKeys2 = "Invalid MessagePack data at position 2. Map keys must be strings.";
constexpr const char* kRejected1 = "Invalid MessagePack data at position 1.";
constexpr const char* kTruncated8At1 =
    "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.";
constexpr const char* kTruncated16At1 =
    "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.";
constexpr const char* kTruncated32At1 =
    "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.";
constexpr const char* kTruncated64At1 =
    "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.";

INSTANTIATE_TEST_SUITE_P(
    MessagePackReader, RejectsDocument,
    testing::Values(
        ErrorCase{"FixintKey", {0x81, 0x01, 0x02}, kKeys2, 2},
        ErrorCase{"NilKey", {0x81, 0xC0, 0x01}, kKeys2, 2},
        ErrorCase{"ArrayKey", {0x81, 0x90, 0x01}, kKeys2, 2},
        ErrorCase{"BinKey", {0x81, 0xC4, 0x01, 'a', 0x01}, kKeys2, 2},
        // The key check comes before the code's own class is looked at.
        ErrorCase{"RejectedCodeAsKey", {0x81, 0xC1}, kKeys2, 2},
        ErrorCase{"SecondKeyNested",
                  {0x91, 0x82, 0xA1, 'a', 0x01, 0x05, 0x01},
                  "Invalid MessagePack data at position 6. Map keys must be strings.",
                  6},
        ErrorCase{"Map16Key",
                  {0xDE, 0x00, 0x01, 0xC3, 0x01},
                  "Invalid MessagePack data at position 4. Map keys must be strings.",
                  4},
        ErrorCase{"NeverAssigned", {0xC1}, kRejected1, 1},
        ErrorCase{"Ext8", {0xC7, 0x01, 0x01, 0x00}, kRejected1, 1},
        ErrorCase{"Ext16", {0xC8, 0x00, 0x01, 0x01, 0x00}, kRejected1, 1},
        ErrorCase{"Ext32", {0xC9, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00}, kRejected1, 1},
        ErrorCase{"FixExt1", {0xD4, 0x01, 0x00}, kRejected1, 1},
        ErrorCase{"FixExt2", {0xD5, 0x01, 0x00, 0x00}, kRejected1, 1},
        ErrorCase{"FixExt4", {0xD6, 0x01, 0x00, 0x00, 0x00, 0x00}, kRejected1, 1},
        ErrorCase{"FixExt8", concat({0xD7, 0x01}, Bytes(8)), kRejected1, 1},
        ErrorCase{"FixExt16", concat({0xD8, 0x01}, Bytes(16)), kRejected1, 1},
        ErrorCase{"RejectedElement",
                  {0x92, 0x01, 0xD4, 0x00, 0x00},
                  "Invalid MessagePack data at position 3.",
                  3},
        ErrorCase{"RejectedMember",
                  {0x81, 0xA1, 'a', 0xC1},
                  "Invalid MessagePack data at position 4.",
                  4},
        ErrorCase{"Uint8", {0xCC}, kTruncated8At1, 1}, ErrorCase{"Int8", {0xD0}, kTruncated8At1, 1},
        ErrorCase{"Bin8Length", {0xC4}, kTruncated8At1, 1},
        ErrorCase{"Str8Length", {0xD9}, kTruncated8At1, 1},
        ErrorCase{"Uint16OneByte", {0xCD, 0x01}, kTruncated16At1, 1},
        ErrorCase{"Uint16NoBytes", {0xCD}, kTruncated16At1, 1},
        ErrorCase{"Int16", {0xD1, 0x01}, kTruncated16At1, 1},
        ErrorCase{"Bin16Length", {0xC5, 0x00}, kTruncated16At1, 1},
        ErrorCase{"Str16Length", {0xDA}, kTruncated16At1, 1},
        ErrorCase{"Array16Count", {0xDC, 0x00}, kTruncated16At1, 1},
        ErrorCase{"Map16Count", {0xDE}, kTruncated16At1, 1},
        ErrorCase{"Uint32", {0xCE, 0x01, 0x02, 0x03}, kTruncated32At1, 1},
        ErrorCase{"Int32", {0xD2}, kTruncated32At1, 1},
        ErrorCase{"Float32", {0xCA, 0x3F, 0xC0, 0x00}, kTruncated32At1, 1},
        ErrorCase{"Bin32Length", {0xC6, 0x00, 0x00, 0x00}, kTruncated32At1, 1},
        ErrorCase{"Str32Length", {0xDB, 0x00, 0x00}, kTruncated32At1, 1},
        ErrorCase{"Array32Count", {0xDD}, kTruncated32At1, 1},
        ErrorCase{"Map32Count", {0xDF, 0x00}, kTruncated32At1, 1},
        ErrorCase{"Uint64", {0xCF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}, kTruncated64At1, 1},
        ErrorCase{"Int64", {0xD3}, kTruncated64At1, 1},
        ErrorCase{"Float64", {0xCB, 0x40}, kTruncated64At1, 1},
        ErrorCase{"NestedField",
                  {0x92, 0x01, 0xCD, 0x01},
                  "Invalid MessagePack data. 16-bit integer value at position 3 is truncated.",
                  3},
        ErrorCase{"KeyLength",
                  {0x81, 0xD9},
                  "Invalid MessagePack data. 8-bit integer value at position 2 is truncated.",
                  2},
        ErrorCase{"Fixstr",
                  {0xA3, 0x61, 0x62},
                  "Invalid MessagePack data. String of size 3 at position 1 is truncated.",
                  1},
        ErrorCase{"Str8",
                  {0xD9, 0x05, 'a'},
                  "Invalid MessagePack data. String of size 5 at position 2 is truncated.",
                  2},
        ErrorCase{"Str16",
                  {0xDA, 0x01, 0x00},
                  "Invalid MessagePack data. String of size 256 at position 3 is truncated.",
                  3},
        ErrorCase{"Str32Huge",
                  {0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
                  "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.",
                  5},
        ErrorCase{"KeyBody",
                  {0x81, 0xA2, 'a'},
                  "Invalid MessagePack data. String of size 2 at position 2 is truncated.",
                  2},
        ErrorCase{"Bin8",
                  {0xC4, 0x02, 0x01},
                  "Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated.",
                  2},
        ErrorCase{"Bin32Huge",
                  {0xC6, 0xFF, 0xFF, 0xFF, 0xFF},
                  "Invalid MessagePack data. Raw bytes of size 4294967295 at position 5 are "
                  "truncated.",
                  5},
        ErrorCase{"FieldInPlace",
                  {0x92, 0x01, 0xCB, 0x40},
                  "Invalid MessagePack data. 64-bit integer value at position 3 is truncated.",
                  3},
        ErrorCase{"OpenFixarray",
                  {0x92, 0x01},
                  "Invalid MessagePack data. Unexpected end of data at position 2.",
                  2},
        ErrorCase{"OpenEmptyFixarray",
                  {0x91},
                  "Invalid MessagePack data. Unexpected end of data at position 1.",
                  1},
        ErrorCase{"OpenInnerArray",
                  {0x92, 0x91},
                  "Invalid MessagePack data. Unexpected end of data at position 2.",
                  2},
        // The inner array is complete, the outer one still expects its second element.
        ErrorCase{"OpenOuterArray",
                  {0x92, 0x91, 0x01},
                  "Invalid MessagePack data. Unexpected end of data at position 3.",
                  3},
        ErrorCase{"MissingMemberValue",
                  {0x81, 0xA1, 'a'},
                  "Invalid MessagePack data. Unexpected end of data at position 3.",
                  3},
        ErrorCase{"MissingPair",
                  {0x82, 0xA1, 'a', 0x01},
                  "Invalid MessagePack data. Unexpected end of data at position 4.",
                  4},
        ErrorCase{"OpenAfterScalarsInPlace",
                  {0x93, 0x01, 0x02},
                  "Invalid MessagePack data. Unexpected end of data at position 3.",
                  3},
        ErrorCase{"OpenAfterContainerInPlace",
                  {0x93, 0x01, 0x90},
                  "Invalid MessagePack data. Unexpected end of data at position 3.",
                  3},
        ErrorCase{"OpenArray16",
                  {0xDC, 0x00, 0x02, 0x01},
                  "Invalid MessagePack data. Unexpected end of data at position 4.",
                  4},
        ErrorCase{"HugeMap32",
                  {0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0x01},
                  "Invalid MessagePack data. Unexpected end of data at position 8.",
                  8},
        ErrorCase{"HugeArray32",
                  {0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01},
                  "Invalid MessagePack data. Unexpected end of data at position 6.",
                  6}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

// Nesting: the stack holds only the enclosing containers, so the limit counts levels exactly.
struct DepthCase {
  const char* name;
  Bytes bytes;
  const char* message; // null when the document decodes
  uint32_t consumed;
};

void PrintTo(const DepthCase& c, std::ostream* os) {
  *os << c.name;
}

class LimitsNesting : public testing::TestWithParam<DepthCase> {};

TEST_P(LimitsNesting, AtTheDocumentDepth) {
  const DepthCase& c = GetParam();
  Decoded decoded = decode(c.bytes);
  if (c.message == nullptr) {
    EXPECT_TRUE(decoded.result.ok()) << decoded.result.errorMessage();
  } else {
    EXPECT_FALSE(decoded.result.ok());
    EXPECT_EQ(decoded.result.errorMessage(), c.message);
  }
  EXPECT_EQ(decoded.consumed, c.consumed);
}

Bytes nestedMaps(size_t levels, const Bytes& innermost) {
  Bytes bytes;
  for (size_t i = 0; i < levels; ++i) {
    bytes.insert(bytes.end(), {0x81, 0xA1, 'k'});
  }
  return concat(bytes, innermost);
}

// Two sibling branches, each as deep as allowed: closed containers must not count.
Bytes twoDeepBranches() {
  Bytes branch = concat(repeated(0x91, kMaxDocumentDepth - 1), {0x01});
  return concat(concat({0x92}, branch), branch);
}

constexpr const char* kTooDeep513 =
    "Invalid MessagePack data. Document nested too deeply at position 513.";

INSTANTIATE_TEST_SUITE_P(
    MessagePackReader, LimitsNesting,
    testing::Values(
        DepthCase{"ArraysAtLimit", concat(repeated(0x91, 512), {0x01}), nullptr, 513},
        DepthCase{"EmptyMapAtLimit", concat(repeated(0x91, 511), {0x80}), nullptr, 512},
        DepthCase{"ArraysPastLimit", concat(repeated(0x91, 513), {0x01}), kTooDeep513, 513},
        DepthCase{"EmptyArrayPastLimit", concat(repeated(0x91, 512), {0x90}), kTooDeep513, 513},
        DepthCase{"FixmapPastLimit", concat(repeated(0x91, 512), {0x80}), kTooDeep513, 513},
        // The level is refused before its count is read.
        DepthCase{"Array16PastLimit", concat(repeated(0x91, 512), {0xDC}), kTooDeep513, 513},
        DepthCase{"Array32PastLimit", concat(repeated(0x91, 512), {0xDD}), kTooDeep513, 513},
        DepthCase{"Map16PastLimit", concat(repeated(0x91, 512), {0xDE}), kTooDeep513, 513},
        DepthCase{"Map32PastLimit", concat(repeated(0x91, 512), {0xDF}), kTooDeep513, 513},
        DepthCase{"MapsAtLimit", nestedMaps(512, {0x01}), nullptr, 512 * 3 + 1},
        DepthCase{"MapsPastLimit", nestedMaps(513, {0x01}),
                  "Invalid MessagePack data. Document nested too deeply at position 1537.", 1537},
        DepthCase{"SiblingBranchesAtLimit", twoDeepBranches(), nullptr, 1 + 2 * 512},
        DepthCase{"MillionOpeningBytes", repeated(0x91, 1000000), kTooDeep513, 513}),
    [](const testing::TestParamInfo<DepthCase>& info) { return info.param.name; });

TEST(MessagePackReader, KeepsTheInnermostValueAtTheDepthLimit) {
  Decoded decoded = decode(concat(repeated(0x91, 512), {0x2A}));
  ASSERT_TRUE(decoded.result.ok());
  const BindingProperty* node = &decoded.result.value();
  for (size_t level = 0; level < kMaxDocumentDepth; ++level) {
    ASSERT_EQ(node->kind(), BindingKind::Collection) << "level " << level;
    ASSERT_EQ(node->size(), 1u);
    node = &node->at(0);
  }
  EXPECT_EQ(node->getSigned(), 42);
}

// Declared counts are not trusted for memory: a handful of bytes announcing billions of items,
// even nested as deep as allowed, must cost no more than a small bound per open level.
TEST(MessagePackReader, BoundsMemoryOfHugeDeclaredCounts) {
  Bytes deepHugeArrays;
  for (size_t level = 0; level < kMaxDocumentDepth; ++level) {
    deepHugeArrays.insert(deepHugeArrays.end(), {0xDD, 0xFF, 0xFF, 0xFF, 0xFF});
  }
  const struct {
    Bytes document;
    uint64_t maxBytes;
  } cases[] = {
      {{0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0x01}, 64 * 1024},
      {{0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, 64 * 1024},
      {{0x91, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xDF, 0xFF, 0xFF, 0xFF, 0xFF}, 64 * 1024},
      {deepHugeArrays, kMaxDocumentDepth * 16 * sizeof(BindingProperty) + 64 * 1024},
  };
  for (const auto& c : cases) {
    const memory::MemoryCounters before = memory::snapshot();
    Decoded decoded = decode(c.document);
    const memory::MemoryCounters after = memory::snapshot();
    EXPECT_EQ(decoded.result.errorMessage().substr(0, 52),
              "Invalid MessagePack data. Unexpected end of data at ");
    EXPECT_LT(after.totalBytesAllocated - before.totalBytesAllocated, c.maxBytes)
        << c.document.size() << "-byte document";
  }
}

TEST(MessagePackReader, ReplacesAnEarlierFailedResult) {
  Decoded decoded;
  decoded.result.setError("earlier");
  const Bytes bytes = {0x81, 0xA1, 'n', 0x05};
  decodeMessagePack(decoded.result, decoded.consumed, bytes.data(), 4);
  EXPECT_TRUE(decoded.result.ok());
  EXPECT_EQ(render(decoded.result), "{\"n\":5}");
}

TEST(MessagePackReader, AcceptsNullDataForAnEmptyDocument) {
  BindingResult result;
  result = 5;
  uint32_t consumed = 9;
  decodeMessagePack(result, consumed, nullptr, 0);
  EXPECT_TRUE(result.ok());
  EXPECT_TRUE(result.isEmpty());
  EXPECT_EQ(consumed, 0u);
}

TEST(MessagePackReader, InternsEqualStringsOnce) {
  Decoded decoded = decode({0x93, 0xA3, 'a', 'b', 'c', 0xA3, 'a', 'b', 'c', 0x81, 0xA3, 'a', 'b',
                            'c', 0xA3, 'a', 'b', 'c'});
  ASSERT_TRUE(decoded.result.ok());
  const BindingProperty& list = decoded.result;
  const char* first = list.at(0).getString().data();
  EXPECT_EQ(list.at(1).getString().data(), first);
  for (auto [key, value] : list.at(2).members()) {
    EXPECT_EQ(key.data(), first);
    EXPECT_EQ(value.getString().data(), first);
  }
}

TEST(MessagePackReader, CopiesStringsAndBlobsOutOfTheInput) {
  Bytes bytes = {0x92, 0xA2, 'h', 'i', 0xC4, 0x02, 0xAA, 0xBB};
  Decoded decoded = decode(bytes);
  std::fill(bytes.begin(), bytes.end(), 0);
  EXPECT_EQ(render(decoded.result), "[\"hi\",b'aabb']");
}

// Generated trees, encoded with a randomly chosen width wherever several fit, decode back to the
// same tree; every cut-short prefix of the encoding fails.
class TreeEncoder {
public:
  explicit TreeEncoder(std::mt19937& random) : random_(random) {}

  void encode(const BindingProperty& value, Bytes& out) {
    switch (value.kind()) {
    case BindingKind::Empty:
      out.push_back(0xC0);
      break;
    case BindingKind::Bool:
      out.push_back(value.getBool() ? 0xC3 : 0xC2);
      break;
    case BindingKind::Signed:
      encodeSigned(value.getSigned(), out);
      break;
    case BindingKind::Unsigned:
      encodeUnsigned(value.getUnsigned(), out);
      break;
    case BindingKind::Float:
      encodeFloat(value.getFloat(), out);
      break;
    case BindingKind::String:
      encodeText(value.getString(), out);
      break;
    case BindingKind::Blob: {
      const auto bytes = value.getBlob();
      encodeHeader(bytes.size(), 0, 0, 0xC4, 0xC5, 0xC6, out);
      out.insert(out.end(), bytes.begin(), bytes.end());
      break;
    }
    case BindingKind::Collection:
      encodeHeader(value.size(), 0x90, 15, 0, 0xDC, 0xDD, out);
      for (const BindingProperty& element : value.elements()) {
        encode(element, out);
      }
      break;
    case BindingKind::Structure:
      encodeHeader(value.size(), 0x80, 15, 0, 0xDE, 0xDF, out);
      for (auto [key, member] : value.members()) {
        encodeText(key, out);
        encode(member, out);
      }
      break;
    default:
      ADD_FAILURE() << "unexpected kind";
    }
  }

private:
  static void put(uint64_t value, int width, Bytes& out) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
      out.push_back(static_cast<uint8_t>(value >> shift));
    }
  }

  bool coin() { return random_() % 2 == 0; }

  // The fix form when fixMax allows it (fixMax 0: there is none), else a code with a 1-, 2- or
  // 4-byte length (code8 0: no 1-byte form).
  void encodeHeader(uint64_t length, uint8_t fixCode, uint64_t fixMax, uint8_t code8,
                    uint8_t code16, uint8_t code32, Bytes& out) {
    if (fixMax != 0 && length <= fixMax && coin()) {
      out.push_back(static_cast<uint8_t>(fixCode | length));
    } else if (code8 != 0 && length <= 0xFF && coin()) {
      out.push_back(code8);
      put(length, 1, out);
    } else if (length <= 0xFFFF && coin()) {
      out.push_back(code16);
      put(length, 2, out);
    } else {
      out.push_back(code32);
      put(length, 4, out);
    }
  }

  void encodeText(std::string_view text, Bytes& out) {
    encodeHeader(text.size(), 0xA0, 31, 0xD9, 0xDA, 0xDB, out);
    out.insert(out.end(), text.begin(), text.end());
  }

  void encodeSigned(int64_t value, Bytes& out) {
    if (value >= -32 && value <= 127 && coin()) {
      out.push_back(static_cast<uint8_t>(value));
    } else if (value >= INT8_MIN && value <= INT8_MAX && coin()) {
      out.push_back(0xD0);
      put(static_cast<uint64_t>(value), 1, out);
    } else if (value >= INT16_MIN && value <= INT16_MAX && coin()) {
      out.push_back(0xD1);
      put(static_cast<uint64_t>(value), 2, out);
    } else if (value >= INT32_MIN && value <= INT32_MAX && coin()) {
      out.push_back(0xD2);
      put(static_cast<uint64_t>(value), 4, out);
    } else {
      out.push_back(0xD3);
      put(static_cast<uint64_t>(value), 8, out);
    }
  }

  void encodeUnsigned(uint64_t value, Bytes& out) {
    if (value <= UINT8_MAX && coin()) {
      out.push_back(0xCC);
      put(value, 1, out);
    } else if (value <= UINT16_MAX && coin()) {
      out.push_back(0xCD);
      put(value, 2, out);
    } else if (value <= UINT32_MAX && coin()) {
      out.push_back(0xCE);
      put(value, 4, out);
    } else {
      out.push_back(0xCF);
      put(value, 8, out);
    }
  }

  void encodeFloat(double value, Bytes& out) {
    const float narrow = static_cast<float>(value);
    if (static_cast<double>(narrow) == value && coin()) {
      out.push_back(0xCA);
      put(std::bit_cast<uint32_t>(narrow), 4, out);
    } else {
      out.push_back(0xCB);
      put(std::bit_cast<uint64_t>(value), 8, out);
    }
  }

  std::mt19937& random_;
};

class TreeGenerator {
public:
  explicit TreeGenerator(std::mt19937& random) : random_(random) {}

  void fill(BindingProperty& value, int depth) {
    const unsigned pick = random_() % (depth > 0 ? 10 : 7);
    switch (pick) {
    case 0:
      value.clear();
      break;
    case 1:
      value = coin();
      break;
    case 2:
      value.setSigned(integer());
      break;
    case 3:
      value.setUnsigned(static_cast<uint64_t>(integer()));
      break;
    case 4:
      value = coin() ? static_cast<double>(static_cast<float>(integer()) / 8.0f)
                     : std::bit_cast<double>(wide() & 0xBFFFFFFFFFFFFFFFull);
      break;
    case 5:
      value = text();
      break;
    case 6: {
      const std::string bytes = text();
      value = Bytes(bytes.begin(), bytes.end());
      break;
    }
    case 7:
    case 8: {
      value.makeCollection();
      const size_t count = random_() % (random_() % 8 == 0 ? 40 : 6);
      for (size_t i = 0; i < count; ++i) {
        fill(value.append(), depth - 1);
      }
      break;
    }
    default: {
      value.makeStructure();
      const size_t count = random_() % 7;
      for (size_t i = 0; i < count; ++i) {
        fill(value.member(text()), depth - 1);
      }
      break;
    }
    }
  }

private:
  bool coin() { return random_() % 2 == 0; }
  uint64_t wide() { return (static_cast<uint64_t>(random_()) << 32) | random_(); }

  // Spread over every width: the shift picks the magnitude, the sign flips half of them.
  int64_t integer() {
    const int64_t magnitude = static_cast<int64_t>(wide() >> (random_() % 64));
    return coin() ? magnitude : -magnitude;
  }

  std::string text() {
    // Mostly short texts; now and then one on each side of the fixstr and str8 limits.
    const size_t shortLengths[] = {0, 1, 2, 5};
    const size_t longLengths[] = {31, 32, 255, 256, 300};
    std::string out(random_() % 8 != 0 ? shortLengths[random_() % std::size(shortLengths)]
                                       : longLengths[random_() % std::size(longLengths)],
                    ' ');
    for (char& c : out) {
      c = static_cast<char>(random_() % 4 == 0 ? random_() % 256 : 'a' + random_() % 4);
    }
    return out;
  }

  std::mt19937& random_;
};

TEST(MessagePackReader, DecodesGeneratedTreesBackToThemselves) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 random(seed);
    BindingProperty tree;
    TreeGenerator(random).fill(tree, 5);
    Bytes bytes;
    TreeEncoder(random).encode(tree, bytes);
    Decoded decoded = decode(bytes);
    ASSERT_TRUE(decoded.result.ok()) << "seed " << seed << ": " << decoded.result.errorMessage();
    ASSERT_EQ(render(decoded.result), render(tree)) << "seed " << seed;
    ASSERT_EQ(decoded.consumed, bytes.size()) << "seed " << seed;
  }
}

TEST(MessagePackReader, FailsOnEveryCutShortPrefix) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    BindingProperty tree;
    TreeGenerator(random).fill(tree, 3);
    Bytes bytes;
    TreeEncoder(random).encode(tree, bytes);
    for (size_t length = 1; length < bytes.size(); ++length) {
      BindingResult result;
      uint32_t consumed = 0;
      decodeMessagePack(result, consumed, bytes.data(), static_cast<uint32_t>(length));
      ASSERT_FALSE(result.ok()) << "seed " << seed << ", length " << length;
      ASSERT_EQ(result.errorMessage().rfind("Invalid MessagePack data. ", 0), 0u)
          << result.errorMessage();
      ASSERT_LE(consumed, length);
    }
  }
}

// Arbitrary bytes never read past the end (the sanitizer builds watch this) and always end in a
// value or in one of the reader's own messages. Codes are drawn mostly from the container and
// length-prefixed ranges so that decoding gets past the first byte.
TEST(MessagePackReader, EndsCleanlyOnArbitraryBytes) {
  std::mt19937 random(7);
  const uint8_t interesting[] = {0x81, 0x92, 0x9F, 0xA2, 0xC4, 0xCD, 0xD9, 0xDC, 0xDE, 0xDF, 0x01};
  for (int round = 0; round < 20000; ++round) {
    Bytes bytes(random() % 24);
    for (uint8_t& byte : bytes) {
      byte = random() % 2 ? interesting[random() % std::size(interesting)]
                          : static_cast<uint8_t>(random());
    }
    // A copy of exactly the right size, so any read past the end is out of bounds.
    auto exact = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), exact.get());
    BindingResult result;
    uint32_t consumed = 0;
    decodeMessagePack(result, consumed, exact.get(), static_cast<uint32_t>(bytes.size()));
    ASSERT_LE(consumed, bytes.size());
    if (result.ok()) {
      ASSERT_EQ(consumed == 0, bytes.empty());
    } else {
      ASSERT_EQ(result.errorMessage().rfind("Invalid MessagePack data", 0), 0u)
          << result.errorMessage();
    }
  }
}

} // namespace
} // namespace tav
