// Decoding a request record of the plugin's.
#include "host/seen_request.h"

#include "host/host_value_codec.h"
#include "host/http_methods.h"

namespace tav::host {
namespace {

std::string textOf(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::string SeenRequest::pathWithoutQuery() const {
  return path.substr(0, path.find('?'));
}

SeenRequest decodeRequest(const HostRequest& request) {
  SeenRequest seen;
  seen.methodCode = request.method;
  seen.method = request.method == static_cast<uint32_t>(HttpMethod::Custom)
                    ? textOf(request.customMethod)
                    : std::string(methodName(request.method));
  seen.path = textOf(request.path);
  if (request.args != nullptr) {
    for (uint32_t index = 0; index < request.argCount; ++index) {
      const HostTypedArgument& argument = request.args[index];
      TypedArgument& copy = seen.args.emplace_back();
      if (argument.name != nullptr) {
        copy.name = std::string(argument.name);
      }
      std::string error;
      if (std::optional<ValueTree> value = decodeHostValue(argument.value, &error)) {
        copy.value = std::move(*value);
      } else if (!seen.argumentError) {
        seen.argumentError = "argument " + std::to_string(index) + ": " + error;
      }
    }
  }
  if (request.headers != nullptr) {
    for (uint32_t index = 0; index < request.headerCount; ++index) {
      seen.headers.push_back(
          {textOf(request.headers[index].name), textOf(request.headers[index].value)});
    }
  }
  seen.contentType = textOf(request.contentType);
  if (request.body != nullptr) {
    seen.body = std::string(reinterpret_cast<const char*>(request.body), request.bodyLength);
  }
  seen.callerHandle = request.callerHandle;
  seen.functionContext = request.functionContext;
  return seen;
}

} // namespace tav::host
