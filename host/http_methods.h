// The method codes of the request record and their names, as the host reads and writes them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tav::host {

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

// "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST" or "PUT" for codes 1 to 7; every other
// code, Custom included, has the empty name.
std::string_view methodName(uint32_t code);

// The code whose name is exactly name; the empty name is Any and any other text is Custom, whose
// name then travels as the request's custom method.
HttpMethod methodFromName(std::string_view name);

} // namespace tav::host
