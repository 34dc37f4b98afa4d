// The ledger of handed-out release functions.
#include "host/ownership_ledger.h"

namespace tav::host {

uint64_t OwnershipLedger::handOut(ReleaseKind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t token = nextToken_++;
  outstanding_.emplace(token, kind);
  ++handedOut_[index(kind)];
  return token;
}

void OwnershipLedger::release(uint64_t token) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto entry = outstanding_.find(token);
  if (entry != outstanding_.end()) {
    ++released_[index(entry->second)];
    outstanding_.erase(entry);
  } else if (token != 0 && token < nextToken_) {
    // Tokens are handed out in order, so one below the next that is not outstanding was released.
    faults_.push_back("second release of token " + std::to_string(token));
  } else {
    faults_.push_back("release of token " + std::to_string(token) + " that was never handed out");
  }
}

void OwnershipLedger::fault(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(std::move(text));
}

size_t OwnershipLedger::handedOut(ReleaseKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handedOut_[index(kind)];
}

size_t OwnershipLedger::released(ReleaseKind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return released_[index(kind)];
}

size_t OwnershipLedger::outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outstanding_.size();
}

std::vector<std::string> OwnershipLedger::faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

} // namespace tav::host
