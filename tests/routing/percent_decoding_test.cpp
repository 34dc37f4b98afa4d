// The byte rule of percent decoding, including malformed escapes.
#include "routing/percent_decoding.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

TEST(PercentDecoding, DecodesByTheByteRule) {
  using namespace std::string_literals;
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"a%2Fb+c", "a/b c"},
      {"%41%62%7e%7E", "Ab~~"},
      {"plain", "plain"},
      {"", ""},
      {"++", "  "},
      {"%2B", "+"},
      // Fewer than two characters after "%": only the "%" goes.
      {"x%4", "x4"},
      {"%", ""},
      {"ab%", "ab"},
      // A non-hex character counts as 16: 16 * 16 kept to 8 bits is 0, and as the low digit
      // it sets bit 4.
      {"%zz", "\x10"},
      {"%z4", "\x04"},
      {"%4z", "\x50"},
      {"%%41", "\x04"
               "1"},
      {"%+1", "\x01"},
      {"%00", "\0"s},
      {"%ff%FF", "\xff\xff"},
      {"%G0", "\0"s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(percentDecode(c.in), c.out) << c.in;
  }
}

} // namespace
} // namespace tav
