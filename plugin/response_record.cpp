// The response record: writing a call result into it and releasing it.
#include "plugin/response_record.h"

#include "foundation/memory.h"

#include <cstring>
#include <new>
#include <string>

namespace tav {
namespace {

constinit const char kEmptyText[1] = {'\0'};

char* copyText(const std::string& text) {
  char* copy = memory::duplicateString(text.c_str());
  if (copy == nullptr) {
    throw std::bad_alloc();
  }
  return copy;
}

uint32_t hostBodyFormat(uint32_t format) {
  return format >= 1 && format <= 3 ? format : 0;
}

} // namespace

const char* sharedEmptyText() {
  return kEmptyText;
}

void resetResponseRecord(host::HostResponse& response) {
  std::memset(&response, 0, sizeof response);
  response.release = &releaseResponseRecord;
}

void writeResponseRecord(host::HostResponse& response, CallResult& result,
                         const BindingTypeRegistry* registry, HostValueWriter writeValue) {
  bool converted = true;
  if (!result.value.ok()) {
    response.error = copyText(std::string(result.value.errorMessage()));
    response.errorOwned = 1;
  } else if (result.packed.ready()) {
    response.value = result.packed.take();
  } else if (!writeValue(response.value, result.value, registry)) {
    converted = false;
    std::memset(&response.value, 0, sizeof response.value);
    response.error = kResponseValueNotConvertedMessage;
    response.errorOwned = 0;
  }

  response.contentFlag = static_cast<uint8_t>(result.contentFlag & 0xFF);
  response.bodyFormat = hostBodyFormat(result.bodyFormat);
  response.status = converted ? result.status : 400;
  response.text = result.text.empty() ? kEmptyText : copyText(result.text);

  if (!result.headers.empty()) {
    const size_t count = result.headers.size();
    auto* pairs =
        static_cast<host::HostHeaderPair*>(memory::allocate(count * sizeof(host::HostHeaderPair)));
    if (pairs == nullptr) {
      throw std::bad_alloc();
    }
    // Zeroed and published first, so a failure half way leaves a record release can free.
    std::memset(pairs, 0, count * sizeof(host::HostHeaderPair));
    response.headers = pairs;
    response.headerCount = static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; ++i) {
      pairs[i].name = copyText(result.headers[i].name);
      pairs[i].value = copyText(result.headers[i].value);
    }
  }

  if (result.stream) {
    // Asked before the stream changes hands, so a hint that throws leaves the result owning it.
    const uint32_t sizeHint = result.stream->sizeHint();
    response.stream = result.stream.release();
    response.streamSizeHint = sizeHint;
    response.zero = 0;
    response.streamRead = &hostStreamRead;
    response.streamRelease = &hostStreamRelease;
  }
}

void releaseResponseRecord(host::HostResponse* response) noexcept {
  if (response == nullptr) {
    return;
  }
  releasePackedHostValue(response->value);
  if (response->errorOwned != 0 && response->error != nullptr) {
    memory::release(const_cast<char*>(response->error));
  }
  response->error = nullptr;
  response->errorOwned = 0;
  if (response->text != nullptr && response->text != kEmptyText) {
    memory::release(const_cast<char*>(response->text));
  }
  if (response->headers != nullptr) {
    for (uint32_t i = 0; i < response->headerCount; ++i) {
      memory::release(const_cast<char*>(response->headers[i].name));
      memory::release(const_cast<char*>(response->headers[i].value));
    }
    memory::release(response->headers);
  }
  std::memset(response, 0, sizeof *response);
}

} // namespace tav
