// The ledger of handed-out release functions.
#include "host/ownership_ledger.h"

namespace tav::host {

uint64_t OwnershipLedger::handOut(ReleaseKind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t token = nextToken_++;
  entries_.emplace(token, Entry{kind, false});
  return token;
}

void OwnershipLedger::release(uint64_t token) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto entry = entries_.find(token);
  if (entry == entries_.end()) {
    faults_.push_back("release of token " + std::to_string(token) + " that was never handed out");
  } else if (entry->second.released) {
    faults_.push_back("second release of token " + std::to_string(token));
  } else {
    entry->second.released = true;
  }
}

void OwnershipLedger::fault(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(std::move(text));
}

size_t OwnershipLedger::handedOut(ReleaseKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const auto& [token, entry] : entries_) {
    count += entry.kind == kind ? 1 : 0;
  }
  return count;
}

size_t OwnershipLedger::released(ReleaseKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const auto& [token, entry] : entries_) {
    count += entry.kind == kind && entry.released ? 1 : 0;
  }
  return count;
}

size_t OwnershipLedger::outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const auto& [token, entry] : entries_) {
    count += entry.released ? 0 : 1;
  }
  return count;
}

std::vector<std::string> OwnershipLedger::faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

} // namespace tav::host
