// The peers that answer the plugin's requests, registered by method and by exact path or prefix.
#pragma once

#include "host/peer_answer.h"
#include "host/seen_request.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav::host {

// Runs on the thread of the plugin's request; may be called on several threads at once.
using Peer = std::function<PeerAnswer(const SeenRequest& request)>;

class PeerTable {
public:
  // method is a method name ("GET", or a custom method's name); the empty name takes every
  // method. A later peer for the same method and path replaces the earlier one.
  void add(std::string method, std::string path, Peer peer);
  void addPrefix(std::string method, std::string prefix, Peer peer);
  void clear();

  // The peer for a request: one whose path equals the request's path, or its path up to any "?",
  // before the one with the longest matching prefix; a peer for the exact method before one for
  // every method at the same path.
  std::optional<Peer> find(std::string_view method, std::string_view path) const;

private:
  struct Entry {
    std::string method;
    std::string path;
    bool prefix;
    Peer peer;
  };

  void put(Entry entry);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

} // namespace tav::host
