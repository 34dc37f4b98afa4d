// Incoming calls through the shared call entry: matching, binding, the function's answer and the
// response record, with every error path.
#include "plugin/call_entry.h"

#include "foundation/memory.h"
#include "plugin/response_record.h"
#include "support/capturing_log_target.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_call.h"
#include "tests/plugin/packed_field.h"
#include "tests/plugin/test_plugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

namespace tav {
namespace {

using test::HostCall;

// A registered TestPlugin, as the host sees it after load.
class TestPluginCalls : public ::testing::Test {
protected:
  TestPluginCalls() {
    std::memset(&handshake_, 0, sizeof handshake_);
    handshake_.major = 18;
    plugin_.registerWithHost(handshake_, test::kTestPluginShortName);
  }

  const host::HostFunctionRecord& function(std::string_view name) {
    return test::functionRecord(*plugin_.functionTable(), name);
  }

  host::HostHandshake handshake_;
  // Declared before the plugin, so a started plugin never outlives the host it logs to.
  test::FakeHost host_;
  test::TestPlugin plugin_;
};

TEST_F(TestPluginCalls, SuccessAnswersStatusZeroWithTheConvertedValue) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/items/a%2Fb?count=3");
  HostCall call(function("GetTavTestV1ItemsById"), request);
  EXPECT_FALSE(call.failed());
  EXPECT_EQ(call.status(), 0u);
  EXPECT_EQ(test::fieldValue(call.response().release), &releaseResponseRecord);
  const BindingProperty value = call.value();
  EXPECT_EQ(value.find("id").getString(), "a/b");
  EXPECT_EQ(value.find("count").getSigned(), 3);
  // Enumerators travel by name when the registry knows them.
  EXPECT_EQ(value.find("colour").getString(), "Red");
  EXPECT_EQ(test::fieldValue(call.response().text), sharedEmptyText());
  EXPECT_EQ(test::fieldValue(call.response().headers), nullptr);
  EXPECT_EQ(test::fieldValue(call.response().headerCount), 0u);
  EXPECT_EQ(test::fieldValue(call.response().streamRead), nullptr);
}

TEST_F(TestPluginCalls, OptionalArgumentLeftOutTakesTheFunctionsDefault) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/items/x");
  HostCall call(function("GetTavTestV1ItemsById"), request);
  EXPECT_EQ(call.status(), 0u);
  EXPECT_EQ(call.value().find("count").getSigned(), 1);
}

TEST_F(TestPluginCalls, BodyArgumentIsReadIntoTheNativeRecord) {
  TestRequest request(HttpMethod::Put, "/tav-test/v1/items/k");
  request.body("application/json", R"({"id": "ignored", "count": 5})");
  HostCall call(function("PutTavTestV1ItemsById"), request);
  EXPECT_FALSE(call.failed()) << call.error();
  EXPECT_EQ(call.value().find("id").getString(), "k");
  EXPECT_EQ(call.value().find("count").getSigned(), 5);
  EXPECT_EQ(call.value().find("colour").getString(), "Green");
}

struct ErrorCase {
  const char* what;
  HttpMethod method;
  const char* path;
  const char* function;
  const char* contentType; // null: no body
  const char* body;
  uint32_t status;
  const char* error;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.what;
}

