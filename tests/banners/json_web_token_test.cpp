// Tests of signed-token decoding: segments, signature marker, broken parts and payload values.
#include "banners/json_web_token.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav::banners {
namespace {

// Unpadded URL-safe Base64, written here so the tests do not depend on the encoder under test.
std::string EncodeUrl(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = uint8_t(bytes[i]) << 16 | uint8_t(bytes[i + 1]) << 8 | uint8_t(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) {
      out += kAlphabet[(group >> shift) & 63];
    }
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t group = uint8_t(bytes[i]) << 16 | (rest == 2 ? uint8_t(bytes[i + 1]) << 8 : 0);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    if (rest == 2) {
      out += kAlphabet[(group >> 6) & 63];
    }
  }
  return out;
}

std::string Token(std::string_view header, std::string_view payload, std::string_view signature) {
  return EncodeUrl(header) + "." + EncodeUrl(payload) + "." + EncodeUrl(signature);
}

bool IsErrorPart(const json::Value& part) {
  return part.isObject() && part.size() == 1 && part.name(0) == "error" &&
         part.items()[0].kind() == json::Value::Kind::Bool && part.items()[0].asBool();
}

bool IsErrorValue(const BindingProperty& value) {
  return value.isStructure() && value.size() == 1 &&
         value.find("error").kind() == BindingKind::Bool && value.find("error").getBool();
}

TEST(JsonWebToken, DecodesThreeSegmentsOnFirstUse) {
  JsonWebToken token(Token(R"({"alg":"RS256"})", R"({"items":{}})", "sig-bytes"));
  EXPECT_FALSE(token.decoded());
  EXPECT_EQ(token.signature(), "sig-bytes");
  EXPECT_TRUE(token.decoded());
  EXPECT_EQ(token.headerText(), R"({"alg":"RS256"})");
  EXPECT_EQ(token.payloadText(), R"({"items":{}})");
  EXPECT_EQ(token.header().find("alg")->asString(), "RS256");
  EXPECT_TRUE(token.payload().find("items")->isObject());
}

