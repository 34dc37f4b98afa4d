// EventClient: event names, URI patterns, counted subscriptions, observe, delivery, sending,
// service-proxy events and shutdown, against a recording host.
#include "plugin/event_client.h"

#include "binding/host_value_conversion.h"
#include "foundation/log_level.h"
#include "plugin/recording_event_client.h"
#include "routing/json_reader.h"
#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace tav {
namespace {

using test::RecordingEventClient;

BindingProperty jsonValue(std::string_view text) {
  BindingResult value = readJson(text);
  EXPECT_TRUE(value.ok()) << value.errorMessage();
  return value.value();
}

// Delivers payload under name the way the host would: through the callback and context that the
// client gave when it subscribed to that name. False when the name was never subscribed.
bool deliverAsHost(RecordingEventClient& client, const std::string& name,
                   const BindingProperty& payload) {
  for (const test::RecordedSubscribe& subscribe : client.subscribes()) {
    if (subscribe.name != name) {
      continue;
    }
    host::HostEvent event{};
    event.name = name.c_str();
    EXPECT_TRUE(toHostValue(event.payload, payload, nullptr));
    event.context = subscribe.context;
    subscribe.callback(&event);
    releaseHostValue(event.payload);
    return true;
  }
  return false;
}

BindingProperty resourcePayload(std::string_view uri, std::string_view eventType,
                                std::string_view dataJson = "null") {
  BindingProperty payload;
  payload.member("uri") = uri;
  payload.member("eventType") = eventType;
  payload.member("data") = jsonValue(dataJson);
  return payload;
}

// ---- names and patterns --------------------------------------------------------------------

struct NameCase {
  const char* uri;
  const char* name;
};

class EventNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(EventNames, KeepFourPartsOrSixForPlatformConfig) {
  EXPECT_EQ(EventClient::eventNameOf(GetParam().uri), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    EventClient, EventNames,
    ::testing::Values(
        NameCase{"/tav-banners/v1/current-sondar/flags",
                 "OnJsonApiEvent_tav-banners_v1_current-sondar"},
        NameCase{"/tav-banners", "OnJsonApiEvent_tav-banners"}, NameCase{"", "OnJsonApiEvent"},
        NameCase{"/", "OnJsonApiEvent"},
        NameCase{"//tav-banners//v1///x/", "OnJsonApiEvent_tav-banners_v1_x"},
        NameCase{"tav-banners/v1/a/b", "OnJsonApiEvent_tav-banners_v1_a"},
        NameCase{"/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled",
                 "OnJsonApiEvent_tav-platform-config_v1_namespaces_Banners_IsEquipEnabled"},
        NameCase{"/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled/more",
                 "OnJsonApiEvent_tav-platform-config_v1_namespaces_Banners_IsEquipEnabled"},
        NameCase{"/x/tav-platform-config/a/b/c", "OnJsonApiEvent_x_tav-platform-config_a"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

struct MatchCase {
  const char* pattern;
  const char* uri;
  bool matches;
};

class UriPatterns : public ::testing::TestWithParam<MatchCase> {};

TEST_P(UriPatterns, StarTakesTheRunUpToTheNextSlash) {
  EXPECT_EQ(EventClient::uriMatches(GetParam().pattern, GetParam().uri), GetParam().matches)
      << GetParam().pattern << " against " << GetParam().uri;
}

INSTANTIATE_TEST_SUITE_P(
    EventClient, UriPatterns,
    ::testing::Values(MatchCase{"/a/*", "/a/b", true}, MatchCase{"/a/*", "/a/bcd", true},
                      MatchCase{"/a/*", "/a/", false}, MatchCase{"/a/*", "/a", false},
                      MatchCase{"/a/*", "/a/b/c", false}, MatchCase{"/a/*/c", "/a/b/c", true},
                      MatchCase{"/a/*/c", "/a//c", true}, MatchCase{"/a/*/c", "/a/b/d", false},
                      MatchCase{"/a/*x", "/a/bx", false}, MatchCase{"/a/b", "/a/b", true},
                      MatchCase{"/a/b", "/a/bc", false}, MatchCase{"*", "x", true},
                      MatchCase{"*", "", false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// ---- subscriptions and observe -------------------------------------------------------------

class EventClientTest : public ::testing::Test {
protected:
  RecordingEventClient client;
};

constexpr const char* kFlagsUri = "/tav-banners/v1/current-sondar/flags";
constexpr const char* kFlagsName = "OnJsonApiEvent_tav-banners_v1_current-sondar";

TEST_F(EventClientTest, ObservingTwiceSubscribesOnceAndTheLastUnsubscribeReachesTheHost) {
  client.observeResource(kFlagsUri, [](const PluginResourceEvent&) {});
  client.observeResource(kFlagsUri, [](const PluginResourceEvent&) {});
  const auto subscribes = client.subscribes();
  ASSERT_EQ(subscribes.size(), 1u);
  EXPECT_EQ(subscribes[0].name, kFlagsName);
  EXPECT_EQ(subscribes[0].handle, RecordingEventClient::kHandle);
  EXPECT_EQ(subscribes[0].callback, &EventClient::resourceEventCallback);
  EXPECT_EQ(subscribes[0].context, static_cast<EventClient*>(&client));
  EXPECT_EQ(subscribes[0].flag, 0u);
  EXPECT_EQ(client.subscriptionCount(kFlagsName), 2u);

  client.unsubscribeEvent(kFlagsUri);
  EXPECT_TRUE(client.unsubscribes().empty());
  EXPECT_TRUE(client.hasEventHandler(kFlagsName));

  client.unsubscribeEvent(kFlagsUri);
  const auto unsubscribes = client.unsubscribes();
  ASSERT_EQ(unsubscribes.size(), 1u);
  EXPECT_EQ(unsubscribes[0].name, kFlagsName);
  EXPECT_EQ(unsubscribes[0].handle, RecordingEventClient::kHandle);
  EXPECT_FALSE(client.hasEventHandler(kFlagsName));
}

TEST_F(EventClientTest, UnsubscribeWithoutSubscriptionNeverGoesBelowZero) {
  client.unsubscribeEvent(kFlagsUri);
  EXPECT_EQ(client.subscriptionCount(kFlagsName), 0u);
  EXPECT_TRUE(client.unsubscribes().empty());

  // Had the count wrapped, this subscription would not be the first and the host would not hear.
  client.subscribeEvent(kFlagsUri);
  EXPECT_EQ(client.subscriptionCount(kFlagsName), 1u);
  EXPECT_EQ(client.subscribes().size(), 1u);
}

TEST_F(EventClientTest, ExactUriDeliversItsCurrentValueAsCreate) {
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    test::answerWithValue(response, jsonValue("true"));
  };
  std::vector<ResourceEvent<bool>> seen;
  client.observe<bool>("/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled",
                       [&](const ResourceEvent<bool>& event) { seen.push_back(event); });
  const auto sent = client.sentRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].record.method, static_cast<uint32_t>(HttpMethod::Get));
  EXPECT_EQ(sent[0].path, "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].uri, "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled");
  EXPECT_EQ(seen[0].eventType, PluginResourceEventType::Create);
  EXPECT_TRUE(seen[0].data);
}

TEST_F(EventClientTest, FailedFirstFetchDeliversNothing) {
  client.respond = [](host::HostResponse* response, const host::HostRequest*) {
    response->error = "unavailable";
    response->status = 503;
  };
  int calls = 0;
  client.observeResource(kFlagsUri, [&](const PluginResourceEvent&) { ++calls; });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(client.subscriptionCount(kFlagsName), 1u);
}

TEST_F(EventClientTest, PatternIsNotFetched) {
  client.observeResource("/tav-banners/v1/*", [](const PluginResourceEvent&) {});
  EXPECT_TRUE(client.sentRequests().empty());
  EXPECT_EQ(client.subscriptionCount("OnJsonApiEvent_tav-banners_v1_*"), 1u);
}

// ---- delivery ------------------------------------------------------------------------------

TEST_F(EventClientTest, DeliveryReachesExactThenEveryMatchingPattern) {
  std::vector<std::string> calls;
  client.observeResource("/tav-banners/v1/current-sondar",
                         [&](const PluginResourceEvent& e) { calls.push_back("exact " + e.uri); });
  client.observeResource("/tav-banners/v1/*", [&](const PluginResourceEvent& e) {
    calls.push_back("pattern " + e.uri);
  });
  client.observeResource("/tav-banners/*/*",
                         [&](const PluginResourceEvent& e) { calls.push_back("deep " + e.uri); });
  client.observeResource("/tav-banners/v2/*",
                         [&](const PluginResourceEvent&) { calls.push_back("other"); });
  calls.clear(); // the Create of the exact URI's first fetch

  ASSERT_TRUE(deliverAsHost(client, "OnJsonApiEvent_tav-banners_v1_current-sondar",
                            resourcePayload("/tav-banners/v1/current-sondar", "Update")));
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "exact /tav-banners/v1/current-sondar");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "pattern /tav-banners/v1/current-sondar"),
            calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "deep /tav-banners/v1/current-sondar"),
            calls.end());
}

TEST_F(EventClientTest, UriWithoutLeadingSlashStillFindsItsHandler) {
  std::vector<PluginResourceEvent> seen;
  client.observeResource(kFlagsUri, [&](const PluginResourceEvent& e) { seen.push_back(e); });
  seen.clear();
  ASSERT_TRUE(deliverAsHost(client, kFlagsName,
                            resourcePayload("tav-banners/v1/current-sondar/flags", "Delete")));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].eventType, PluginResourceEventType::Delete);
}

