// HttpMethod: the method code shared with the host's request record, and its names.
#pragma once

#include <cstdint>

namespace tav {

// Code 0 is only ever a function's method and then accepts every call; `Custom` carries its
// method name as a separate string.
enum class HttpMethod : uint32_t {
  Any = 0,
  Delete = 1,
  Get = 2,
  Head = 3,
  Options = 4,
  Patch = 5,
  Post = 6,
  Put = 7,
  Custom = 8,
};

// "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST" or "PUT"; "" for `Any`, `Custom` and any
// code outside the enumeration. The text is static.
const char* httpMethodName(HttpMethod method);

// A method code as received from the host: 1 to 8 are taken as is, anything else becomes `Any`.
HttpMethod httpMethodFromCode(uint32_t code);

} // namespace tav
