// Method names and the reading of method codes received from the host.
#include "routing/http_method.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

TEST(HttpMethod, NamesEveryCodeAndLeavesTheRestEmpty) {
  const struct {
    uint32_t code;
    const char* name;
  } cases[] = {
      {0, ""},      {1, "DELETE"}, {2, "GET"}, {3, "HEAD"}, {4, "OPTIONS"},
      {5, "PATCH"}, {6, "POST"},   {7, "PUT"}, {8, ""},     {9, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::string(httpMethodName(static_cast<HttpMethod>(c.code))), c.name) << c.code;
  }
}

TEST(HttpMethod, HostCodesOutsideOneToEightBecomeAny) {
  const struct {
    uint32_t code;
    HttpMethod method;
  } cases[] = {
      {0, HttpMethod::Any},           {1, HttpMethod::Delete}, {7, HttpMethod::Put},
      {8, HttpMethod::Custom},        {9, HttpMethod::Any},    {0x80000002u, HttpMethod::Any},
      {0xFFFFFFFFu, HttpMethod::Any},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(httpMethodFromCode(c.code), c.method) << c.code;
  }
}

} // namespace
} // namespace tav
