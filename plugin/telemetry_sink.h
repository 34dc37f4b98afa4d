// TelemetrySink: posts telemetry events to "/telemetry/v1/events/<name>".
#pragma once

#include "plugin/outgoing_request.h"

#include <future>
#include <string_view>

namespace tav {

inline constexpr std::string_view kTelemetryEventsPath = "/telemetry/v1/events/";

// Created at start and kept as long as the plugin. The post blocks like every request; the future
// it returns is already satisfied, so callers may wait on it or drop it. Nothing is thrown: when
// memory runs out the outcome is the error "Out of memory", and when not even the future's state
// can be made the future is not valid().
class TelemetrySink {
public:
  explicit TelemetrySink(OutgoingRequests requests) : requests_(requests) {}

  std::future<RequestResult<void>> post(std::string_view eventName,
                                        const RequestParameters& parameters) const noexcept;

private:
  OutgoingRequests requests_;
};

} // namespace tav
