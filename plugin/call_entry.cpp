// Serving an incoming call: match, bind, prepare, invoke, answer.
#include "plugin/call_entry.h"

#include "plugin/call_result.h"
#include "plugin/function_table.h"
#include "plugin/handler_response.h"
#include "plugin/request_info.h"
#include "plugin/response_record.h"
#include "plugin/route_handler.h"
#include "routing/argument_binding.h"
#include "routing/call_matching.h"

#include <cstring>

namespace tav {
namespace {

// Releases the argument pack however the call ends.
class PreparedArguments {
public:
  PreparedArguments() = default;
  PreparedArguments(const PreparedArguments&) = delete;
  PreparedArguments& operator=(const PreparedArguments&) = delete;
  ~PreparedArguments() {
    if (handler_ != nullptr && token_ != nullptr) {
      handler_->release(token_);
    }
  }

  void hold(RouteHandler* handler, void* token) {
    handler_ = handler;
    token_ = token;
  }
  void* token() const { return token_; }

private:
  RouteHandler* handler_ = nullptr;
  void* token_ = nullptr;
};

void serve(host::HostResponse& response, const host::HostRequest& request) {
  const auto* target = static_cast<const CallTarget*>(request.functionContext);
  const RouteRecord* record = target != nullptr ? target->record : nullptr;
  auto* handler = record != nullptr ? dynamic_cast<RouteHandler*>(record->handler()) : nullptr;

  CallResult result;
  PreparedArguments prepared;
  CallContext call = callContextFromRequest(request);
  bool matched = false;
  if (handler != nullptr) {
    const RoutePattern patterns[] = {RoutePattern::fromRecord(*record)};
    matched = matchCall(call, patterns);
  }

  if (!matched) {
    result.value.setError(kInvalidFunctionMessage);
    result.status = kInvalidFunctionStatus;
  } else {
    std::vector<BindingProperty> values =
        bindArguments(result.value, call, requestArgumentsFromRequest(request));
    if (result.value.ok()) {
      prepared.hold(handler, handler->prepare(result, values, request.callerHandle));
    }
    if (result.value.ok()) {
      if (isRequestInfoType(handler->requestInfoType())) {
        const RequestInfo info = requestInfoFromRequest(request, target->registry);
        handler->invoke(result, &info, prepared.token(), request.callerHandle);
      } else {
        handler->invoke(result, nullptr, prepared.token(), request.callerHandle);
      }
    }
  }
  writeResponseRecord(response, result, target != nullptr ? target->registry : nullptr);
}

// The answer when serving failed half way: nothing of the partial answer survives, and the text is
// static because memory may be what ran out.
void answerInternalError(host::HostResponse& response) noexcept {
  releaseResponseRecord(&response);
  resetResponseRecord(response);
  response.error = kInternalServerErrorMessage;
  response.errorOwned = 0;
  response.status = 500;
  response.text = sharedEmptyText();
}

} // namespace

void callEntry(host::HostResponse* response, const host::HostRequest* request) noexcept {
  if (response == nullptr) {
    return;
  }
  resetResponseRecord(*response);
  try {
    host::HostRequest empty;
    std::memset(&empty, 0, sizeof empty);
    serve(*response, request != nullptr ? *request : empty);
  } catch (...) {
    answerInternalError(*response);
  }
}

} // namespace tav
