// Choosing which of several compiled templates an incoming call matches, with the path
// arguments it captured.
//
//   std::vector<RouteCandidate> candidates{{&templ, HttpMethod::Get, ""}};
//   if (auto match = matchRoute(candidates, HttpMethod::Get, "", path)) {
//     match->index;     // which candidate was taken
//     match->captured;  // placeholder name -> percent-decoded text
//   }
#pragma once

#include "routing/http_method.h"
#include "routing/url_template.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tav {

// Placeholder name to percent-decoded captured text.
using CapturedArguments = std::unordered_map<std::string, std::string>;

// One function's template as a call may match it. `templ` is borrowed and must outlive the
// matchRoute call (a null one never fits); `customMethod` matters only when `method` is not
// `Any`.
struct RouteCandidate {
  const UrlTemplate* templ = nullptr;
  HttpMethod method = HttpMethod::Any;
  std::string_view customMethod;
};

struct RouteMatch {
  size_t index = 0;           // position of the taken candidate in the list
  CapturedArguments captured; // bucket count 16, maximum load factor 1
};

// Tries the candidates in order. A candidate fits when `path` fully matches its template and
// either its method is `Any` or both the method code and the custom method name equal the
// call's. Capture groups are decoded and stored under their placeholder's name, a later equal
// name overwriting an earlier one. The first fitting candidate is taken; a later one replaces it
// only when the total length of its captured texts is smaller (a tie keeps the earlier), and a
// fitting candidate without captured arguments ends the search. std::nullopt when none fits:
// the caller answers such a call as an invalid function.
std::optional<RouteMatch> matchRoute(std::span<const RouteCandidate> candidates, HttpMethod method,
                                     std::string_view customMethod, std::string_view path);

} // namespace tav
