// Full matching of a request path against a compiled URL template.
#pragma once

#include "routing/url_template.h"

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tav {

// Matches the whole of `path` against `templ`, exactly as ECMAScript regex_match of the
// template's expression would: greedy groups, the first solution in backtracking order. A
// literal template matches only the identical path and yields no captures. On a match the
// result holds one view into `path` per capture group, in group order; std::nullopt otherwise.
//
// Runs in time and memory linear in the path length per token and never recurses, so paths of
// any length are safe (std::regex recurses per character and overflows the stack).
std::optional<std::vector<std::string_view>> matchPath(const UrlTemplate& templ,
                                                       std::string_view path);

// The views would outlive a temporary string.
template <typename Text>
requires std::is_same_v<Text, std::string> std::optional<std::vector<std::string_view>>
matchPath(const UrlTemplate& templ, Text&& path)
= delete;

} // namespace tav
