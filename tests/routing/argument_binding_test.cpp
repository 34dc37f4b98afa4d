// Argument binding: sources and their order, locations, index paths, empty texts, typed arguments
// and the body, all through a matched call.
#include "routing/argument_binding.h"

#include "routing/test_route.h"
#include "routing/typed_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav {
namespace {

using Code = BindingTypeCode;
using Location = ArgumentLocation;

// typedText of every bound value, or the error message.
std::string bound(const TestRoute& route, TestRequest& request) {
  BindingResult result;
  const std::vector<BindingProperty> values = route.bind(result, request);
  if (!result.ok()) {
    return "error: " + std::string(result.errorMessage());
  }
  std::string out;
  for (const BindingProperty& value : values) {
    out += (out.empty() ? "" : " ") + typedText(value);
  }
  return out;
}

std::string bound(const TestRoute& route, const char* path) {
  TestRequest request(HttpMethod::Get, path);
  return bound(route, request);
}

TEST(ArgumentBinding, QueryTexts) {
  const TestRoute route(HttpMethod::Get, "/items",
                        {{"name", Code::String},
                         {"verbose", Code::Bool},
                         {"filter", Code::Struct},
                         {"ids", Code::Vector},
                         {"quiet", Code::Bool, Location::Any, true}});
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      // A required bool starts as false; an optional one stays empty.
      {"/items", "~ false ~ ~ ~"},
      {"/items?name=a&name=b", "'b' false ~ ~ ~"},
      {"/items?verbose", "~ true ~ ~ ~"},
      {"/items?verbose=&quiet=", "~ true ~ ~ true"},
      {"/items?verbose=false", "~ 'false' ~ ~ ~"},
      {"/items?name=a%20b+c", "'a b c' false ~ ~ ~"},
      // Documents are sniffed for struct and vector arguments only.
      {"/items?filter=%7B%22a%22%3A1%7D", "~ false {a:u1} ~ ~"},
      {"/items?name=%7B%22a%22%3A1%7D", "'{\"a\":1}' false ~ ~ ~"},
      {"/items?ids=++---+%3A+1", "~ false ~ {---:u1} ~"},
      {"/items?ids=7", "~ false ~ '7' ~"},
      // Empty texts: an empty structure or collection.
      {"/items?filter=&ids", "~ false {} [] ~"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bound(route, c.path), c.expected) << c.path;
  }
}

TEST(ArgumentBinding, IndexPaths) {
  const TestRoute route(HttpMethod::Get, "/items", {{"filter", Code::Struct}});
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"/items?filter.items.0=x", "{items:['x']}"},
      {"/items?filter.items.0x1=y", "{items:[~,'y']}"},
      {"/items?filter.items.010=z", "{items:[~,~,~,~,~,~,~,~,'z']}"},
      {"/items?filter.a.b=1", "{a:{b:'1'}}"},
      // The last step is never sniffed and an empty text is an empty string.
      {"/items?filter.a=%5B1%5D", "{a:'[1]'}"},
      {"/items?filter.a=", "{a:''}"},
      {"/items?filter.0=x", "['x']"},
      {"/items?filter..a=x", "{:{a:'x'}}"},
      {"/items?filter.items.1z=x", "error: Index 1z is in an incorrect format"},
      {"/items?filter.items.08=x", "error: Index 08 is in an incorrect format"},
      {"/items?filter.items.0x=x", "error: Index 0x is in an incorrect format"},
      {"/items?filter.items.2147483648=x", "error: Index 2147483648 is out of range"},
      {"/items?filter.items.0x80000000=x", "error: Index 0x80000000 is out of range"},
      {"/items?filter.items.99999999999999999999999=x",
       "error: Index 99999999999999999999999 is out of range"},
      {"/items?filter.items.1z.2147483648=x", "error: Index 1z is in an incorrect format"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bound(route, c.path), c.expected) << c.path;
  }
}

TEST(ArgumentBinding, IndexPathGrowsAnArrayToAtMost65536Elements) {
  const TestRoute route(HttpMethod::Get, "/items", {{"filter", Code::Struct}});
  // Below 2^31, yet it would ask for gigabytes of empty elements.
  EXPECT_EQ(bound(route, "/items?filter.items.100000000=x"),
            "error: Index 100000000 is out of range");
  EXPECT_EQ(bound(route, "/items?filter.items.2147483647=x"),
            "error: Index 2147483647 is out of range");
  EXPECT_EQ(bound(route, "/items?filter.65536=x"), "error: Index 65536 is out of range");

  BindingResult result;
  TestRequest request(HttpMethod::Get, "/items?filter.65535=x");
  const std::vector<BindingProperty> values = route.bind(result, request);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  ASSERT_EQ(values[0].size(), 65536u);
  EXPECT_EQ(values[0].at(65535).getString(), "x");
}

