// CallResult: the outcome of one incoming call, from which the response record is written.
#pragma once

#include "binding/binding_property.h"
#include "binding/native_binding.h"
#include "plugin/handler_response.h"
#include "plugin/response_stream.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tav {

// A handler's answer laid out for the host straight from its native value, owned until the
// response record takes it.
class PackedAnswer {
public:
  PackedAnswer() { std::memset(&value_, 0, sizeof value_); }
  ~PackedAnswer() { releasePackedHostValue(value_); }
  PackedAnswer(const PackedAnswer&) = delete;
  PackedAnswer& operator=(const PackedAnswer&) = delete;

  // Lays native out; false (and nothing held) when it has no direct form.
  template <typename T> bool build(const T& native, const BindingTypeRegistry& registry) {
    releasePackedHostValue(value_);
    ready_ = toPackedHostValue(value_, native, registry);
    return ready_;
  }
  bool ready() const { return ready_; }
  // Hands the record over; this holds nothing afterwards.
  host::HostValue take() {
    const host::HostValue taken = value_;
    std::memset(&value_, 0, sizeof value_);
    ready_ = false;
    return taken;
  }

private:
  host::HostValue value_;
  bool ready_ = false;
};

// The fields of a HandlerResponse from the content flag on, with the answer as a BindingResult in
// place of the value and message. Binding errors are recorded on `value` before the function runs.
struct CallResult {
  BindingResult value;
  PackedAnswer packed; // when ready, the answer in place of value (which then stays empty)
  uint32_t contentFlag = 0;
  uint32_t bodyFormat = 0;
  uint32_t status = 0;
  std::string text;
  std::vector<ResponseHeader> headers;
  OwnedResponseStream stream;
};

} // namespace tav