class TestPluginErrors : public TestPluginCalls, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(TestPluginErrors, AnswerTheErrorTextWithItsStatus) {
  const ErrorCase& c = GetParam();
  TestRequest request(c.method, c.path);
  if (c.contentType != nullptr) {
    request.body(c.contentType, c.body);
  }
  HostCall call(function(c.function), request);
  EXPECT_EQ(call.error(), c.error);
  EXPECT_EQ(call.status(), c.status);
  EXPECT_EQ(test::fieldValue(call.response().errorOwned), 1);
  EXPECT_EQ(test::fieldValue(call.response().value.kind), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TestPluginErrors,
    ::testing::Values(
        ErrorCase{"path of another function", HttpMethod::Get, "/tav-test/v1/teapot",
                  "GetTavTestV1ItemsById", nullptr, nullptr, 404, "Invalid function"},
        ErrorCase{"method of another function", HttpMethod::Delete, "/tav-test/v1/items/7",
                  "GetTavTestV1ItemsById", nullptr, nullptr, 404, "Invalid function"},
        ErrorCase{"unknown query argument", HttpMethod::Get, "/tav-test/v1/items/7?colour=Red",
                  "GetTavTestV1ItemsById", nullptr, nullptr, 0,
                  "Unknown argument 'colour' for 'GetTavTestV1ItemsById'."},
        ErrorCase{"path argument given in the query", HttpMethod::Get, "/tav-test/v1/items/7?id=8",
                  "GetTavTestV1ItemsById", nullptr, nullptr, 0,
                  "Argument 'id' for 'GetTavTestV1ItemsById' was specified in an invalid "
                  "location."},
        ErrorCase{"argument text of the wrong type", HttpMethod::Get,
                  "/tav-test/v1/items/7?count=many", "GetTavTestV1ItemsById", nullptr, nullptr, 0,
                  "Value many for 'count' of type int32 is in an incorrect format"},
        ErrorCase{"body without a required field", HttpMethod::Put, "/tav-test/v1/items/7",
                  "PutTavTestV1ItemsById", "application/json", R"({"count": 1})", 0,
                  "Couldn't assign value to 'item' of type VmfBeTavTestItem because the input "
                  "structure doesn't have required field 'id'."},
        ErrorCase{"body of an unsupported content type", HttpMethod::Put, "/tav-test/v1/items/7",
                  "PutTavTestV1ItemsById", "text/plain", "id=1", 0,
                  "Unsupported body content type"},
        ErrorCase{"missing body", HttpMethod::Put, "/tav-test/v1/items/7", "PutTavTestV1ItemsById",
                  nullptr, nullptr, 0, "A value for 'item' is required."},
        ErrorCase{"NotFound without a message", HttpMethod::Get, "/tav-test/v1/missing",
                  "GetTavTestV1Missing", nullptr, nullptr, 404, "Not found"},
        ErrorCase{"ErrorResponse", HttpMethod::Get, "/tav-test/v1/stream?size=-1",
                  "GetTavTestV1Stream", nullptr, nullptr, 400, "size must not be negative"}));

TEST_F(TestPluginCalls, ErrorAnswerKeepsItsHeaderPairsInOrder) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/teapot");
  HostCall call(function("GetTavTestV1Teapot"), request);
  EXPECT_EQ(call.status(), 418u);
  EXPECT_EQ(call.error(), "I'm a teapot");
  ASSERT_EQ(test::fieldValue(call.response().headerCount), 1u);
  EXPECT_STREQ(call.response().headers[0].name, "X-Pot");
  EXPECT_STREQ(call.response().headers[0].value, "tea");
}

TEST_F(TestPluginCalls, FunctionWithoutAValueAnswersAnEmptyValue) {
  plugin_.start(host_.context(5));
  TestRequest request(HttpMethod::Post, "/tav-test/v1/events");
  request.body("application/json", R"({"n": 1})");
  HostCall call(function("PostTavTestV1Events"), request);
  EXPECT_FALSE(call.failed()) << call.error();
  EXPECT_EQ(call.status(), 0u);
  EXPECT_EQ(test::fieldValue(call.response().value.kind), 0u);
  const auto events = host_.events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "OnJsonApiEvent_tav-test_v1_items");
  EXPECT_EQ(events[1].name, "OnJsonApiEvent");
  EXPECT_EQ(events[0].payload.find("data").find("n").getUnsigned(), 1u);
}

TEST_F(TestPluginCalls, ExceptionsOfTheFunctionAnswerInternalServerError) {
  test::ScopedLogCapture quiet;
  for (const char* how : {"runtime", "bad_alloc"}) {
    TestRequest request(HttpMethod::Get, std::string("/tav-test/v1/fail/") + how);
    HostCall call(function("GetTavTestV1FailByHow"), request);
    EXPECT_EQ(call.error(), "Internal server error") << how;
    EXPECT_EQ(call.status(), 500u) << how;
    // A static text: memory may be what ran out.
    EXPECT_EQ(test::fieldValue(call.response().errorOwned), 0) << how;
    EXPECT_EQ(test::fieldValue(call.response().release), &releaseResponseRecord) << how;
  }
}

TEST_F(TestPluginCalls, RequestInfoCarriesCallerPathMethodHeadersAndReceiveTime) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/caller");
  request.header("User-Agent", "first").header("User-Agent", "second");
  const int64_t before = ticksSince1970();
  HostCall call(function("GetTavTestV1Caller"), request, 42);
  const int64_t after = ticksSince1970();
  const BindingProperty value = call.value();
  EXPECT_EQ(value.find("handle").getUnsigned(), 42u);
  EXPECT_EQ(value.find("method").getString(), "GET");
  EXPECT_EQ(value.find("path").getString(), "/tav-test/v1/caller");
  // A later pair of the same name replaces the earlier one.
  EXPECT_EQ(value.find("agent").getString(), "second");
  EXPECT_GE(value.find("receiveTime").getSigned(), before);
  EXPECT_LE(value.find("receiveTime").getSigned(), after);
}

