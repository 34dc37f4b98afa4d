// Copying a plugin's response record, its stream included, into a CallResult.
#include "host/call_result.h"

#include "host/host_value_codec.h"
#include "host/plugin_side.h"

namespace tav::host {
namespace {

constexpr uint32_t kStreamBufferSize = 4096;

// A stream that keeps answering "more" without bytes would hold the call forever.
constexpr unsigned kMaxStreamReads = 1u << 20;

std::string textOf(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::string CallResult::streamText() const {
  std::string joined;
  for (const std::string& chunk : streamChunks) {
    joined += chunk;
  }
  return joined;
}

CallResult readResponse(const HostResponse& response) {
  CallResult result;
  result.status = response.status;
  if (response.error != nullptr) {
    result.error = std::string(response.error);
  }
  result.errorOwned = response.errorOwned != 0;
  std::string valueError;
  if (std::optional<ValueTree> value = decodeHostValue(response.value, &valueError)) {
    result.value = std::move(*value);
  } else {
    result.valueError = valueError;
  }
  result.contentFlag = response.contentFlag;
  result.bodyFormat = response.bodyFormat;
  result.text = textOf(response.text);
  if (response.headers != nullptr) {
    for (uint32_t index = 0; index < response.headerCount; ++index) {
      result.headers.push_back(
          {textOf(response.headers[index].name), textOf(response.headers[index].value)});
    }
  }
  result.streamed = response.streamRead != nullptr;
  result.streamSizeHint = response.streamSizeHint;
  return result;
}

void readResponseStream(const HostResponse& response, CallResult& result) {
  if (response.streamRead == nullptr) {
    return;
  }
  char buffer[kStreamBufferSize];
  uint8_t more = 1;
  while (more != 0) {
    if (result.streamReads == kMaxStreamReads) {
      result.streamError =
          "stream still had more after " + std::to_string(kMaxStreamReads) + " reads";
      break;
    }
    uint32_t count = kStreamBufferSize;
    more = 1;
    ++result.streamReads;
    if (intoPlugin(response.streamRead, response.stream, buffer, &count, &more) == 0) {
      result.streamError = "read " + std::to_string(result.streamReads) + " failed";
      break;
    }
    if (count > kStreamBufferSize) {
      result.streamError = "read " + std::to_string(result.streamReads) + " reported " +
                           std::to_string(count) + " bytes for a buffer of " +
                           std::to_string(kStreamBufferSize);
      break;
    }
    if (count > 0) {
      result.streamChunks.emplace_back(buffer, count);
    }
  }
  if (response.streamRelease != nullptr) {
    intoPlugin(response.streamRelease, response.stream);
    result.streamReleased = true;
  }
}

} // namespace tav::host
