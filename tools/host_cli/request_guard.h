// What serve refuses before it reads a request's body or runs a handler, and why.
//
// Local servers are reached by every program of the machine and, through the browser, by every
// web page the user opens; they are kept apart by these checks:
//  - framing: one Content-Length of digits, or chunked Transfer-Encoding, never both, and no
//    compressed body (so that no body grows past the limit once expanded); a declared length
//    beyond the limit is refused before any of the body is read;
//  - Host must name this server (127.0.0.1 or localhost, and its port), so that a foreign name
//    that resolves to the loopback (DNS rebinding) reaches nothing;
//  - a request that may change something (any method but GET and HEAD) is taken only from a
//    page of this server: Origin and Sec-Fetch-Site, when sent, must say so, and a body must
//    come with a Content-Type no form can send, JSON for serve's own paths. A browser sends
//    such a type to another origin only after a preflight, which serve never lets through.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <optional>
#include <string>

namespace tav::tools {

struct Refusal {
  int status = 0;
  std::string message;
};

// The answer's text for a body beyond maxBodyBytes.
std::string bodyTooLargeMessage(size_t maxBodyBytes);

// Whether the request announces a body (a Content-Length above 0, or chunks).
bool announcesBody(const httplib::Request& request);

// A body that cannot be read safely: 400 for an ambiguous length, 501 for a transfer coding
// other than chunked, 415 for a content coding, 413 for a declared length beyond maxBodyBytes.
std::optional<Refusal> refuseFraming(const httplib::Request& request, size_t maxBodyBytes);

// 403 for a Host header that names another server than 127.0.0.1:port or localhost:port.
std::optional<Refusal> refuseForeignHost(const httplib::Request& request, int port);

// For a request that may change something: 403 when Origin or Sec-Fetch-Site tells of another
// site, 415 for a body of a type a form can send (any but JSON when jsonOnly).
std::optional<Refusal> refuseCrossSite(const httplib::Request& request, int port, bool jsonOnly);

} // namespace tav::tools
