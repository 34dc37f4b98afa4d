// Refusing requests whose body cannot be read safely, or that come from another site.
#include "tools/host_cli/request_guard.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tav::tools {
namespace {

constexpr size_t kMaxLengthDigits = 18; // below 2^63, whatever the value

std::string lowered(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string_view trimmed(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : text.substr(start, end - start + 1);
}

// "application/json; charset=utf-8" -> "application/json".
std::string mediaType(const std::string& contentType) {
  return lowered(trimmed(std::string_view(contentType).substr(0, contentType.find(';'))));
}

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

// "127.0.0.1:<port>" or "localhost:<port>", the port left out only where it is 80.
bool namesThisServer(std::string_view authority, int port) {
  const size_t colon = authority.rfind(':');
  std::string_view name = authority;
  std::string_view given = "80";
  if (colon != std::string_view::npos) {
    name = authority.substr(0, colon);
    given = authority.substr(colon + 1);
  }
  const std::string host = lowered(name);
  return (host == "127.0.0.1" || host == "localhost") && given.size() <= 5 && allDigits(given) &&
         std::stoi(std::string(given)) == port;
}

} // namespace

std::string bodyTooLargeMessage(size_t maxBodyBytes) {
  return "The body is larger than " + std::to_string(maxBodyBytes) +
         " bytes, the most tav-host takes";
}

bool announcesBody(const httplib::Request& request) {
  return request.has_header("Transfer-Encoding") ||
         trimmed(request.get_header_value("Content-Length")).find_first_not_of('0') !=
             std::string_view::npos;
}

std::optional<Refusal> refuseFraming(const httplib::Request& request, size_t maxBodyBytes) {
  const size_t lengths = request.get_header_value_count("Content-Length");
  const size_t codings = request.get_header_value_count("Transfer-Encoding");
  // Two lengths, or a length beside chunks, may be read one way here and another way by a
  // proxy in front: where the next request starts would be anybody's guess.
  if (lengths > 1 || (lengths == 1 && codings > 0)) {
    return Refusal{400, "The request gives more than one length for its body (Content-Length "
                        "twice, or beside Transfer-Encoding)"};
  }
  if (codings > 1 ||
      (codings == 1 &&
       lowered(trimmed(request.get_header_value("Transfer-Encoding"))) != "chunked")) {
    return Refusal{501, "tav-host reads no Transfer-Encoding but chunked"};
  }
  const std::string coding = lowered(trimmed(request.get_header_value("Content-Encoding")));
  if (!coding.empty() && coding != "identity") {
    return Refusal{415, "tav-host takes no compressed bodies (Content-Encoding: " + coding +
                            "); send the body as it is"};
  }
  if (lengths == 1) {
    const std::string header = request.get_header_value("Content-Length");
    const std::string_view length = trimmed(header);
    if (!allDigits(length)) {
      return Refusal{400, "Content-Length is not a number"};
    }
    const std::string_view significant =
        length.substr(std::min(length.find_first_not_of('0'), length.size()));
    if (significant.size() > kMaxLengthDigits ||
        std::stoull(std::string(significant.empty() ? "0" : significant)) > maxBodyBytes) {
      return Refusal{413, bodyTooLargeMessage(maxBodyBytes)};
    }
  }
  return std::nullopt;
}

std::optional<Refusal> refuseForeignHost(const httplib::Request& request, int port) {
  if (request.get_header_value_count("Host") != 1) {
    return Refusal{400, "Send one Host header"};
  }
  const std::string host = request.get_header_value("Host");
  if (!namesThisServer(host, port)) {
    return Refusal{403, "Host " + host + " is not this server; use 127.0.0.1:" +
                            std::to_string(port) + " or localhost:" + std::to_string(port)};
  }
  return std::nullopt;
}

std::optional<Refusal> refuseCrossSite(const httplib::Request& request, int port, bool jsonOnly) {
  if (request.method == "GET" || request.method == "HEAD") {
    return std::nullopt;
  }
  if (request.has_header("Origin")) {
    const std::string origin = request.get_header_value("Origin");
    constexpr std::string_view kScheme = "http://";
    if (lowered(origin).rfind(kScheme, 0) != 0 ||
        !namesThisServer(std::string_view(origin).substr(kScheme.size()), port)) {
      return Refusal{403, "Changes are taken only from tav-host's own page, not from " + origin};
    }
  }
  if (request.has_header("Sec-Fetch-Site")) {
    const std::string site = lowered(trimmed(request.get_header_value("Sec-Fetch-Site")));
    if (site != "same-origin" && site != "none") {
      return Refusal{403, "Changes are taken only from tav-host's own page, not from a " + site +
                              " one"};
    }
  }
  if (!announcesBody(request) && !request.has_header("Content-Type")) {
    return std::nullopt;
  }
  // The types a form may send without asking the server first.
  const std::string type = mediaType(request.get_header_value("Content-Type"));
  if (jsonOnly && type != "application/json") {
    return Refusal{415, "Send the body as application/json"};
  }
  if (type.empty() || type == "application/x-www-form-urlencoded" ||
      type == "multipart/form-data" || type == "text/plain") {
    return Refusal{415, "A body needs a Content-Type that no form can send, such as "
                        "application/json, application/x-yaml or application/x-msgpack"};
  }
  return std::nullopt;
}

} // namespace tav::tools
