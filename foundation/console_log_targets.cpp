// The console targets: rendering into a fixed buffer and writing under the target's lock.
#include "foundation/console_log_targets.h"

#include "foundation/log_line.h"

#include <cstdio>
#include <mutex>

namespace tav {

using Guard = std::lock_guard<platform::CriticalSection>;

BaseConsoleLogTarget::~BaseConsoleLogTarget() {
  detach();
}

bool BaseConsoleLogTarget::write(const LogRecord& record) {
  char line[kLogLineCapacity];
  // Rendered under the lock too: the template may be replaced by another thread.
  Guard guard(targetLock());
  renderLogLine(lineTemplate(), record, line, sizeof line);
  writeLine(line);
  return true;
}

StdErrLogTarget::StdErrLogTarget() {
  setLineTemplate("#E(#T): #L| #M");
  setGroups(kLogGroupDbg, kLogGroupGen);
}

StdErrLogTarget::~StdErrLogTarget() {
  detach();
}

void StdErrLogTarget::flush() {
  std::fflush(stderr);
}

void StdErrLogTarget::writeLine(const char* line) {
  std::fputs(line, stderr);
}

StdOutLogTarget::StdOutLogTarget() {
  setLineTemplate("#M");
  setGroups(kLogGroupGen, kLogGroupDbg);
}

StdOutLogTarget::~StdOutLogTarget() {
  detach();
}

void StdOutLogTarget::flush() {
  std::fflush(stdout);
}

void StdOutLogTarget::setFlushAfterWrite(bool flush) {
  Guard guard(targetLock());
  flushAfterWrite_ = flush;
}

bool StdOutLogTarget::flushAfterWrite() const {
  Guard guard(targetLock());
  return flushAfterWrite_;
}

void StdOutLogTarget::writeLine(const char* line) {
  std::fputs(line, stdout);
  if (flushAfterWrite_)
    std::fflush(stdout);
}

DebuggerConsoleLogTarget::DebuggerConsoleLogTarget() {
  setLineTemplate("#E(#T): #L| #M");
  setGroups(kLogGroupDbg, 0);
}

DebuggerConsoleLogTarget::~DebuggerConsoleLogTarget() {
  detach();
}

void DebuggerConsoleLogTarget::writeLine(const char* line) {
  platform::debuggerConsoleWrite(line);
}

} // namespace tav
