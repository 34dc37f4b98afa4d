// Peer registration and lookup.
#include "host/peer_table.h"

namespace tav::host {
namespace {

// Higher is better: an exact path beats any prefix, a longer prefix a shorter one, and a peer
// for the request's own method one for every method.
long long rank(bool prefix, size_t length, bool anyMethod) {
  const long long base = prefix ? static_cast<long long>(length) * 2 : (1LL << 40);
  return base + (anyMethod ? 0 : 1);
}

} // namespace

void PeerTable::add(std::string method, std::string path, Peer peer) {
  put(Entry{std::move(method), std::move(path), false, std::move(peer)});
}

void PeerTable::addPrefix(std::string method, std::string prefix, Peer peer) {
  put(Entry{std::move(method), std::move(prefix), true, std::move(peer)});
}

void PeerTable::put(Entry entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Entry& existing : entries_) {
    if (existing.method == entry.method && existing.path == entry.path &&
        existing.prefix == entry.prefix) {
      existing = std::move(entry);
      return;
    }
  }
  entries_.push_back(std::move(entry));
}

void PeerTable::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

std::optional<Peer> PeerTable::find(std::string_view method, std::string_view path) const {
  const std::string_view bare = path.substr(0, path.find('?'));
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* best = nullptr;
  long long bestRank = -1;
  for (const Entry& entry : entries_) {
    const bool anyMethod = entry.method.empty();
    if (!anyMethod && entry.method != method) {
      continue;
    }
    const bool fits =
        entry.prefix ? path.starts_with(entry.path) : (entry.path == path || entry.path == bare);
    if (!fits) {
      continue;
    }
    const long long entryRank = rank(entry.prefix, entry.path.size(), anyMethod);
    if (entryRank > bestRank) {
      best = &entry;
      bestRank = entryRank;
    }
  }
  if (best == nullptr) {
    return std::nullopt;
  }
  return best->peer;
}

} // namespace tav::host
