// Compilation of URL templates into expressions, placeholders and tokens.
#include "routing/url_template.h"

#include <gtest/gtest.h>

#include <vector>

namespace tav {
namespace {

using Kind = PlaceholderKind;

struct CompileCase {
  const char* templ;
  const char* expression;
  std::vector<Placeholder> placeholders;
};

TEST(UrlTemplate, CompilesPlaceholdersAndEscapesMetacharacters) {
  const CompileCase cases[] = {
      {"/a/{id}", "/a/([^/]*)", {{Kind::Simple, "id"}}},
      {"/a/{+rest}", "/a/(.*)", {{Kind::Reserved, "rest"}}},
      {"/a/{#frag}", "/a/#(.*)", {{Kind::Fragment, "frag"}}},
      {"/v1.0/{id}", "/v1\\.0/([^/]*)", {{Kind::Simple, "id"}}},
      {"^$.*+?()[]|\\{x}", "\\^\\$\\.\\*\\+\\?\\(\\)\\[\\]\\|\\\\([^/]*)", {{Kind::Simple, "x"}}},
      // Characters that ECMAScript takes literally are copied bare.
      {"/-#,=:{x}", "/-#,=:([^/]*)", {{Kind::Simple, "x"}}},
      {"{a}{b}", "([^/]*)([^/]*)", {{Kind::Simple, "a"}, {Kind::Simple, "b"}}},
      {"/{+a}/{#b}", "/(.*)/#(.*)", {{Kind::Reserved, "a"}, {Kind::Fragment, "b"}}},
  };
  for (const CompileCase& c : cases) {
    const UrlTemplate t = UrlTemplate::compile(c.templ);
    EXPECT_FALSE(t.isLiteral()) << c.templ;
    EXPECT_EQ(t.expression(), c.expression) << c.templ;
    EXPECT_EQ(t.placeholders(), c.placeholders) << c.templ;
    EXPECT_EQ(t.groupCount(), c.placeholders.size()) << c.templ;
  }
}

TEST(UrlTemplate, OddlyWrittenPlaceholdersFollowTheScanner) {
  const CompileCase cases[] = {
      // "{" restarts a simple placeholder but keeps the name read so far.
      {"{a{b}", "([^/]*)", {{Kind::Simple, "ab"}}},
      {"{+a{b}", "([^/]*)", {{Kind::Simple, "ab"}}},
      // "+" and "#" switch the kind only right after "{"; later they belong to the name.
      {"{x+}", "([^/]*)", {{Kind::Simple, "x+"}}},
      {"{+#y}", "(.*)", {{Kind::Reserved, "#y"}}},
      {"{+}", "(.*)", {{Kind::Reserved, ""}}},
      {"{#}", "#(.*)", {{Kind::Fragment, ""}}},
      // An unclosed placeholder adds nothing.
      {"/a/{id", "/a/", {}},
      // A "}" outside braces adds an unnamed placeholder of kind 0 and no group.
      {"/a}/{id}", "/a/([^/]*)", {{Kind::Unbraced, ""}, {Kind::Simple, "id"}}},
  };
  for (const CompileCase& c : cases) {
    const UrlTemplate t = UrlTemplate::compile(c.templ);
    EXPECT_EQ(t.expression(), c.expression) << c.templ;
    EXPECT_EQ(t.placeholders(), c.placeholders) << c.templ;
  }
  EXPECT_EQ(UrlTemplate::compile("/a}/{id}").groupCount(), 1u);
}

TEST(UrlTemplate, TemplateWithoutOpeningBraceIsLiteral) {
  for (const char* text : {"/tav-banners/v1/current-sondar/flags", "/a.b", "/a}", ""}) {
    const UrlTemplate t = UrlTemplate::compile(text);
    EXPECT_TRUE(t.isLiteral()) << text;
    EXPECT_EQ(t.text(), text);
    EXPECT_EQ(t.expression(), "") << text;
    EXPECT_TRUE(t.placeholders().empty()) << text;
    EXPECT_TRUE(t.tokens().empty()) << text;
  }
}

TEST(UrlTemplate, TokensMergeLiteralRunsAndSplitFragmentMarker) {
  using T = TemplateToken::Kind;
  const UrlTemplate t = UrlTemplate::compile("/a.b/{id}x{#f}");
  const std::vector<TemplateToken> expected = {
      {T::Literal, "/a.b/"},
      {T::SegmentCapture, ""},
      {T::Literal, "x#"},
      {T::RestCapture, ""},
  };
  EXPECT_EQ(t.tokens(), expected);
}

} // namespace
} // namespace tav
