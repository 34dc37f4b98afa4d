// HistoryRing: the newest entries of a record the host keeps, so that a long run holds a bounded
// amount of it however many calls, events and log lines go by.
//
//   HistoryRing<LogLine> lines(1024);
//   lines.push({0, "started"});
//   lines.entries();   // at most the last 1024, oldest first
//   lines.total();     // every entry ever pushed, the dropped ones included
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace tav::host {

// The number of entries each of the host's records keeps unless HostOptions says otherwise.
inline constexpr size_t kDefaultHistoryLimit = 1024;

template <typename Entry> class HistoryRing {
public:
  // A limit of 0 keeps one entry: a record that keeps nothing would tell a test nothing.
  explicit HistoryRing(size_t limit) : limit_(limit == 0 ? 1 : limit) {}

  void push(Entry entry) {
    if (entries_.size() == limit_) {
      entries_.pop_front();
    }
    entries_.push_back(std::move(entry));
    ++total_;
  }

  const std::deque<Entry>& kept() const { return entries_; }
  std::vector<Entry> entries() const { return {entries_.begin(), entries_.end()}; }
  size_t limit() const { return limit_; }
  // Entries pushed so far; the n-th pushed is entry number n, and the kept ones are the numbers
  // total() - kept().size() + 1 to total().
  uint64_t total() const { return total_; }

private:
  size_t limit_;
  std::deque<Entry> entries_;
  uint64_t total_ = 0;
};

} // namespace tav::host
