// Names and host codes of HttpMethod.
#include "routing/http_method.h"

namespace tav {

const char* httpMethodName(HttpMethod method) {
  switch (method) {
  case HttpMethod::Delete:
    return "DELETE";
  case HttpMethod::Get:
    return "GET";
  case HttpMethod::Head:
    return "HEAD";
  case HttpMethod::Options:
    return "OPTIONS";
  case HttpMethod::Patch:
    return "PATCH";
  case HttpMethod::Post:
    return "POST";
  case HttpMethod::Put:
    return "PUT";
  case HttpMethod::Any:
  case HttpMethod::Custom:
    break;
  }
  return "";
}

HttpMethod httpMethodFromCode(uint32_t code) {
  if (code >= static_cast<uint32_t>(HttpMethod::Delete) &&
      code <= static_cast<uint32_t>(HttpMethod::Custom)) {
    return static_cast<HttpMethod>(code);
  }
  return HttpMethod::Any;
}

} // namespace tav
