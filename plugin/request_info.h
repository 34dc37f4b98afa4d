// RequestInfo: what a plugin function that asks for it learns about the call beyond its arguments.
//
//   HandlerResponse<std::string> whoAmI(const RequestInfo& info);   // info.callerHandle, ...
//
// A function takes it as `const RequestInfo&` or `const RequestInfo*` before its bound arguments;
// the two forms are the two static type ids that denote the request info.
#pragma once

#include "binding/host_records.h"
#include "binding/static_type_id.h"
#include "routing/http_method.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace tav {

class BindingTypeRegistry;

struct RequestInfo {
  uint32_t callerHandle = 0;
  const BindingTypeRegistry* registry = nullptr;
  // 100-nanosecond ticks since 1970-01-01 UTC, taken when the info was built.
  int64_t receiveTime = 0;
  HttpMethod method = HttpMethod::Any;
  // Filled only for HttpMethod::Custom.
  std::string customMethod;
  std::string path;
  // A later pair with the same name replaces the earlier value.
  std::unordered_map<std::string, std::string> headers;
};

template <> struct StaticTypePin<RequestInfo> : PinnedTypeId<0x466F9860> {};
template <> struct StaticTypePin<const RequestInfo*> : PinnedTypeId<0x89462EBF> {};

// True for either id of RequestInfo.
bool isRequestInfoType(const StaticTypeId& type);

// The system clock in 100-nanosecond ticks since 1970-01-01 UTC.
int64_t ticksSince1970();

// Copies what the info keeps out of the request; null texts and arrays read as empty.
RequestInfo requestInfoFromRequest(const host::HostRequest& request,
                                   const BindingTypeRegistry* registry);

} // namespace tav
