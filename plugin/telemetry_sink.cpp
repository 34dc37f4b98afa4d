// Telemetry posts as ordinary POST requests.
#include "plugin/telemetry_sink.h"

#include <string>

namespace tav {

std::future<RequestResult<void>> TelemetrySink::post(std::string_view eventName,
                                                     const RequestParameters& parameters) const {
  std::string url(kTelemetryEventsPath);
  url.append(eventName);
  std::promise<RequestResult<void>> outcome;
  outcome.set_value(requests_.request(HttpMethod::Post, url, parameters));
  return outcome.get_future();
}

} // namespace tav