TEST_F(EventClientTest, EventsForNamesWithoutHandlerAreIgnored) {
  int calls = 0;
  client.observeResource(kFlagsUri, [&](const PluginResourceEvent&) { ++calls; });
  calls = 0;
  const auto context = client.subscribes().at(0).context;
  BindingProperty payload = resourcePayload(kFlagsUri, "Update");
  host::HostEvent event{};
  ASSERT_TRUE(toHostValue(event.payload, payload, nullptr));
  event.context = context;
  for (const char* name :
       {"OnJsonApiEvent_tav-banners_v2_x", "", static_cast<const char*>(nullptr)}) {
    event.name = name;
    EventClient::resourceEventCallback(&event);
  }
  releaseHostValue(event.payload);
  EXPECT_EQ(calls, 0);
}

TEST_F(EventClientTest, PayloadThatDoesNotConvertIsDropped) {
  int calls = 0;
  client.observeResource(kFlagsUri, [&](const PluginResourceEvent&) { ++calls; });
  calls = 0;
  EXPECT_TRUE(deliverAsHost(client, kFlagsName, resourcePayload(kFlagsUri, "Replace")));
  EXPECT_TRUE(deliverAsHost(client, kFlagsName, jsonValue(R"(["not", "a", "record"])")));
  host::HostEvent unknownKind{};
  unknownKind.name = kFlagsName;
  unknownKind.payload.kind = 77;
  unknownKind.context = client.subscribes().at(0).context;
  EventClient::resourceEventCallback(&unknownKind);
  EXPECT_EQ(calls, 0);
}

