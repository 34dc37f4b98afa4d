// libtav_banners.so loaded as the desktop client's host would load it: handshake words, the
// description records, the subscriptions made at start and dropped at stop, and log forwarding.
#include "host/testing/built_plugin.h"

#include "host/memory_statistics.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tav::host {
namespace {

using testhost::BuiltPluginTest;
using testhost::json;
using testhost::kBannersLibrary;
using testhost::subscribedNames;

const std::vector<std::string> kServiceProxyEvents = {
    "OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"};

class BannersLibraryTest : public BuiltPluginTest {
protected:
  BannersLibraryTest() : BuiltPluginTest(kBannersLibrary) {}
};

TEST_F(BannersLibraryTest, HandshakeAnswersVersion18AndTheFullName) {
  const HandshakeWords& words = host().handshake();
  EXPECT_EQ(words.major, 18u);
  EXPECT_EQ(words.minor, 0u);
  EXPECT_EQ(words.patch, 0u);
  EXPECT_EQ(words.fullName, "vmf-be-tav-banners");
  EXPECT_NE(words.callbacks, nullptr);
  EXPECT_NE(words.pluginContext, nullptr);
  ASSERT_NE(words.functionTable, nullptr);
  const uint32_t typeCount = words.functionTable->typeCount;
  EXPECT_EQ(typeCount, host().description().types.size());
  EXPECT_GE(typeCount, 15u + 7u) << "built-in and framework types";
}

TEST_F(BannersLibraryTest, AcceptsANewerMinorVersionOfTheHost) {
  Host newer(HostOptions{.major = 18, .minor = 3, .patch = 1});
  ASSERT_TRUE(newer.load(*testhost::builtLibraryPath(kBannersLibrary))) << newer.lastError();
  EXPECT_EQ(newer.handshake().minor, 0u);
  EXPECT_EQ(newer.handshake().fullName, "vmf-be-tav-banners");
}

TEST_F(BannersLibraryTest, DescribesTheBuiltInAsyncStateEnumeration) {
  const TypeInfo* state = host().description().findType("BindingAsyncState");
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->description, "Possible states of an asynchronous operation.");
  EXPECT_EQ(state->tags, (std::vector<std::string>{"$builtin", "async"}));
  std::map<std::string, int32_t> numbers;
  for (const EnumeratorInfo& enumerator : state->enumerators) {
    numbers[enumerator.name] = enumerator.number;
  }
  EXPECT_EQ(numbers, (std::map<std::string, int32_t>{{"None", 0},
                                                     {"Running", 1},
                                                     {"Cancelling", 2},
                                                     {"Cancelled", 3},
                                                     {"Succeeded", 4},
                                                     {"Failed", 5}}));
  EXPECT_TRUE(state->fields.empty());
}

struct DescribedEvent {
  std::string name;
  std::string payload;
  std::string description;
};

TEST_F(BannersLibraryTest, DescribesTheBuiltInAndFrameworkEvents) {
  const std::vector<DescribedEvent> expected = {
      {"OnCallback", "BindingCallbackEvent", "Fired when a callback is invoked."},
      {"OnJsonApiEvent", "PluginResourceEvent", "Fired when a resource is changed."},
      {"OnLcdsEvent", "PluginLcdsEvent",
       "Fired when a message is received over the LCDS connection."},
      {"OnServiceProxyUuidEvent", "PluginServiceProxyResponse",
       "Fired when a uuid-based service proxy message is received."},
      {"OnServiceProxyMethodEvent", "PluginServiceProxyResponse",
       "Fired when a method-based service proxy message is received."},
      {"OnServiceProxyAsyncEvent", "PluginServiceProxyResponse",
       "Fired when an async service proxy message is received."},
  };
  for (const DescribedEvent& event : expected) {
    const EventInfo* described = host().description().findEvent(event.name);
    ASSERT_NE(described, nullptr) << event.name;
    EXPECT_EQ(described->payloadTypeName, event.payload) << event.name;
    EXPECT_EQ(described->description, event.description) << event.name;
    EXPECT_NE(host().description().findType(event.payload), nullptr) << event.payload;
  }
}

TEST_F(BannersLibraryTest, LinksEachDescriptionArrayThroughItsNextWords) {
  const HostApiDescription& header = *host().handshake().functionTable;
  for (uint32_t index = 0; index < header.typeCount; ++index) {
    const HostTypeDescription* expected =
        index + 1 < header.typeCount ? &header.types[index + 1] : nullptr;
    const HostTypeDescription* next = header.types[index].next;
    EXPECT_EQ(next, expected) << "type " << index;
  }
  for (uint32_t index = 0; index < header.eventCount; ++index) {
    const HostEventDescription* expected =
        index + 1 < header.eventCount ? &header.events[index + 1] : nullptr;
    const HostEventDescription* next = header.events[index].next;
    EXPECT_EQ(next, expected) << "event " << index;
  }
}

