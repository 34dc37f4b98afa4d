// Line templates rendered into fixed buffers.
#include "foundation/log_line.h"

#include "foundation/clock.h"
#include "foundation/executable_name.h"
#include "foundation/log_groups.h"
#include "foundation/platform.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tav {
namespace {

size_t clampedLength(int printed, size_t capacity) {
  if (printed < 0 || capacity == 0)
    return 0;
  return static_cast<size_t>(printed) < capacity ? static_cast<size_t>(printed) : capacity - 1;
}

class LineBuilder {
public:
  LineBuilder(char* buffer, size_t limit) : buffer_(buffer), limit_(limit) {}

  void append(const char* text, size_t length) {
    size_t n = length < limit_ - length_ ? length : limit_ - length_;
    std::memcpy(buffer_ + length_, text, n);
    length_ += n;
  }
  void append(const char* text) { append(text, std::strlen(text)); }
  void append(char c) { append(&c, 1); }

  size_t length() const { return length_; }

private:
  char* buffer_;
  size_t limit_;
  size_t length_ = 0;
};

} // namespace

size_t formatLogTime(const LogTime& t, char* buffer, size_t capacity) {
  int printed = std::snprintf(buffer, capacity, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year,
                              t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
  return clampedLength(printed, capacity);
}

size_t formatLogFileTime(const LogTime& t, char* buffer, size_t capacity) {
  int printed = std::snprintf(buffer, capacity, "%04d-%02d-%02dT%02d-%02d-%02d", t.year, t.month,
                              t.day, t.hour, t.minute, t.second);
  return clampedLength(printed, capacity);
}

size_t renderLogLine(const char* lineTemplate, const LogRecord& record, char* buffer,
                     size_t capacity) {
  if (capacity == 0)
    return 0;
  if (capacity < 2) {
    buffer[0] = '\0';
    return 0;
  }
  LineBuilder line(buffer, capacity - 2);
  const char* p = lineTemplate ? lineTemplate : "";
  char scratch[kLogGroupLimit * 4 + 16]; // room for all 64 group names
  while (*p != '\0') {
    if (*p != '#' || p[1] == '\0') {
      line.append(*p++);
      continue;
    }
    char token = p[1];
    p += 2;
    switch (token) {
    case 'D':
      line.append(scratch, formatLogTime(record.time, scratch, sizeof scratch));
      break;
    case 'E':
      line.append(executableFileName());
      break;
    case 'G':
      line.append(scratch, logGroupNames(record.groups, scratch, sizeof scratch));
      break;
    case 'H': {
      float seconds = static_cast<float>(clock::elapsedSeconds());
      int whole = static_cast<int>(seconds);
      int milliseconds = static_cast<int>((seconds - static_cast<float>(whole)) * 1000.0f);
      int printed = std::snprintf(scratch, sizeof scratch, "%06d.%03d", whole, milliseconds);
      line.append(scratch, clampedLength(printed, sizeof scratch));
      break;
    }
    case 'L':
      line.append(logLevelName(record.level));
      break;
    case 'M':
      line.append(record.message ? record.message : "");
      break;
    case 'T': {
      void* id = reinterpret_cast<void*>(static_cast<uintptr_t>(platform::currentThreadId()));
      int printed = std::snprintf(scratch, sizeof scratch, "%p", id);
      line.append(scratch, clampedLength(printed, sizeof scratch));
      break;
    }
    default:
      line.append(token);
      break;
    }
  }
  size_t length = line.length();
  if (length == 0 || buffer[length - 1] != '\n')
    buffer[length++] = '\n';
  buffer[length] = '\0';
  return length;
}

} // namespace tav
