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

TEST(ArgumentBinding, IndexPathsOfOneCallAddAtMostAMillionElements) {
  // Each parameter adds one outer and 65,536 inner elements: 15 fit within 16 * 65,536, 16 not.
  const TestRoute route(HttpMethod::Get, "/items", {{"filter", Code::Vector}});
  const auto query = [](int count) {
    std::string path = "/items?";
    for (int i = 0; i < count; ++i) {
      path += "filter." + std::to_string(i) + ".65535=x&";
    }
    return path;
  };
  BindingResult result;
  TestRequest fits(HttpMethod::Get, query(15));
  const std::vector<BindingProperty> values = route.bind(result, fits);
  ASSERT_TRUE(result.ok()) << result.errorMessage();
  EXPECT_EQ(values[0].size(), 15u);

  EXPECT_EQ(bound(route, query(16).c_str()), "error: Index 65535 is out of range");
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
  const TestRoute route(
      HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped",
      {{"flag", Code::Struct, Location::Body}, {"id", Code::String, Location::Query}});
  const struct {
    const char* query;
    const char* expected;
  } cases[] = {
      {"?id=7", "~ '7'"},
      {"?flag=x", "error: Argument 'flag' for 'PutTavBannersV1CurrentSondarFlagsEquipped' was "
                  "specified in an invalid location."},
      {"?flag.theme=x", "error: Argument 'flag' for 'PutTavBannersV1CurrentSondarFlagsEquipped' "
                        "was specified in an invalid location."},
      {"?nope.a=1",
       "error: Unknown argument 'nope' for 'PutTavBannersV1CurrentSondarFlagsEquipped'."},
      // Argument names are case-sensitive.
      {"?ID=1", "error: Unknown argument 'ID' for 'PutTavBannersV1CurrentSondarFlagsEquipped'."},
  };
  for (const auto& c : cases) {
    TestRequest request(HttpMethod::Put,
                        std::string("/tav-banners/v1/current-sondar/flags/equipped") + c.query);
    EXPECT_EQ(bound(route, request), c.expected) << c.query;
  }
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

TEST(ArgumentBinding, BodyBindsLastIntoTheFirstBodyArgument) {
  const TestRoute route(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped",
                        {{"id", Code::String},
                         {"flag", Code::Struct, Location::Body},
                         {"spare", Code::Struct, Location::Body}});
  const char* path = "/tav-banners/v1/current-sondar/flags/equipped?nope=1";
  TestRequest failingBody(HttpMethod::Put, path);
  failingBody.body("application/json", "{\"theme\":");
  EXPECT_EQ(bound(route, failingBody), "error: Error: Invalid value. at offset 9.");

  // After the query's error the typed argument is not bound, yet the body is, and the error stays.
  TestRequest goodBody(HttpMethod::Put, path);
  goodBody.typed("id", hostText("x")).body("application/json", "{\"theme\":\"gold\"}");
  BindingResult result;
  const std::vector<BindingProperty> values = route.bind(result, goodBody);
  EXPECT_EQ(result.errorMessage(),
            "Unknown argument 'nope' for 'PutTavBannersV1CurrentSondarFlagsEquipped'.");
  EXPECT_EQ(typedText(values[0]) + " " + typedText(values[1]) + " " + typedText(values[2]),
            "~ {theme:'gold'} ~");

  // A function without a body argument ignores the body, whatever its type.
  const TestRoute get(HttpMethod::Get, "/items", {{"id", Code::String}});
  TestRequest ignored(HttpMethod::Get, "/items?id=1");
  ignored.body("text/plain", "whatever");
  EXPECT_EQ(bound(get, ignored), "'1'");
}

TEST(ArgumentBinding, NullPointersInTheRequestReadAsEmpty) {
  const TestRoute route(HttpMethod::Put, "/items",
                        {{"verbose", Code::Bool}, {"flag", Code::Struct, Location::Body}});
  // Arrays that are null while their counts are not.
  host::HostRequest request{};
  request.headerCount = 3;
  request.argCount = 2;
  request.bodyLength = 10;
  const RequestArguments none = requestArgumentsFromRequest(request);
  EXPECT_TRUE(none.headers.empty());
  EXPECT_TRUE(none.typedArguments.empty());
  EXPECT_EQ(none.body.data, nullptr);

  // Null texts inside header pairs, and a body without a content type.
  const host::HostHeaderPair pairs[] = {{nullptr, "x"}, {"verbose", nullptr}};
  const uint8_t bytes[] = {'{', '}'};
  request.method = static_cast<uint32_t>(HttpMethod::Put);
  request.path = "/items";
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
  EXPECT_EQ(typedText(values[0]), "true") << "a null header value is an empty text";
}

} // namespace
} // namespace tav
