// The host's event tables: the plugin's subscriptions with their flags, the log of subscribe and
// unsubscribe calls, the events the plugin sent and the deliveries made. The logs keep their
// newest entries only (history_ring.h), so that a long run holds a bounded amount of them.
#pragma once

#include "binding/host_records.h"
#include "host/history_ring.h"
#include "host/value_tree.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace tav::host {

using EventCallback = void (*)(HostEvent* event);

struct Subscription {
  std::string name;
  uint32_t handle = 0;
  EventCallback callback = nullptr;
  void* context = nullptr;
  uint32_t flag = 0;

  bool operator==(const Subscription&) const = default;
};

struct SubscriptionCall {
  enum class Kind : uint8_t { Subscribe, Unsubscribe };
  Kind kind = Kind::Subscribe;
  std::string name;
  uint32_t handle = 0;
  uint32_t flag = 0; // 0 for unsubscribe calls
};

struct SentEvent {
  std::string name;
  ValueTree payload;
  std::optional<std::string> payloadError; // when the payload could not be copied
  uint32_t senderWord = 0;
};

struct DeliveredEvent {
  std::string name;
  uint32_t handle = 0;
  void* context = nullptr;
  ValueTree payload;
};

// Sent events after a given number, for a reader that follows them with its own cursor.
struct SentSince {
  std::vector<SentEvent> events;
  uint64_t first = 0;  // the number of events[0]
  uint64_t last = 0;   // the number of the newest sent event: the cursor for the next call
  uint64_t missed = 0; // events after the cursor that are no longer kept
};

class EventHub {
public:
  // Each log keeps its last limit entries.
  explicit EventHub(size_t limit = kDefaultHistoryLimit);

  // A plugin has one subscription per name and handle; subscribing again replaces it.
  void subscribe(Subscription subscription);
  void unsubscribe(std::string_view name, uint32_t handle);

  // The current subscriptions, in the order they were first made.
  std::vector<Subscription> subscriptions() const;
  std::vector<Subscription> subscribersOf(std::string_view name) const;
  // Whether exactly this subscription still stands, for deliveries queued before an unsubscribe.
  bool isSubscribed(const Subscription& subscription) const;

  void recordSent(SentEvent event);
  void recordDelivered(DeliveredEvent event);
  void recordDropped();

  // The kept entries of each log, oldest first.
  std::vector<SubscriptionCall> calls() const;
  std::vector<SentEvent> sentEvents() const;
  std::vector<DeliveredEvent> deliveries() const;
  // Deliveries skipped because their subscription was gone by the time they ran.
  size_t droppedDeliveries() const;

  // Every event the plugin sent is numbered, from 1; this is the number of the newest, 0 before
  // the first.
  uint64_t sentCount() const;
  // The kept events numbered after `after`. When there are none yet, waits for one until timeout
  // passes or stop is requested, and then answers what there is, maybe nothing. Each reader
  // keeps its own cursor (the answer's `last`), so readers never copy more than they are owed.
  SentSince waitForSent(uint64_t after, std::chrono::milliseconds timeout,
                        std::stop_token stop = {}) const;

private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any sentChanged_;
  std::vector<Subscription> subscriptions_;
  HistoryRing<SubscriptionCall> calls_;
  HistoryRing<SentEvent> sent_;
  HistoryRing<DeliveredEvent> delivered_;
  size_t dropped_ = 0;
};

} // namespace tav::host
