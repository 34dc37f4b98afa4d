// libtav_test_plugin.so through the host: the host's own paths (record choice with placeholders,
// streams, error answers, sent events) against a real framework plugin. The routes' own rules are
// tested with the plugin runtime.
#include "host/testing/built_plugin.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::BuiltPluginTest;
using testhost::json;
using testhost::kTestPluginLibrary;
using testhost::resourceEvent;
using testhost::sameValue;

class TestPluginLibraryTest : public BuiltPluginTest {
protected:
  TestPluginLibraryTest() : BuiltPluginTest(kTestPluginLibrary) {}

  void SetUp() override {
    BuiltPluginTest::SetUp();
    if (!IsSkipped() && !HasFatalFailure()) {
      ASSERT_TRUE(host().start());
    }
  }
};

TEST_F(TestPluginLibraryTest, FindsTheRecordOfALiteralPathByName) {
  const CallResult result = host().call("GET", "/tav-test/v1/items");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.functionName, "GetTavTestV1Items");
  EXPECT_EQ(result.attempts, 1u);
  EXPECT_EQ(result.value.items().size(), 2u);
  EXPECT_TRUE(result.released);
}

TEST_F(TestPluginLibraryTest, FindsTheRecordOfAPlaceholderPathByTryingEachRecord) {
  const CallResult result = host().call("GET", "/tav-test/v1/items/7?count=3");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.functionName, "GetTavTestV1ItemsById");
  // Tried in table order: every record before the one that took the path said "Invalid function".
  size_t index = 0;
  while (index < host().description().functions.size() &&
         host().description().functions[index].name != "GetTavTestV1ItemsById") {
    ++index;
  }
  EXPECT_EQ(result.attempts, index + 1);
  EXPECT_EQ(*result.value.find("id"), ValueTree("7"));
}

TEST_F(TestPluginLibraryTest, AnswersInvalidFunctionWhenNoRecordTakesThePath) {
  const CallResult result = host().call("GET", "/tav-test/v1/nothing");
  EXPECT_EQ(result.error, "Invalid function");
  EXPECT_EQ(result.status, 404u);
  EXPECT_EQ(result.attempts, host().description().functions.size());
}

TEST_F(TestPluginLibraryTest, CopiesAnErrorAnswerWithItsStatusAndHeaders) {
  const CallResult result = host().call("GET", "/tav-test/v1/teapot");
  EXPECT_EQ(result.error, "I'm a teapot");
  EXPECT_EQ(result.status, 418u);
  EXPECT_TRUE(result.errorOwned);
  EXPECT_EQ(result.headers, (std::vector<HeaderPair>{{"X-Pot", "tea"}}));
}

TEST_F(TestPluginLibraryTest, ReadsAStreamAnswerToItsEndAndReleasesIt) {
  const CallResult result = host().call("GET", "/tav-test/v1/stream?size=2500");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_TRUE(result.streamed);
  EXPECT_EQ(result.streamSizeHint, 2500u);
  EXPECT_EQ(result.streamText().size(), 2500u);
  EXPECT_EQ(result.streamText().substr(0, 12), "012345678901");
  EXPECT_FALSE(result.streamError);
  EXPECT_TRUE(result.streamReleased);
}

TEST_F(TestPluginLibraryTest, SentEventReachesTheHostUnderItsGenericName) {
  CallRequest request;
  request.method = "POST";
  request.path = "/tav-test/v1/events";
  request.contentType = "application/json";
  request.body = R"({"n":1})";
  const CallResult result = host().call(request);
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_EQ(result.status, 0u);

  bool generic = false;
  for (const SentEvent& event : host().events().sentEvents()) {
    if (event.name == "OnJsonApiEvent") {
      generic = true;
      EXPECT_TRUE(sameValue(event.payload,
                            resourceEvent("/tav-test/v1/items", "Update", json(R"({"n":1})"))));
      EXPECT_EQ(event.senderWord, 0u);
    }
  }
  EXPECT_TRUE(generic);
}

// ---- incoming calls that fail ----

struct FailingCall {
  const char* name;
  const char* method;
  const char* path;
  const char* body; // sent as JSON when not null
  uint32_t status;
  const char* error;
};

void PrintTo(const FailingCall& c, std::ostream* os) {
  *os << c.name;
}

class TestPluginFailingCall : public TestPluginLibraryTest,
                              public ::testing::WithParamInterface<FailingCall> {};

