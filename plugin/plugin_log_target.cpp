// Forwarding of log records to the host.
#include "plugin/plugin_log_target.h"

namespace tav {

PluginLogTarget::PluginLogTarget(const host::HostApi* api, LogLevel minimumLevel) : api_(api) {
  setLineTemplate("#D| #L| #G| #M");
  setMinimumLevel(minimumLevel);
}

PluginLogTarget::~PluginLogTarget() {
  // Detached here rather than in the base, so no record reaches a half-destroyed target.
  detach();
}

bool PluginLogTarget::write(const LogRecord& record) {
  if (api_ != nullptr && api_->writeLog != nullptr) {
    api_->writeLog(api_, static_cast<int32_t>(record.level), record.message);
  }
  return true;
}

} // namespace tav
