// Passing HTTP requests to the plugin or to the peer services.
#include "tools/host_cli/http_bridge.h"

#include "host/sondar_inventory.h"
#include "tools/host_cli/answer_output.h"
#include "tools/host_cli/lockfile.h"

#include <httplib.h>

#include <cstdio>
#include <optional>
#include <sstream>

namespace tav::tools {
namespace {

using host::ValueKind;
using host::ValueTree;

void answerJson(httplib::Response& response, int status, const ValueTree& value) {
  response.status = status;
  response.set_content(value.toJson(), "application/json");
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

} // namespace

HttpBridge::HttpBridge(Session& session, EventStream& events, std::string authorization)
    : session_(session), events_(events), authorization_(std::move(authorization)) {}

void HttpBridge::mount(httplib::Server& server) {
  server.set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        if (sameSecret(request.get_header_value("Authorization"), authorization_)) {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        response.set_header("WWW-Authenticate", "Basic realm=\"tav-host\"");
        answerError(response, 401, "Send the user and the password of the lockfile");
        return httplib::Server::HandlerResponse::Handled;
      });
  const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    handle(request, response);
  };
  server.Get(".*", handler);
  server.Put(".*", handler);
  server.Post(".*", handler);
  server.Patch(".*", handler);
  server.Delete(".*", handler);
}

void HttpBridge::handle(const httplib::Request& request, httplib::Response& response) {
  const std::string& path = request.path;
  if (path == kEventsPath) {
    if (request.method != "GET") {
      return methodNotAllowed(response, "GET");
    }
    return events_.attach(response);
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
  if (body->find("flags") != nullptr) {
    session_.peers().setFlags(edit->flags);
  }
  if (body->find("frames") != nullptr) {
    session_.peers().setFrames(edit->frames);
  }
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
  if (request.method == "PUT") {
    session_.peers().setProfile(*body);
  } else {
    // As the plugin writes it: one member, the others kept.
    const ValueTree* key = body->find("key");
    if (key == nullptr || key->kind() != ValueKind::String) {
      return answerError(response, 400, "Send {\"key\": <text>, \"value\": <any>}");
    }
    const ValueTree* value = body->find("value");
    session_.peers().setProfileMember(key->text(), value != nullptr ? *value : ValueTree());
  }
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
  if (request.method == "PUT") {
    const std::optional<ValueTree> body = jsonBody(request, response);
    if (body) {
      session_.peers().setConfiguration(ns, name, *body);
      answerJson(response, 200, *body);
    }
    return;
  }
  if (request.method == "DELETE") {
    if (!session_.peers().deleteConfiguration(ns, name)) {
      return answerError(response, 404, host::kNoPeerMessage);
    }
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
    session_.peers().setFailure(*endpoint, injected);
    return answerJson(response, 200, failureValue(injected));
  }
  if (request.method == "DELETE") {
    session_.peers().clearFailure(*endpoint);
    response.status = 204;
    return;
  }
  methodNotAllowed(response, "GET, PUT, DELETE");
}

} // namespace tav::tools
