// The host's event tables: the plugin's subscriptions with their flags, the log of subscribe and
// unsubscribe calls, the events the plugin sent and the deliveries made.
#pragma once

#include "binding/host_records.h"
#include "host/value_tree.h"

#include <cstdint>
#include <mutex>
#include <optional>
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

class EventHub {
public:
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

  std::vector<SubscriptionCall> calls() const;
  std::vector<SentEvent> sentEvents() const;
  std::vector<DeliveredEvent> deliveries() const;
  // Deliveries skipped because their subscription was gone by the time they ran.
  size_t droppedDeliveries() const;

private:
  mutable std::mutex mutex_;
  std::vector<Subscription> subscriptions_;
  std::vector<SubscriptionCall> calls_;
  std::vector<SentEvent> sent_;
  std::vector<DeliveredEvent> delivered_;
  size_t dropped_ = 0;
};

} // namespace tav::host
