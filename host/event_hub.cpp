// Subscription bookkeeping and event records.
#include "host/event_hub.h"

#include <algorithm>

namespace tav::host {

void EventHub::subscribe(Subscription subscription) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(SubscriptionCall{SubscriptionCall::Kind::Subscribe, subscription.name,
                                    subscription.handle, subscription.flag});
  for (Subscription& existing : subscriptions_) {
    if (existing.name == subscription.name && existing.handle == subscription.handle) {
      existing = std::move(subscription);
      return;
    }
  }
  subscriptions_.push_back(std::move(subscription));
}

void EventHub::unsubscribe(std::string_view name, uint32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(
      SubscriptionCall{SubscriptionCall::Kind::Unsubscribe, std::string(name), handle, 0});
  std::erase_if(subscriptions_, [&](const Subscription& subscription) {
    return subscription.name == name && subscription.handle == handle;
  });
}

std::vector<Subscription> EventHub::subscriptions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return subscriptions_;
}

std::vector<Subscription> EventHub::subscribersOf(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Subscription> found;
  for (const Subscription& subscription : subscriptions_) {
    if (subscription.name == name) {
      found.push_back(subscription);
    }
  }
  return found;
}

bool EventHub::isSubscribed(const Subscription& subscription) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(subscriptions_.begin(), subscriptions_.end(), subscription) !=
         subscriptions_.end();
}

void EventHub::recordSent(SentEvent event) {
  std::lock_guard<std::mutex> lock(mutex_);
  sent_.push_back(std::move(event));
}

void EventHub::recordDelivered(DeliveredEvent event) {
  std::lock_guard<std::mutex> lock(mutex_);
  delivered_.push_back(std::move(event));
}

void EventHub::recordDropped() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++dropped_;
}

std::vector<SubscriptionCall> EventHub::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<SentEvent> EventHub::sentEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_;
}

std::vector<DeliveredEvent> EventHub::deliveries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delivered_;
}

size_t EventHub::droppedDeliveries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

} // namespace tav::host