TEST_F(EventClientTest, EventTypeArrivesByNameOrNumber) {
  std::vector<PluginResourceEventType> types;
  client.observeResource(kFlagsUri,
                         [&](const PluginResourceEvent& e) { types.push_back(e.eventType); });
  types.clear();
  BindingProperty byNumber = resourcePayload(kFlagsUri, "");
  byNumber.member("eventType") = 2;
  ASSERT_TRUE(deliverAsHost(client, kFlagsName, byNumber));
  ASSERT_TRUE(deliverAsHost(client, kFlagsName, resourcePayload(kFlagsUri, "Update")));
  EXPECT_EQ(types, (std::vector<PluginResourceEventType>{PluginResourceEventType::Delete,
                                                         PluginResourceEventType::Update}));
}

TEST_F(EventClientTest, NullTextsInTheRecordReadAsEmpty) {
  std::vector<PluginResourceEvent> seen;
  client.observeResource("/", [&](const PluginResourceEvent& e) { seen.push_back(e); });
  seen.clear();
  // {"uri": <borrowed text, null>, <null key>: 1, "eventType": 1}
  host::HostMapEntry entries[3] = {};
  entries[0].key = "uri";
  entries[0].value.kind = static_cast<uint32_t>(host::HostValueKind::BorrowedString);
  entries[1].key = nullptr;
  entries[1].value.kind = static_cast<uint32_t>(host::HostValueKind::Signed);
  entries[1].value.integer = 1;
  entries[2].key = "eventType";
  entries[2].value.kind = static_cast<uint32_t>(host::HostValueKind::Signed);
  entries[2].value.integer = 1;
  host::HostEvent event{};
  event.name = "OnJsonApiEvent";
  event.payload.kind = static_cast<uint32_t>(host::HostValueKind::Map);
  event.payload.span = host::HostSpan{entries, 3};
  event.context = client.subscribes().at(0).context;
  EventClient::resourceEventCallback(&event);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].uri, "");
  EXPECT_EQ(seen[0].eventType, PluginResourceEventType::Update);
}

