// The host's record of the plugin's log lines, waits and calls of the reserved entries.
#pragma once

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
  void log(int32_t level, std::string message);
  void wait(WaitCall call);
  void reserved(ReservedCall call);

  std::vector<LogLine> logLines() const;
  // True when some log line contains fragment.
  bool logged(std::string_view fragment) const;
  std::vector<WaitCall> waits() const;
  // The entry numbers of the wait calls in order, such as {7, 6, 8} for one wait.
  std::vector<uint32_t> waitEntries() const;
  std::vector<ReservedCall> reservedCalls() const;

private:
  mutable std::mutex mutex_;
  std::vector<LogLine> logLines_;
  std::vector<WaitCall> waits_;
  std::vector<ReservedCall> reserved_;
};

} // namespace tav::host