TEST(ArgumentBinding, IndexPathMayAddressAnExistingLongArray) {
  // Only growth is capped: an element of an array that is already longer may be set.
  const TestRoute route(HttpMethod::Get, "/items", {{"filter", Code::Vector}});
  std::string list = "[0";
  for (int i = 1; i < 70000; ++i) {
    list += ",0";
  }
  list += "]";
  TestRequest request(HttpMethod::Get, "/items?filter.69999=x");
  request.header("filter", list.c_str()); // headers bind before the query
  BindingResult result;
  const std::vector<BindingProperty> values = route.bind(result, request);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  ASSERT_EQ(values[0].size(), 70000u);
  EXPECT_EQ(values[0].at(69999).getString(), "x");

  TestRequest beyond(HttpMethod::Get, "/items?filter.70000=x");
  beyond.header("filter", list.c_str());
  EXPECT_EQ(bound(route, beyond), "error: Index 70000 is out of range");
}

TEST(ArgumentBinding, UnknownArgumentsAndLocations) {
  const TestRoute route(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/{slot}",
                        {{"slot", Code::String, Location::Path},
                         {"id", Code::String, Location::Query},
                         {"flag", Code::Struct, Location::Body}});
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"/tav-banners/v1/current-sondar/flags/1?id=7", "'1' '7' ~"},
      {"/tav-banners/v1/current-sondar/flags/1?flag=%7B%7D",
       "error: Argument 'flag' for 'PutTavBannersV1CurrentSondarFlagsBySlot' was specified in an "
       "invalid location."},
      {"/tav-banners/v1/current-sondar/flags/1?flag.theme=x",
       "error: Argument 'flag' for 'PutTavBannersV1CurrentSondarFlagsBySlot' was specified in an "
       "invalid location."},
      {"/tav-banners/v1/current-sondar/flags/1?slot=2",
       "error: Argument 'slot' for 'PutTavBannersV1CurrentSondarFlagsBySlot' was specified in an "
       "invalid location."},
      {"/tav-banners/v1/current-sondar/flags/1?nope.a=1",
       "error: Unknown argument 'nope' for 'PutTavBannersV1CurrentSondarFlagsBySlot'."},
      // Argument names are case-sensitive.
      {"/tav-banners/v1/current-sondar/flags/1?ID=1",
       "error: Unknown argument 'ID' for 'PutTavBannersV1CurrentSondarFlagsBySlot'."},
  };
  for (const auto& c : cases) {
    TestRequest request(HttpMethod::Put, c.path);
    EXPECT_EQ(bound(route, request), c.expected) << c.path;
  }
}

