// Building the request record of a host call.
#include "host/call_request.h"

#include "host/host_value_codec.h"
#include "host/http_methods.h"

#include <cstring>

namespace tav::host {

RequestRecord::RequestRecord(const CallRequest& request) : request_(request) {
  std::memset(&record_, 0, sizeof record_);
  const HttpMethod method = methodFromName(request_.method);
  record_.method = static_cast<uint32_t>(method);
  if (method == HttpMethod::Custom) {
    record_.customMethod = request_.method.c_str();
  }
  record_.path = request_.path.c_str();

  args_.reserve(request_.args.size());
  for (const TypedArgument& argument : request_.args) {
    HostTypedArgument& encoded = args_.emplace_back();
    encoded.name = argument.name ? argument.name->c_str() : nullptr;
    encoded.value = encodeHostValue(argument.value);
  }
  record_.args = args_.empty() ? nullptr : args_.data();
  record_.argCount = static_cast<uint32_t>(args_.size());

  headers_.reserve(request_.headers.size());
  for (const HeaderPair& header : request_.headers) {
    headers_.push_back(HostHeaderPair{header.name.c_str(), header.value.c_str()});
  }
  record_.headers = headers_.empty() ? nullptr : headers_.data();
  record_.headerCount = static_cast<uint32_t>(headers_.size());

  record_.contentType = request_.contentType.empty() ? nullptr : request_.contentType.c_str();
  if (request_.body) {
    record_.body = reinterpret_cast<const uint8_t*>(request_.body->data());
    record_.bodyLength = static_cast<uint32_t>(request_.body->size());
  }
  record_.callerHandle = request_.callerHandle;
}

RequestRecord::~RequestRecord() {
  for (HostTypedArgument& argument : args_) {
    releaseEncodedValue(argument.value);
  }
}

} // namespace tav::host
