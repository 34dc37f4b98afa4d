// LogTarget, the base of every log target, and LogTargetApi, the table the logger reaches it by.
//
// The logger keeps targets as LogTargetApi pointers so that a target built in another module can
// be attached: every entry is a plain function taking the table's own address first. A target
// derives from LogTarget and overrides write (and flush when it buffers):
//
//   class MyTarget : public LogTarget {
//     const char* name() const override { return "MyTarget"; }
//     bool write(const LogRecord& record) override { ...; return true; }
//   };
//   MyTarget target;  target.attach();  ...  target.detach();
//
// A target must be detached before it is destroyed; ~LogTarget detaches as a last resort, but a
// derived class that writes should detach in its own destructor so that no record reaches a
// half-destroyed object.
#pragma once

#include "foundation/log_record.h"
#include "foundation/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

struct LogTargetApi {
  int32_t (*interfaceVersion)(LogTargetApi* self); // 1
  void (*setMinimumLevel)(LogTargetApi* self, LogLevel level);
  LogLevel (*minimumLevel)(LogTargetApi* self);
  void (*setGroups)(LogTargetApi* self, uint64_t included, uint64_t excluded);
  uint64_t (*includedGroups)(LogTargetApi* self);
  uint64_t (*excludedGroups)(LogTargetApi* self);
  const char* (*name)(LogTargetApi* self);
  // Valid until the target's template is next changed.
  const char* (*lineTemplate)(LogTargetApi* self);
  void (*attach)(LogTargetApi* self);
  void (*detach)(LogTargetApi* self);
  bool (*isAttached)(LogTargetApi* self);
  // False when nothing was written (the base LogTarget writes nothing).
  bool (*write)(LogTargetApi* self, const LogRecord* record);
};

static_assert(sizeof(LogTargetApi) == 12 * sizeof(void (*)()));

// The target filter: the level is at least the target's minimum and, for a record with groups,
// the groups miss the target's excluded groups and meet its included groups unless those are
// zero. A record without groups passes every group test.
bool logFilterAccepts(LogLevel level, uint64_t groups, LogLevel minimumLevel,
                      uint64_t includedGroups, uint64_t excludedGroups);

class LogTarget {
public:
  LogTarget();
  virtual ~LogTarget();
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  // Removes the target from the logger's list and clears the attached flag; nothing when the
  // target is not attached. Takes the logger's lock, then the target's.
  virtual void detach();
  virtual const char* name() const { return "LogTarget"; }
  virtual const char* lineTemplate() const { return lineTemplate_.c_str(); }
  // Writes one record that passed the filters. The base writes nothing and returns false.
  virtual bool write(const LogRecord& record);
  virtual void flush() {}

  // Sets the flag and appends the target to the logger's list (creating the logger when there is
  // none); nothing when already attached.
  void attach();
  bool isAttached() const;

  void setMinimumLevel(LogLevel level);
  LogLevel minimumLevel() const;
  // The included groups become included without the excluded ones.
  void setGroups(uint64_t included, uint64_t excluded);
  uint64_t includedGroups() const;
  uint64_t excludedGroups() const;
  void setLineTemplate(std::string_view lineTemplate);
  bool accepts(LogLevel level, uint64_t groups) const;

  LogTargetApi* api() { return &slot_.api; }
  // The target behind a table built by this class; null for a table from elsewhere.
  static LogTarget* fromApi(LogTargetApi* api);

protected:
  platform::CriticalSection& targetLock() const { return lock_; }

private:
  // The table first, so that its address leads back to the owner.
  struct ApiSlot {
    LogTargetApi api;
    LogTarget* owner;
  };

  ApiSlot slot_;
  mutable platform::CriticalSection lock_;
  bool attached_ = false;
  LogLevel minimumLevel_ = LogLevel::Warn;
  uint64_t includedGroups_ = 0;
  uint64_t excludedGroups_ = 0;
  std::string lineTemplate_ = "#D| #L| #G| #M";
};

} // namespace tav