TEST(ArgumentBinding, BodyArgumentNamedInTheQueryOfTheEquipRoute) {
  const TestRoute route(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped",
                        {{"flag", Code::Struct, Location::Body}});
  TestRequest request(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped?flag=x");
  EXPECT_EQ(bound(route, request),
            "error: Argument 'flag' for 'PutTavBannersV1CurrentSondarFlagsEquipped' was specified "
            "in an invalid location.");
}

TEST(ArgumentBinding, PathCaptureForAQueryArgumentIsInTheWrongLocation) {
  const TestRoute route(HttpMethod::Get, "/items/{id}", {{"id", Code::String, Location::Query}});
  EXPECT_EQ(bound(route, "/items/7"),
            "error: Argument 'id' for 'GetItemsById' was specified in an invalid location.");
  const TestRoute undeclared(HttpMethod::Get, "/things/{id}", {});
  EXPECT_EQ(bound(undeclared, "/things/7"), "error: Unknown argument 'id' for 'GetThingsById'.");
}

TEST(ArgumentBinding, EmptyTextNeedsAValueForOtherTypes) {
  const TestRoute route(HttpMethod::Get, "/items/{id}",
                        {{"id", Code::String}, {"count", Code::Int32}});
  EXPECT_EQ(bound(route, "/items/"), "error: Expected value for argument 'id'.");
  EXPECT_EQ(bound(route, "/items/7?count="), "error: Expected value for argument 'count'.");
}

TEST(ArgumentBinding, HeaderPairsByLowerCasedName) {
  const TestRoute route(HttpMethod::Get, "/items",
                        {{"userAgent", Code::String},
                         {"token", Code::String, Location::Header},
                         {"id", Code::String, Location::Query}});
  TestRequest request(HttpMethod::Get, "/items");
  request.header("useragent", "first")
      .header("token", "t")
      .header("id", "ignored: a query argument is never read from headers")
      .header("useragent", "second");
  EXPECT_EQ(bound(route, request), "'second' 't' ~");

  TestRequest exact(HttpMethod::Get, "/items");
  exact.header("userAgent", "not lower-cased, so not found");
  EXPECT_EQ(bound(route, exact), "~ ~ ~");

  // The query binds after the headers and wins.
  TestRequest both(HttpMethod::Get, "/items?userAgent=query");
  both.header("useragent", "header");
  EXPECT_EQ(bound(route, both), "'query' ~ ~");

  // A header-only argument given in the query is refused.
  EXPECT_EQ(bound(route, "/items?token=x"),
            "error: Argument 'token' for 'GetItems' was specified in an invalid location.");
}

TEST(ArgumentBinding, TypedArgumentsContinueAfterPathArguments) {
  const TestRoute route(HttpMethod::Get, "/items/{id}",
                        {{"id", Code::String}, {"count", Code::Int32}});
  TestRequest one(HttpMethod::Get, "/items/7");
  one.typed(nullptr, hostSigned(5));
  EXPECT_EQ(bound(route, one), "'7' i5");

  TestRequest two(HttpMethod::Get, "/items/7");
  two.typed(nullptr, hostSigned(5)).typed(nullptr, hostSigned(6));
  EXPECT_EQ(bound(route, two), "error: Unknown argument '2' for 'GetItemsById'.");

  TestRequest named(HttpMethod::Get, "/items/7");
  named.typed("id", hostText("typed")).typed("count", hostSigned(-1));
  EXPECT_EQ(bound(route, named), "'typed' i-1");

  TestRequest unknown(HttpMethod::Get, "/items/7");
  unknown.typed("Count", hostSigned(1));
  EXPECT_EQ(bound(route, unknown), "error: Unknown argument 'Count' for 'GetItemsById'.");
}

TEST(ArgumentBinding, TypedArgumentConversionFailure) {
  const TestRoute route(HttpMethod::Get, "/items", {{"count", Code::Int32}});
  host::HostValue odd{};
  odd.kind = 42;
  TestRequest request(HttpMethod::Get, "/items");
  request.typed("count", odd);
  EXPECT_EQ(bound(route, request),
            "error: Couldn't assign value to 'count' of type object because the input is of an "
            "incompatible type ''.");
}

TEST(ArgumentBinding, StopsAtFirstErrorButStillBindsTheBody) {
  const TestRoute route(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped",
                        {{"id", Code::String}, {"flag", Code::Struct, Location::Body}});
  TestRequest failingBody(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped?nope=1");
  failingBody.body("application/json", "{\"theme\":");
  EXPECT_EQ(bound(route, failingBody), "error: Error: Invalid value. at offset 9.");

  // The typed argument after the error is not bound; the body value is stored, the error stays.
  TestRequest goodBody(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped?nope=1");
  goodBody.typed("id", hostText("x")).body("application/json", "{\"theme\":\"gold\"}");
  BindingResult result;
  const std::vector<BindingProperty> values = route.bind(result, goodBody);
  EXPECT_EQ(result.errorMessage(),
            "Unknown argument 'nope' for 'PutTavBannersV1CurrentSondarFlagsEquipped'.");
  EXPECT_TRUE(values[0].isEmpty());
  EXPECT_EQ(typedText(values[1]), "{theme:'gold'}");
}

TEST(ArgumentBinding, BodyForAFunctionWithoutBodyArgumentIsIgnored) {
  const TestRoute route(HttpMethod::Get, "/items", {{"id", Code::String}});
  TestRequest request(HttpMethod::Get, "/items?id=1");
  request.body("text/plain", "whatever");
  EXPECT_EQ(bound(route, request), "'1'");
}

TEST(ArgumentBinding, NullPointersInTheRequestReadAsEmpty) {
  const TestRoute route(HttpMethod::Put, "/items",
                        {{"id", Code::String}, {"flag", Code::Struct, Location::Body}});
  host::HostRequest request{};
  request.method = static_cast<uint32_t>(HttpMethod::Put);
  request.path = "/items";
  request.headerCount = 3;
  request.argCount = 2;
  request.bodyLength = 10;
  const RequestArguments arguments = requestArgumentsFromRequest(request);
  EXPECT_TRUE(arguments.headers.empty());
  EXPECT_TRUE(arguments.typedArguments.empty());
  EXPECT_EQ(arguments.body.data, nullptr);
  EXPECT_EQ(arguments.body.length, 0u);

  // Null texts inside header pairs, and a body without a content type.
  const host::HostHeaderPair pairs[] = {{nullptr, "x"}, {"id", nullptr}};
  const uint8_t bytes[] = {'{', '}'};
  request.headers = pairs;
  request.headerCount = 2;
  request.body = bytes;
  request.bodyLength = 2;
  CallContext call = callContextFromRequest(request);
  const RoutePattern patterns[] = {RoutePattern::fromRecord(route.record())};
  ASSERT_TRUE(matchCall(call, patterns));
  BindingResult result;
  const std::vector<BindingProperty> values =
      bindArguments(result, call, requestArgumentsFromRequest(request));
  EXPECT_EQ(result.errorMessage(), "Unsupported body content type");
}

TEST(ArgumentBinding, NullHeaderValueIsAnEmptyText) {
  const TestRoute route(HttpMethod::Get, "/items", {{"verbose", Code::Bool}});
  TestRequest request(HttpMethod::Get, "/items");
  request.header("verbose", nullptr);
  EXPECT_EQ(bound(route, request), "true");
}

TEST(ArgumentBinding, UnmatchedCallBindsNothing) {
  const TestRoute route(HttpMethod::Get, "/items", {{"id", Code::String}});
  TestRequest request(HttpMethod::Put, "/items?id=1");
  EXPECT_EQ(bound(route, request), "error: Invalid function");
  BindingResult result;
  EXPECT_TRUE(bindArguments(result, CallContext{}, RequestArguments{}).empty());
}

} // namespace
} // namespace tav
