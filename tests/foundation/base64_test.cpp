// Base64: RFC 4648 vectors, the stop rules and the URL-safe variant.
#include "foundation/base64.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace tav {
namespace {

struct Vector {
  std::string bytes;
  std::string text;
};

void PrintTo(const Vector& v, std::ostream* os) {
  *os << '"' << v.bytes << '"';
}

class Base64Rfc4648 : public ::testing::TestWithParam<Vector> {};

TEST_P(Base64Rfc4648, EncodesAndDecodes) {
  const Vector& v = GetParam();
  EXPECT_EQ(encodeBase64(v.bytes), v.text);
  EXPECT_EQ(decodeBase64ToString(v.text), v.bytes);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Base64Rfc4648,
                         ::testing::Values(Vector{"", ""}, Vector{"f", "Zg=="},
                                           Vector{"fo", "Zm8="}, Vector{"foo", "Zm9v"},
                                           Vector{"foob", "Zm9vYg=="}, Vector{"fooba", "Zm9vYmE="},
                                           Vector{"foobar", "Zm9vYmFy"}));

struct StopCase {
  const char* what;
  std::string text;
  std::string expected;
};

void PrintTo(const StopCase& c, std::ostream* os) {
  *os << c.what;
}

class Base64Stops : public ::testing::TestWithParam<StopCase> {};

TEST_P(Base64Stops, DecodesUpToTheStop) {
  EXPECT_EQ(decodeBase64ToString(GetParam().text), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Stops, Base64Stops,
    ::testing::Values(StopCase{"first equals sign", "Zm9v=Zm9v", "foo"},
                      StopCase{"line break", "Zm9v\nYmFy", "foo"},
                      StopCase{"foreign character", "Zm9v*YmFy", "foo"},
                      StopCase{"url-safe characters are foreign here", "Zm9v-_", "foo"},
                      StopCase{"trailing group of two", "Zm9vYg", "foob"},
                      StopCase{"trailing group of three", "Zm9vYmE", "fooba"},
                      StopCase{"stray single character ignored", "Zm9vY", "foo"},
                      StopCase{"stop at the very start", "=Zm9v", ""}));

TEST(Base64, BinaryRoundTripOfEveryByteValue) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 256; ++i)
    bytes.push_back(static_cast<uint8_t>(255 - i));
  std::string text = encodeBase64(bytes);
  EXPECT_EQ(text.size(), 344u);
  EXPECT_EQ(decodeBase64(text), bytes);
}

class Base64Url : public ::testing::TestWithParam<StopCase> {};

TEST_P(Base64Url, Decodes) {
  EXPECT_EQ(decodeBase64UrlToString(GetParam().text), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Url, Base64Url,
                         ::testing::Values(StopCase{"remainder 2 gets two pads", "Zg", "f"},
                                           StopCase{"remainder 3 gets one pad", "Zm8", "fo"},
                                           StopCase{"whole groups", "Zm9vYmFy", "foobar"},
                                           StopCase{"padding already present", "Zg==", "f"},
                                           StopCase{"remainder 1 ignores the stray character",
                                                    "Zm9vYmFyZ", "foobar"},
                                           StopCase{"stops at a dot", "Zm9v.YmFy", "foo"}));

TEST(Base64Url, MapsDashAndUnderscore) {
  const std::vector<uint8_t> bytes = {0xFB, 0xFF, 0xBF};
  EXPECT_EQ(encodeBase64(bytes), "+/+/");
  EXPECT_EQ(decodeBase64Url("-_-_"), bytes);
  EXPECT_EQ(decodeBase64Url("-_8"), (std::vector<uint8_t>{0xFB, 0xFF}));
}

// The decoding rule spelled out bit by bit: six bits per character up to the first that is not
// in the alphabet, a byte for every eight bits gathered.
std::string referenceUrlDecoding(std::string_view text) {
  const std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    size_t value = alphabet.find(c);
    if (value == std::string_view::npos)
      value = c == '-' || c == '+' ? 62 : c == '_' || c == '/' ? 63 : 64;
    if (value == 64)
      break;
    bits = bits << 6 | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes += static_cast<char>(bits >> count & 0xFF);
    }
  }
  return bytes;
}

TEST(Base64Url, DecodesRandomTextsAsTheBitByBitRule) {
  // Long enough for several eight-character steps, with stops anywhere in them.
  const std::string characters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_+/=.!~ \xff";
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i)
      text += characters[random() % (random() % 8 == 0 ? characters.size() : 64)];
    EXPECT_EQ(decodeBase64UrlToString(text), referenceUrlDecoding(text)) << text;
  }
}

} // namespace
} // namespace tav
