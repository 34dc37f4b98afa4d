// The process-wide logger: creation, settings, the target list and the path of one message.
#include "foundation/logger.h"

#include "foundation/console_log_targets.h"
#include "foundation/executable_name.h"
#include "foundation/log_groups.h"
#include "foundation/log_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace tav {
namespace {

using Guard = std::lock_guard<platform::CriticalSection>;

// A target that logs from inside its write re-enters the logger on the same thread; past this
// depth such nested messages are dropped instead of recursing until the stack runs out.
constexpr int kMaxNestedLogDepth = 4;
thread_local int tLogDepth = 0;

class Logger {
public:
  Logger() = default;

  void attachBuiltIns() {
    stdErr_.attach();
    debuggerConsole_.attach();
  }

  // Detaches every target, last attached first, through the targets' own entries.
  void detachAll() {
    std::vector<LogTargetApi*> targets = targets_;
    for (auto it = targets.rbegin(); it != targets.rend(); ++it)
      (*it)->detach(*it);
    targets_.clear();
  }

  bool passes(LogLevel level, uint64_t groups) const {
    return !disabled_ && levelAtLeast(level, minimumLevel_) && (groups & excludedGroups_) == 0;
  }

  void dispatch(const LogRecord& record) {
    // Indexing rather than iterating: a target may detach itself while it writes.
    for (size_t i = 0; i < targets_.size(); ++i) {
      LogTargetApi* target = targets_[i];
      bool accepted = false;
      if (LogTarget* own = LogTarget::fromApi(target)) {
        accepted = own->accepts(record.level, record.groups);
      } else {
        accepted = logFilterAccepts(record.level, record.groups, target->minimumLevel(target),
                                    target->includedGroups(target), target->excludedGroups(target));
      }
      if (accepted)
        target->write(target, &record);
    }
  }

  void add(LogTargetApi* target) { targets_.push_back(target); }
  void remove(LogTargetApi* target) {
    targets_.erase(std::remove(targets_.begin(), targets_.end(), target), targets_.end());
  }
  LogTargetApi* find(const char* name) const {
    for (LogTargetApi* target : targets_) {
      const char* targetName = target->name(target);
      if (targetName && std::strcmp(targetName, name) == 0)
        return target;
    }
    return nullptr;
  }

  int refCount = 0;
  bool disabled_ = false;
  bool reservedFlag_ = false;
  LogLevel minimumLevel_ = LogLevel::Warn;
  uint64_t excludedGroups_ = kLogGroupXtr;
  StdErrLogTarget stdErr_;
  StdOutLogTarget stdOut_;
  DebuggerConsoleLogTarget debuggerConsole_;

private:
  std::vector<LogTargetApi*> targets_;
};

Logger* gLogger = nullptr;
bool gUnloaded = false;

// The caller holds loggerLock(). Null when the logger cannot be allocated, and once the library
// is being unloaded.
Logger* ensureLogger() {
  if (gLogger || gUnloaded)
    return gLogger;
  try {
    gLogger = new Logger();
    gLogger->attachBuiltIns();
  } catch (...) {
    return gLogger;
  }
  return gLogger;
}

void destroyLogger() {
  if (!gLogger)
    return;
  gLogger->detachAll();
  Logger* logger = gLogger;
  gLogger = nullptr;
  delete logger;
}

// The logger lives until the library's statics are destroyed (dlclose, FreeLibrary or process
// exit), whatever references remain; lines logged after that are dropped rather than bring it
// back, so that a host that unloads the library finds nothing of it left in its heap.
struct DestroyLoggerAtUnload {
  ~DestroyLoggerAtUnload() {
    Guard guard(loggerLock());
    gUnloaded = true;
    destroyLogger();
  }
} destroyLoggerAtUnload;

int32_t loggerInterfaceVersion() noexcept {
  return 1;
}

void loggerAddRef() noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    ++logger->refCount;
}

void loggerRelease() noexcept {
  Guard guard(loggerLock());
  if (!gLogger || gLogger->refCount == 0)
    return;
  if (--gLogger->refCount == 0)
    destroyLogger();
}

void loggerSetMinimumLevel(LogLevel level) noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    logger->minimumLevel_ = level;
}

LogLevel loggerMinimumLevel() noexcept {
  Guard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger ? logger->minimumLevel_ : LogLevel::Warn;
}

void loggerSetExcludedGroups(uint64_t groups) noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    logger->excludedGroups_ = groups;
}

uint64_t loggerExcludedGroups() noexcept {
  Guard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger ? logger->excludedGroups_ : 0;
}

void loggerDisable() noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    logger->disabled_ = true;
}

