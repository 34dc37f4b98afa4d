// Log levels and the built-in log groups.
#pragma once

#include <cstdint>

namespace tav {

// Levels are ordered: a logger or target with minimum level Warn drops Okay messages.
enum class LogLevel : int32_t { Okay = 0, Warn = 1, Error = 2, Always = 3 };

inline bool levelAtLeast(LogLevel level, LogLevel minimum) {
  return static_cast<int32_t>(level) >= static_cast<int32_t>(minimum);
}

// The six-character, right-aligned name of a level ("  OKAY", "  WARN", " ERROR", "ALWAYS"); a
// value outside the four levels is named "  ????".
inline const char* logLevelName(LogLevel level) {
  switch (level) {
  case LogLevel::Okay:
    return "  OKAY";
  case LogLevel::Warn:
    return "  WARN";
  case LogLevel::Error:
    return " ERROR";
  case LogLevel::Always:
    return "ALWAYS";
  }
  return "  ????";
}

// Group masks: one bit per group, bit i named by entry i of the group-name table. Bits 8 to 63 are
// given out by registration (logGroupBit in log_groups.h).
inline constexpr uint64_t kLogGroupDbg = uint64_t{1} << 0;
inline constexpr uint64_t kLogGroupGen = uint64_t{1} << 1;
inline constexpr uint64_t kLogGroupXtr = uint64_t{1} << 2;
inline constexpr uint64_t kLogGroupPrf = uint64_t{1} << 3;
inline constexpr uint64_t kLogGroupMem = uint64_t{1} << 4;
inline constexpr uint64_t kLogGroupDsk = uint64_t{1} << 5;
inline constexpr uint64_t kLogGroupNet = uint64_t{1} << 6;
inline constexpr uint64_t kLogGroupTst = uint64_t{1} << 7;

} // namespace tav