TEST_F(EventClientTest, TypedObserverDropsDataOfTheWrongTypeAndTakesDeleteWithoutData) {
  std::vector<ResourceEvent<int32_t>> seen;
  client.observe<int32_t>("/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason",
                          [&](const ResourceEvent<int32_t>& e) { seen.push_back(e); });
  ASSERT_TRUE(seen.empty()); // the first fetch answered an empty value, which is not an int32
  const std::string name = EventClient::eventNameOf(
      "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason");
  const char* uri = "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason";
  ASSERT_TRUE(deliverAsHost(client, name, resourcePayload(uri, "Update", "\"seven\"")));
  ASSERT_TRUE(deliverAsHost(client, name, resourcePayload(uri, "Update", "7.9")));
  ASSERT_TRUE(deliverAsHost(client, name, resourcePayload(uri, "Delete", "\"ignored\"")));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].eventType, PluginResourceEventType::Update);
  EXPECT_EQ(seen[0].data, 7);
  EXPECT_EQ(seen[1].eventType, PluginResourceEventType::Delete);
  EXPECT_EQ(seen[1].data, 0);
}

TEST_F(EventClientTest, ThrowingHandlerNeitherReachesTheHostNorStopsTheOthers) {
  int patternCalls = 0;
  client.observeResource(kFlagsUri, [](const PluginResourceEvent& e) {
    if (e.eventType == PluginResourceEventType::Update) {
      throw std::bad_alloc();
    }
  });
  client.observeResource("/tav-banners/v1/current-sondar/*",
                         [&](const PluginResourceEvent&) { ++patternCalls; });
  EXPECT_NO_THROW(deliverAsHost(client, kFlagsName, resourcePayload(kFlagsUri, "Update")));
  EXPECT_EQ(patternCalls, 1);
}

// ---- sending -------------------------------------------------------------------------------

TEST_F(EventClientTest, SendingUnderTheGenericNameOfAnEmptyUriSendsOnce) {
  PluginResourceEvent event;
  const EventSendResult result = client.sendResourceEvent("OnJsonApiEvent", event);
  ASSERT_TRUE(result.ok()) << result.error();
  const auto events = client.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "OnJsonApiEvent");
}

TEST_F(EventClientTest, SendingPublishesUnderTheUriNameThenTheGenericName) {
  PluginResourceEvent event;
  event.uri = "/tav-banners/v1/current-sondar/flags/equipped";
  event.eventType = PluginResourceEventType::Update;
  event.data = jsonValue(R"({"theme": "T", "level": "2"})");
  ASSERT_TRUE(client.sendResourceEvent("OnJsonApiEvent", event).ok());
  const auto events = client.events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, kFlagsName);
  EXPECT_EQ(events[1].name, "OnJsonApiEvent");
  for (const test::RecordedEvent& sent : events) {
    EXPECT_EQ(sent.senderWord, 0u);
    EXPECT_EQ(sent.payload.find("uri").getString(), event.uri);
    // Enumerators travel by name when the registry knows them.
    EXPECT_EQ(sent.payload.find("eventType").getString(), "Update");
    EXPECT_EQ(sent.payload.find("data").find("level").getString(), "2");
  }
}

TEST_F(EventClientTest, SendingWithoutRegisteredPayloadTypeReportsTheConversion) {
  BindingTypeRegistry bare;
  client.setRegistry(&bare);
  const EventSendResult result = client.sendResourceEvent("OnJsonApiEvent", PluginResourceEvent{});
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error(),
            "Couldn't convert native value because it's an unregistered structure.");
  EXPECT_TRUE(client.events().empty());
}

// ---- service proxy -------------------------------------------------------------------------

class ServiceProxyTest : public EventClientTest {
protected:
  void SetUp() override {
    capture.setLoggerLevel(LogLevel::Okay);
    capture.setLoggerExcludedGroups(0);
    client.subscribeServiceProxyEvents();
  }

  static BindingProperty response(std::string_view uuid, std::string_view service,
                                  std::string_view method, std::string_view payload = "p") {
    BindingProperty value;
    value.member("uuid") = uuid;
    value.member("serviceName") = service;
    value.member("methodName") = method;
    value.member("payload") = payload;
    return value;
  }

