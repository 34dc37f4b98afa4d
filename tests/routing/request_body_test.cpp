// Body formats by content type, the body argument, and the decoding rules of argument texts.
#include "routing/request_body.h"

#include "binding/binding_type_registry.h"
#include "routing/route_table.h"
#include "routing/typed_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav {
namespace {

RequestBody bodyOf(const char* contentType, const std::string& bytes) {
  return RequestBody{contentType, reinterpret_cast<const uint8_t*>(bytes.data()),
                     static_cast<uint32_t>(bytes.size())};
}

TEST(ContentType, IsACaseInsensitivePrefix) {
  const struct {
    const char* contentType;
    BodyFormat format;
  } cases[] = {
      {"application/json", BodyFormat::Json},
      {"APPLICATION/JSON", BodyFormat::Json},
      {"application/json; charset=utf-8", BodyFormat::Json},
      {"application/vnd.api+json", BodyFormat::Json},
      {"application/x-yaml", BodyFormat::Yaml},
      {"application/x-msgpack", BodyFormat::MessagePack},
      {"application/x-msgpack-ext", BodyFormat::MessagePack},
      {"Application/X-MsgPackWhatever", BodyFormat::MessagePack},
      // Accepted for argument texts only.
      {"text/x-yaml", BodyFormat::None},
      {"application/jso", BodyFormat::None},
      {"", BodyFormat::None},
      {" application/json", BodyFormat::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bodyFormatOf(c.contentType), c.format) << c.contentType;
  }
}

TEST(DecodeBody, ReadsEachFormat) {
  const struct {
    const char* contentType;
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"APPLICATION/JSON", R"({"theme": "gold", "level": 2})", "{level:u2,theme:'gold'}"},
      {"application/vnd.api+json", "[1, -2]", "[u1,i-2]"},
      {"application/x-yaml", "theme: gold\nlevel: 2\n", "{level:u2,theme:'gold'}"},
      {"application/x-msgpack",
       "\x81\xA1"
       "a\x01",
       "{a:i1}"},
      {"application/json", "", "~"},
  };
  for (const auto& c : cases) {
    const BindingResult result = decodeBody(bodyOf(c.contentType, c.bytes));
    ASSERT_TRUE(result.ok()) << c.contentType << ": " << result.errorMessage();
    EXPECT_EQ(typedText(result), c.expected) << c.contentType;
  }
}

TEST(DecodeBody, ReadsExactlyBodyLengthBytes) {
  // The request's bytes need not end in a zero: whatever follows them must not be read.
  const std::string buffer = R"({"a":1}{"b":2})";
  const RequestBody json{"application/json", reinterpret_cast<const uint8_t*>(buffer.data()), 7};
  const BindingResult fromJson = decodeBody(json);
  ASSERT_TRUE(fromJson.ok()) << fromJson.errorMessage();
  EXPECT_EQ(typedText(fromJson), "{a:u1}");

  const std::string yaml = "a: 1\nb: [";
  const RequestBody yamlBody{"application/x-yaml", reinterpret_cast<const uint8_t*>(yaml.data()),
                             5};
  const BindingResult fromYaml = decodeBody(yamlBody);
  ASSERT_TRUE(fromYaml.ok()) << fromYaml.errorMessage();
  EXPECT_EQ(typedText(fromYaml), "{a:u1}");
}

TEST(DecodeBody, Failures) {
  const struct {
    const char* contentType;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"text/x-yaml", "a: 1", "Unsupported body content type"},
      {"text/plain", "x", "Unsupported body content type"},
      {"", "x", "Unsupported body content type"},
      {"application/x-msgpack", "\x01\x02", "Extra MessgePack data found in body"},
      // The readers' own messages pass unchanged.
      {"application/json", "{} x",
       "Error: The document root must not be followed by other values. at offset 3."},
      {"application/x-msgpack", "\x81",
       "Invalid MessagePack data. Unexpected end of data at "
       "position 1."},
  };
  for (const auto& c : cases) {
    const BindingResult result = decodeBody(bodyOf(c.contentType, c.bytes));
    EXPECT_FALSE(result.ok()) << c.contentType;
    EXPECT_EQ(result.errorMessage(), c.message) << c.contentType;
  }
}

class BodyArgument : public testing::Test {
protected:
  BodyArgument() {
    RouteBuilder builder = table_.registerRoute(
        registry_, HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped", nullptr);
    builder.argument("id", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::String})
        .bodyArgument("flag", "", BindingTypeRef{BindingTypeCode::Struct})
        .bodyArgument("second", "", BindingTypeRef{BindingTypeCode::Struct});
    record_ = &builder.record();
    values_.resize(3);
  }

  const BindingFunctionDescriptor& function() const { return *record_->function(); }

  BindingTypeRegistry registry_;
  RouteTable table_;
  RouteRecord* record_ = nullptr;
  std::vector<BindingProperty> values_;
};

TEST_F(BodyArgument, GoesToTheFirstBodyArgumentWhole) {
  values_[1].member("old") = "kept?";
  BindingResult result;
  bindBody(result, values_, function(), *record_, bodyOf("application/json", R"({"theme":"x"})"));
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  EXPECT_EQ(typedText(values_[1]), "{theme:'x'}");
  EXPECT_TRUE(values_[2].isEmpty());
  EXPECT_TRUE(values_[0].isEmpty());
}

