// The variadic logging calls, forwarded to the logger's table.
#include "foundation/log.h"

#include "foundation/logger.h"

namespace tav {

void logMessage(LogLevel level, uint32_t groupsLow, uint32_t groupsHigh, const char* format, ...) {
  va_list args;
  va_start(args, format);
  loggerApi().log(level, groupsLow, groupsHigh, format, args);
  va_end(args);
}

void logMessage(LogLevel level, uint64_t groups, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logMessageV(level, groups, format, args);
  va_end(args);
}

void logMessageV(LogLevel level, uint64_t groups, const char* format, va_list args) {
  loggerApi().log(level, static_cast<uint32_t>(groups), static_cast<uint32_t>(groups >> 32), format,
                  args);
}

} // namespace tav
