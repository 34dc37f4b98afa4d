// The call entry shared by every function record: the host's way into the plugin's functions.
#pragma once

#include "binding/host_records.h"

namespace tav {

// Serves one call. The request's function context names the route (a CallTarget of the
// function table); the response record is reset and given its release function before anything
// else is written, so every answer, errors included, is released the same way.
//
// Answers: a path or method that does not fit the route, or a missing context, "Invalid function"
// with status 404; a binding or argument conversion error, its message with the call's status;
// otherwise the function's answer. Nothing is thrown: any exception, std::bad_alloc included,
// becomes "Internal server error" with status 500. A null request is read as an empty one; a null
// response is left alone, there is nowhere to answer.
void callEntry(host::HostResponse* response, const host::HostRequest* request) noexcept;

} // namespace tav
