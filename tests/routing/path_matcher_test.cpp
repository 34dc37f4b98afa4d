// matchPath against std::regex_match on generated templates, plus paths too long for std::regex.
#include "routing/path_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

namespace tav {
namespace {

using Captures = std::optional<std::vector<std::string>>;

Captures ourMatch(const UrlTemplate& templ, std::string_view path) {
  auto views = matchPath(templ, path);
  if (!views) {
    return std::nullopt;
  }
  return std::vector<std::string>(views->begin(), views->end());
}

// The reference: the template's expression run by the standard library, full match.
Captures regexMatch(const UrlTemplate& templ, const std::string& path) {
  if (templ.isLiteral()) {
    return path == templ.text() ? Captures{std::vector<std::string>{}} : std::nullopt;
  }
  std::regex re(templ.expression(), std::regex::ECMAScript | std::regex::optimize);
  std::smatch m;
  if (!std::regex_match(path, m, re)) {
    return std::nullopt;
  }
  std::vector<std::string> groups;
  for (size_t i = 1; i < m.size(); ++i) {
    groups.push_back(m[i].matched ? m[i].str() : std::string{});
  }
  return groups;
}

// Characters that stress the expression: metacharacters, both group delimiters, line ends.
constexpr std::string_view kLiteralAlphabet = "ab/#.*+?()[]|^$\\-\n\r%";
constexpr std::string_view kPathAlphabet = "ab/#.*+(\\\n\r%";

class TemplateGenerator {
public:
  explicit TemplateGenerator(uint32_t seed) : rng_(seed) {}

  std::string templ() {
    std::string out;
    const int parts = pick(0, 7);
    for (int i = 0; i < parts; ++i) {
      switch (pick(0, 9)) {
      case 0:
      case 1:
      case 2:
        out += kLiteralAlphabet[pick(0, kLiteralAlphabet.size() - 1)];
        break;
      case 3:
        out += '/';
        break;
      case 4:
      case 5:
        out += "{s" + std::to_string(i) + "}";
        break;
      case 6:
        out += "{+r" + std::to_string(i) + "}";
        break;
      case 7:
        out += "{#f" + std::to_string(i) + "}";
        break;
      case 8:
        out += pick(0, 1) ? "}" : "{}";
        break;
      default:
        // Placeholders written oddly: nested "{", markers after the name, unclosed.
        const char* odd[] = {"{a{b}", "{x+}", "{+#y}", "{", "{+}", "{#}"};
        out += odd[pick(0, 5)];
        break;
      }
    }
    return out;
  }

  std::string randomPath() {
    std::string out;
    const int len = pick(0, 10);
    for (int i = 0; i < len; ++i) {
      out += kPathAlphabet[pick(0, kPathAlphabet.size() - 1)];
    }
    return out;
  }

  // A path the template should match: literals as they are, groups filled from their class.
  std::string matchingPath(const UrlTemplate& templ) {
    if (templ.isLiteral()) {
      return templ.text();
    }
    std::string out;
    for (const TemplateToken& token : templ.tokens()) {
      if (token.kind == TemplateToken::Kind::Literal) {
        out += token.text;
        continue;
      }
      const int len = pick(0, 4);
      for (int i = 0; i < len; ++i) {
        char c = kPathAlphabet[pick(0, kPathAlphabet.size() - 1)];
        const bool allowed =
            token.kind == TemplateToken::Kind::SegmentCapture ? c != '/' : (c != '\n' && c != '\r');
        out += allowed ? c : 'a';
      }
    }
    return out;
  }

private:
  int pick(size_t lo, size_t hi) {
    return std::uniform_int_distribution<int>(static_cast<int>(lo), static_cast<int>(hi))(rng_);
  }

