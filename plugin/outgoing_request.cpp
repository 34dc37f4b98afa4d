// Sending requests to other plugins and reading their responses, streams included.
#include "plugin/outgoing_request.h"

#include "binding/host_value_conversion.h"
#include "foundation/message_format.h"
#include "routing/json_reader.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

namespace tav {

namespace {

// Calls the stream's release function once when the reader is done with it.
class StreamReleaseGuard {
public:
  explicit StreamReleaseGuard(const host::HostResponse& response)
      : release_(response.streamRelease), stream_(response.stream) {}
  ~StreamReleaseGuard() {
    if (release_ != nullptr) {
      release_(stream_);
    }
  }
  StreamReleaseGuard(const StreamReleaseGuard&) = delete;
  StreamReleaseGuard& operator=(const StreamReleaseGuard&) = delete;

private:
  host::HostStreamReleaseFn release_;
  void* stream_;
};

// Calls the response record's release function once, after which the record is not read again.
class ResponseReleaseGuard {
public:
  explicit ResponseReleaseGuard(host::HostResponse& response) : response_(response) {}
  ~ResponseReleaseGuard() {
    if (response_.release != nullptr) {
      response_.release(&response_);
    }
  }
  ResponseReleaseGuard(const ResponseReleaseGuard&) = delete;
  ResponseReleaseGuard& operator=(const ResponseReleaseGuard&) = delete;

private:
  host::HostResponse& response_;
};

// Frees the HostValue built for the typed argument once the host has returned.
class HostValueGuard {
public:
  explicit HostValueGuard(host::HostValue& value) : value_(value) {}
  ~HostValueGuard() { releaseHostValue(value_); }
  HostValueGuard(const HostValueGuard&) = delete;
  HostValueGuard& operator=(const HostValueGuard&) = delete;

private:
  host::HostValue& value_;
};

// A response carries a stream only with both a read function and a stream object; a null object
// is an absent body, as every null pointer from the other side is.
bool hasStream(const host::HostResponse& response) {
  return response.streamRead != nullptr && response.stream != nullptr;
}

// A stream nobody reads is still ours to release.
void releaseUnreadStream(const host::HostResponse& response) {
  if (hasStream(response) && response.streamRelease != nullptr) {
    response.streamRelease(response.stream);
  }
}

void waitForHost(HostBridge& bridge) {
  bridge.hostBeginWait("Wait: yield", 0);
  bridge.hostYield();
  bridge.hostEndWait();
}

} // namespace

RequestError makeRequestError(std::string_view messageTemplate, uint32_t status, HttpMethod method,
                              std::string_view url, std::string_view error) {
  RequestError result;
  result.status = status;
  result.method = httpMethodName(method);
  result.url.assign(url);
  result.error.assign(error);
  result.message = formatNamed(messageTemplate, result.method, result.url, result.error);
  return result;
}

StreamText readResponseStream(HostBridge& bridge, const host::HostResponse& response) {
  StreamText out;
  StreamReleaseGuard release(response);
  try {
    // Copied out first: std::min takes references, and the packed record's field is misaligned.
    const uint32_t sizeHint = response.streamSizeHint;
    out.text.reserve(std::min(sizeHint, kStreamReserveLimit));
    char buffer[kStreamChunkSize];
    uint8_t more = 1;
    do {
      uint32_t count = kStreamChunkSize;
      if (response.streamRead(response.stream, buffer, &count, &more) == 0) {
        out.text.clear();
        return out;
      }
      // A count beyond the buffer would read past it; the buffer is all there is.
      count = std::min(count, kStreamChunkSize);
      out.text.append(buffer, count);
      if (count < kStreamChunkSize) {
        if (more == 0) {
          break;
        }
        waitForHost(bridge);
      }
    } while (more != 0);
    out.ok = true;
  } catch (...) {
    // Out of memory while collecting: reported like any failed read.
    out.ok = false;
    out.text.clear();
  }
  return out;
}

BindingResult OutgoingRequests::parametersValue(const RequestParameters& parameters) const {
  BindingResult value;
  value.makeStructure();
  for (const auto& [name, parameter] : parameters) {
    value.member(name) = parameter;
  }
  return value;
}

RequestResult<BindingProperty>
OutgoingRequests::exchange(HttpMethod method, std::string_view url,
                           const ArgumentBuilder& makeArgument, bool wantsValue,
                           const std::function<bool(const host::HostValue&)>& readDirectly) const {
  bool sent = false;
  try {
    host::HostTypedArgument typed;
    std::memset(&typed, 0, sizeof typed);
    HostValueGuard releaseArgument(typed.value);
    if (makeArgument) {
      const BindingResult argument = makeArgument();
      if (!argument.ok()) {
        return makeRequestError(kRequestNotSentTemplate, kRequestNotSentStatus, method, url,
                                argument.errorMessage());
      }
      // toHostValue fails only when memory runs out.
      if (!toHostValue(typed.value, argument.value(), registry_)) {
        return makeRequestError(kRequestNotSentTemplate, kRequestNotSentStatus, method, url,
                                kOutOfMemoryError);
      }
    }

    const std::string path(url);
    host::HostRequest request;
    std::memset(&request, 0, sizeof request);
    request.method = static_cast<uint32_t>(method);
    request.path = path.c_str();
    if (makeArgument) {
      request.args = &typed;
      request.argCount = 1;
    }
    request.callerHandle = pluginHandle_;

    host::HostResponse response;
    std::memset(&response, 0, sizeof response);
    sent = true;
    bridge_->hostSendRequest(&response, &request);
    ResponseReleaseGuard releaseResponse(response);

    if (response.error != nullptr) {
      releaseUnreadStream(response);
      return makeRequestError(kErrorResponseTemplate, response.status, method, url, response.error);
    }
    if (hasStream(response)) {
      if (!wantsValue) {
        releaseUnreadStream(response);
        return BindingProperty();
      }
      StreamText text = readResponseStream(*bridge_, response);
      if (!text.ok) {
        return makeRequestError(kStreamedResponseErrorTemplate, 0, method, url,
                                "Stream read error");
      }
      BindingResult parsed = readJson(text.text);
      if (!parsed.ok()) {
        return makeRequestError(kStreamedResponseErrorTemplate, 0, method, url,
                                parsed.errorMessage());
      }
      return BindingProperty(std::move(parsed.value()));
    }
    if (!wantsValue) {
      return BindingProperty();
    }
    if (readDirectly && readDirectly(response.value)) {
      return BindingProperty();
    }
    BindingResult value;
    if (!fromHostValue(value, response.value, "<result>")) {
      return makeRequestError(kConvertResponseErrorTemplate, 0, method, url, value.errorMessage());
    }
    return BindingProperty(std::move(value.value()));
  } catch (const std::bad_alloc&) {
    return makeRequestError(sent ? kConvertResponseErrorTemplate : kRequestNotSentTemplate,
                            sent ? 0 : kRequestNotSentStatus, method, url, kOutOfMemoryError);
  } catch (const std::exception& failure) {
    return makeRequestError(sent ? kConvertResponseErrorTemplate : kRequestNotSentTemplate,
                            sent ? 0 : kRequestNotSentStatus, method, url, failure.what());
  } catch (...) {
    return makeRequestError(sent ? kConvertResponseErrorTemplate : kRequestNotSentTemplate,
                            sent ? 0 : kRequestNotSentStatus, method, url, "Unknown error");
  }
}

} // namespace tav
