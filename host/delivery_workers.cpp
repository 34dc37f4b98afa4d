// The delivery thread pool.
#include "host/delivery_workers.h"

#include <algorithm>

namespace tav::host {

DeliveryWorkers::DeliveryWorkers(unsigned threads) {
  const unsigned count = std::max(1u, threads);
  threads_.reserve(count);
  for (unsigned index = 0; index < count; ++index) {
    threads_.emplace_back([this] { run(); });
  }
}

DeliveryWorkers::~DeliveryWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) {
    thread.join();
  }
}

void DeliveryWorkers::post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void DeliveryWorkers::drain() {
  if (onWorkerThread()) {
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

bool DeliveryWorkers::onWorkerThread() const {
  const std::thread::id self = std::this_thread::get_id();
  return std::any_of(threads_.begin(), threads_.end(),
                     [self](const std::thread& thread) { return thread.get_id() == self; });
}

void DeliveryWorkers::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      return; // stopping, and nothing left to run
    }
    std::function<void()> job = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    try {
      job();
    } catch (...) {
      // The host's jobs keep their own failures; this only keeps the pool's count right.
    }
    lock.lock();
    --running_;
    if (queue_.empty() && running_ == 0) {
      idle_.notify_all();
    }
  }
}

} // namespace tav::host
