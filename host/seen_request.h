// A request of the plugin's as the host saw it, decoded into C++ values for tests to inspect.
#pragma once

#include "binding/host_records.h"
#include "host/request_parts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::host {

struct SeenRequest {
  uint32_t methodCode = 0;
  std::string method; // the code's name, or the custom method for Custom
  std::string path;   // as sent, query included
  std::vector<TypedArgument> args;
  std::optional<std::string> argumentError; // the first argument value that could not be copied
  std::vector<HeaderPair> headers;
  std::string contentType;
  std::optional<std::string> body; // none when the body pointer was null
  uint32_t callerHandle = 0;
  const void* functionContext = nullptr;

  // The path up to any "?".
  std::string pathWithoutQuery() const;
};

// Copies request; null texts and arrays read as empty.
SeenRequest decodeRequest(const HostRequest& request);

} // namespace tav::host
