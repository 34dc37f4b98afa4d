// The journal of log lines, waits and reserved calls.
#include "host/host_journal.h"

namespace tav::host {

void HostJournal::log(int32_t level, std::string message) {
  std::lock_guard<std::mutex> lock(mutex_);
  logLines_.push(LogLine{level, std::move(message)});
}

void HostJournal::wait(WaitCall call) {
  std::lock_guard<std::mutex> lock(mutex_);
  waits_.push(std::move(call));
}

void HostJournal::reserved(ReservedCall call) {
  std::lock_guard<std::mutex> lock(mutex_);
  reserved_.push(std::move(call));
}

std::vector<LogLine> HostJournal::logLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logLines_.entries();
}

bool HostJournal::logged(std::string_view fragment) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const LogLine& line : logLines_.kept()) {
    if (line.message.find(fragment) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::vector<WaitCall> HostJournal::waits() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waits_.entries();
}

std::vector<uint32_t> HostJournal::waitEntries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint32_t> entries;
  entries.reserve(waits_.kept().size());
  for (const WaitCall& call : waits_.kept()) {
    entries.push_back(call.entry);
  }
  return entries;
}

std::vector<ReservedCall> HostJournal::reservedCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reserved_.entries();
}

} // namespace tav::host
