// Passing HTTP requests to the plugin or to the peer services.
#include "tools/host_cli/http_bridge.h"

#include "host/sondar_inventory.h"
#include "tools/host_cli/answer_output.h"
#include "tools/host_cli/lockfile.h"
#include "tools/host_cli/page_assets.h"
#include "tools/host_cli/request_guard.h"
#include "tools/host_cli/safe_text.h"

#include <httplib.h>

#include <cctype>
#include <cstdio>
#include <exception>
#include <optional>
#include <sstream>

namespace tav::tools {
namespace {

using host::ValueKind;
using host::ValueTree;

// Texts may quote what a client sent, such as a path of bytes that are no UTF-8.
void answerJson(httplib::Response& response, int status, const ValueTree& value) {
  response.status = status;
  response.set_content(validUtf8(value.toJson()), "application/json");
}

void answerError(httplib::Response& response, int status, const std::string& message) {
  answerJson(response, status,
             ValueTree::map({{"httpStatus", static_cast<int64_t>(status)}, {"message", message}}));
}

void methodNotAllowed(httplib::Response& response, const std::string& allowed) {
  response.set_header("Allow", allowed);
  answerError(response, 405, "This path takes " + allowed);
}

// The request body as JSON; on failure answers 400 and returns nothing.
std::optional<ValueTree> jsonBody(const httplib::Request& request, httplib::Response& response) {
  std::string error;
  std::optional<ValueTree> body = ValueTree::fromJson(request.body, &error);
  if (!body) {
    answerError(response, 400, "The body is not JSON: " + error);
  }
  return body;
}

// Reads a part of a data file through SondarData, so that edits are checked exactly as the file
// is; on failure answers 400 with the place and the problem.
std::optional<host::SondarData> dataOf(const ValueTree& part, httplib::Response& response) {
  std::string error;
  std::optional<host::SondarData> data = host::SondarData::fromJson(part.toJson(), &error);
  if (!data) {
    answerError(response, 400, error);
  }
  return data;
}

// The members of a SondarData's data file text that are named.
ValueTree dataMembers(const host::SondarData& data, std::initializer_list<const char*> names) {
  const std::optional<ValueTree> whole = ValueTree::fromJson(data.toJson());
  std::vector<host::ValueEntry> picked;
  for (const char* name : names) {
    if (const ValueTree* member = whole ? whole->find(name) : nullptr) {
      picked.emplace_back(name, *member);
    }
  }
  return ValueTree::map(std::move(picked));
}

ValueTree failureValue(const host::SondarFailure& failure) {
  return ValueTree::map(
      {{"status", static_cast<int64_t>(failure.status)}, {"message", failure.message}});
}

std::vector<std::string> splitTypes(const std::string& list) {
  std::vector<std::string> types;
  std::istringstream stream(list);
  for (std::string type; std::getline(stream, type, ',');) {
    if (!type.empty()) {
      types.push_back(type);
    }
  }
  return types;
}

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool sameLetters(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) {
    return false;
  }
  for (size_t i = 0; i < left.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(left[i])) !=
        std::tolower(static_cast<unsigned char>(right[i]))) {
      return false;
    }
  }
  return true;
}

// The text of an error the HTTP layer answers before any handler runs.
std::string layerError(int status, const httplib::Request& request, const ServerLimits& limits) {
  switch (status) {
  case 400:
    return "The request is not valid HTTP/1.1";
  case 404:
    return "Nothing here answers " + request.method + " " + request.path;
  case 408:
    return "The request line and headers did not arrive within " +
           std::to_string(limits.headerDeadline.count()) + " s";
  case 413:
    return bodyTooLargeMessage(limits.maxBodyBytes);
  case 414:
    return "The request target is longer than 8192 bytes";
  case 431:
    return "The request line and headers are larger than " + std::to_string(limits.maxHeaderBytes) +
           " bytes";
  default:
    return "HTTP status " + std::to_string(status);
  }
}

// Whether serve reads the body of requests to path itself, as JSON.
bool readsJsonItself(const std::string& path) {
  return path == host::kInventoryPath || path == host::kProfilePath ||
         startsWith(path, host::kConfigurationPrefix) || startsWith(path, kFailuresPrefix);
}

// Answers a request refused before its body was read; the body is then never read, and the
// connection ends instead, since where the next request would start is not known.
void refuse(const httplib::Request& request, httplib::Response& response, const Refusal& refusal) {
  answerError(response, refusal.status, refusal.message);
  Connection* connection = Connection::current();
  if (connection != nullptr && announcesBody(request)) {
    response.set_header("Connection", "close");
    if (refusal.status == 413) {
      connection->closeAfterLargeBody();
    } else {
      connection->closeAfterAnswer();
    }
  }
}

