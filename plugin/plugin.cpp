// Plugin registration, start and stop, the callback table and the host services.
#include "plugin/plugin.h"

#include "binding/unregistered_types.h"
#include "foundation/failure_report.h"
#include "foundation/log.h"
#include "foundation/logger.h"
#include "foundation/memory.h"
#include "foundation/message_format.h"

#include <cstdlib>
#include <cstring>

namespace tav {
namespace {

// Answered by hostSendRequest when there is no host to send to.
constexpr char kNoHostMessage[] = "No host connection";
constexpr uint32_t kNoHostStatus = 503;

uint8_t startCallback(void* context, host::HostContext* hostContext) noexcept {
  auto* plugin = static_cast<Plugin*>(context);
  if (plugin == nullptr) {
    return 0;
  }
  try {
    return plugin->start(hostContext) ? 1 : 0;
  } catch (const std::exception& failure) {
    logMessage(LogLevel::Error, kLogGroupDbg, "%s: Start failed: %s", plugin->fullName().c_str(),
               failure.what());
  } catch (...) {
    logMessage(LogLevel::Error, kLogGroupDbg, "%s: Start failed", plugin->fullName().c_str());
  }
  return 0;
}

void stopCallback(void* context) noexcept {
  auto* plugin = static_cast<Plugin*>(context);
  if (plugin == nullptr) {
    return;
  }
  try {
    plugin->stop();
  } catch (...) {
    // The host is done with the plugin either way; it is destroyed below.
  }
  delete plugin;
}

void memoryStatisticsCallback(void*, uint32_t out[14]) noexcept {
  if (out != nullptr) {
    memory::memoryStatistics(out);
  }
}

} // namespace

Plugin::Plugin() {
  callbacks_.start = &startCallback;
  callbacks_.stop = &stopCallback;
  callbacks_.memoryStatistics = &memoryStatisticsCallback;
}

Plugin::~Plugin() {
  // The consoles and filters come back with the target gone, so a process that outlives the
  // plugin keeps a log.
  if (logTarget_) {
    logTarget_.reset();
    for (LogTargetApi* console : detachedConsoles_) {
      console->attach(console);
    }
    loggerApi().setMinimumLevel(savedMinimumLevel_);
    loggerApi().setExcludedGroups(savedExcludedGroups_);
  }
}

void Plugin::shutdown() {
  shutdownEvents();
}

const host::HostApi* Plugin::hostApi() const {
  return hostContext_ != nullptr ? hostContext_->api : nullptr;
}

void Plugin::hostSendRequest(host::HostResponse* response, const host::HostRequest* request) {
  const host::HostApi* api = hostApi();
  if (api != nullptr && api->sendRequest != nullptr) {
    api->sendRequest(api, response, request);
  } else if (response != nullptr) {
    std::memset(response, 0, sizeof *response);
    response->error = kNoHostMessage;
    response->status = kNoHostStatus;
  }
}

void Plugin::hostReserved1(uint32_t a, uint32_t b) {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->reserved1 != nullptr) {
    api->reserved1(api, a, b);
  }
}

void Plugin::hostSendEvent(const host::HostEvent* event) {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->sendEvent != nullptr) {
    api->sendEvent(api, event);
  }
}

void Plugin::hostSubscribe(const char* name, uint32_t handle, void (*callback)(host::HostEvent*),
                           void* context, uint32_t flag) {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->subscribe != nullptr) {
    api->subscribe(api, name, handle, callback, context, flag);
  }
}

void Plugin::hostUnsubscribe(const char* name, uint32_t handle) {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->unsubscribe != nullptr) {
    api->unsubscribe(api, name, handle);
  }
}

void Plugin::hostReserved5(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->reserved5 != nullptr) {
    api->reserved5(api, a, b, c, d, e);
  }
}

void Plugin::hostYield() {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->yieldToHost != nullptr) {
    api->yieldToHost(api);
  }
}

void Plugin::hostBeginWait(const char* label, uint32_t word) {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->beginWait != nullptr) {
    api->beginWait(api, label, word);
  }
}

void Plugin::hostEndWait() {
  if (const host::HostApi* api = hostApi(); api != nullptr && api->endWait != nullptr) {
    api->endWait(api);
  }
}

void Plugin::onRegistered() {}

bool Plugin::onStarted() {
  return true;
}

void Plugin::registerWithHost(host::HostHandshake& handshake, std::string_view shortName,
                              const PluginKind& kind) {
  const PluginVersion hostVersion{handshake.major, handshake.minor, handshake.patch, {}, {}};
  const PluginVersion ownVersion = pluginApiVersion();
  if (!isHostVersionCompatible(hostVersion, ownVersion)) {
    const std::string message =
        formatMessage("%1 which supports plugin API %2 is not compatible with core's plugin API %3",
                      shortName, ownVersion.text(), hostVersion.text());
    logMessage(LogLevel::Error, kLogGroupDbg, "%s", message.c_str());
    reportFailure(kPluginVersionMismatchCode);
    std::abort();
  }
  coreVersion_ = hostVersion;

  names_ = makePluginNameRecord(shortName, kind);
  tags_ = {"Plugins", "Plugin " + names_.fullName};
  identifier_ = pluginIdentifier(names_.fullName);
  setPluginName(names_.fullName);

  setRegistry(&registry_);
  registerFrameworkEvents();

  onRegistered();
  // Each of these fails every conversion through it with a message that cannot name the field;
  // said once here, it names the type and field.
  for (const std::string& line : unregisteredTypeReferences(registry_)) {
    logMessage(LogLevel::Error, kLogGroupDbg, "%s: %s", names_.fullName.c_str(), line.c_str());
  }

  functionTable_ = std::make_unique<FunctionTable>(registry_, routes_);

  handshake.major = ownVersion.major;
  handshake.minor = ownVersion.minor;
  handshake.patch = ownVersion.patch;
  handshake.callbacks = &callbacks_;
  handshake.pluginContext = this;
  handshake.fullName = names_.fullName.c_str();
  handshake.functionTable = &functionTable_->header();
}

void Plugin::forwardLogToHost(const host::HostApi* api) {
  const LoggerApi& logger = loggerApi();
  savedMinimumLevel_ = logger.minimumLevel();
  savedExcludedGroups_ = logger.excludedGroups();
  for (LogTargetApi* console :
       {logger.stdOutTarget(), logger.stdErrTarget(), logger.debuggerConsoleTarget()}) {
    if (console != nullptr && console->isAttached(console)) {
      console->detach(console);
      detachedConsoles_.push_back(console);
    }
  }
  logger.setMinimumLevel(LogLevel::Okay);
  logger.setExcludedGroups(kLogGroupXtr);
  logTarget_ = std::make_unique<PluginLogTarget>(api, logger.minimumLevel());
  logTarget_->attach();
}

bool Plugin::start(host::HostContext* hostContext) {
  hostContext_ = hostContext;
  if (loggerApi().findTarget(kPluginLogTargetName) == nullptr) {
    forwardLogToHost(hostApi());
  }
  userAgent_ = formatMessage("KestClient/%1 (%2)", coreVersion_.text(), names_.fullName);
  setPluginHandle(hostContext != nullptr ? hostContext->pluginHandle : 0);
  logPrefix_ = names_.fullName;
  telemetry_ = std::make_unique<TelemetrySink>(requests());
  subscribeServiceProxyEvents();
  return onStarted();
}

void Plugin::stop() {
  stopping_.store(true);
  shutdown();
}

} // namespace tav