  std::mt19937 rng_;
};

TEST(PathMatcher, AgreesWithStdRegexOnGeneratedTemplatesAndPaths) {
  TemplateGenerator gen(20240611);
  int matched = 0;
  int compared = 0;
  for (int t = 0; t < 3000; ++t) {
    const std::string text = gen.templ();
    const UrlTemplate templ = UrlTemplate::compile(text);
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
      paths.push_back(gen.randomPath());
      paths.push_back(gen.matchingPath(templ));
    }
    for (const std::string& path : paths) {
      const Captures expected = regexMatch(templ, path);
      ASSERT_EQ(ourMatch(templ, path), expected) << "template '" << text << "' expression '"
                                                 << templ.expression() << "' path '" << path << "'";
      ++compared;
      matched += expected.has_value();
    }
  }
  // The generator must exercise both outcomes, or the comparison proves little.
  EXPECT_GT(matched, compared / 4);
  EXPECT_LT(matched, compared * 3 / 4);
}

struct AmbiguityCase {
  const char* templ;
  const char* path;
  std::vector<std::string> captures;
};

// Where several splits fit, the earlier group takes the most, as backtracking would.
TEST(PathMatcher, EarlierGroupsTakeTheLongestFittingRun) {
  const AmbiguityCase cases[] = {
      {"/{+a}/{+b}", "/x/y/z", {"x/y", "z"}}, {"/{+a}{+b}", "/xyz", {"xyz", ""}},
      {"/{a}{b}", "/xyz", {"xyz", ""}},       {"/{a}.{b}", "/x.y.z", {"x.y", "z"}},
      {"/{+a}{#f}", "/x#y#z", {"x#y", "z"}},  {"/{a}/{+b}/{c}", "/x/y/z/w", {"x", "y/z", "w"}},
  };
  for (const AmbiguityCase& c : cases) {
    auto got = ourMatch(UrlTemplate::compile(c.templ), c.path);
    ASSERT_TRUE(got.has_value()) << c.templ;
    EXPECT_EQ(*got, c.captures) << c.templ;
  }
}

TEST(PathMatcher, ReservedGroupStopsAtLineEndsLikeEcmaScriptDot) {
  const UrlTemplate templ = UrlTemplate::compile("/a/{+rest}");
  EXPECT_FALSE(matchPath(templ, "/a/x\ny"));
  EXPECT_FALSE(matchPath(templ, "/a/x\ry"));
  // The simple group excludes only "/".
  auto simple = ourMatch(UrlTemplate::compile("/a/{id}"), "/a/x\ny");
  ASSERT_TRUE(simple);
  EXPECT_EQ(*simple, std::vector<std::string>{"x\ny"});
}

TEST(PathMatcher, MatchesOneMebibytePathWithoutRecursion) {
  const std::string tail(1 << 20, 'y');
  const UrlTemplate templ = UrlTemplate::compile("/a/{id}/{+rest}");
  const std::string path = "/a/x/" + tail;
  auto got = matchPath(templ, path);
  ASSERT_TRUE(got);
  ASSERT_EQ(got->size(), 2u);
  EXPECT_EQ((*got)[0], "x");
  EXPECT_EQ((*got)[1].size(), tail.size());

  const UrlTemplate simple = UrlTemplate::compile("/a/{id}");
  const std::string segment = "/a/" + tail;
  auto whole = matchPath(simple, segment);
  ASSERT_TRUE(whole);
  EXPECT_EQ((*whole)[0].size(), tail.size());
  const std::string slashed = segment + "/";
  EXPECT_FALSE(matchPath(simple, slashed));
}

TEST(PathMatcher, SplitsLongPathOfManySegmentsAtTheLastPossibleSlash) {
  std::string path;
  for (int i = 0; i < (1 << 18); ++i) {
    path += "/x";
  }
  const UrlTemplate templ = UrlTemplate::compile("/{a}/{+b}/{c}");
  auto got = matchPath(templ, path);
  ASSERT_TRUE(got);
  EXPECT_EQ((*got)[0], "x");
  EXPECT_EQ((*got)[1].size(), path.size() - 5);
  EXPECT_EQ((*got)[2], "x");
}

} // namespace
} // namespace tav
