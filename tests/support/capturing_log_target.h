// A log target that keeps every record it receives, for the tests of every subsystem.
//
//   test::ScopedLogCapture capture;          // attached; console targets quiet meanwhile
//   somethingThatLogs();
//   EXPECT_TRUE(capture.target().contains("Fulfilled service proxy request"));
//
// The capturing target accepts every level and every group, so what it sees is exactly what the
// logger let through. It renders each record with its own line template as well ("#L| #G| #M"
// unless changed), so that rendering can be checked end to end.
#pragma once

#include "foundation/log_line.h"
#include "foundation/log_target.h"
#include "foundation/logger.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tav::test {

struct CapturedRecord {
  LogLevel level = LogLevel::Okay;
  uint64_t groups = 0;
  std::string message;
  std::string line;
};

class CapturingLogTarget : public LogTarget {
public:
  CapturingLogTarget() {
    setMinimumLevel(LogLevel::Okay);
    setGroups(0, 0);
    setLineTemplate("#L| #G| #M");
  }
  ~CapturingLogTarget() override { detach(); }

  const char* name() const override { return "CapturingLogTarget"; }

  bool write(const LogRecord& record) override {
    char line[kLogLineCapacity];
    std::lock_guard<platform::CriticalSection> guard(targetLock());
    renderLogLine(lineTemplate(), record, line, sizeof line);
    records_.push_back(CapturedRecord{record.level, record.groups, record.message, line});
    return true;
  }

  std::vector<CapturedRecord> records() const {
    std::lock_guard<platform::CriticalSection> guard(targetLock());
    return records_;
  }
  size_t count() const {
    std::lock_guard<platform::CriticalSection> guard(targetLock());
    return records_.size();
  }
  // True when some captured message contains fragment.
  bool contains(std::string_view fragment) const {
    std::lock_guard<platform::CriticalSection> guard(targetLock());
    for (const CapturedRecord& record : records_) {
      if (record.message.find(fragment) != std::string::npos)
        return true;
    }
    return false;
  }
  void clear() {
    std::lock_guard<platform::CriticalSection> guard(targetLock());
    records_.clear();
  }

private:
  std::vector<CapturedRecord> records_;
};

// Attaches a capturing target for the scope. Unless told otherwise it also detaches the built-in
// console targets so that tests do not write to the real standard error. The logger's minimum
// level, excluded groups and the console targets' attachment are restored at the end.
class ScopedLogCapture {
public:
  explicit ScopedLogCapture(bool quietConsoles = true)
      : savedLevel_(loggerApi().minimumLevel()), savedExcluded_(loggerApi().excludedGroups()) {
    if (quietConsoles) {
      for (LogTargetApi* console : consoles()) {
        if (console && console->isAttached(console)) {
          console->detach(console);
          detached_.push_back(console);
        }
      }
    }
    target_.attach();
  }
  ~ScopedLogCapture() {
    target_.detach();
    for (LogTargetApi* console : detached_)
      console->attach(console);
    loggerApi().setMinimumLevel(savedLevel_);
    loggerApi().setExcludedGroups(savedExcluded_);
  }
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  CapturingLogTarget& target() { return target_; }
  const CapturingLogTarget& target() const { return target_; }

  // Changes the logger's filters for the scope; both are restored on exit.
  void setLoggerLevel(LogLevel level) { loggerApi().setMinimumLevel(level); }
  void setLoggerExcludedGroups(uint64_t groups) { loggerApi().setExcludedGroups(groups); }

private:
  static std::vector<LogTargetApi*> consoles() {
    return {loggerApi().stdErrTarget(), loggerApi().stdOutTarget(),
            loggerApi().debuggerConsoleTarget()};
  }

  LogLevel savedLevel_;
  uint64_t savedExcluded_;
  std::vector<LogTargetApi*> detached_;
  CapturingLogTarget target_;
};

} // namespace tav::test