  test::ScopedLogCapture capture;
};

TEST_F(ServiceProxyTest, SubscribesTheThreeNamesWithFlagOneWithoutCounting) {
  const auto subscribes = client.subscribes();
  ASSERT_EQ(subscribes.size(), 3u);
  const char* names[] = {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                         "OnServiceProxyAsyncEvent"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(subscribes[i].name, names[i]);
    EXPECT_EQ(subscribes[i].flag, 1u);
    EXPECT_EQ(subscribes[i].callback, &EventClient::serviceProxyEventCallback);
    EXPECT_EQ(subscribes[i].context, static_cast<EventClient*>(&client));
    EXPECT_EQ(client.subscriptionCount(names[i]), 0u);
  }
}

struct FulfilCase {
  const char* eventName;
  const char* key;
};

class ServiceProxyFulfilment : public ServiceProxyTest,
                               public ::testing::WithParamInterface<FulfilCase> {};

TEST_P(ServiceProxyFulfilment, PendingRequestGetsTheResponseAndIsLogged) {
  std::vector<std::string> payloads;
  client.expectServiceProxyResponse(
      GetParam().key, [&](const PluginServiceProxyResponse& r) { payloads.push_back(r.payload); });
  ASSERT_TRUE(deliverAsHost(client, GetParam().eventName, response("u-1", "svc", "get", "body")));
  EXPECT_EQ(payloads, std::vector<std::string>{"body"});
  EXPECT_EQ(client.receivedServiceProxyCount(), 0u);
  const auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::Always);
  EXPECT_EQ(records[0].groups, kLogGroupDbg);
  EXPECT_EQ(records[0].message,
            std::string("vmf-be-tav-banners: Fulfilled service proxy request: ") + GetParam().key);

  // Fulfilled once: a second response under the key waits for a new request.
  ASSERT_TRUE(deliverAsHost(client, GetParam().eventName, response("u-1", "svc", "get", "again")));
  EXPECT_EQ(payloads.size(), 1u);
  EXPECT_EQ(client.receivedServiceProxyCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EventClient, ServiceProxyFulfilment,
                         ::testing::Values(FulfilCase{"OnServiceProxyUuidEvent", "u-1"},
                                           FulfilCase{"OnServiceProxyMethodEvent", "svc.get"}),
                         [](const auto& info) { return std::string(info.param.eventName); });

TEST_F(ServiceProxyTest, ResponseBeforeItsRequestIsKeptUntilTheRequestComes) {
  ASSERT_TRUE(deliverAsHost(client, "OnServiceProxyUuidEvent", response("u-9", "s", "m", "early")));
  EXPECT_EQ(client.receivedServiceProxyCount(), 1u);
  std::string payload;
  client.expectServiceProxyResponse(
      "u-9", [&](const PluginServiceProxyResponse& r) { payload = r.payload; });
  EXPECT_EQ(payload, "early");
  EXPECT_EQ(client.receivedServiceProxyCount(), 0u);
}

TEST_F(ServiceProxyTest, AsyncEventWithoutHandlerIsLoggedAsError) {
  ASSERT_TRUE(deliverAsHost(client, "OnServiceProxyAsyncEvent", response("", "store", "buy")));
  const auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::Error);
  EXPECT_EQ(records[0].groups, kLogGroupDbg);
  EXPECT_EQ(records[0].message, "vmf-be-tav-banners: Could not find registered handler for async "
                                "service proxy event store.buy");
}

TEST_F(ServiceProxyTest, AsyncHandlerAnswersEveryEventOfItsKeyAndMayReenter) {
  int calls = 0;
  client.setAsyncServiceProxyHandler("store.buy", [&](const PluginServiceProxyResponse&) {
    ++calls;
    // Handlers run without the service-proxy lock, so they may use the tables themselves.
    client.expectServiceProxyResponse("next", [](const PluginServiceProxyResponse&) {});
  });
  ASSERT_TRUE(deliverAsHost(client, "OnServiceProxyAsyncEvent", response("", "store", "buy")));
  ASSERT_TRUE(deliverAsHost(client, "OnServiceProxyAsyncEvent", response("", "store", "buy")));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(capture.target().count(), 0u);
}

// ---- shutdown ------------------------------------------------------------------------------