void loggerEnable() noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    logger->disabled_ = false;
}

void loggerSetReservedFlag() noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    logger->reservedFlag_ = true;
}

void loggerClearReservedFlag() noexcept {
  Guard guard(loggerLock());
  if (Logger* logger = ensureLogger())
    logger->reservedFlag_ = false;
}

void loggerAddTarget(LogTargetApi* target) noexcept {
  if (!target)
    return;
  Guard guard(loggerLock());
  try {
    if (Logger* logger = ensureLogger())
      logger->add(target);
  } catch (...) {
    // The list could not grow; the target is simply not reached.
  }
}

void loggerRemoveTarget(LogTargetApi* target) noexcept {
  Guard guard(loggerLock());
  // Removing needs no logger: without one no list holds the target.
  if (gLogger)
    gLogger->remove(target);
}

LogTargetApi* loggerFindTarget(const char* name) noexcept {
  if (!name)
    return nullptr;
  Guard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger ? logger->find(name) : nullptr;
}

LogTargetApi* loggerStdOutTarget() noexcept {
  Guard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger ? logger->stdOut_.api() : nullptr;
}

LogTargetApi* loggerStdErrTarget() noexcept {
  Guard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger ? logger->stdErr_.api() : nullptr;
}

LogTargetApi* loggerDebuggerConsoleTarget() noexcept {
  Guard guard(loggerLock());
  Logger* logger = ensureLogger();
  return logger ? logger->debuggerConsole_.api() : nullptr;
}

size_t loggerRenderLine(const char* lineTemplate, const LogRecord* record, char* buffer,
                        size_t capacity) noexcept {
  if (!record || !buffer)
    return 0;
  return renderLogLine(lineTemplate, *record, buffer, capacity);
}

size_t loggerGroupNames(uint64_t mask, char* buffer, size_t capacity) noexcept {
  return buffer ? logGroupNames(mask, buffer, capacity) : 0;
}

void loggerLocalTime(LogTime* out) noexcept {
  if (out)
    *out = currentLogTime();
}

size_t loggerFormatTime(const LogTime* time, char* buffer, size_t capacity) noexcept {
  return time && buffer ? formatLogTime(*time, buffer, capacity) : 0;
}

size_t loggerFormatFileTime(const LogTime* time, char* buffer, size_t capacity) noexcept {
  return time && buffer ? formatLogFileTime(*time, buffer, capacity) : 0;
}

void loggerLog(LogLevel level, uint32_t groupsLow, uint32_t groupsHigh, const char* format,
               va_list args) noexcept {
  if (!format || tLogDepth >= kMaxNestedLogDepth)
    return;
  const uint64_t groups = (uint64_t{groupsHigh} << 32) | groupsLow;
  {
    Guard guard(loggerLock());
    Logger* logger = ensureLogger();
    if (!logger || !logger->passes(level, groups))
      return;
  }

  char message[kLogLineCapacity];
  if (std::vsnprintf(message, sizeof message, format, args) < 0)
    message[0] = '\0';
  LogRecord record;
  record.time = currentLogTime();
  record.level = level;
  record.groups = groups;
  record.message = message;

  Guard guard(loggerLock());
  // The logger may have been released and rebuilt between the test and now; a log call always
  // finds one.
  Logger* logger = ensureLogger();
  if (!logger)
    return;
  ++tLogDepth;
  logger->dispatch(record);
  --tLogDepth;
}

constexpr LoggerApi kLoggerApi = {
    loggerInterfaceVersion,
    loggerAddRef,
    loggerRelease,
    loggerSetMinimumLevel,
    loggerMinimumLevel,
    loggerSetExcludedGroups,
    loggerExcludedGroups,
    loggerDisable,
    loggerEnable,
    loggerSetReservedFlag,
    loggerClearReservedFlag,
    loggerAddTarget,
    loggerRemoveTarget,
    loggerFindTarget,
    loggerStdOutTarget,
    loggerStdErrTarget,
    loggerDebuggerConsoleTarget,
    logGroupBit,
    loggerGroupNames,
    loggerRenderLine,
    logLevelName,
    executableFileName,
    loggerLocalTime,
    loggerFormatTime,
    loggerFormatFileTime,
    loggerLog,
};

} // namespace

const LoggerApi& loggerApi() {
  return kLoggerApi;
}

platform::CriticalSection& loggerLock() {
  // Built in static storage and never destroyed: messages logged by other objects' destructors
  // at process exit still find the lock.
  alignas(
      platform::CriticalSection) static unsigned char storage[sizeof(platform::CriticalSection)];
  static platform::CriticalSection* lock = new (storage) platform::CriticalSection();
  return *lock;
}

} // namespace tav