TEST_P(TestPluginFailingCall, AnswersTheErrorWithItsStatusAndReleasesTheResponse) {
  const FailingCall& c = GetParam();
  CallRequest request;
  request.method = c.method;
  request.path = c.path;
  if (c.body != nullptr) {
    request.contentType = "application/json";
    request.body = c.body;
  }
  const CallResult result = host().call(request);
  ASSERT_TRUE(result.error.has_value()) << "answered a value for " << c.path;
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(*result.error, c.error);
  EXPECT_TRUE(result.value.isEmpty());
  EXPECT_TRUE(result.released);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorPaths, TestPluginFailingCall,
    ::testing::Values(
        FailingCall{"NotFoundWithoutText", "GET", "/tav-test/v1/missing", nullptr, 404,
                    "Not found"},
        FailingCall{"HandlerSaysBadRequest", "GET", "/tav-test/v1/stream?size=-1", nullptr, 400,
                    "size must not be negative"},
        FailingCall{"HandlerThrows", "GET", "/tav-test/v1/fail/now", nullptr, 500,
                    "Internal server error"},
        FailingCall{"HandlerRunsOutOfMemory", "GET", "/tav-test/v1/fail/bad_alloc", nullptr, 500,
                    "Internal server error"},
        // A failure before the handler runs sets no status.
        FailingCall{"QueryArgumentOfTheWrongKind", "GET", "/tav-test/v1/items/7?count=many",
                    nullptr, 0, "Value many for 'count' of type int32 is in an incorrect format"},
        FailingCall{"BodyThatIsNotJson", "PUT", "/tav-test/v1/items/7", "{\"id\":", 0,
                    "Error: Invalid value. at offset 6."},
        FailingCall{"BodyWithoutItsRequiredField", "PUT", "/tav-test/v1/items/7", R"({"count":2})",
                    0,
                    "Couldn't assign value to 'item' of type VmfBeTavTestItem because "
                    "the input structure doesn't have required field 'id'."}),
    [](const ::testing::TestParamInfo<FailingCall>& info) { return info.param.name; });

// ---- outgoing requests ----

class TestPluginRelayTest : public TestPluginLibraryTest {
protected:
  CallResult relay(const std::string& url) {
    return host().call("GET", "/tav-test/v1/relay?url=" + url);
  }
};

TEST_F(TestPluginRelayTest, AnswersThePeersValueAndSendsTheRequestAsGiven) {
  host().addPeer("GET", "/tav-peer/v1/thing",
                 [](const SeenRequest&) { return PeerAnswer::value(json(R"({"a":[1,"b"]})")); });
  const CallResult result = relay("/tav-peer/v1/thing");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_TRUE(sameValue(result.value, json(R"({"a":[1,"b"]})")));
  const std::vector<SeenRequest> seen = host().requestsTo("/tav-peer/v1/thing");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].callerHandle, host().pluginHandle());
}

TEST_F(TestPluginRelayTest, NamesMethodAndUrlInEachFailureMessage) {
  host().addPeer("GET", "/tav-peer/v1/gone",
                 [](const SeenRequest&) { return PeerAnswer::error(410, "It went away"); });
  host().addPeer("GET", "/tav-peer/v1/cut",
                 [](const SeenRequest&) { return PeerAnswer::failingStream({R"({"a":)"}); });
  host().addPeer("GET", "/tav-peer/v1/garbled",
                 [](const SeenRequest&) { return PeerAnswer::stream({R"({"a":})"}); });

  const CallResult gone = relay("/tav-peer/v1/gone");
  EXPECT_EQ(gone.status, 410u);
  EXPECT_EQ(gone.error, "Error response for GET /tav-peer/v1/gone: It went away");

  const CallResult nobody = relay("/tav-peer/v1/nobody");
  EXPECT_EQ(nobody.status, 404u);
  EXPECT_EQ(nobody.error,
            std::string("Error response for GET /tav-peer/v1/nobody: ") + kNoPeerMessage);

  const CallResult cut = relay("/tav-peer/v1/cut");
  ASSERT_TRUE(cut.error.has_value());
  EXPECT_EQ(*cut.error,
            "Error reading streamed response for GET /tav-peer/v1/cut: Stream read error");

  const CallResult garbled = relay("/tav-peer/v1/garbled");
  ASSERT_TRUE(garbled.error.has_value());
  // A stream's text that is not JSON counts as a failed read, not as a failed conversion.
  EXPECT_EQ(*garbled.error, "Error reading streamed response for GET /tav-peer/v1/garbled: Error: "
                            "Invalid value. at offset 5.");
}

