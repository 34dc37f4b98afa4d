// The host's record of the plugin's log lines, waits and calls of the reserved entries, each
// keeping its newest entries only (history_ring.h).
#pragma once

#include "host/history_ring.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tav::host {

struct LogLine {
  int32_t level = 0;
  std::string message;
};

// One call of yieldToHost (entry 6), beginWait (7) or endWait (8).
struct WaitCall {
  uint32_t entry = 0;
  std::string label; // beginWait's label
  uint32_t word = 0; // beginWait's second argument
};

// One call of reserved1 (entry 1: two words) or reserved5 (entry 5: three words, the float,
// then the last word).
struct ReservedCall {
  uint32_t entry = 0;
  std::vector<uint32_t> words;
  double number = 0.0;
};

class HostJournal {
public:
  // Each record keeps its last limit entries.
  explicit HostJournal(size_t limit = kDefaultHistoryLimit)
      : logLines_(limit), waits_(limit), reserved_(limit) {}

  void log(int32_t level, std::string message);
  void wait(WaitCall call);
  void reserved(ReservedCall call);

  // The kept entries of each record, oldest first.
  std::vector<LogLine> logLines() const;
  // True when some kept log line contains fragment.
  bool logged(std::string_view fragment) const;
  std::vector<WaitCall> waits() const;
  // The entry numbers of the wait calls in order, such as {7, 6, 8} for one wait.
  std::vector<uint32_t> waitEntries() const;
  std::vector<ReservedCall> reservedCalls() const;

private:
  mutable std::mutex mutex_;
  HistoryRing<LogLine> logLines_;
  HistoryRing<WaitCall> waits_;
  HistoryRing<ReservedCall> reserved_;
};

} // namespace tav::host
