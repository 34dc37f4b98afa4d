// matchCall over route records: path and method checks, call contexts from host requests.
#include "routing/call_matching.h"

#include "binding/binding_type_registry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tav {
namespace {

host::HostRequest requestOf(uint32_t method, const char* path, const char* custom = nullptr) {
  host::HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = method;
  request.path = path;
  request.customMethod = custom;
  return request;
}

class CallMatching : public testing::Test {
protected:
  RouteRecord& add(HttpMethod method, const char* templ) {
    return table_.registerRoute(registry_, method, templ, nullptr).record();
  }

  bool match(const RouteRecord& record, uint32_t method, const char* path,
             const char* custom = nullptr) {
    call_ = callContextFromRequest(requestOf(method, path, custom));
    const RoutePattern patterns[] = {RoutePattern::fromRecord(record)};
    return matchCall(call_, patterns);
  }

  BindingTypeRegistry registry_;
  RouteTable table_;
  CallContext call_;
};

TEST_F(CallMatching, MethodMismatchIsAnInvalidFunction) {
  const RouteRecord& put = add(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped");
  ASSERT_TRUE(match(put, 7, "/tav-banners/v1/current-sondar/flags/equipped"));
  EXPECT_EQ(call_.function->name, "PutTavBannersV1CurrentSondarFlagsEquipped");
  EXPECT_EQ(call_.record, &put);

  EXPECT_FALSE(match(put, 2, "/tav-banners/v1/current-sondar/flags/equipped"));
  EXPECT_EQ(call_.function, nullptr);
  EXPECT_EQ(call_.record, nullptr);
  EXPECT_STREQ(kInvalidFunctionMessage, "Invalid function");
  EXPECT_EQ(kInvalidFunctionStatus, 404u);
}

TEST_F(CallMatching, QueryIsNotPartOfThePath) {
  const RouteRecord& literal = add(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags/");
  EXPECT_TRUE(match(literal, 2, "/tav-banners/v1/current-sondar/flags?x=1"));
  EXPECT_EQ(call_.path, "/tav-banners/v1/current-sondar/flags?x=1");
  EXPECT_FALSE(match(literal, 2, "/tav-banners/v1/current-sondar/flags/?x=1"));

  const RouteRecord& items = add(HttpMethod::Get, "/items/{id}");
  ASSERT_TRUE(match(items, 2, "/items/a%2Fb+c?id=8"));
  EXPECT_EQ(call_.captured, (CapturedArguments{{"id", "a/b c"}}));
}

TEST_F(CallMatching, MethodRules) {
  const struct {
    HttpMethod function;
    const char* functionCustom;
    uint32_t call;
    const char* custom;
    bool matches;
  } cases[] = {
      {HttpMethod::Any, "", 2, nullptr, true},
      {HttpMethod::Any, "", 99, nullptr, true},
      {HttpMethod::Get, "", 6, nullptr, false},
      // Codes outside 1..8 are read as Any, which a GET function does not accept.
      {HttpMethod::Get, "", 99, nullptr, false},
      {HttpMethod::Custom, "PURGE", 8, "PURGE", true},
      {HttpMethod::Custom, "PURGE", 8, "purge", false},
      {HttpMethod::Custom, "PURGE", 8, nullptr, false},
      // The custom name of a call is read only with the Custom code.
      {HttpMethod::Custom, "PURGE", 2, "PURGE", false},
  };
  for (const auto& c : cases) {
    RouteRecord& record = add(HttpMethod::Get, "/x");
    record.setMethod(c.function, c.functionCustom);
    EXPECT_EQ(match(record, c.call, "/x", c.custom), c.matches)
        << static_cast<int>(c.function) << " " << c.call << " " << (c.custom ? c.custom : "");
  }
}

TEST_F(CallMatching, ContextReadsNullTextsAsEmpty) {
  const CallContext custom = callContextFromRequest(requestOf(8, nullptr, "PURGE"));
  EXPECT_EQ(custom.method, HttpMethod::Custom);
  EXPECT_EQ(custom.customMethod, "PURGE");
  EXPECT_EQ(custom.path, "");
  EXPECT_EQ(callContextFromRequest(requestOf(8, "/x", nullptr)).customMethod, "");
}

TEST_F(CallMatching, PatternKeepsItsTemplateWhenTheRouteIsRegisteredAgain) {
  RouteRecord& record = add(HttpMethod::Get, "/items/{id}");
  const RoutePattern pattern = RoutePattern::fromRecord(record);
  table_.registerRoute(registry_, HttpMethod::Get, "/items/{id}/", nullptr);
  record.setTemplate("/things/{id}");

  CallContext call = callContextFromRequest(requestOf(2, "/items/7"));
  ASSERT_TRUE(matchCall(call, std::span(&pattern, 1)));
  EXPECT_EQ(call.captured.at("id"), "7");
}

} // namespace
} // namespace tav
