// TelemetrySink: posts telemetry events to "/telemetry/v1/events/<name>".
#pragma once

#include "plugin/outgoing_request.h"

#include <future>
#include <string_view>

namespace tav {

inline constexpr std::string_view kTelemetryEventsPath = "/telemetry/v1/events/";

// Created at start and kept as long as the plugin. The post blocks like every request; the future
// it returns is already satisfied, so callers may wait on it or drop it.
class TelemetrySink {
public:
  explicit TelemetrySink(OutgoingRequests requests) : requests_(requests) {}

  std::future<RequestResult<void>> post(std::string_view eventName,
                                        const RequestParameters& parameters) const;

private:
  OutgoingRequests requests_;
};

} // namespace tav
