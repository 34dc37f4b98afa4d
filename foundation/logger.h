// The process-wide logger and LoggerApi, the table of plain functions it is reached through.
//
// The logger is created on first use (a reference or a log call) with three built-in console
// targets, of which StdErrLogTarget and DebuggerConsoleLogTarget are attached. A message is
// dropped before any formatting when logging is disabled, its level is below the logger's
// minimum level (initially Warn) or its groups meet the excluded groups (initially XTR). Every
// other message is formatted, stamped with the local time and offered to each attached target in
// attachment order; each target filters again by its own level and groups.
//
// Locks: one process-wide critical section guards the logger's settings and target list and is
// held while targets write, so lines never interleave. A target's own lock is only ever taken
// inside it: logger first, then target.
#pragma once

#include "foundation/log_record.h"
#include "foundation/log_target.h"
#include "foundation/platform.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace tav {

struct LoggerApi {
  int32_t (*interfaceVersion)(); // 1
  // The first reference creates the logger when there is none; releasing the last one destroys
  // it. A release without a reference outstanding does nothing.
  void (*addRef)();
  void (*release)();
  void (*setMinimumLevel)(LogLevel level);
  LogLevel (*minimumLevel)();
  void (*setExcludedGroups)(uint64_t groups);
  uint64_t (*excludedGroups)();
  void (*disable)();
  void (*enable)();
  // A flag kept for compatibility of the table; nothing reads it.
  void (*setReservedFlag)();
  void (*clearReservedFlag)();
  // Appends a target to the list without touching its attached flag.
  void (*addTarget)(LogTargetApi* target);
  // Removes every occurrence of the target from the list.
  void (*removeTarget)(LogTargetApi* target);
  // The first target in the list whose name equals name exactly, or null.
  LogTargetApi* (*findTarget)(const char* name);
  LogTargetApi* (*stdOutTarget)();
  LogTargetApi* (*stdErrTarget)();
  LogTargetApi* (*debuggerConsoleTarget)();
  // The bit of a three-character group name, registered when new (see log_groups.h).
  uint64_t (*groupBit)(const char* name);
  // The names of a group mask, ";"-separated, into buffer; returns the length.
  size_t (*groupNames)(uint64_t mask, char* buffer, size_t capacity);
  // Renders a line (see log_line.h); returns the length.
  size_t (*renderLine)(const char* lineTemplate, const LogRecord* record, char* buffer,
                       size_t capacity);
  const char* (*levelName)(LogLevel level);
  const char* (*executableName)();
  void (*localTime)(LogTime* out);
  size_t (*formatTime)(const LogTime* time, char* buffer, size_t capacity);
  size_t (*formatFileTime)(const LogTime* time, char* buffer, size_t capacity);
  // Logs a printf-style message; the groups come as two 32-bit halves, low first. Takes a
  // va_list because a variadic entry cannot be forwarded to.
  void (*log)(LogLevel level, uint32_t groupsLow, uint32_t groupsHigh, const char* format,
              va_list args);
};

// Other modules index into the table: it holds exactly the 26 entries above, in that order.
static_assert(sizeof(LoggerApi) == 26 * sizeof(void (*)()));

const LoggerApi& loggerApi();

// The lock guarding the logger's settings and target list. It outlives every logger instance, so
// a thread logging while another releases the last reference never touches a freed lock.
platform::CriticalSection& loggerLock();

} // namespace tav