// Answers the reason a change was refused, the data file's save having failed.
void refused(httplib::Response& response, const std::string& error) {
  answerError(response, 500, error.empty() ? "The change could not be saved" : error);
}

} // namespace

HttpBridge::HttpBridge(Session& session, EventStream& events, std::string authorization)
    : session_(session), events_(events) {
  const size_t space = authorization.find(' ');
  scheme_ = authorization.substr(0, space);
  credentials_ = space == std::string::npos ? std::string() : authorization.substr(space + 1);
}

bool HttpBridge::authorized(const std::string& header) const {
  // "<scheme> <credentials>", the scheme in any case.
  const size_t space = header.find(' ');
  if (space == std::string::npos ||
      !sameLetters(std::string_view(header).substr(0, space), scheme_)) {
    return false;
  }
  const size_t start = header.find_first_not_of(' ', space);
  return start != std::string::npos &&
         sameSecret(std::string_view(header).substr(start), credentials_);
}

void HttpBridge::mount(GuardedServer& server) {
  const ServerLimits limits = server.limits();
  // Limits first, as they hold for everyone; then who may ask at all, then from where.
  const auto checks = [this, limits, &server](const httplib::Request& request,
                                              httplib::Response& response) {
    std::optional<Refusal> refusal = refuseFraming(request, limits.maxBodyBytes);
    if (!refusal) {
      refusal = refuseForeignHost(request, server.port());
    }
    if (!refusal && !authorized(request.get_header_value("Authorization"))) {
      response.set_header("WWW-Authenticate", "Basic realm=\"tav-host\"");
      refusal = Refusal{401, "Send the user and the password of the lockfile"};
    }
    if (!refusal) {
      refusal = refuseCrossSite(request, server.port(), readsJsonItself(request.path));
    }
    if (!refusal) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    refuse(request, response, *refusal);
    return httplib::Server::HandlerResponse::Handled;
  };
  server.set_pre_routing_handler(checks);
  // A client that asks before it sends its body is told a refusal instead of "100 Continue".
  server.set_expect_100_continue_handler([checks](const httplib::Request& request,
                                                  httplib::Response& response) {
    return checks(request, response) == httplib::Server::HandlerResponse::Handled ? response.status
                                                                                  : 100;
  });
  const httplib::Server::HandlerWithResponse layerErrors = [limits](const httplib::Request& request,
                                                                    httplib::Response& response) {
    if (!response.body.empty()) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    Connection* connection = Connection::current();
    const Connection::Failure failure =
        connection != nullptr ? connection->failure() : Connection::Failure::None;
    if (failure == Connection::Failure::HeadersTooLarge) {
      response.status = 431;
    } else if (failure == Connection::Failure::HeadersTooSlow) {
      response.status = 408;
    }
    // After a request the layer could not read, where the next one starts is unknown.
    if (response.status != 404 && connection != nullptr) {
      response.set_header("Connection", "close");
      connection->closeAfterAnswer();
    }
    answerError(response, response.status, layerError(response.status, request, limits));
    return httplib::Server::HandlerResponse::Handled;
  };
  server.set_error_handler(layerErrors);
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr thrown) {
        std::string what = "unknown exception";
        try {
          std::rethrow_exception(thrown);
        } catch (const std::exception& exception) {
          what = exception.what();
        } catch (...) {
        }
        answerError(response, 500, "tav-host failed: " + what);
      });
  server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    handle(request, response);
  });
  // Bodies are read here, so that the limit holds for what is read whatever the framing: the
  // library itself checks it against a declared length only.
  const auto withBody = [this, limits](const httplib::Request& request, httplib::Response& response,
                                       const httplib::ContentReader& reader) {
    httplib::Request whole = request;
    bool tooLarge = false;
    const bool read = !announcesBody(request) || reader([&](const char* data, size_t size) {
      tooLarge = size > limits.maxBodyBytes - whole.body.size();
      if (!tooLarge) {
        whole.body.append(data, size);
      }
      return !tooLarge;
    });
    if (!read) {
      return refuse(request, response,
                    tooLarge ? Refusal{413, bodyTooLargeMessage(limits.maxBodyBytes)}
                             : Refusal{400, "The body could not be read"});
    }
    handle(whole, response);
  };
  server.Put(".*", withBody);
  server.Post(".*", withBody);
  server.Patch(".*", withBody);
  server.Delete(".*", withBody);
}