TEST(JsonWebToken, SplitsAtEveryDotKeepingEmptySegments) {
  EXPECT_EQ(JsonWebToken("a..b.").segments(), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(JsonWebToken("abc").segments(), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(JsonWebToken("").segments(), (std::vector<std::string>{""}));
}

TEST(JsonWebToken, UsesPayloadOfTwoSegmentTokenAndMarksMissingSignature) {
  JsonWebToken token(EncodeUrl("{}") + "." + EncodeUrl(R"({"n":1})"));
  EXPECT_EQ(token.signature(), "NO_VALID_CRYPTO_SEGMENT_FOUND_IN_TOKEN");
  EXPECT_EQ(token.payload().find("n")->asNumber(), 1.0);

  JsonWebToken emptySignature(EncodeUrl("{}") + "." + EncodeUrl(R"({"n":1})") + ".");
  EXPECT_EQ(emptySignature.signature(), "NO_VALID_CRYPTO_SEGMENT_FOUND_IN_TOKEN");
}

TEST(JsonWebToken, TurnsMissingOrEmptyPartsIntoErrorObjects) {
  JsonWebToken emptyPayload(EncodeUrl("{}") + ".." + EncodeUrl("sig"));
  EXPECT_TRUE(IsErrorPart(emptyPayload.payload()));
  EXPECT_FALSE(IsErrorPart(emptyPayload.header()));
  EXPECT_EQ(emptyPayload.signature(), "sig");
  EXPECT_TRUE(IsErrorValue(emptyPayload.payloadValue()));

  JsonWebToken emptyHeader("." + EncodeUrl(R"({"n":1})"));
  EXPECT_TRUE(IsErrorPart(emptyHeader.header()));
  EXPECT_FALSE(IsErrorPart(emptyHeader.payload()));

  JsonWebToken oneSegment(EncodeUrl("{}"));
  EXPECT_TRUE(IsErrorPart(oneSegment.payload()));
  EXPECT_EQ(oneSegment.signature(), "NO_VALID_CRYPTO_SEGMENT_FOUND_IN_TOKEN");
}

TEST(JsonWebToken, DecodesUnpaddedSegmentsWithUrlSafeCharacters) {
  // Chosen so that the encodings hold "-" and "_" and need two and one padding characters.
  const std::string payloads[] = {R"({"k":"~ÿÿ~"})", R"({"k":"~ÿÿ~ÿ"})"};
  for (const std::string& text : payloads) {
    std::string segment = EncodeUrl(text);
    ASSERT_NE(segment.find('-'), std::string::npos) << segment;
    ASSERT_NE(segment.find('_'), std::string::npos) << segment;
    ASSERT_NE(segment.size() % 4, 0u);
    JsonWebToken token(EncodeUrl("{}") + "." + segment + "." + EncodeUrl("s"));
    EXPECT_EQ(token.payloadText(), text);
    EXPECT_FALSE(IsErrorPart(token.payload()));
  }
  EXPECT_NE(EncodeUrl(payloads[0]).size() % 4, EncodeUrl(payloads[1]).size() % 4);
}

TEST(JsonWebToken, KeepsUnicodeEscapeAsWritten) {
  JsonWebToken token(Token("{}", R"({"theme":"\u00e9t\u00e9"})", "s"));
  EXPECT_EQ(token.payloadValue().find("theme").getString(), "\\u00e9t\\u00e9");
}

TEST(JsonWebToken, TurnsUnreadablePartsIntoErrorObjects) {
  const std::string broken[] = {
      R"({"items": tru})",             // misspelt word
      R"({"items": "\x"})",            // bad escape
      R"({"items": #})",               // stray character
      R"({"items": {})",               // unbalanced
      R"({"items": {}, "items": {}})", // duplicate member
      R"([{"items": {}}])",            // top-level array
      R"({"items": {}} trailing)",     // trailing text (lexical)
      R"({"items": {}} {})",           // trailing object (grammatical)
      "{\"items\":" + std::string(1000000, '['),
      std::string(1000000, '['),
  };
  for (const std::string& payload : broken) {
    JsonWebToken token(Token(R"({"alg":"none"})", payload, "s"));
    EXPECT_TRUE(IsErrorValue(token.payloadValue())) << payload.substr(0, 40);
    EXPECT_EQ(token.header().find("alg")->asString(), "none");
  }
  JsonWebToken brokenHeader(Token("{oops}", R"({"n":1})", "s"));
  EXPECT_TRUE(IsErrorPart(brokenHeader.header()));
  EXPECT_EQ(brokenHeader.payload().find("n")->asNumber(), 1.0);
}

TEST(JsonWebToken, MapsPayloadKindsToBindingKinds) {
  JsonWebToken token(
      Token("{}", R"({"n":null,"t":true,"f":false,"s":"x","d":2,"o":{"b":1,"a":[3,"y"]}})", "s"));
  BindingProperty value = token.payloadValue();
  ASSERT_TRUE(value.isStructure());
  EXPECT_EQ(value.size(), 6u);
  EXPECT_TRUE(value.contains("n"));
  EXPECT_EQ(value.find("n").kind(), BindingKind::Empty);
  EXPECT_EQ(value.find("t").kind(), BindingKind::Bool);
  EXPECT_TRUE(value.find("t").getBool());
  EXPECT_FALSE(value.find("f").getBool(true));
  EXPECT_EQ(value.find("s").getString(), "x");
  EXPECT_EQ(value.find("d").kind(), BindingKind::Float);
  EXPECT_EQ(value.find("d").getFloat(), 2.0);

  const BindingProperty& object = value.find("o");
  ASSERT_TRUE(object.isStructure());
  EXPECT_EQ(object.find("b").getFloat(), 1.0);
  const BindingProperty& list = object.find("a");
  ASSERT_TRUE(list.isCollection());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.at(0).getFloat(), 3.0);
  EXPECT_EQ(list.at(1).getString(), "y");
}

} // namespace
} // namespace tav::banners
