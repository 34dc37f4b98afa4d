// The host's own threads that deliver events to subscribers, with a way to wait until every
// queued delivery has run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tav::host {

class DeliveryWorkers {
public:
  // At least one thread is started whatever threads says.
  explicit DeliveryWorkers(unsigned threads);
  // Runs what is still queued, then joins the threads.
  ~DeliveryWorkers();
  DeliveryWorkers(const DeliveryWorkers&) = delete;
  DeliveryWorkers& operator=(const DeliveryWorkers&) = delete;

  void post(std::function<void()> job);

  // Returns once the queue is empty and no job is running, jobs posted by running jobs included.
  // On a worker thread it returns at once, since waiting there would wait for itself.
  void drain();

  bool onWorkerThread() const;

private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> queue_;
  size_t running_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

} // namespace tav::host
