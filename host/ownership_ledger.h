// Counts every release function the host hands to the plugin and every call it gets back, so
// that tests can insist on exactly one release per record and per stream. Only the outstanding
// tokens are kept one by one; released ones leave counts behind, so a long run stays small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tav::host {

enum class ReleaseKind : uint8_t { Response, Stream };

class OwnershipLedger {
public:
  // A fresh token for one release function just handed out.
  uint64_t handOut(ReleaseKind kind);
  // Records that the release of token was called. A token released twice or never handed out is
  // kept as a fault instead.
  void release(uint64_t token);
  // Keeps a fault found elsewhere, such as a record released at an address the host never filled.
  void fault(std::string text);

  size_t handedOut(ReleaseKind kind) const;
  size_t released(ReleaseKind kind) const;
  // Handed out and not yet released, of both kinds.
  size_t outstanding() const;
  std::vector<std::string> faults() const;

private:
  static size_t index(ReleaseKind kind) { return static_cast<size_t>(kind); }

  mutable std::mutex mutex_;
  uint64_t nextToken_ = 1;
  std::unordered_map<uint64_t, ReleaseKind> outstanding_;
  size_t handedOut_[2] = {0, 0};
  size_t released_[2] = {0, 0};
  std::vector<std::string> faults_;
};

} // namespace tav::host
