// Inventory tokens of unusual shape end to end: missing or empty segments, unpadded base64url,
// escapes the token reader keeps, and payloads it cannot read.
#include "host/sondar_fixture.h"
#include "host/sondar_inventory.h"
#include "host/sondar_token.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::bannerFlag;
using testhost::canonical;
using testhost::day;
using testhost::flag;
using testhost::sondar;

// A payload holding one flag item whose theme is written into the JSON text as it stands.
std::string payloadWithTheme(const std::string& themeJson) {
  return R"({"items":{"TOURNAMENT_FLAG":[{"payload":{"rewardSpec":{"theme":")" + themeJson +
         R"(","level":"1","seasonId":"5"},"rewardType":"FLAG"},"purchaseDate":")" + day(1) +
         R"("}]}})";
}

class SondarTokensTest : public testhost::SondarPluginTest {
protected:
  CallResult flagsWithToken(std::string token) {
    InventoryOverrides overrides;
    overrides.tokens[kFlagInventoryType] = std::move(token);
    peers().setInventoryOverrides(overrides);
    return getFlags();
  }

  std::string segment(std::string_view text) { return encodeBase64UrlUnpadded(text); }
};

TEST_F(SondarTokensTest, ATokenWithoutSignatureStillCarriesItsPayload) {
  startWith(sondar({}));
  const std::string header = segment(kSondarTokenHeader);
  const std::string payload = segment(payloadWithTheme("T"));
  const std::pair<const char*, std::string> cases[] = {
      {"two segments", header + "." + payload},
      {"empty signature", header + "." + payload + "."},
      {"empty header", "." + payload + "." + segment("s")},
      {"segments after the third", header + "." + payload + ".c2ln.more"},
  };
  for (const auto& [name, token] : cases) {
    const CallResult flags = flagsWithToken(token);
    ASSERT_TRUE(flags.ok()) << name << ": " << *flags.error;
    EXPECT_EQ(canonical(flags.value), ValueTree::list({bannerFlag("T", "1", "5", day(1))})) << name;
  }
}

TEST_F(SondarTokensTest, AnEmptyOrBrokenPayloadIsAnEmptyListNotAnError) {
  startWith(sondar({}));
  const std::string header = segment(kSondarTokenHeader);
  const std::pair<const char*, std::string> cases[] = {
      {"empty payload segment", header + ".." + segment("s")},
      {"one segment", header},
      {"no segment", ""},
      {"unknown escape", header + "." + segment(R"({"items":"\q"})") + "." + segment("s")},
      {"misspelt true", header + "." + segment(R"({"items":tru})") + "." + segment("s")},
      {"stray character", header + "." + segment(R"({"items":@})") + "." + segment("s")},
      {"unclosed string", header + "." + segment(R"({"items)") + "." + segment("s")},
  };
  for (const auto& [name, token] : cases) {
    const CallResult flags = flagsWithToken(token);
    ASSERT_TRUE(flags.ok()) << name << ": " << *flags.error;
    EXPECT_EQ(flags.value, ValueTree::list({})) << name;
  }
}

TEST_F(SondarTokensTest, UnpaddedSegmentsWithDashAndUnderscoreDecode) {
  startWith(sondar({}));
  for (size_t remainder : {size_t{2}, size_t{3}}) {
    // "?" and "~" put "_" and "-" into the encoding; the prefix length picks a payload whose
    // encoded length leaves the remainder, where padding would have been needed.
    std::string theme;
    std::string payload;
    for (size_t prefix = 0; prefix < 12 && theme.empty(); ++prefix) {
      const std::string candidate = std::string(prefix, 'a') + "???~~~";
      payload = segment(payloadWithTheme(candidate));
      if (payload.size() % 4 == remainder && payload.find('-') != std::string::npos &&
          payload.find('_') != std::string::npos) {
        theme = candidate;
      }
    }
    ASSERT_FALSE(theme.empty()) << "remainder " << remainder;
    const CallResult flags =
        flagsWithToken(segment(kSondarTokenHeader) + "." + payload + "." + segment("s"));
    ASSERT_TRUE(flags.ok()) << *flags.error;
    EXPECT_EQ(canonical(flags.value), ValueTree::list({bannerFlag(theme, "1", "5", day(1))}))
        << "remainder " << remainder;
  }
}

TEST_F(SondarTokensTest, UnicodeEscapesAreKeptAsWritten) {
  startWith(sondar({}));
  const std::string token = makeSondarToken(payloadWithTheme(R"(caf\u00e9 \"q\" a\/b)"));
  const CallResult flags = flagsWithToken(token);
  ASSERT_TRUE(flags.ok()) << *flags.error;
  EXPECT_EQ(canonical(flags.value),
            ValueTree::list({bannerFlag(R"(caf\u00e9 "q" a/b)", "1", "5", day(1))}));
}

TEST_F(SondarTokensTest, TheSignedItemsOfTheDataFileAreRead) {
  const SondarFlag owned = flag("T", "2", "5", day(4));
  startWith(sondar({owned}));
  EXPECT_EQ(canonical(getFlags().value), ValueTree::list({bannerFlag(owned)}));
}

} // namespace
} // namespace tav::host
