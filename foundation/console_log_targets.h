// The logger's built-in targets: standard error, standard output and the debugger console.
#pragma once

#include "foundation/log_target.h"

namespace tav {

// Renders each record with the target's line template into a 4096-byte buffer and writes the line
// under the target's lock.
class BaseConsoleLogTarget : public LogTarget {
public:
  ~BaseConsoleLogTarget() override;
  const char* name() const override { return "BaseConsoleLogTarget"; }
  bool write(const LogRecord& record) override;

protected:
  virtual void writeLine(const char* line) = 0;
};

// Template "#E(#T): #L| #M", groups DBG but not GEN; attached when the logger is created.
class StdErrLogTarget : public BaseConsoleLogTarget {
public:
  StdErrLogTarget();
  ~StdErrLogTarget() override;
  const char* name() const override { return "StdErrLogTarget"; }
  void flush() override;

protected:
  void writeLine(const char* line) override;
};

// Template "#M", groups GEN but not DBG; not attached by default.
class StdOutLogTarget : public BaseConsoleLogTarget {
public:
  StdOutLogTarget();
  ~StdOutLogTarget() override;
  const char* name() const override { return "StdOutLogTarget"; }
  void flush() override;
  // When set, standard output is flushed after every line.
  void setFlushAfterWrite(bool flush);
  bool flushAfterWrite() const;

protected:
  void writeLine(const char* line) override;

private:
  bool flushAfterWrite_ = false;
};

// Template "#E(#T): #L| #M", groups DBG; attached when the logger is created.
class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
public:
  DebuggerConsoleLogTarget();
  ~DebuggerConsoleLogTarget() override;
  const char* name() const override { return "DebuggerConsoleLogTarget"; }

protected:
  void writeLine(const char* line) override;
};

} // namespace tav
