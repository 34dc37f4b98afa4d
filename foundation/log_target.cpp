// The LogTarget base and the plain functions of its table.
#include "foundation/log_target.h"

#include "foundation/logger.h"

#include <mutex>

namespace tav {
namespace {

using Guard = std::lock_guard<platform::CriticalSection>;

LogTarget& owner(LogTargetApi* api) {
  return *LogTarget::fromApi(api);
}

int32_t apiInterfaceVersion(LogTargetApi*) noexcept {
  return 1;
}
void apiSetMinimumLevel(LogTargetApi* api, LogLevel level) noexcept {
  owner(api).setMinimumLevel(level);
}
LogLevel apiMinimumLevel(LogTargetApi* api) noexcept {
  return owner(api).minimumLevel();
}
void apiSetGroups(LogTargetApi* api, uint64_t included, uint64_t excluded) noexcept {
  owner(api).setGroups(included, excluded);
}
uint64_t apiIncludedGroups(LogTargetApi* api) noexcept {
  return owner(api).includedGroups();
}
uint64_t apiExcludedGroups(LogTargetApi* api) noexcept {
  return owner(api).excludedGroups();
}
const char* apiName(LogTargetApi* api) noexcept {
  return owner(api).name();
}
const char* apiLineTemplate(LogTargetApi* api) noexcept {
  return owner(api).lineTemplate();
}
void apiAttach(LogTargetApi* api) noexcept {
  try {
    owner(api).attach();
  } catch (...) {
    // The list could not grow; the target stays detached.
  }
}
void apiDetach(LogTargetApi* api) noexcept {
  owner(api).detach();
}
bool apiIsAttached(LogTargetApi* api) noexcept {
  return owner(api).isAttached();
}
bool apiWrite(LogTargetApi* api, const LogRecord* record) noexcept {
  if (!record)
    return false;
  try {
    return owner(api).write(*record);
  } catch (...) {
    return false;
  }
}

constexpr LogTargetApi kTargetApi = {
    apiInterfaceVersion, apiSetMinimumLevel, apiMinimumLevel, apiSetGroups,
    apiIncludedGroups,   apiExcludedGroups,  apiName,         apiLineTemplate,
    apiAttach,           apiDetach,          apiIsAttached,   apiWrite,
};

} // namespace

bool logFilterAccepts(LogLevel level, uint64_t groups, LogLevel minimumLevel,
                      uint64_t includedGroups, uint64_t excludedGroups) {
  if (!levelAtLeast(level, minimumLevel))
    return false;
  if (groups == 0)
    return true;
  if ((groups & excludedGroups) != 0)
    return false;
  return includedGroups == 0 || (groups & includedGroups) != 0;
}

LogTarget::LogTarget() : slot_{kTargetApi, this} {}

LogTarget::~LogTarget() {
  LogTarget::detach();
}

LogTarget* LogTarget::fromApi(LogTargetApi* api) {
  if (api == nullptr || api->write != kTargetApi.write)
    return nullptr;
  return reinterpret_cast<ApiSlot*>(api)->owner;
}

void LogTarget::attach() {
  Guard loggerGuard(loggerLock());
  Guard targetGuard(lock_);
  if (attached_)
    return;
  loggerApi().addTarget(api());
  attached_ = true;
}

void LogTarget::detach() {
  Guard loggerGuard(loggerLock());
  Guard targetGuard(lock_);
  if (!attached_)
    return;
  attached_ = false;
  loggerApi().removeTarget(api());
}

bool LogTarget::isAttached() const {
  Guard guard(lock_);
  return attached_;
}

bool LogTarget::write(const LogRecord&) {
  return false;
}

void LogTarget::setMinimumLevel(LogLevel level) {
  Guard guard(lock_);
  minimumLevel_ = level;
}

LogLevel LogTarget::minimumLevel() const {
  Guard guard(lock_);
  return minimumLevel_;
}

void LogTarget::setGroups(uint64_t included, uint64_t excluded) {
  Guard guard(lock_);
  includedGroups_ = included & ~excluded;
  excludedGroups_ = excluded;
}

uint64_t LogTarget::includedGroups() const {
  Guard guard(lock_);
  return includedGroups_;
}

uint64_t LogTarget::excludedGroups() const {
  Guard guard(lock_);
  return excludedGroups_;
}

void LogTarget::setLineTemplate(std::string_view lineTemplate) {
  Guard guard(lock_);
  lineTemplate_.assign(lineTemplate);
}

bool LogTarget::accepts(LogLevel level, uint64_t groups) const {
  Guard guard(lock_);
  return logFilterAccepts(level, groups, minimumLevel_, includedGroups_, excludedGroups_);
}

} // namespace tav