TEST_F(TestPluginCalls, StreamAnswerIsMovedIntoTheRecordAndOutlivesItsRelease) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/stream?size=2500");
  HostCall call(function("GetTavTestV1Stream"), request);
  host::HostResponse& response = call.response();
  ASSERT_NE(test::fieldValue(response.stream), nullptr);
  EXPECT_EQ(test::fieldValue(response.streamSizeHint), 2500u);
  EXPECT_EQ(test::fieldValue(response.zero), 0u);
  ASSERT_NE(test::fieldValue(response.streamRead), nullptr);
  ASSERT_NE(test::fieldValue(response.streamRelease), nullptr);
  const auto read = response.streamRead;
  const auto releaseStream = response.streamRelease;
  void* const stream = response.stream;
  call.release();
  EXPECT_EQ(test::fieldValue(response.stream), nullptr);

  std::string text;
  uint8_t more = 1;
  char buffer[4096];
  while (more != 0) {
    uint32_t count = sizeof buffer;
    ASSERT_EQ(read(stream, buffer, &count, &more), 1);
    EXPECT_LE(count, 1000u);
    text.append(buffer, count);
  }
  releaseStream(stream);
  ASSERT_EQ(text.size(), 2500u);
  EXPECT_EQ(text.substr(0, 12), "012345678901");
}

// A record handed over with garbage in it is not read: the call entry zeroes it first.
TEST_F(TestPluginCalls, ResponseRecordIsResetBeforeItIsWritten) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/missing");
  host::HostRequest record = request.record();
  record.functionContext = function("GetTavTestV1Missing").description.context;
  host::HostResponse response;
  std::memset(&response, 0xCD, sizeof response);
  callEntry(&response, &record);
  EXPECT_EQ(test::fieldValue(response.headers), nullptr);
  EXPECT_EQ(test::fieldValue(response.streamRead), nullptr);
  EXPECT_EQ(test::fieldValue(response.stream), nullptr);
  EXPECT_EQ(test::fieldValue(response.contentFlag), 0);
  response.release(&response);
}

TEST_F(TestPluginCalls, NullPointersInTheRequestReadAsEmpty) {
  host::HostHeaderPair headers[] = {{nullptr, "v"}, {"User-Agent", nullptr}};
  TestRequest request(HttpMethod::Get, "/tav-test/v1/caller");
  host::HostRequest record = request.record();
  record.functionContext = function("GetTavTestV1Caller").description.context;
  record.headers = headers;
  record.headerCount = 2;
  record.args = nullptr;
  record.argCount = 5;
  record.contentType = nullptr;
  record.body = nullptr;
  record.bodyLength = 100;
  host::HostResponse response{};
  callEntry(&response, &record);
  EXPECT_EQ(test::fieldValue(response.error), nullptr);
  EXPECT_EQ(test::fieldValue(response.status), 0u);
  response.release(&response);

  record.path = nullptr;
  callEntry(&response, &record);
  EXPECT_STREQ(response.error, "Invalid function");
  EXPECT_EQ(test::fieldValue(response.status), 404u);
  response.release(&response);

  // A custom method without its name is a method that fits no function.
  record.path = "/tav-test/v1/caller";
  record.method = static_cast<uint32_t>(HttpMethod::Custom);
  record.customMethod = nullptr;
  callEntry(&response, &record);
  EXPECT_STREQ(response.error, "Invalid function");
  response.release(&response);
}

TEST(CallEntry, RequestWithoutAFunctionContextIsAnInvalidFunction) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/missing");
  host::HostResponse response{};
  callEntry(&response, &request.record());
  EXPECT_STREQ(response.error, "Invalid function");
  EXPECT_EQ(test::fieldValue(response.status), 404u);
  response.release(&response);
}

TEST(CallEntry, NullRequestIsAnInvalidFunction) {
  host::HostResponse response{};
  callEntry(&response, nullptr);
  EXPECT_STREQ(response.error, "Invalid function");
  EXPECT_EQ(test::fieldValue(response.status), 404u);
  response.release(&response);
}

TEST(CallEntry, NullResponseIsLeftAlone) {
  const memory::MemoryCounters before = memory::snapshot();
  TestRequest request(HttpMethod::Get, "/x");
  callEntry(nullptr, &request.record());
  EXPECT_EQ(memory::snapshot().totalAllocations, before.totalAllocations);
}

// Counts what the call entry asks of a handler.
struct HandlerCounts {
  int prepares = 0;
  int invokes = 0;
  int releases = 0;
};

