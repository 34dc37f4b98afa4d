// Method names by code and codes by name.
#include "host/http_methods.h"

#include <array>

namespace tav::host {
namespace {

constexpr std::array<std::string_view, 8> kMethodNames = {
    "", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT",
};

} // namespace

std::string_view methodName(uint32_t code) {
  return code < kMethodNames.size() ? kMethodNames[code] : std::string_view();
}

HttpMethod methodFromName(std::string_view name) {
  if (name.empty()) {
    return HttpMethod::Any;
  }
  for (uint32_t code = 1; code < kMethodNames.size(); ++code) {
    if (kMethodNames[code] == name) {
      return static_cast<HttpMethod>(code);
    }
  }
  return HttpMethod::Custom;
}

} // namespace tav::host
