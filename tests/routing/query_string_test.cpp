// Query parameters read from a request path.
#include "routing/query_string.h"

#include <gtest/gtest.h>

namespace tav {
namespace {

TEST(QueryString, SplitsDecodesAndKeepsTheLastDuplicate) {
  const struct {
    const char* path;
    QueryParameters expected;
  } cases[] = {
      {"/a?a=1&a=2", {{"a", "2"}}},
      {"/a?flag", {{"flag", ""}}},
      {"/a?flag=", {{"flag", ""}}},
      {"/a?x=1&flag&y=2", {{"x", "1"}, {"flag", ""}, {"y", "2"}}},
      // Only the first "=" splits; only the first "?" starts the query.
      {"/a?k=v=w", {{"k", "v=w"}}},
      {"/a?k=what?", {{"k", "what?"}}},
      {"/a?b%20c=d+e%2F", {{"b c", "d e/"}}},
      {"/a?filter.items.0=x", {{"filter.items.0", "x"}}},
      {"/a", {}},
      {"/a?", {}},
      // Empty pieces never become a parameter with an empty name.
      {"/a?&&x=1&", {{"x", "1"}}},
      {"/a?=v", {{"", "v"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseQueryString(c.path), c.expected) << c.path;
  }
}

} // namespace
} // namespace tav