class CountingHandler final : public RouteHandler {
public:
  CountingHandler(HandlerCounts& counts, bool throwOnInvoke)
      : counts_(counts), throwOnInvoke_(throwOnInvoke) {}
  void* prepare(CallResult&, std::span<BindingProperty>, uint32_t) override {
    ++counts_.prepares;
    return new int(7);
  }
  void invoke(CallResult& result, const RequestInfo*, void* token, uint32_t) override {
    ++counts_.invokes;
    if (throwOnInvoke_) {
      throw std::bad_alloc();
    }
    result.value = static_cast<int64_t>(*static_cast<int*>(token));
  }
  void release(void* token) noexcept override {
    ++counts_.releases;
    delete static_cast<int*>(token);
  }
  const void* target() const override { return this; }
  const StaticTypeId& requestInfoType() const override { return noPayloadTypeId(); }

private:
  HandlerCounts& counts_;
  bool throwOnInvoke_;
};

class CountingPlugin : public Plugin {
public:
  void onRegistered() override {
    routeTable()
        .registerRoute(typeRegistry(), HttpMethod::Get, "/count/{n}",
                       std::make_unique<CountingHandler>(counts, false))
        .argument("n", "", ArgumentLocation::Path, BindingTypeRef{BindingTypeCode::String});
    routeTable().registerRoute(typeRegistry(), HttpMethod::Get, "/throw",
                               std::make_unique<CountingHandler>(counts, true));
  }
  HandlerCounts counts;
};

struct ReleaseCase {
  const char* what;
  const char* function;
  const char* path;
  int prepares;
  int invokes;
  int releases;
};

void PrintTo(const ReleaseCase& c, std::ostream* os) {
  *os << c.what;
}

class ArgumentPackRelease : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(ArgumentPackRelease, HappensOnceForEveryPreparedPack) {
  const ReleaseCase& c = GetParam();
  host::HostHandshake handshake{};
  handshake.major = 18;
  CountingPlugin plugin;
  plugin.registerWithHost(handshake, "tav-count");
  TestRequest request(HttpMethod::Get, c.path);
  HostCall call(test::functionRecord(*plugin.functionTable(), c.function), request);
  EXPECT_EQ(plugin.counts.prepares, c.prepares);
  EXPECT_EQ(plugin.counts.invokes, c.invokes);
  EXPECT_EQ(plugin.counts.releases, c.releases);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ArgumentPackRelease,
    ::testing::Values(ReleaseCase{"success", "GetCountByN", "/count/1", 1, 1, 1},
                      ReleaseCase{"invoke throws", "GetThrow", "/throw", 1, 1, 1},
                      ReleaseCase{"binding error", "GetCountByN", "/count/1?x=2", 0, 0, 0},
                      ReleaseCase{"no match", "GetCountByN", "/other", 0, 0, 0}));

TEST_F(TestPluginCalls, ReleasingTwiceFreesNothingTheSecondTime) {
  TestRequest request(HttpMethod::Get, "/tav-test/v1/teapot");
  HostCall call(function("GetTavTestV1Teapot"), request);
  host::HostResponse& response = call.response();
  const auto release = response.release;
  release(&response);
  const host::HostResponse zero{};
  EXPECT_EQ(std::memcmp(&response, &zero, sizeof response), 0);
  // The record is all zero now: a second release finds nothing to free.
  release(&response);
  EXPECT_EQ(std::memcmp(&response, &zero, sizeof response), 0);
}

TEST_F(TestPluginCalls, TenThousandCallsLeaveNoMemoryBehind) {
  auto callAll = [&] {
    TestRequest get(HttpMethod::Get, "/tav-test/v1/items/a?count=3");
    get.header("User-Agent", "bench");
    HostCall first(function("GetTavTestV1ItemsById"), get);
    TestRequest put(HttpMethod::Put, "/tav-test/v1/items/b");
    put.body("application/json", R"({"id": "b", "count": 2})");
    HostCall second(function("PutTavTestV1ItemsById"), put);
    TestRequest teapot(HttpMethod::Get, "/tav-test/v1/teapot");
    HostCall third(function("GetTavTestV1Teapot"), teapot);
    TestRequest wrong(HttpMethod::Get, "/tav-test/v1/items/a?nope=1");
    HostCall fourth(function("GetTavTestV1ItemsById"), wrong);
  };
  // The first calls fill the lazily built tables and pools for good.
  for (int i = 0; i < 10; ++i) {
    callAll();
  }
  const uint64_t before = memory::snapshot().bytesInUse();
  for (int i = 0; i < 10'000; ++i) {
    callAll();
  }
  EXPECT_EQ(memory::snapshot().bytesInUse(), before);
}

} // namespace
} // namespace tav