void HttpBridge::handle(const httplib::Request& request, httplib::Response& response) {
  // HEAD is answered as GET is; the library leaves the body out.
  if (request.method == "HEAD") {
    httplib::Request get = request;
    get.method = "GET";
    return handle(get, response);
  }
  const std::string& path = request.path;
  if (isPagePath(path)) {
    return page(request, response);
  }
  if (path == kEventsPath) {
    if (request.method != "GET") {
      return methodNotAllowed(response, "GET");
    }
    if (!events_.attach(response)) {
      answerError(response, 503,
                  "At most " + std::to_string(EventStream::kMaxClients) +
                      " event streams are open at once; close one and try again");
    }
    return;
  }
  if (path == host::kInventoryPath) {
    return inventory(request, response);
  }
  if (path == host::kProfilePath) {
    return profile(request, response);
  }
  if (path == host::kLoadoutsPath) {
    return loadouts(request, response);
  }
  if (startsWith(path, host::kConfigurationPrefix)) {
    return configuration(request, response);
  }
  if (startsWith(path, kFailuresPrefix)) {
    return failure(request, response);
  }
  callPlugin(request, response);
}

void HttpBridge::page(const httplib::Request& request, httplib::Response& response) {
  if (request.method != "GET") {
    return methodNotAllowed(response, "GET");
  }
  const std::optional<PageAsset> asset = findPageAsset(request.path);
  if (!asset) {
    return answerError(response, 404, "The page has no file " + request.path);
  }
  // The page may change with every build of tav-host, and nothing of it comes from elsewhere.
  response.set_header("Cache-Control", "no-cache");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Content-Security-Policy",
                      "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
  response.set_content(asset->bytes.data(), asset->bytes.size(), std::string(asset->contentType));
}

void HttpBridge::announce(const httplib::Request& request) {
  events_.announce(kHostChangeEvent,
                   ValueTree::map({{"method", request.method}, {"path", request.path}}));
}

void HttpBridge::callPlugin(const httplib::Request& request, httplib::Response& response) {
  host::CallRequest call;
  call.method = request.method;
  call.path = request.target; // the query as it was sent
  call.contentType = request.get_header_value("Content-Type");
  if (!request.body.empty() || request.method == "PUT" || request.method == "POST" ||
      request.method == "PATCH") {
    call.body = request.body;
  }
  const host::CallResult result = session_.host().call(call);
  const auto status = static_cast<int>(answerStatus(result));
  if (!result.ok()) {
    return answerError(response, status, answerError(result));
  }
  answerJson(response, status, result.value);
}

void HttpBridge::inventory(const httplib::Request& request, httplib::Response& response) {
  if (request.method == "GET") {
    const std::vector<std::string> types =
        request.has_param("types")
            ? splitTypes(request.get_param_value("types"))
            : std::vector<std::string>{"TOURNAMENT_FLAG", "TOURNAMENT_FRAME"};
    const host::SondarData data = session_.peers().snapshot();
    std::vector<host::ValueEntry> tokens;
    for (const std::string& type : types) {
      if (std::optional<std::string> token = host::inventoryToken(data, type)) {
        tokens.emplace_back(type, std::move(*token));
      }
    }
    return answerJson(response, 200, ValueTree::map(std::move(tokens)));
  }
  if (request.method != "PUT") {
    return methodNotAllowed(response, "GET, PUT");
  }
  const std::optional<ValueTree> body = jsonBody(request, response);
  if (!body) {
    return;
  }
  if (body->kind() != ValueKind::Map || body->entries().empty()) {
    return answerError(response, 400, "Send an object with \"flags\", \"frames\" or both");
  }
  for (const host::ValueEntry& entry : body->entries()) {
    if (entry.first != "flags" && entry.first != "frames") {
      return answerError(response, 400, "unknown member \"" + entry.first + "\"");
    }
  }
  const std::optional<host::SondarData> edit = dataOf(*body, response);
  if (!edit) {
    return;
  }
  const bool flags = body->find("flags") != nullptr;
  const bool frames = body->find("frames") != nullptr;
  std::string error;
  const bool kept = session_.peers().change(
      [&](host::SondarData& data) {
        if (flags) {
          data.flags = edit->flags;
        }
        if (frames) {
          data.frames = edit->frames;
        }
        return true;
      },
      &error);
  if (!kept) {
    return refused(response, error);
  }
  announce(request);
  answerJson(response, 200, dataMembers(session_.peers().snapshot(), {"flags", "frames"}));
}