TEST_F(EventClientTest, ShutdownUnsubscribesEveryNameWhateverItsCount) {
  client.subscribeServiceProxyEvents();
  client.observeResource(kFlagsUri, [](const PluginResourceEvent&) {});
  client.observeResource(kFlagsUri, [](const PluginResourceEvent&) {});
  int calls = 0;
  client.observeResource("/tav-banners/v2/*", [&](const PluginResourceEvent&) { ++calls; });
  client.shutdownEvents();

  std::vector<std::string> names;
  for (const auto& unsubscribe : client.unsubscribes()) {
    EXPECT_EQ(unsubscribe.handle, RecordingEventClient::kHandle);
    names.push_back(unsubscribe.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{
                       kFlagsName, "OnJsonApiEvent_tav-banners_v2_*", "OnServiceProxyAsyncEvent",
                       "OnServiceProxyMethodEvent", "OnServiceProxyUuidEvent"}));
  EXPECT_EQ(client.subscriptionCount(kFlagsName), 0u);
  EXPECT_TRUE(deliverAsHost(client, "OnJsonApiEvent_tav-banners_v2_*",
                            resourcePayload("/tav-banners/v2/x", "Update")));
  EXPECT_EQ(calls, 0);
}

// ---- concurrency ---------------------------------------------------------------------------

// Host threads deliver events while another thread observes and unsubscribes; run under
// ThreadSanitizer this shows the tables are guarded and no handler runs under a table lock.
TEST(EventClientConcurrency, DeliveryWhileObservingAndUnsubscribing) {
  test::ScopedLogCapture quiet;
  RecordingEventClient client;
  client.subscribeServiceProxyEvents();
  std::atomic<int> delivered{0};
  client.observeResource("/tav-banners/v1/*",
                         [&](const PluginResourceEvent&) { delivered.fetch_add(1); });
  const test::RecordedSubscribe route = client.subscribes().back();

  std::atomic<bool> done{false};
  std::vector<std::thread> hosts;
  for (int t = 0; t < 3; ++t) {
    hosts.emplace_back([&, t] {
      const BindingProperty payload = resourcePayload("/tav-banners/v1/x", "Update");
      host::HostEvent event{};
      toHostValue(event.payload, payload, nullptr);
      event.context = route.context;
      const std::string names[] = {"OnJsonApiEvent_tav-banners_v1_*",
                                   "OnJsonApiEvent_tav-banners_v1_x",
                                   "OnJsonApiEvent_tav-banners_v1_y"};
      for (int i = 0; !done.load() || i < 200; ++i) {
        event.name = names[(i + t) % 3].c_str();
        EventClient::resourceEventCallback(&event);
      }
      releaseHostValue(event.payload);
    });
  }
  std::thread observer([&] {
    for (int i = 0; i < 1000; ++i) {
      // New patterns grow the pattern table while deliveries walk it.
      const std::string pattern = "/tav-banners/v1/p" + std::to_string(i % 64) + "/*";
      client.observeResource(pattern, [](const PluginResourceEvent&) {});
      client.unsubscribeEvent(pattern);
      if (i % 10 == 0) {
        const std::string uri = i % 20 == 0 ? "/tav-banners/v1/x" : "/tav-banners/v1/y";
        client.observeResource(uri, [&](const PluginResourceEvent&) {
          // A handler that subscribes again while deliveries run.
          client.subscribeEvent("/tav-banners/v1/z");
          client.unsubscribeEvent("/tav-banners/v1/z");
        });
        client.unsubscribeEvent(uri);
      }
      PluginServiceProxyResponse response;
      response.uuid = std::to_string(i);
      client.handleServiceProxyEvent("OnServiceProxyUuidEvent", response);
      client.expectServiceProxyResponse(std::to_string(i), [](const auto&) {});
    }
    done.store(true);
  });
  observer.join();
  for (std::thread& host : hosts) {
    host.join();
  }
  EXPECT_GT(delivered.load(), 0);
  EXPECT_EQ(client.subscriptionCount("OnJsonApiEvent_tav-banners_v1_x"), 0u);
  EXPECT_EQ(client.subscriptionCount("OnJsonApiEvent_tav-banners_v1_z"), 0u);
  EXPECT_EQ(client.subscriptionCount("OnJsonApiEvent_tav-banners_v1_*"), 1u);
  EXPECT_EQ(client.receivedServiceProxyCount(), 0u);
}

} // namespace
} // namespace tav
