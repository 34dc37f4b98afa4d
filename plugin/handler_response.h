// HandlerResponse<T>: what a plugin function answers, and the error answers usable as any of them.
//
//   HandlerResponse<BannerFlag> getEquipped() {
//     if (flags.empty()) return NotFound("Current sondar has no banner flags.");
//     return flag;                                   // status 0: success
//   }
//
// A function that returns nothing answers HandlerResponse<void>.
#pragma once

#include "plugin/response_stream.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace tav {

struct ResponseHeader {
  std::string name;
  std::string value;
};

// An error answer before it takes the shape of a particular HandlerResponse.
struct HandlerError {
  uint32_t status = 0;
  std::string message;
};

inline constexpr char kNotFoundMessage[] = "Not found";
inline constexpr char kInternalServerErrorMessage[] = "Internal server error";

// Status 404; "Not found" when message is empty.
inline HandlerError NotFound(std::string_view message = {}) {
  return HandlerError{404, message.empty() ? std::string(kNotFoundMessage) : std::string(message)};
}

// Status 500; "Internal server error" when message is empty.
inline HandlerError InternalServerError(std::string_view message = {}) {
  return HandlerError{500, message.empty() ? std::string(kInternalServerErrorMessage)
                                           : std::string(message)};
}

// The given status and message, unchanged.
inline HandlerError ErrorResponse(uint32_t status, std::string_view message) {
  return HandlerError{status, std::string(message)};
}

// The value slot of a function that returns nothing.
struct NoResponseValue {};

template <typename T> struct HandlerResponse {
  using Value = std::conditional_t<std::is_void_v<T>, NoResponseValue, T>;

  HandlerResponse() = default;
  // A successful answer carrying value.
  HandlerResponse(Value answer) requires(!std::is_void_v<T>) : value(std::move(answer)) {}
  // An error answer: ok false, the error's status and message.
  HandlerResponse(HandlerError error)
      : message(std::move(error.message)), status(error.status), ok(false) {}

  Value value{};
  // The error message when ok is false.
  std::string message;
  // Passed to the host unchanged (its low byte).
  uint32_t contentFlag = 0;
  // 1 JSON, 2 YAML, 3 MessagePack; the host reads anything else as 0.
  uint32_t bodyFormat = 0;
  // 0 unless the function sets one; hosts that speak HTTP show 0 as 200.
  uint32_t status = 0;
  std::string text;
  std::vector<ResponseHeader> headers;
  OwnedResponseStream stream;
  bool ok = true;
};

} // namespace tav
