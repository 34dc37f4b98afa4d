// Rendering of log lines from a line template, and the two time layouts of the logger.
//
// Template tokens: "#D" the record's time ("2024-05-01T13:02:03.045"), "#E" the executable's file
// name, "#G" the record's group names ("DBG;NET"), "#H" seconds since the clock's first use
// ("000012.345"), "#L" the six-character level name, "#M" the message, "#T" the calling thread's
// identifier; "#" and any other character writes that character ("##" gives "#").
#pragma once

#include "foundation/log_record.h"

#include <cstddef>

namespace tav {

// Lines and messages are built in buffers of this size.
inline constexpr size_t kLogLineCapacity = 4096;

// Renders a line into buffer. The text is cut so that two bytes stay in reserve, then a line feed
// is added unless the text already ends with one, and the buffer is terminated. Returns the
// length without the terminator; with capacity below 2 only a terminator (or nothing) is written.
size_t renderLogLine(const char* lineTemplate, const LogRecord& record, char* buffer,
                     size_t capacity);

// "%04d-%02d-%02dT%02d:%02d:%02d.%03d"; returns the length written (cut to fit, terminated).
size_t formatLogTime(const LogTime& time, char* buffer, size_t capacity);

// "%04d-%02d-%02dT%02d-%02d-%02d": no colons and no milliseconds, fit for file names.
size_t formatLogFileTime(const LogTime& time, char* buffer, size_t capacity);

} // namespace tav
