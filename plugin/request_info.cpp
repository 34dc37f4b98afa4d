// Building the request info of a call.
#include "plugin/request_info.h"

#include <chrono>

namespace tav {

bool isRequestInfoType(const StaticTypeId& type) {
  return type.id == typeId<RequestInfo>().id || type.id == typeId<const RequestInfo*>().id;
}

int64_t ticksSince1970() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

RequestInfo requestInfoFromRequest(const host::HostRequest& request,
                                   const BindingTypeRegistry* registry) {
  RequestInfo info;
  info.callerHandle = request.callerHandle;
  info.registry = registry;
  info.receiveTime = ticksSince1970();
  info.method = httpMethodFromCode(request.method);
  if (info.method == HttpMethod::Custom && request.customMethod != nullptr) {
    info.customMethod = request.customMethod;
  }
  if (request.path != nullptr) {
    info.path = request.path;
  }
  if (request.headers != nullptr) {
    for (uint32_t i = 0; i < request.headerCount; ++i) {
      const host::HostHeaderPair& pair = request.headers[i];
      info.headers[pair.name != nullptr ? pair.name : ""] = pair.value != nullptr ? pair.value : "";
    }
  }
  return info;
}

} // namespace tav
