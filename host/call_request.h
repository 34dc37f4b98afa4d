// What the host sends when it calls one of the plugin's functions, and the request record built
// from it.
#pragma once

#include "binding/host_records.h"
#include "host/request_parts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::host {

struct CallRequest {
  // A method name; one of the seven standard names travels as its code, the empty name as Any,
  // and any other text as Custom with the text as the custom method.
  std::string method = "GET";
  std::string path; // may carry a query after "?"
  std::vector<TypedArgument> args;
  std::vector<HeaderPair> headers;
  std::string contentType;
  std::optional<std::string> body; // none: the record's body pointer is null
  uint32_t callerHandle = 0;
};

// The request record of one call and the storage behind it: the arguments are encoded as values
// the host owns and freed with the record. The function context word is left null for the caller
// to set per function record tried.
class RequestRecord {
public:
  explicit RequestRecord(const CallRequest& request);
  ~RequestRecord();
  RequestRecord(const RequestRecord&) = delete;
  RequestRecord& operator=(const RequestRecord&) = delete;

  HostRequest& record() { return record_; }

private:
  CallRequest request_; // owns the texts the record points at
  std::vector<HostTypedArgument> args_;
  std::vector<HostHeaderPair> headers_;
  HostRequest record_;
};

} // namespace tav::host
