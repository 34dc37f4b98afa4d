// Events: subscriptions with their flags, fan-out on the host's threads with each subscription's
// context, events the plugin sends, and deliveries whose subscription went away.
#include "host/host.h"

#include "host/fake_plugin.h"
#include "host/host_value_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace tav::host {
namespace {

using testhost::fakePlugin;
using testhost::loadFakePlugin;
using testhost::resetFakePlugin;

struct Received {
  std::string name;
  void* context;
  ValueTree payload;
  uint32_t senderWord;
  std::thread::id thread;
};

std::mutex receivedMutex;
std::vector<Received> received;

void onEvent(HostEvent* event) {
  Received copy{event->name, event->context,
                decodeHostValue(event->payload).value_or(ValueTree("undecodable")),
                event->senderWord, std::this_thread::get_id()};
  std::lock_guard<std::mutex> lock(receivedMutex);
  received.push_back(std::move(copy));
}

std::vector<Received> takeReceived() {
  std::lock_guard<std::mutex> lock(receivedMutex);
  return std::exchange(received, {});
}

// Holds the delivery thread until opened, so that a test can change subscriptions meanwhile.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
};
Gate gate;

void onEventAtGate(HostEvent*) {
  std::unique_lock<std::mutex> lock(gate.mutex);
  gate.entered = true;
  gate.changed.notify_all();
  gate.changed.wait(lock, [] { return gate.open; });
}

const ValueTree kPayload = ValueTree::map({{"uri", "/tav-banners/v1/current-sondar/flags/equipped"},
                                           {"eventType", "Update"},
                                           {"data", ValueTree::map({{"itemId", 7}})}});

class HostEventTest : public ::testing::Test {
protected:
  void SetUp() override {
    takeReceived();
    resetFakePlugin();
    ASSERT_TRUE(host.load(&loadFakePlugin)) << host.lastError();
    ASSERT_TRUE(host.start());
  }

  void subscribe(const char* name, uint32_t handle, void* context, uint32_t flag = 0) {
    host.api()->subscribe(host.api(), name, handle, &onEvent, context, flag);
  }

  Host host;
  int first = 0;
  int second = 0;
};

TEST_F(HostEventTest, KeepsEachSubscriptionWithItsFlag) {
  const std::vector<Subscription> subscriptions = host.events().subscriptions();
  ASSERT_EQ(subscriptions.size(), 2u);
  EXPECT_EQ(subscriptions[0].name, "OnFakeEvent");
  EXPECT_EQ(subscriptions[0].flag, 0u);
  EXPECT_EQ(subscriptions[0].handle, 1u);
  EXPECT_EQ(subscriptions[0].context, &fakePlugin());
  EXPECT_EQ(subscriptions[1].name, "OnFakeProxyEvent");
  EXPECT_EQ(subscriptions[1].flag, 1u);
}

TEST_F(HostEventTest, FiredEventReachesEverySubscriberWithItsOwnContextOnAHostThread) {
  subscribe("OnJsonApiEvent", 2, &first);
  subscribe("OnJsonApiEvent", 3, &second);
  subscribe("OnLcdsEvent", 4, &first);
  EXPECT_EQ(host.fireEvent("OnJsonApiEvent", kPayload), 2u);
  host.waitForDeliveries();

  const std::vector<Received> got = takeReceived();
  ASSERT_EQ(got.size(), 2u);
  std::vector<void*> contexts = {got[0].context, got[1].context};
  std::sort(contexts.begin(), contexts.end());
  std::vector<void*> expected = {&first, &second};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(contexts, expected);
  for (const Received& event : got) {
    EXPECT_EQ(event.name, "OnJsonApiEvent");
    EXPECT_EQ(event.payload, kPayload);
    EXPECT_NE(event.thread, std::this_thread::get_id());
  }
  EXPECT_EQ(host.events().deliveries().size(), 2u);
}

TEST_F(HostEventTest, ThePluginsOwnCallbackGetsItsSubscriptionContext) {
  EXPECT_EQ(host.fireEvent("OnFakeEvent", "ping", 5), 1u);
  host.waitForDeliveries();
  std::lock_guard<std::mutex> lock(fakePlugin().mutex);
  ASSERT_EQ(fakePlugin().events.size(), 1u);
  EXPECT_EQ(fakePlugin().events[0].context, &fakePlugin());
  EXPECT_EQ(fakePlugin().events[0].payload, ValueTree("ping"));
}

