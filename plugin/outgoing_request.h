// Requests to other plugins through the host: RequestError, RequestResult and OutgoingRequests.
//
//   OutgoingRequests requests(bridge, pluginHandle, registry);
//   auto profile = requests.requestValue<BindingProperty>(HttpMethod::Get, "/tav-sondar/v1/...");
//   if (!profile.ok()) return profile.error().message;
//
// Every operation blocks until the host answers and never throws: each failure comes back as a
// RequestError whose message is one of four fixed templates filled with the method's name, the
// URL as given and the underlying error text. Nothing here logs and nothing takes a lock.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_registry.h"
#include "binding/native_binding.h"
#include "plugin/host_bridge.h"
#include "plugin/native_value.h"
#include "routing/http_method.h"

#include <concepts>
#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace tav {

// The message templates; {method}, {url} and {error} take their arguments in that order.
inline constexpr std::string_view kRequestNotSentTemplate =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
inline constexpr std::string_view kErrorResponseTemplate =
    "Error response for {method} {url}: {error}";
inline constexpr std::string_view kStreamedResponseErrorTemplate =
    "Error reading streamed response for {method} {url}: {error}";
inline constexpr std::string_view kConvertResponseErrorTemplate =
    "Error converting response for {method} {url}: {error}";

// Status of a request whose parameters could not be converted.
inline constexpr uint32_t kRequestNotSentStatus = 400;

// The error text of a conversion (parameters, arguments, responses, event payloads) that ran out
// of memory; any other failure carries its own message.
inline constexpr std::string_view kOutOfMemoryError = "Out of memory";

// A failed outgoing request: the formatted message, the status (0 when there is no HTTP status)
// and the three texts the message was formatted from.
struct RequestError {
  uint32_t status = 0;
  std::string message;
  std::string method;
  std::string url;
  std::string error;
};

// Fills a RequestError from one of the templates above.
RequestError makeRequestError(std::string_view messageTemplate, uint32_t status, HttpMethod method,
                              std::string_view url, std::string_view error);

// The value of a successful request, or its error. value() may only be called when ok().
template <typename T> class RequestResult {
public:
  RequestResult(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
  RequestResult(RequestError error) : outcome_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return outcome_.index() == 0; }
  T& value() { return std::get<0>(outcome_); }
  const T& value() const { return std::get<0>(outcome_); }
  const RequestError& error() const { return std::get<1>(outcome_); }

private:
  std::variant<T, RequestError> outcome_;
};