TEST_F(BodyArgument, ErrorReplacesAnEarlierErrorAndSuccessKeepsIt) {
  BindingResult failed;
  failed.setError("Unknown argument 'x' for 'PutTavBannersV1CurrentSondarFlagsEquipped'.");
  bindBody(failed, values_, function(), *record_, bodyOf("application/json", "[1"));
  EXPECT_EQ(failed.errorMessage(), "Error: Missing a comma or ']' after an array element. at "
                                   "offset 2.");

  BindingResult earlier;
  earlier.setError("Unknown argument 'x' for 'PutTavBannersV1CurrentSondarFlagsEquipped'.");
  bindBody(earlier, values_, function(), *record_, bodyOf("application/json", "[1]"));
  EXPECT_EQ(earlier.errorMessage(),
            "Unknown argument 'x' for 'PutTavBannersV1CurrentSondarFlagsEquipped'.");
  EXPECT_EQ(typedText(values_[1]), "[u1]");
}

TEST_F(BodyArgument, IgnoredWithoutBodyOrBodyArgument) {
  BindingResult result;
  bindBody(result, values_, function(), *record_, RequestBody{"text/plain", nullptr, 5});
  EXPECT_TRUE(result.ok());

  RouteBuilder get = table_.registerRoute(registry_, HttpMethod::Get, "/flags", nullptr);
  get.argument("id", "", ArgumentLocation::Any, BindingTypeRef{BindingTypeCode::String});
  std::vector<BindingProperty> values(1);
  bindBody(result, values, get.function(), get.record(), bodyOf("text/plain", "junk"));
  EXPECT_TRUE(result.ok()) << result.errorMessage();
  EXPECT_TRUE(values[0].isEmpty());
}

struct TextCase {
  std::string text;
  const char* contentType;
  bool sniff;
  const char* expected; // typedText of the decoded value
};

class ArgumentText : public testing::TestWithParam<TextCase> {
protected:
  ArgumentText() {
    function_.name = "GetItems";
    argument_.name = "filter";
  }
  BindingFunctionDescriptor function_;
  BindingArgumentDescriptor argument_;
};

TEST_P(ArgumentText, DecodesByContentTypeAndSniffing) {
  const TextCase& c = GetParam();
  BindingResult result;
  BindingProperty target;
  target = "previous";
  ASSERT_TRUE(
      decodeArgumentText(result, target, function_, argument_, c.text, c.contentType, c.sniff))
      << result.errorMessage();
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(typedText(target), c.expected);
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
                    TextCase{"---\n- a\n", "", true, "['a']"}, TextCase{"--", "", true, "'--'"},
                    TextCase{"\x92\x01\x02", "", true, "[i1,i2]"},
                    TextCase{"\x81\xA1"
                             "a\x01",
                             "", true, "{a:i1}"},
                    TextCase{std::string("\xDC\x00\x01\x05", 4), "", true, "[i5]"},
                    // A positive fixint does not open a container: the text stays a string.
                    TextCase{"\x05", "", true, "'\x05'"}, TextCase{"[1]", "", false, "'[1]'"},
                    // A content type turns sniffing off.
                    TextCase{"[1]", "text/plain", true, "'[1]'"}));

INSTANTIATE_TEST_SUITE_P(
    ContentTypes, ArgumentText,
    testing::Values(TextCase{"\x01\x02", "application/x-msgpack", false, "i1"},
                    TextCase{"\xC3", "APPLICATION/X-MSGPACK-EXT", false, "true"},
                    TextCase{"5", "application/json", false, "u5"},
                    TextCase{"a: 1", "text/x-yaml", false, "{a:u1}"},
                    TextCase{"a: 1", "TEXT/X-YAML; charset=utf-8", false, "{a:u1}"},
                    TextCase{"ab", "application/octet-stream", false, "b'97 98 '"},
                    // Body-only types are plain text here.
                    TextCase{"[1]", "application/vnd.api+json", false, "'[1]'"},
                    TextCase{"a: 1", "application/x-yaml", false, "'a: 1'"}));

TEST(ArgumentTextFailure, NamesFormatParameterAndFunction) {
  const struct {
    std::string text;
    const char* contentType;
    const char* message;
  } cases[] = {
      {"{", "",
       "Couldn't deserialize JSON value for parameter 'filter' of 'GetItems': Error: Missing a "
       "name for object member. at offset 1."},
      {"\x81", "",
       "Couldn't deserialize MessagePack value for parameter 'filter' of 'GetItems': Invalid "
       "MessagePack data. Unexpected end of data at position 1."},
      {"a: *x", "text/x-yaml",
       "Couldn't deserialize YAML value for parameter 'filter' of 'GetItems': Undefined alias "
       "encountered: \"x\". At line: 1 col: 4"},
  };
  BindingFunctionDescriptor function;
  function.name = "GetItems";
  BindingArgumentDescriptor argument;
  argument.name = "filter";
  for (const auto& c : cases) {
    BindingResult result;
    BindingProperty target;
    EXPECT_FALSE(
        decodeArgumentText(result, target, function, argument, c.text, c.contentType, true));
    EXPECT_EQ(result.errorMessage(), c.message);
  }
}

} // namespace
} // namespace tav