TEST_F(HostEventTest, SubscribingTwiceUnderOneHandleReplacesTheSubscription) {
  subscribe("OnJsonApiEvent", 2, &first);
  subscribe("OnJsonApiEvent", 2, &second, 1);
  EXPECT_EQ(host.fireEvent("OnJsonApiEvent", 1), 1u);
  host.waitForDeliveries();
  const std::vector<Received> got = takeReceived();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].context, &second);
  EXPECT_EQ(host.events().calls().size(), 4u); // the fake's two and these two
}

TEST_F(HostEventTest, UnsubscribedHandleIsNotDeliveredTo) {
  subscribe("OnJsonApiEvent", 2, &first);
  host.api()->unsubscribe(host.api(), "OnJsonApiEvent", 2);
  EXPECT_EQ(host.fireEvent("OnJsonApiEvent", 1), 0u);
  const SubscriptionCall last = host.events().calls().back();
  EXPECT_EQ(last.kind, SubscriptionCall::Kind::Unsubscribe);
  EXPECT_EQ(last.name, "OnJsonApiEvent");
  EXPECT_EQ(last.handle, 2u);
}

TEST_F(HostEventTest, SentEventIsRecordedAndDeliveredToSubscribersOfItsName) {
  subscribe("OnJsonApiEvent_tav-banners_v1_current-sondar", 2, &first);
  HostEvent event;
  std::memset(&event, 0, sizeof event);
  event.name = "OnJsonApiEvent_tav-banners_v1_current-sondar";
  event.payload = encodeHostValue(kPayload);
  host.api()->sendEvent(host.api(), &event);
  releaseEncodedValue(event.payload);
  host.waitForDeliveries();

  const std::vector<SentEvent> sent = host.events().sentEvents();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].name, "OnJsonApiEvent_tav-banners_v1_current-sondar");
  EXPECT_EQ(sent[0].payload, kPayload);
  EXPECT_EQ(sent[0].senderWord, 0u);
  const std::vector<Received> got = takeReceived();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].payload, kPayload);
  EXPECT_EQ(got[0].context, &first);
}

TEST_F(HostEventTest, SentEventWithAnUndecodablePayloadIsRecordedButNotDelivered) {
  subscribe("OnJsonApiEvent", 2, &first);
  HostEvent event;
  std::memset(&event, 0, sizeof event);
  event.name = "OnJsonApiEvent";
  event.payload.kind = 12;
  host.api()->sendEvent(host.api(), &event);
  host.waitForDeliveries();
  EXPECT_EQ(host.events().sentEvents().at(0).payloadError, "unknown value kind 12");
  EXPECT_TRUE(takeReceived().empty());
}

TEST_F(HostEventTest, EventsFiredFromSeveralThreadsAreEachDeliveredToEverySubscriber) {
  subscribe("OnJsonApiEvent", 2, &first);
  subscribe("OnJsonApiEvent", 3, &second);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([this, thread] {
      for (int index = 0; index < 25; ++index) {
        host.fireEvent("OnJsonApiEvent", thread * 100 + index);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  host.waitForDeliveries();
  EXPECT_EQ(takeReceived().size(), 200u);
}

TEST(HostEventDelivery, DeliveryQueuedBeforeAnUnsubscribeIsDropped) {
  resetFakePlugin();
  takeReceived();
  Host host(HostOptions{.deliveryThreads = 1});
  ASSERT_TRUE(host.load(&loadFakePlugin));
  const HostApi* api = host.api();
  int context = 0;
  api->subscribe(api, "Held", 2, &onEventAtGate, &context, 0);
  api->subscribe(api, "OnJsonApiEvent", 2, &onEvent, &context, 0);

  host.fireEvent("Held", ValueTree());
  host.fireEvent("OnJsonApiEvent", 1);
  {
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.changed.wait(lock, [] { return gate.entered; });
  }
  api->unsubscribe(api, "OnJsonApiEvent", 2);
  {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.open = true;
  }
  gate.changed.notify_all();
  host.waitForDeliveries();

  EXPECT_TRUE(takeReceived().empty());
  EXPECT_EQ(host.events().droppedDeliveries(), 1u);
  EXPECT_EQ(host.events().deliveries().size(), 1u);
}

} // namespace
} // namespace tav::host
