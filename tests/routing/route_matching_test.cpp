// Choosing the matching route: path, method, decoded captures and the shortest-capture rule.
#include "routing/route_matching.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace tav {
namespace {

// Owns the compiled templates so candidates can point at them.
class Routes {
public:
  Routes& add(const char* templ, HttpMethod method = HttpMethod::Any, const char* custom = "") {
    templates_.push_back(UrlTemplate::compile(templ));
    candidates_.push_back({&templates_.back(), method, custom});
    return *this;
  }

  std::optional<RouteMatch> match(std::string_view path, HttpMethod method = HttpMethod::Get,
                                  std::string_view custom = "") const {
    return matchRoute(candidates_, method, custom, path);
  }

private:
  std::deque<UrlTemplate> templates_;
  std::vector<RouteCandidate> candidates_;
};

struct PathCase {
  const char* templ;
  const char* path;
  bool matches;
  CapturedArguments captured;
};

TEST(RouteMatching, MatchesWholePathAndDecodesCaptures) {
  const PathCase cases[] = {
      {"/a/{id}", "/a/7", true, {{"id", "7"}}},
      {"/a/{id}", "/a/7/x", false, {}},
      {"/a/{+rest}", "/a/7/x", true, {{"rest", "7/x"}}},
      {"/a/{#frag}", "/a/#x/y", true, {{"frag", "x/y"}}},
      {"/a/{#frag}", "/a/x", false, {}},
      {"/a/{id}", "/a/a%2Fb+c", true, {{"id", "a/b c"}}},
      {"/a/{id}", "/a/x%4", true, {{"id", "x4"}}},
      {"/a/{id}", "/a/", true, {{"id", ""}}},
      {"/a/{id}", "/b/7", false, {}},
      // Matching is case-sensitive and never a search inside the path.
      {"/flags", "/flags", true, {}},
      {"/flags", "/Flags", false, {}},
      {"/flags", "/flags/", false, {}},
      {"/a/{id}", "x/a/7", false, {}},
      // The delivered path is compared whole, query included.
      {"/flags", "/flags?x=1", false, {}},
      {"/a/{id}", "/a/7?x=1", true, {{"id", "7?x=1"}}},
      // A later placeholder of the same name overwrites the earlier capture.
      {"/{id}/{id}", "/x/y", true, {{"id", "y"}}},
      // An unbraced "}" takes the first group's pairing and leaves the name unused.
      {"/a}/{id}", "/a/7", true, {{"", "7"}}},
      // An unclosed placeholder leaves an expression with no group at all.
      {"/a/{id", "/a/", true, {}},
  };
  for (const PathCase& c : cases) {
    Routes routes;
    routes.add(c.templ);
    const auto match = routes.match(c.path);
    ASSERT_EQ(match.has_value(), c.matches) << c.templ << " " << c.path;
    if (match) {
      EXPECT_EQ(match->index, 0u);
      EXPECT_EQ(match->captured, c.captured) << c.templ << " " << c.path;
    }
  }
}

TEST(RouteMatching, MethodMustFitUnlessTheFunctionTakesAny) {
  const struct {
    HttpMethod function;
    const char* functionCustom;
    HttpMethod call;
    const char* callCustom;
    bool fits;
  } cases[] = {
      {HttpMethod::Get, "", HttpMethod::Get, "", true},
      {HttpMethod::Get, "", HttpMethod::Put, "", false},
      {HttpMethod::Put, "", HttpMethod::Any, "", false},
      {HttpMethod::Any, "", HttpMethod::Delete, "", true},
      {HttpMethod::Any, "", HttpMethod::Custom, "PURGE", true},
      {HttpMethod::Custom, "PURGE", HttpMethod::Custom, "PURGE", true},
      {HttpMethod::Custom, "PURGE", HttpMethod::Custom, "purge", false},
      {HttpMethod::Custom, "PURGE", HttpMethod::Custom, "", false},
      {HttpMethod::Custom, "PURGE", HttpMethod::Post, "", false},
  };
  for (const auto& c : cases) {
    Routes routes;
    routes.add("/tav-banners/v1/current-sondar/flags/equipped", c.function, c.functionCustom);
    EXPECT_EQ(routes.match("/tav-banners/v1/current-sondar/flags/equipped", c.call, c.callCustom)
                  .has_value(),
              c.fits)
        << static_cast<uint32_t>(c.function) << " " << static_cast<uint32_t>(c.call) << " "
        << c.callCustom;
  }
}

TEST(RouteMatching, KeepsOnlyTheCapturesOfTheTakenCandidate) {
  Routes routes;
  routes.add("/{x}", HttpMethod::Get).add("/{y}", HttpMethod::Put);
  const auto match = routes.match("/v", HttpMethod::Put);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->index, 1u);
  EXPECT_EQ(match->captured, (CapturedArguments{{"y", "v"}}));
}

TEST(RouteMatching, ShorterTotalCaptureReplacesAndTiesKeepTheEarlier) {
  const struct {
    std::vector<const char*> templates;
    const char* path;
    size_t index;
  } cases[] = {
      // "bc" (2) beats "a/bc" (4) in either order.
      {{"/a/{x}", "/{+all}"}, "/a/bc", 0},
      {{"/{+all}", "/a/{x}"}, "/a/bc", 1},
      // Equal totals: the earlier stays.
      {{"/{a}/{b}", "/{c}/{d}"}, "/x/y", 0},
      {{"/{a}/{b}", "/x/{c}", "/{d}/y"}, "/x/y", 1},
      // Lengths are counted after decoding: "%41" is one byte, beating "zz".
      {{"/%41/{b}", "/{a}/zz"}, "/%41/zz", 1},
      // No captures at all: nothing can be shorter, the search ends there.
      {{"/{+all}", "/a/b", "/a/{x}"}, "/a/b", 1},
      {{"/a/b", "/{+all}"}, "/a/b", 0},
      // A candidate whose method does not fit never counts.
      {{"/nomatch", "/{+all}"}, "/a/b", 1},
  };
  for (const auto& c : cases) {
    Routes routes;
    for (const char* templ : c.templates) {
      routes.add(templ);
    }
    const auto match = routes.match(c.path);
    ASSERT_TRUE(match) << c.path;
    EXPECT_EQ(match->index, c.index) << c.templates.front() << " " << c.path;
  }
}

TEST(RouteMatching, NoCandidateOrNoFitGivesNoMatch) {
  EXPECT_FALSE(Routes().match("/a"));
  Routes routes;
  routes.add("/a/{id}", HttpMethod::Get);
  EXPECT_FALSE(routes.match("/a/7", HttpMethod::Put));
  EXPECT_FALSE(routes.match("/b/7", HttpMethod::Get));
}

} // namespace
} // namespace tav
