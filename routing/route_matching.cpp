// matchRoute: the path check, capture decoding, method check and choice among candidates.
#include "routing/route_matching.h"

#include "routing/path_matcher.h"
#include "routing/percent_decoding.h"

namespace tav {
namespace {

constexpr size_t kCapturedBucketCount = 16;

bool methodFits(const RouteCandidate& candidate, HttpMethod method, std::string_view customMethod) {
  if (candidate.method == HttpMethod::Any) {
    return true;
  }
  return candidate.method == method && candidate.customMethod == customMethod;
}

CapturedArguments decodeCaptures(const UrlTemplate& templ,
                                 const std::vector<std::string_view>& groups) {
  // A literal route captures nothing; its empty table takes no allocation.
  if (groups.empty()) {
    return {};
  }
  CapturedArguments captured(kCapturedBucketCount);
  captured.max_load_factor(1.0f);
  const std::vector<Placeholder>& placeholders = templ.placeholders();
  // Every group adds a placeholder, so group i always has a placeholder i. An unbraced "}"
  // earlier in the template shifts this pairing; that is kept, not repaired.
  for (size_t i = 0; i < groups.size() && i < placeholders.size(); ++i) {
    captured.insert_or_assign(placeholders[i].name, percentDecode(groups[i]));
  }
  return captured;
}

size_t totalLength(const CapturedArguments& captured) {
  size_t total = 0;
  for (const auto& [name, text] : captured) {
    total += text.size();
  }
  return total;
}

} // namespace

std::optional<RouteMatch> matchRoute(std::span<const RouteCandidate> candidates, HttpMethod method,
                                     std::string_view customMethod, std::string_view path) {
  std::optional<RouteMatch> best;
  size_t bestLength = 0;
  for (size_t index = 0; index < candidates.size(); ++index) {
    const RouteCandidate& candidate = candidates[index];
    if (candidate.templ == nullptr) {
      continue;
    }
    std::optional<std::vector<std::string_view>> groups = matchPath(*candidate.templ, path);
    if (!groups || !methodFits(candidate, method, customMethod)) {
      continue;
    }
    CapturedArguments captured = decodeCaptures(*candidate.templ, *groups);
    const bool capturedNothing = captured.empty();
    const size_t length = totalLength(captured);
    if (!best || length < bestLength) {
      best = RouteMatch{index, std::move(captured)};
      bestLength = length;
    }
    // Nothing can be shorter than no captures at all.
    if (capturedNothing) {
      break;
    }
  }
  return best;
}

} // namespace tav
