// The query parameters of a request path.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace tav {

// Decoded key to decoded value.
using QueryParameters = std::unordered_map<std::string, std::string>;

// Reads the text after the first "?" of `requestPath` (no "?" or nothing after it: an empty
// map). The query is split at "&" and each piece at its first "=": a piece without "=" is a
// key with an empty value. Key and value are percent-decoded; a later duplicate key replaces the
// earlier value. Empty pieces (from "&&" or a trailing "&") are skipped, so they never turn into
// a parameter with an empty name.
QueryParameters parseQueryString(std::string_view requestPath);

} // namespace tav
