// PluginLogTarget: the log target that forwards every line it accepts to the host's log.
#pragma once

#include "binding/host_records.h"
#include "foundation/log_target.h"

namespace tav {

inline constexpr char kPluginLogTargetName[] = "PluginLogTarget";

// Hands the record's level and message to HostApi entry 9; the line template is not applied, the
// host formats its own lines. Keeps the table pointer it was created with, which must outlive the
// target's attachment.
class PluginLogTarget final : public LogTarget {
public:
  PluginLogTarget(const host::HostApi* api, LogLevel minimumLevel);
  ~PluginLogTarget() override;

  const char* name() const override { return kPluginLogTargetName; }
  bool write(const LogRecord& record) override;

  const host::HostApi* hostApi() const { return api_; }

private:
  const host::HostApi* api_;
};

} // namespace tav