void HttpBridge::profile(const httplib::Request& request, httplib::Response& response) {
  if (request.method == "GET") {
    return answerJson(response, 200, session_.peers().profile());
  }
  if (request.method != "PUT" && request.method != "POST") {
    return methodNotAllowed(response, "GET, PUT, POST");
  }
  const std::optional<ValueTree> body = jsonBody(request, response);
  if (!body) {
    return;
  }
  if (body->kind() != ValueKind::Map) {
    return answerError(response, 400, host::kBadWriteMessage);
  }
  std::string error;
  if (request.method == "PUT") {
    if (!session_.peers().setProfile(*body, &error)) {
      return refused(response, error);
    }
  } else {
    // As the plugin writes it: one member, the others kept.
    const ValueTree* key = body->find("key");
    if (key == nullptr || key->kind() != ValueKind::String) {
      return answerError(response, 400, "Send {\"key\": <text>, \"value\": <any>}");
    }
    const ValueTree* value = body->find("value");
    if (!session_.peers().setProfileMember(key->text(), value != nullptr ? *value : ValueTree(),
                                           &error)) {
      return refused(response, error);
    }
  }
  announce(request);
  answerJson(response, 200, session_.peers().profile());
}

void HttpBridge::loadouts(const httplib::Request& request, httplib::Response& response) {
  if (request.method != "GET") {
    return methodNotAllowed(response, "GET");
  }
  answerJson(response, 200, session_.peers().loadouts());
}

void HttpBridge::configuration(const httplib::Request& request, httplib::Response& response) {
  const std::string rest = request.path.substr(std::string_view(host::kConfigurationPrefix).size());
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == rest.size() ||
      rest.find('/', slash + 1) != std::string::npos) {
    return answerError(response, 404,
                       std::string("Configuration paths are ") + host::kConfigurationPrefix +
                           "<namespace>/<name>");
  }
  const std::string ns = rest.substr(0, slash);
  const std::string name = rest.substr(slash + 1);

  if (request.method == "GET") {
    const std::optional<ValueTree> value = session_.peers().configuration(ns, name);
    return value ? answerJson(response, 200, *value)
                 : answerError(response, 404, host::kNoPeerMessage);
  }
  // Answered once the plugin has had the event, so that the next request sees the change.
  std::string error;
  if (request.method == "PUT") {
    const std::optional<ValueTree> body = jsonBody(request, response);
    if (!body) {
      return;
    }
    if (!session_.peers().setConfiguration(ns, name, *body, &error)) {
      return refused(response, error);
    }
    session_.host().waitForDeliveries();
    announce(request);
    return answerJson(response, 200, *body);
  }
  if (request.method == "DELETE") {
    if (!session_.peers().deleteConfiguration(ns, name, &error)) {
      return error.empty() ? answerError(response, 404, host::kNoPeerMessage)
                           : refused(response, error);
    }
    session_.host().waitForDeliveries();
    announce(request);
    response.status = 204;
    return;
  }
  methodNotAllowed(response, "GET, PUT, DELETE");
}

void HttpBridge::failure(const httplib::Request& request, httplib::Response& response) {
  const std::string name = request.path.substr(std::string_view(kFailuresPrefix).size());
  const std::optional<host::SondarEndpoint> endpoint = host::sondarEndpointFromName(name);
  if (!endpoint) {
    return answerError(response, 404,
                       "Failures are injected into inventory, profileRead, profileWrite, "
                       "loadouts, configuration or telemetry");
  }
  if (request.method == "GET") {
    const host::SondarData data = session_.peers().snapshot();
    auto found = data.failures.find(*endpoint);
    if (found == data.failures.end()) {
      return answerError(response, 404, host::kNoPeerMessage);
    }
    return answerJson(response, 200, failureValue(found->second));
  }
  if (request.method == "PUT") {
    const std::optional<ValueTree> body = request.body.empty()
                                              ? std::optional<ValueTree>(ValueTree::map({}))
                                              : jsonBody(request, response);
    if (!body) {
      return;
    }
    const std::optional<host::SondarData> edit =
        dataOf(ValueTree::map({{"failures", ValueTree::map({{name, *body}})}}), response);
    if (!edit) {
      return;
    }
    const host::SondarFailure injected = edit->failures.at(*endpoint);
    std::string error;
    if (!session_.peers().setFailure(*endpoint, injected, &error)) {
      return refused(response, error);
    }
    announce(request);
    return answerJson(response, 200, failureValue(injected));
  }
  if (request.method == "DELETE") {
    std::string error;
    if (!session_.peers().clearFailure(*endpoint, &error) && !error.empty()) {
      return refused(response, error);
    }
    announce(request);
    response.status = 204;
    return;
  }
  methodNotAllowed(response, "GET, PUT, DELETE");
}

} // namespace tav::tools
