// Naming and shaping resource events.
#include "host/sondar_resource_event.h"

#include <algorithm>
#include <vector>

namespace tav::host {

std::string resourceEventName(std::string_view uri) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (start <= uri.size()) {
    const size_t slash = std::min(uri.find('/', start), uri.size());
    if (slash > start) {
      pieces.push_back(uri.substr(start, slash - start));
    }
    start = slash + 1;
  }
  // The event name counts as the first part.
  const size_t maxParts = !pieces.empty() && pieces.front() == "tav-platform-config" ? 6 : 4;
  std::string name = kResourceEventName;
  for (size_t index = 0; index < pieces.size() && index + 1 < maxParts; ++index) {
    name += '_';
    name += pieces[index];
  }
  return name;
}

ValueTree resourceEventPayload(std::string uri, std::string eventType, ValueTree data) {
  return ValueTree::map(
      {{"uri", std::move(uri)}, {"eventType", std::move(eventType)}, {"data", std::move(data)}});
}

} // namespace tav::host
