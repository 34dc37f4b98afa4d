// parseQueryString: splitting and decoding of the query part.
#include "routing/query_string.h"

#include "routing/percent_decoding.h"

namespace tav {

QueryParameters parseQueryString(std::string_view requestPath) {
  QueryParameters parameters;
  const size_t mark = requestPath.find('?');
  if (mark == std::string_view::npos) {
    return parameters;
  }
  std::string_view query = requestPath.substr(mark + 1);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (piece.empty()) {
      continue;
    }
    const size_t eq = piece.find('=');
    std::string key = percentDecode(piece.substr(0, eq));
    std::string value =
        eq == std::string_view::npos ? std::string{} : percentDecode(piece.substr(eq + 1));
    parameters.insert_or_assign(std::move(key), std::move(value));
  }
  return parameters;
}

} // namespace tav