TEST_F(TestPluginRelayTest, WaitsOnceForEachShortStreamReadWithMoreToFollow) {
  // Three short reads with more to follow, then the last piece: three waits, each
  // beginWait("Wait: yield", 0), yield, endWait.
  host().addPeer("GET", "/tav-peer/v1/slow", [](const SeenRequest&) {
    return PeerAnswer::stream({R"({"a":)", "", "[1,", "2]}"});
  });
  const size_t before = host().journal().waits().size();
  const CallResult result = relay("/tav-peer/v1/slow");
  ASSERT_TRUE(result.ok()) << *result.error;
  EXPECT_TRUE(sameValue(result.value, json(R"({"a":[1,2]})")));

  const std::vector<WaitCall> waits = host().journal().waits();
  std::vector<uint32_t> entries;
  for (size_t i = before; i < waits.size(); ++i) {
    entries.push_back(waits[i].entry);
    if (waits[i].entry == 7) {
      EXPECT_EQ(waits[i].label, "Wait: yield");
      EXPECT_EQ(waits[i].word, 0u);
    }
  }
  EXPECT_EQ(entries, (std::vector<uint32_t>{7, 6, 8, 7, 6, 8, 7, 6, 8}));
}

TEST_F(TestPluginRelayTest, ReadsFullStreamBuffersWithoutWaiting) {
  // Two reads that fill the plugin's 4096-byte buffer never wait, and the third ends the stream.
  std::string text = R"({"t":")" + std::string(8192, 'x') + R"("})";
  std::vector<std::string> chunks = {text.substr(0, 4096), text.substr(4096, 4096),
                                     text.substr(8192)};
  host().addPeer("GET", "/tav-peer/v1/big",
                 [chunks](const SeenRequest&) { return PeerAnswer::stream(chunks); });
  const size_t before = host().journal().waits().size();
  const CallResult result = relay("/tav-peer/v1/big");
  ASSERT_TRUE(result.ok()) << *result.error;
  ASSERT_NE(result.value.find("t"), nullptr);
  EXPECT_EQ(result.value.find("t")->text().size(), 8192u);
  EXPECT_EQ(host().journal().waits().size(), before);
}

// ---- events from the host ----

TEST_F(TestPluginLibraryTest, ObservedResourceStartsWithItsValueThenFollowsItsEvents) {
  host().addPeer("GET", "/tav-peer/v1/things/1",
                 [](const SeenRequest&) { return PeerAnswer::value(json(R"({"v":1})")); });
  CallRequest watch;
  watch.method = "POST";
  watch.path = "/tav-test/v1/watch";
  watch.contentType = "application/json";
  watch.body = R"("/tav-peer/v1/things/1")";
  ASSERT_TRUE(host().call(watch).ok());
  watch.body = R"("/tav-peer/v1/others/*")";
  ASSERT_TRUE(host().call(watch).ok());

  // Events go to the subscription of the URI's event name; the pattern's name stops at "*".
  EXPECT_EQ(host().fireEvent("OnJsonApiEvent_tav-peer_v1_things",
                             resourceEvent("/tav-peer/v1/things/1", "Update", json(R"({"v":2})"))),
            1u);
  host().waitForDeliveries();
  EXPECT_EQ(host().fireEvent("OnJsonApiEvent_tav-peer_v1_others",
                             resourceEvent("/tav-peer/v1/others/9", "Delete", ValueTree())),
            1u);
  host().waitForDeliveries();
  // An event for a URI nobody observes reaches the plugin and is ignored.
  host().fireEvent("OnJsonApiEvent_tav-peer_v1_things",
                   resourceEvent("/tav-peer/v1/things/2", "Update", json("3")));
  host().waitForDeliveries();

  const CallResult seen = host().call("GET", "/tav-test/v1/seen");
  ASSERT_TRUE(seen.ok()) << *seen.error;
  EXPECT_TRUE(sameValue(
      seen.value, json(R"([{"uri":"/tav-peer/v1/things/1","eventType":"Create","data":{"v":1}},
               {"uri":"/tav-peer/v1/things/1","eventType":"Update","data":{"v":2}},
               {"uri":"/tav-peer/v1/others/9","eventType":"Delete","data":null}])")));
}

TEST_F(TestPluginLibraryTest, StopUnsubscribesTheObservedResources) {
  CallRequest watch;
  watch.method = "POST";
  watch.path = "/tav-test/v1/watch";
  watch.contentType = "application/json";
  watch.body = R"("/tav-peer/v1/others/*")";
  ASSERT_TRUE(host().call(watch).ok());
  ASSERT_FALSE(host().events().subscribersOf("OnJsonApiEvent_tav-peer_v1_others").empty());

  host().stop();
  EXPECT_TRUE(host().events().subscriptions().empty());
}

} // namespace
} // namespace tav::host
