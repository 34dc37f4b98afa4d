// CallResult: the outcome of one incoming call, from which the response record is written.
#pragma once

#include "binding/binding_property.h"
#include "plugin/handler_response.h"
#include "plugin/response_stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tav {

// The fields of a HandlerResponse from the content flag on, with the answer as a BindingResult in
// place of the value and message. Binding errors are recorded on `value` before the function runs.
struct CallResult {
  BindingResult value;
  uint32_t contentFlag = 0;
  uint32_t bodyFormat = 0;
  uint32_t status = 0;
  std::string text;
  std::vector<ResponseHeader> headers;
  OwnedResponseStream stream;
};

} // namespace tav
