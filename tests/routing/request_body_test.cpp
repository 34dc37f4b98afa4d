// Body formats by content type, and the decoding rules of single argument texts.
#include "routing/request_body.h"

#include "routing/typed_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav {
namespace {

BindingResult decode(const char* contentType, const std::string& bytes) {
  return decodeBody(RequestBody{contentType, reinterpret_cast<const uint8_t*>(bytes.data()),
                                static_cast<uint32_t>(bytes.size())});
}

struct BodyCase {
  const char* contentType;
  std::string bytes;
  const char* expected; // typedText of the value, or the error message
};

TEST(DecodeBody, ChoosesFormatByContentTypePrefix) {
  const BodyCase cases[] = {
      {"APPLICATION/JSON", R"({"theme": "gold"})", "{theme:'gold'}"},
      {"application/json; charset=utf-8", "[1, -2]", "[u1,i-2]"},
      {"application/vnd.api+json", "[1]", "[u1]"},
      {"application/x-yaml", "theme: gold\n", "{theme:'gold'}"},
      {"application/x-msgpack-ext", "\x91\x01", "[i1]"},
      {"application/json", "", "~"},
      // Accepted for argument texts, not for bodies.
      {"text/x-yaml", "a: 1", "Unsupported body content type"},
      {" application/json", "1", "Unsupported body content type"},
      {"", "1", "Unsupported body content type"},
      {"application/x-msgpack", "\x01\x02", "Extra MessgePack data found in body"},
      // The readers' own messages pass unchanged.
      {"application/json", "{} x",
       "Error: The document root must not be followed by other values. at offset 3."},
      {"application/x-msgpack", "\x81",
       "Invalid MessagePack data. Unexpected end of data at position 1."},
  };
  for (const BodyCase& c : cases) {
    const BindingResult result = decode(c.contentType, c.bytes);
    EXPECT_EQ(result.ok() ? typedText(result) : result.errorMessage(), c.expected)
        << c.contentType << " " << c.bytes;
  }
}

TEST(DecodeBody, ReadsExactlyBodyLengthBytes) {
  // The request's bytes need not end in a zero: whatever follows them must not be read.
  const std::string json = R"({"a":1}{"b":2})";
  EXPECT_EQ(typedText(decode("application/json", json.substr(0, 7))), "{a:u1}");
  const std::string yaml = "a: 1\nb: [";
  EXPECT_EQ(typedText(decode("application/x-yaml", yaml.substr(0, 5))), "{a:u1}");

  // A heap block of exactly the body's bytes (sanitizer builds catch a read past its end).
  const std::vector<uint8_t> exact = {'[', '1', ']'};
  for (const char* contentType : {"application/json", "application/x-yaml"}) {
    const BindingResult whole = decodeBody(RequestBody{contentType, exact.data(), 3});
    EXPECT_EQ(typedText(whole), "[u1]") << contentType << whole.errorMessage();
  }
}

// Both text readers take a body as a zero-terminated text: it ends at its first zero byte, and a
// body without data is the empty text.
TEST(DecodeBody, TextBodiesEndAtTheirFirstZeroByte) {
  for (const char* contentType : {"application/json", "application/x-yaml"}) {
    EXPECT_EQ(typedText(decode(contentType, std::string("[1]\0x", 5))), "[u1]") << contentType;
    const BindingResult none = decodeBody(RequestBody{contentType, nullptr, 0});
    EXPECT_EQ(none.ok() ? typedText(none) : none.errorMessage(), "~") << contentType;
  }
}

struct TextCase {
  std::string text;
  const char* contentType;
  bool sniff;
  const char* expected; // typedText of the value, or the error message
};

class ArgumentText : public testing::TestWithParam<TextCase> {};

TEST_P(ArgumentText, DecodesByContentTypeAndSniffing) {
  BindingFunctionDescriptor function;
  function.name = "GetItems";
  BindingArgumentDescriptor argument;
  argument.name = "filter";
  const TextCase& c = GetParam();
  BindingResult result;
  BindingProperty target;
  target = "previous";
  const bool ok =
      decodeArgumentText(result, target, function, argument, c.text, c.contentType, c.sniff);
  EXPECT_EQ(ok, result.ok());
  EXPECT_EQ(ok ? typedText(target) : result.errorMessage(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sniffing, ArgumentText,
    testing::Values(TextCase{R"({"a":1})", "", true, "{a:u1}"},
                    TextCase{R"({"a":1})", "", false, "'{\"a\":1}'"},
                    TextCase{"   [1, 2]", "", true, "[u1,u2]"},
                    // Only the space character is skipped before looking for "{" or "[".
                    TextCase{"\t[1]", "", true, "'\t[1]'"},
                    // Read as YAML: an indented "---" is no document marker but a plain scalar.
                    TextCase{"  --- : 1", "", true, "{---:u1}"},
                    TextCase{"---\n- a\n", "", true, "['a']"},
                    TextCase{"\x92\x01\x02", "", true, "[i1,i2]"},
                    TextCase{std::string("\xDC\x00\x01\x05", 4), "", true, "[i5]"},
                    // A positive fixint opens no container: the text stays a string.
                    TextCase{"\x05", "", true, "'\x05'"},
                    // A content type turns sniffing off.
                    TextCase{"[1]", "text/plain", true, "'[1]'"}));

INSTANTIATE_TEST_SUITE_P(
    ContentTypes, ArgumentText,
    testing::Values(TextCase{"\x01\x02", "application/x-msgpack", false, "i1"},
                    TextCase{"5", "Application/JSON", false, "u5"},
                    TextCase{"a: 1", "text/x-yaml; charset=utf-8", false, "{a:u1}"},
                    TextCase{"ab", "application/octet-stream", false, "b'97 98 '"},
                    // Body-only types are plain text here.
                    TextCase{"[1]", "application/vnd.api+json", false, "'[1]'"},
                    TextCase{"a: 1", "application/x-yaml", false, "'a: 1'"}));

INSTANTIATE_TEST_SUITE_P(
    Failures, ArgumentText,
    testing::Values(
        TextCase{"{", "", true,
                 "Couldn't deserialize JSON value for parameter 'filter' of 'GetItems': Error: "
                 "Missing a name for object member. at offset 1."},
        TextCase{"\x81", "", true,
                 "Couldn't deserialize MessagePack value for parameter 'filter' of 'GetItems': "
                 "Invalid MessagePack data. Unexpected end of data at position 1."},
        TextCase{"a: *x", "text/x-yaml", false,
                 "Couldn't deserialize YAML value for parameter 'filter' of 'GetItems': "
                 "Undefined alias encountered: \"x\". At line: 1 col: 4"}));

} // namespace
} // namespace tav