// The outcome of a request without a result value.
template <> class RequestResult<void> {
public:
  RequestResult() = default;
  RequestResult(RequestError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  const RequestError& error() const { return *error_; }

private:
  std::optional<RequestError> error_;
};

// Parameters by name; a request carries them as one unnamed map argument.
using RequestParameters = std::map<std::string, BindingProperty>;

// Reads a response stream through the response's read function: 4096-byte reads until the stream
// says nothing more follows, yielding to the host (begin wait "Wait: yield", yield, end wait)
// after a short read with more to follow. The reservation takes the stream's size hint, capped at
// kStreamReserveLimit since the hint comes from the other side. The stream release function, when
// set, is called once whatever the outcome. On failure the text is "Stream read error".
inline constexpr uint32_t kStreamChunkSize = 4096;
inline constexpr uint32_t kStreamReserveLimit = 16u * 1024u * 1024u;
struct StreamText {
  bool ok = false;
  std::string text;
};
StreamText readResponseStream(HostBridge& bridge, const host::HostResponse& response);

// The request operations in their shapes: without or with parameters (a RequestParameters map or
// a registered native struct whose fields are the parameters), without a result (request) or with
// a native result of a registered type, a BindingProperty or a map from text to such a type
// (requestValue), and with one unnamed argument taken as it is (requestWithArgument, which the
// inventory uses for its list of type names).
//
// The bridge and registry must outlive the object; copies are cheap.
class OutgoingRequests {
public:
  OutgoingRequests(HostBridge& bridge, uint32_t pluginHandle, const BindingTypeRegistry& registry)
      : bridge_(&bridge), pluginHandle_(pluginHandle), registry_(&registry) {}

  RequestResult<void> request(HttpMethod method, std::string_view url) const {
    return voidOutcome(exchange(method, url, nullptr, false));
  }

  template <typename P = RequestParameters>
  RequestResult<void> request(HttpMethod method, std::string_view url, const P& parameters) const {
    return voidOutcome(exchange(
        method, url, [&] { return parametersValue(parameters); }, false));
  }

  template <typename T>
  RequestResult<T> requestValue(HttpMethod method, std::string_view url) const {
    return nativeExchange<T>(method, url, {});
  }

  template <typename T, typename P = RequestParameters>
  RequestResult<T> requestValue(HttpMethod method, std::string_view url,
                                const P& parameters) const {
    return nativeExchange<T>(method, url, [&] { return parametersValue(parameters); });
  }

  // Exactly one unnamed typed argument whose value is `argument` itself: copied into the request
  // inside the exchange, or moved when the caller gives it up.
  template <typename T, typename Argument>
  requires std::same_as<std::remove_cvref_t<Argument>, BindingProperty> RequestResult<T>
  requestWithArgument(HttpMethod method, std::string_view url, Argument&& argument)
  const {
    return nativeExchange<T>(method, url, [&] {
      BindingResult value;
      value.value() = std::forward<Argument>(argument);
      return value;
    });
  }

  HostBridge& bridge() const { return *bridge_; }
  uint32_t pluginHandle() const { return pluginHandle_; }
  const BindingTypeRegistry& registry() const { return *registry_; }

private:
  // Builds the one unnamed typed argument of a request; empty when there is none. Called inside
  // the exchange, so that running out of memory while converting is answered like any other
  // failed conversion.
  using ArgumentBuilder = std::function<BindingResult()>;

  // Sends one request and reads its answer. makeArgument, when given, builds the one unnamed
  // typed argument; when that fails nothing is sent and the error is the 400 of the parameters.
  // With wantsValue the answer (stream text as JSON, or the response value) comes back as a
  // BindingProperty; the response record is released before this returns. readDirectly, when
  // given, is offered the response value first; when it answers true it has taken the value, and
  // the answer is an empty BindingProperty.
  RequestResult<BindingProperty>
  exchange(HttpMethod method, std::string_view url, const ArgumentBuilder& makeArgument,
           bool wantsValue,
           const std::function<bool(const host::HostValue&)>& readDirectly = {}) const;

  // An exchange whose answer becomes a T: straight from the host's record when T has a direct
  // reading for it (NativeValue<T>::readHost), else through a value and toNative.
  template <typename T>
  RequestResult<T> nativeExchange(HttpMethod method, std::string_view url,
                                  const ArgumentBuilder& makeArgument) const {
    if constexpr (NativeValue<T>::kReadsHost) {
      T native{};
      bool taken = false;
      RequestResult<BindingProperty> outcome =
          exchange(method, url, makeArgument, true, [&](const host::HostValue& value) {
            taken = NativeValue<T>::readHost(native, value);
            return taken;
          });
      if (outcome.ok() && taken) {
        return RequestResult<T>(std::move(native));
      }
      return nativeOutcome<T>(method, url, std::move(outcome));
    } else {
      return nativeOutcome<T>(method, url, exchange(method, url, makeArgument, true));
    }
  }

  BindingResult parametersValue(const RequestParameters& parameters) const;
  template <typename P> BindingResult parametersValue(const P& parameters) const {
    static_assert(std::is_class_v<P>, "parameters are a map or a registered struct");
    return toValue(parameters, *registry_);
  }

  static RequestResult<void> voidOutcome(RequestResult<BindingProperty>&& outcome) {
    if (!outcome.ok()) {
      return RequestResult<void>(outcome.error());
    }
    return RequestResult<void>();
  }

  template <typename T>
  RequestResult<T> nativeOutcome(HttpMethod method, std::string_view url,
                                 RequestResult<BindingProperty>&& outcome) const {
    if (!outcome.ok()) {
      return RequestResult<T>(outcome.error());
    }
    if constexpr (std::is_same_v<T, BindingProperty>) {
      return RequestResult<T>(std::move(outcome.value()));
    } else {
      try {
        BindingResult conversion;
        T native{};
        if (!toNative(conversion, native, outcome.value(), "<result>", *registry_)) {
          return RequestResult<T>(makeRequestError(kConvertResponseErrorTemplate, 0, method, url,
                                                   conversion.errorMessage()));
        }
        return RequestResult<T>(std::move(native));
      } catch (const std::bad_alloc&) {
        return RequestResult<T>(
            makeRequestError(kConvertResponseErrorTemplate, 0, method, url, kOutOfMemoryError));
      } catch (const std::exception& failure) {
        return RequestResult<T>(
            makeRequestError(kConvertResponseErrorTemplate, 0, method, url, failure.what()));
      } catch (...) {
        return RequestResult<T>(
            makeRequestError(kConvertResponseErrorTemplate, 0, method, url, "Unknown error"));
      }
    }
  }

  HostBridge* bridge_;
  uint32_t pluginHandle_;
  const BindingTypeRegistry* registry_;
};

} // namespace tav
