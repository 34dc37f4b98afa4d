// Typed route handlers: the shapes of plugin functions they wrap, the request info they ask for,
// and how arguments and answers are converted.
#include "plugin/typed_route_handler.h"

#include "plugin/plugin.h"
#include "tests/plugin/host_call.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tav {
namespace {

// Registered under no type name, so answers of it cannot be converted.
struct Unregistered {
  int32_t x = 0;
};

class ShapesPlugin : public Plugin {
public:
  void onRegistered() override {
    route(HttpMethod::Get, "/lambda/{n}",
          [](ShapesPlugin& self, int32_t n) -> HandlerResponse<int32_t> { return n * self.factor; })
        .argument("n", "", ArgumentLocation::Path);
    route(HttpMethod::Get, "/pointer", &ShapesPlugin::pointerInfo);
    route(HttpMethod::Get, "/free", &freeFunction);
    route(HttpMethod::Get, "/unregistered", &ShapesPlugin::unregistered);
    route(HttpMethod::Get, "/pair", &ShapesPlugin::pair)
        .argument("a", "", ArgumentLocation::Query)
        .argument("b", "", ArgumentLocation::Query);
  }

  HandlerResponse<std::string> pointerInfo(const RequestInfo* info) {
    return info != nullptr ? info->path : std::string("no info");
  }
  static HandlerResponse<bool> freeFunction(ShapesPlugin& self) { return self.factor == 3; }
  HandlerResponse<Unregistered> unregistered() {
    HandlerResponse<Unregistered> response{Unregistered{}};
    response.status = 202;
    return response;
  }
  HandlerResponse<std::string> pair(const std::string& a, uint32_t b) {
    return a + std::to_string(b);
  }

  int factor = 3;
};

class ShapesCalls : public ::testing::Test {
protected:
  ShapesCalls() {
    std::memset(&handshake_, 0, sizeof handshake_);
    handshake_.major = 18;
    plugin_.registerWithHost(handshake_, "tav-shapes");
  }
  const host::HostFunctionRecord& function(std::string_view name) {
    return test::functionRecord(*plugin_.functionTable(), name);
  }
  const RouteHandler& handler(std::string_view name) {
    const auto* target = static_cast<const CallTarget*>(function(name).description.context);
    return dynamic_cast<const RouteHandler&>(*target->record->handler());
  }

  host::HostHandshake handshake_;
  ShapesPlugin plugin_;
};

TEST_F(ShapesCalls, LambdaReceivesThePluginAndItsArgument) {
  TestRequest request(HttpMethod::Get, "/lambda/14");
  test::HostCall call(function("GetLambdaByN"), request);
  EXPECT_EQ(call.status(), 0u);
  EXPECT_EQ(call.value().getSigned(), 42);
}

TEST_F(ShapesCalls, FreeFunctionReceivesThePlugin) {
  TestRequest request(HttpMethod::Get, "/free");
  test::HostCall call(function("GetFree"), request);
  EXPECT_TRUE(call.value().getBool());
}

TEST_F(ShapesCalls, PointerFormOfTheRequestInfoIsFilledByTheCallEntry) {
  TestRequest request(HttpMethod::Get, "/pointer");
  test::HostCall call(function("GetPointer"), request);
  EXPECT_EQ(call.value().getString(), "/pointer");
}

TEST_F(ShapesCalls, RequestInfoTypeIsOneOfItsTwoPinnedIdsOrThePlaceholder) {
  EXPECT_EQ(handler("GetPointer").requestInfoType().id, 0x89462EBFu);
  EXPECT_STREQ(handler("GetPointer").requestInfoType().text, "#89462EBF");
  EXPECT_EQ(&handler("GetLambdaByN").requestInfoType(), &noPayloadTypeId());
  EXPECT_EQ(typeId<RequestInfo>().id, 0x466F9860u);
  EXPECT_STREQ(typeId<RequestInfo>().text, "#466F9860");
  EXPECT_TRUE(isRequestInfoType(typeId<RequestInfo>()));
  EXPECT_FALSE(isRequestInfoType(noPayloadTypeId()));
}

TEST_F(ShapesCalls, AnswerThatCannotBeConvertedBecomesTheErrorWithTheFunctionsStatus) {
  TestRequest request(HttpMethod::Get, "/unregistered");
  test::HostCall call(function("GetUnregistered"), request);
  EXPECT_EQ(call.error(), "Couldn't convert native value because it's an unregistered structure.");
  EXPECT_EQ(call.status(), 202u);
}

TEST_F(ShapesCalls, ArgumentsAreConvertedInOrderUnderTheirNames) {
  TestRequest good(HttpMethod::Get, "/pair?a=x&b=7");
  test::HostCall first(function("GetPair"), good);
  EXPECT_EQ(first.value().getString(), "x7");

  TestRequest bad(HttpMethod::Get, "/pair?a=x&b=-1");
  test::HostCall second(function("GetPair"), bad);
  EXPECT_EQ(second.error(), "Value -1 for 'b' of type uint32 is out of range");

  TestRequest missing(HttpMethod::Get, "/pair?b=1");
  test::HostCall third(function("GetPair"), missing);
  EXPECT_EQ(third.error(), "A value for 'a' is required.");
}

TEST(TypedRouteHandler, PrepareWithFewerValuesThanArgumentsReadsTheRestAsEmpty) {
  BindingTypeRegistry registry;
  BindingFunctionDescriptor* function = registry.registerFunction("F", 0);
  ShapesPlugin plugin;
  auto fn = &ShapesPlugin::pair;
  TypedRouteHandler<decltype(fn)> handler(plugin, registry, fn);
  TypedRouteHandler<decltype(fn)>::describe(*function, registry);
  function->setArgumentName(0, "a");
  function->setArgumentName(1, "b");
  handler.setFunction(function);

  CallResult result;
  BindingProperty values[1];
  values[0] = "text";
  void* token = handler.prepare(result, values, 0);
  EXPECT_EQ(result.value.errorMessage(), "A value for 'b' is required.");
  handler.release(token);
}

} // namespace
} // namespace tav
