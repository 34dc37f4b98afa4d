// Filling a matched function's arguments from header pairs, path captures, the query string,
// the host's typed arguments and the body.
//
//   CallContext call = callContextFromRequest(request);
//   if (matchCall(call, patterns)) {
//     BindingResult result;
//     std::vector<BindingProperty> values =
//         bindArguments(result, call, requestArgumentsFromRequest(request));
//     if (!result.ok()) answer result.errorMessage();
//   }
//
// Texts from headers, path and query may address parts of an argument with a dotted index path:
// "filter.items.0" sets element 0 of the member items of the argument filter, "0x1" and "010"
// read as hexadecimal and octal indexes.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_descriptor.h"
#include "binding/host_records.h"
#include "routing/call_matching.h"
#include "routing/query_string.h"
#include "routing/request_body.h"
#include "routing/route_matching.h"

#include <cstddef>
#include <span>
#include <vector>

namespace tav {

class RouteRecord;

// An index path may grow an array to at most this many elements, so that a short query such as
// "a.100000000" cannot ask for gigabytes of empty elements. A larger index fails as out of range.
inline constexpr size_t kMaxIndexedArrayLength = 65536;
// All index paths of one call together may add at most this many array elements, so that many
// short parameters ("a.0.65535&a.1.65535&...") cannot add up to the same. Beyond it the index
// that would add more fails as out of range.
inline constexpr size_t kMaxIndexedElementsPerCall = 16 * kMaxIndexedArrayLength;

// The parts of a host request that carry argument values. Everything is borrowed from the request
// and lives only during the call.
struct RequestArguments {
  std::span<const host::HostHeaderPair> headers;
  std::span<const host::HostTypedArgument> typedArguments;
  RequestBody body;
};

// Null arrays read as empty and a null content type as "". A null name or value inside a header
// pair reads as "" too; a null typed-argument name means a positional argument.
RequestArguments requestArgumentsFromRequest(const host::HostRequest& request);

// Binds the matched call (call.function and call.record must be set) with the query read from
// call.path. See the overload below.
std::vector<BindingProperty> bindArguments(BindingResult& result, const CallContext& call,
                                           const RequestArguments& request);

// Returns one value per declared argument of function, in declaration order:
// 1. required bool arguments start as false;
// 2. header pairs (for arguments located `Any` or `Header`, looked up by their lower-cased
//    name), then path captures, then query parameters, each checked against the argument's
//    location; an empty text sets a bool to true, an object or struct to an empty structure and
//    a vector to an empty collection, and is an error for any other type; a non-empty text is
//    decoded by decodeArgumentText, sniffing for object, vector and struct arguments;
// 3. the host's typed arguments, by name or by position after the captured path arguments;
// 4. the body, which runs even after an error and whose error replaces an earlier one.
// Steps 2 and 3 stop at the first error, which is recorded on result with its fixed message.
std::vector<BindingProperty>
bindArguments(BindingResult& result, const BindingFunctionDescriptor& function,
              const RouteRecord& record, const CapturedArguments& captured,
              const QueryParameters& query, const RequestArguments& request);

} // namespace tav
