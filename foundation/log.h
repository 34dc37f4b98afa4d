// logMessage: the printf-style logging call every subsystem uses.
//
//   logMessage(LogLevel::Error, kLogGroupDbg, "%s: Fulfilled service proxy request: %s", a, b);
//
// Both forms forward to the logger's log entry; a message dropped by the logger's level, groups or
// disabled flag costs no formatting and no clock reading. Messages longer than 4095 characters
// are cut.
#pragma once

#include "foundation/log_level.h"

#include <cstdarg>
#include <cstdint>

#if defined(__GNUC__)
#define TAV_PRINTF_FORMAT(formatIndex, firstArg)                                                   \
  __attribute__((format(printf, formatIndex, firstArg)))
#else
#define TAV_PRINTF_FORMAT(formatIndex, firstArg)
#endif

namespace tav {

// The groups as two 32-bit halves, low first, as the logger's table takes them.
void logMessage(LogLevel level, uint32_t groupsLow, uint32_t groupsHigh, const char* format, ...)
    TAV_PRINTF_FORMAT(4, 5);

void logMessage(LogLevel level, uint64_t groups, const char* format, ...) TAV_PRINTF_FORMAT(3, 4);

void logMessageV(LogLevel level, uint64_t groups, const char* format, va_list args);

} // namespace tav
