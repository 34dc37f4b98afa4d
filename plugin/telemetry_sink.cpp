// Telemetry posts as ordinary POST requests.
#include "plugin/telemetry_sink.h"

#include <new>
#include <string>

namespace tav {

std::future<RequestResult<void>>
TelemetrySink::post(std::string_view eventName,
                    const RequestParameters& parameters) const noexcept {
  try {
    // The future's state first: once it exists, every outcome can be handed out through it.
    std::promise<RequestResult<void>> outcome;
    std::future<RequestResult<void>> future = outcome.get_future();
    try {
      std::string url(kTelemetryEventsPath);
      url.append(eventName);
      outcome.set_value(requests_.request(HttpMethod::Post, url, parameters));
    } catch (const std::bad_alloc&) {
      outcome.set_value(RequestError{0, std::string(kOutOfMemoryError), "POST",
                                     std::string(kTelemetryEventsPath),
                                     std::string(kOutOfMemoryError)});
    }
    return future;
  } catch (...) {
    return {};
  }
}

} // namespace tav
