// Call contexts from host requests, per-call patterns and matchCall.
#include "routing/call_matching.h"

#include <vector>

namespace tav {

RoutePattern RoutePattern::fromRecord(const RouteRecord& record) {
  return RoutePattern{record.method(), &record, record.compiledTemplate()};
}

CallContext callContextFromRequest(const host::HostRequest& request) {
  CallContext call;
  call.method = httpMethodFromCode(request.method);
  if (call.method == HttpMethod::Custom && request.customMethod != nullptr) {
    call.customMethod = request.customMethod;
  }
  if (request.path != nullptr) {
    call.path = request.path;
  }
  return call;
}

namespace {

RouteCandidate candidateOf(const RoutePattern& pattern) {
  RouteCandidate candidate;
  candidate.method = pattern.method;
  // A pattern without a record has no function to call, so it never fits.
  if (pattern.record != nullptr) {
    candidate.templ = pattern.templ.get();
    candidate.customMethod = pattern.record->customMethod();
  }
  return candidate;
}

} // namespace

bool matchCall(CallContext& call, std::span<const RoutePattern> patterns) {
  call.function = nullptr;
  call.record = nullptr;
  call.captured.clear();

  // The delivered text may carry a query after "?": only the part before it is the path the
  // template describes, so a literal route still matches when a query is added and the query
  // never leaks into the last capture.
  const std::string_view path = std::string_view(call.path).substr(0, call.path.find('?'));
  std::optional<RouteMatch> match;
  // Every call in this system is matched against the one function the host chose.
  if (patterns.size() == 1) {
    const RouteCandidate only[] = {candidateOf(patterns[0])};
    match = matchRoute(only, call.method, call.customMethod, path);
  } else {
    std::vector<RouteCandidate> candidates;
    candidates.reserve(patterns.size());
    for (const RoutePattern& pattern : patterns) {
      candidates.push_back(candidateOf(pattern));
    }
    match = matchRoute(candidates, call.method, call.customMethod, path);
  }
  if (!match) {
    return false;
  }
  const RoutePattern& taken = patterns[match->index];
  call.record = taken.record;
  call.function = taken.record->function();
  call.captured = std::move(match->captured);
  return true;
}

} // namespace tav
