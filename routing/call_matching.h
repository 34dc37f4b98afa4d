// Matching one incoming call against the patterns of registered functions.
//
//   CallContext call = callContextFromRequest(request);
//   const RoutePattern patterns[] = {RoutePattern::fromRecord(*record)};
//   if (!matchCall(call, patterns))
//     answer kInvalidFunctionMessage with kInvalidFunctionStatus;
//   call.function; call.record; call.captured;   // the matched function and its path arguments
#pragma once

#include "binding/host_records.h"
#include "routing/http_method.h"
#include "routing/route_matching.h"
#include "routing/route_table.h"
#include "routing/url_template.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tav {

// The answer to a call that no pattern matches, by path or by method.
inline constexpr char kInvalidFunctionMessage[] = "Invalid function";
inline constexpr uint32_t kInvalidFunctionStatus = 404;

// One function's template as a call is matched against it. Built per call; the compiled
// template is the record's, shared, so building a pattern compiles nothing.
struct RoutePattern {
  HttpMethod method = HttpMethod::Any;
  const RouteRecord* record = nullptr;
  // Literal text or compiled expression, with the placeholders in template order.
  std::shared_ptr<const UrlTemplate> templ;

  static RoutePattern fromRecord(const RouteRecord& record);
};

// Everything one call carries into matching, and what matching found. Belongs to one call.
struct CallContext {
  HttpMethod method = HttpMethod::Any;
  std::string customMethod; // filled only for HttpMethod::Custom
  std::string path;         // exactly as delivered, query included
  // Set by a successful matchCall, null otherwise.
  const BindingFunctionDescriptor* function = nullptr;
  const RouteRecord* record = nullptr;
  CapturedArguments captured; // placeholder name to percent-decoded text
};

// The context of a host request: the method code as httpMethodFromCode reads it, the custom
// method name only for `Custom`, and the path. Null texts read as empty.
CallContext callContextFromRequest(const host::HostRequest& request);

// Tries the patterns in order with the rules of matchRoute against the path part of call.path
// (the text before the first "?", the query being argument text) and, on a match, stores the taken
// pattern's function, record and captured arguments in call. Returns false, with the function,
// record and captures cleared, when no pattern fits by both path and method; the caller then
// answers kInvalidFunctionMessage with kInvalidFunctionStatus.
bool matchCall(CallContext& call, std::span<const RoutePattern> patterns);

} // namespace tav
