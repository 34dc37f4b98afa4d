// LogTime and LogRecord: what the logger hands to every target for one message.
#pragma once

#include "foundation/log_level.h"
#include "foundation/platform.h"

#include <cstdint>

namespace tav {

// Local wall-clock time in seven fields, month and day counting from 1.
struct LogTime {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t millisecond = 0;
};

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
  platform::LocalTime now = platform::localTime();
  return LogTime{now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond};
}

} // namespace tav
