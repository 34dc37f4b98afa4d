// RouteHandler: the handler object a route record owns, through which an incoming call reaches the
// plugin's function.
//
// The call entry drives it in this order: prepare (bound values to native arguments), invoke (run
// the function and fill the call result), release (free what prepare made). See
// typed_route_handler.h for the implementation that wraps a plugin's member function or lambda.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_descriptor.h"
#include "binding/static_type_id.h"
#include "plugin/call_result.h"
#include "plugin/request_info.h"
#include "routing/route_table.h"

#include <cstdint>
#include <span>

namespace tav {

class RouteHandler : public RouteHandlerBase {
public:
  // Converts the bound values, one per declared argument, into the function's native arguments,
  // recording the first conversion error on result.value under the argument's name. Returns null
  // or an owned argument pack, which the caller hands to invoke and then to release, also when
  // an error was recorded.
  virtual void* prepare(CallResult& result, std::span<BindingProperty> arguments,
                        uint32_t callerHandle) = 0;
  // Runs the function with the pack and, when it asks for one, the request info (null otherwise),
  // and fills result from its answer: an error answer becomes an error with its message, a value
  // is converted (a failed conversion becomes the error); content flag, body format, status,
  // text, headers and stream move over unchanged.
  virtual void invoke(CallResult& result, const RequestInfo* info, void* token,
                      uint32_t callerHandle) = 0;
  // Frees a pack returned by prepare; null is ignored.
  virtual void release(void* token) noexcept = 0;
  // The stored callable.
  virtual const void* target() const = 0;
  // typeId<RequestInfo>() or typeId<const RequestInfo*>() for a function that takes the request
  // info, noPayloadTypeId() otherwise.
  virtual const StaticTypeId& requestInfoType() const = 0;
  ~RouteHandler() override = default;

  // The function this handler serves; its argument names appear in conversion messages. Set at
  // registration, before any call.
  void setFunction(const BindingFunctionDescriptor* function) { function_ = function; }
  const BindingFunctionDescriptor* function() const { return function_; }

protected:
  const BindingFunctionDescriptor* function_ = nullptr;
};

} // namespace tav
