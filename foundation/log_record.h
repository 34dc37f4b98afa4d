// LogTime and LogRecord: what the logger hands to every target for one message.
#pragma once

#include "foundation/log_level.h"
#include "foundation/platform.h"

#include <cstdint>

namespace tav {

// Local wall-clock time in seven fields, month and day counting from 1.
using LogTime = platform::LocalTime;

// Built per message on the logging thread's stack; targets must copy what they keep. message is
// zero-terminated and at most 4095 characters.
struct LogRecord {
  LogTime time;
  LogLevel level = LogLevel::Okay;
  uint64_t groups = 0;
  const char* message = "";
};

// The current local time as the seven fields.
inline LogTime currentLogTime() {
  return platform::localTime();
}

} // namespace tav
