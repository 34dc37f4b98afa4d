// Resource events as the framework's plugins name and shape them.
#pragma once

#include "host/value_tree.h"

#include <string>
#include <string_view>

namespace tav::host {

inline constexpr char kResourceEventName[] = "OnJsonApiEvent";

// "OnJsonApiEvent" and the URI's non-empty pieces joined with "_": all six parts for a
// "tav-platform-config" URI, at most four otherwise. "/tav-banners/v1/current-sondar/flags"
// gives "OnJsonApiEvent_tav-banners_v1_current-sondar".
std::string resourceEventName(std::string_view uri);

// {"uri", "eventType", "data"}, the event type by its name ("Create", "Update" or "Delete").
ValueTree resourceEventPayload(std::string uri, std::string eventType, ValueTree data);

} // namespace tav::host