TEST_F(BannersLibraryTest, EveryFunctionRecordHasACallEntryAndItsOwnName) {
  std::set<std::string> names;
  for (const FunctionInfo& function : host().description().functions) {
    const HostCallEntry call = function.record->call;
    const void* context = function.record->description.context;
    const uint32_t reserved = function.record->description.reserved;
    EXPECT_NE(call, nullptr) << function.name;
    EXPECT_NE(context, nullptr) << function.name;
    EXPECT_EQ(reserved, 0u) << function.name;
    EXPECT_TRUE(names.insert(function.name).second) << function.name << " twice";
  }
}

struct BannersRoute {
  std::string method;
  std::string path;
  std::string functionName;
};

TEST_F(BannersLibraryTest, FindsEachOfTheFourRoutesByTheNameItsMethodAndPathGive) {
  const std::vector<BannersRoute> routes = {
      {"GET", "/tav-banners/v1/current-sondar/flags", "GetTavBannersV1CurrentSondarFlags"},
      {"GET", "/tav-banners/v1/current-sondar/flags/equipped",
       "GetTavBannersV1CurrentSondarFlagsEquipped"},
      {"PUT", "/tav-banners/v1/current-sondar/flags/equipped",
       "PutTavBannersV1CurrentSondarFlagsEquipped"},
      {"GET", "/tav-banners/v1/current-sondar/frames/equipped",
       "GetTavBannersV1CurrentSondarFramesEquipped"},
  };
  const uint32_t functionCount = host().handshake().functionTable->functionCount;
  EXPECT_EQ(functionCount, routes.size());
  ASSERT_TRUE(host().start());
  for (const BannersRoute& route : routes) {
    // No peer answers, so the routes fail; what counts is that the named record took the call.
    const CallResult result = host().call(route.method, route.path);
    EXPECT_EQ(result.functionName, route.functionName);
    EXPECT_EQ(result.attempts, 1u) << route.functionName;
    EXPECT_NE(result.error, "Invalid function") << route.functionName;
  }
}

TEST_F(BannersLibraryTest, StartSubscribesTheServiceProxyEventsWithFlag1) {
  ASSERT_TRUE(host().start());
  EXPECT_EQ(subscribedNames(host(), 1), kServiceProxyEvents);
  for (const Subscription& subscription : host().events().subscriptions()) {
    EXPECT_EQ(subscription.handle, host().pluginHandle()) << subscription.name;
    EXPECT_NE(subscription.callback, nullptr) << subscription.name;
  }
}

TEST_F(BannersLibraryTest, StopUnsubscribesEveryNameItSubscribed) {
  ASSERT_TRUE(host().start());
  std::set<std::string> subscribed;
  for (const Subscription& subscription : host().events().subscriptions()) {
    subscribed.insert(subscription.name);
  }
  host().stop();
  EXPECT_TRUE(host().events().subscriptions().empty());
  std::set<std::string> unsubscribed;
  for (const SubscriptionCall& call : host().events().calls()) {
    if (call.kind == SubscriptionCall::Kind::Unsubscribe) {
      EXPECT_EQ(call.handle, host().pluginHandle()) << call.name;
      unsubscribed.insert(call.name);
    }
  }
  EXPECT_EQ(unsubscribed, subscribed);
}

TEST_F(BannersLibraryTest, ForwardsItsLogLinesToTheHost) {
  ASSERT_TRUE(host().start());
  // No handler is registered for an async service-proxy key, which the plugin logs as an error.
  const ValueTree response = json(R"({"uuid":"u-1","serviceName":"lol-store","methodName":"buy",)"
                                  R"("payload":"{}","status":"200","error":""})");
  ASSERT_EQ(host().fireEvent("OnServiceProxyAsyncEvent", response), 1u);
  host().waitForDeliveries();

  const std::string expected =
      "vmf-be-tav-banners: Could not find registered handler for async service proxy event "
      "lol-store.buy";
  bool found = false;
  for (const LogLine& line : host().journal().logLines()) {
    if (line.message == expected) {
      found = true;
      EXPECT_EQ(line.level, 2);
    }
  }
  EXPECT_TRUE(found) << "no log line \"" << expected << "\"";
}

TEST_F(BannersLibraryTest, MemoryStatisticsCountTheLibrarysAllocations) {
  const MemoryStatistics statistics = decodeMemoryStatistics(host().memoryStatistics());
  EXPECT_GT(statistics.allocations, 0u);
  EXPECT_GE(statistics.allocations, statistics.releases);
  EXPECT_GE(statistics.bytesAllocated, statistics.bytesReleased);
  EXPECT_GE(statistics.peakBytes, statistics.bytesInUse());
  EXPECT_EQ(statistics.trailing[0], 0u);
  EXPECT_EQ(statistics.trailing[1], 0u);
}

} // namespace
} // namespace tav::host
