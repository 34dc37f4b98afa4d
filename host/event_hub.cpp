// Subscription bookkeeping and event records.
#include "host/event_hub.h"

#include <algorithm>

namespace tav::host {

EventHub::EventHub(size_t limit) : calls_(limit), sent_(limit), delivered_(limit) {}

void EventHub::subscribe(Subscription subscription) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push(SubscriptionCall{SubscriptionCall::Kind::Subscribe, subscription.name,
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
  calls_.push(SubscriptionCall{SubscriptionCall::Kind::Unsubscribe, std::string(name), handle, 0});
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
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.push(std::move(event));
  }
  sentChanged_.notify_all();
}

void EventHub::recordDelivered(DeliveredEvent event) {
  std::lock_guard<std::mutex> lock(mutex_);
  delivered_.push(std::move(event));
}

void EventHub::recordDropped() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++dropped_;
}

std::vector<SubscriptionCall> EventHub::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_.entries();
}

std::vector<SentEvent> EventHub::sentEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_.entries();
}

std::vector<DeliveredEvent> EventHub::deliveries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delivered_.entries();
}

size_t EventHub::droppedDeliveries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

uint64_t EventHub::sentCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_.total();
}

SentSince EventHub::waitForSent(uint64_t after, std::chrono::milliseconds timeout,
                                std::stop_token stop) const {
  std::unique_lock<std::mutex> lock(mutex_);
  sentChanged_.wait_for(lock, stop, timeout, [&] { return sent_.total() > after; });
  SentSince since;
  since.last = sent_.total();
  if (since.last <= after) {
    return since;
  }
  const uint64_t oldestKept = sent_.total() - sent_.kept().size() + 1;
  since.first = std::max(after + 1, oldestKept);
  since.missed = since.first - (after + 1);
  since.events.assign(sent_.kept().end() - static_cast<ptrdiff_t>(since.last - since.first + 1),
                      sent_.kept().end());
  return since;
}

} // namespace tav::host
