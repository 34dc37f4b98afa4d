// Start, stop and memory statistics through the callback table, and the host services.
#include "plugin/plugin.h"

#include "foundation/log.h"
#include "foundation/logger.h"
#include "foundation/memory.h"
#include "support/capturing_log_target.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/packed_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tav {
namespace {

// Leaves the logger as it found it, whatever a started plugin did to it.
class LoggerState {
public:
  LoggerState()
      : level_(loggerApi().minimumLevel()), excluded_(loggerApi().excludedGroups()),
        stdErr_(isAttached(loggerApi().stdErrTarget())),
        debugger_(isAttached(loggerApi().debuggerConsoleTarget())) {}
  ~LoggerState() {
    restore(loggerApi().stdErrTarget(), stdErr_);
    restore(loggerApi().debuggerConsoleTarget(), debugger_);
    loggerApi().setMinimumLevel(level_);
    loggerApi().setExcludedGroups(excluded_);
  }

  static bool isAttached(LogTargetApi* target) { return target->isAttached(target); }

private:
  static void restore(LogTargetApi* target, bool attached) {
    if (attached) {
      target->attach(target);
    } else {
      target->detach(target);
    }
  }

  LogLevel level_;
  uint64_t excluded_;
  bool stdErr_;
  bool debugger_;
};

host::HostHandshake handshakeFrom(uint32_t major, uint32_t minor, uint32_t patch) {
  host::HostHandshake handshake;
  std::memset(&handshake, 0, sizeof handshake);
  handshake.major = major;
  handshake.minor = minor;
  handshake.patch = patch;
  return handshake;
}

class LifecyclePlugin : public Plugin {
public:
  explicit LifecyclePlugin(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  ~LifecyclePlugin() override {
    if (destroyed_ != nullptr) {
      *destroyed_ = true;
    }
  }
  bool onStarted() override {
    ++starts;
    if (throwOnStart) {
      throw std::bad_alloc();
    }
    return startResult;
  }

  int starts = 0;
  bool startResult = true;
  bool throwOnStart = false;

private:
  bool* destroyed_;
};

// A registered plugin owned by the test until it is handed to the stop callback.
struct RegisteredPlugin {
  explicit RegisteredPlugin(uint32_t minor = 0, bool* destroyed = nullptr)
      : handshake(handshakeFrom(18, minor, 0)),
        plugin(std::make_unique<LifecyclePlugin>(destroyed)) {
    plugin->registerWithHost(handshake, "tav-banners");
  }
  uint8_t start(host::HostContext* context) {
    return handshake.callbacks->start(handshake.pluginContext, context);
  }
  void stop() { handshake.callbacks->stop(plugin.release()); }

  host::HostHandshake handshake;
  std::unique_ptr<LifecyclePlugin> plugin;
};

const char* const kServiceProxyEvents[] = {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                                           "OnServiceProxyAsyncEvent"};

TEST(PluginStart, BuildsTheUserAgentFromHostVersionAndFullName) {
  LoggerState logger;
  test::FakeHost host;
  RegisteredPlugin registered(2);
  ASSERT_EQ(registered.start(host.context(7)), 1);
  EXPECT_EQ(registered.plugin->userAgent(), "KestClient/18.2.0 (vmf-be-tav-banners)");
  EXPECT_EQ(registered.plugin->logPrefix(), "vmf-be-tav-banners");
  EXPECT_EQ(registered.plugin->pluginHandle(), 7u);
  EXPECT_NE(registered.plugin->telemetry(), nullptr);
}

TEST(PluginStart, SubscribesTheThreeServiceProxyEventsWithFlagOne) {
  LoggerState logger;
  test::FakeHost host;
  RegisteredPlugin registered;
  registered.start(host.context(7));
  const auto subscriptions = host.subscriptions();
  ASSERT_EQ(subscriptions.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(subscriptions[i].name, kServiceProxyEvents[i]);
    EXPECT_EQ(subscriptions[i].handle, 7u);
    EXPECT_EQ(subscriptions[i].flag, 1u);
    EXPECT_EQ(subscriptions[i].context, registered.plugin.get());
  }
}

TEST(PluginStart, ForwardsLogLinesToTheHostInsteadOfTheConsoles) {
  LoggerState logger;
  test::FakeHost host;
  RegisteredPlugin registered;
  registered.start(host.context(7));

  const LoggerApi& api = loggerApi();
  LogTargetApi* target = api.findTarget("PluginLogTarget");
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(LogTarget::fromApi(target), registered.plugin->logTarget());
  EXPECT_FALSE(LoggerState::isAttached(api.stdErrTarget()));
  EXPECT_FALSE(LoggerState::isAttached(api.stdOutTarget()));
  EXPECT_FALSE(LoggerState::isAttached(api.debuggerConsoleTarget()));
  EXPECT_EQ(api.minimumLevel(), LogLevel::Okay);
  EXPECT_EQ(api.excludedGroups(), kLogGroupXtr);
  EXPECT_STREQ(target->lineTemplate(target), "#D| #L| #G| #M");

  logMessage(LogLevel::Okay, kLogGroupGen, "%s: hello %d", "vmf-be-tav-banners", 3);
  logMessage(LogLevel::Always, kLogGroupXtr, "excluded group");
  const auto lines = host.logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 0);
  // The host gets the bare message, not a rendered line.
  EXPECT_EQ(lines[0].message, "vmf-be-tav-banners: hello 3");
}

TEST(PluginStart, SecondStartKeepsLoggerTargetsAndLevelsButRunsTheRest) {
  LoggerState logger;
  test::FakeHost host;
  RegisteredPlugin registered;
  registered.start(host.context(7));
  LogTargetApi* first = loggerApi().findTarget("PluginLogTarget");
  // Changed after the first start: a second start must not reset it.
  loggerApi().setMinimumLevel(LogLevel::Warn);

  test::FakeHost other;
  ASSERT_EQ(registered.start(other.context(9)), 1);
  EXPECT_EQ(loggerApi().findTarget("PluginLogTarget"), first);
  EXPECT_EQ(loggerApi().minimumLevel(), LogLevel::Warn);
  EXPECT_FALSE(LoggerState::isAttached(loggerApi().stdErrTarget()));
  EXPECT_EQ(registered.plugin->pluginHandle(), 9u);
  EXPECT_EQ(other.subscriptions().size(), 3u);
  EXPECT_EQ(registered.plugin->starts, 2);
}

TEST(PluginStart, AnswersWhatOnStartedAnswersAndFalseWhenItThrows) {
  LoggerState logger;
  test::FakeHost host;
  RegisteredPlugin refusing;
  refusing.plugin->startResult = false;
  EXPECT_EQ(refusing.start(host.context(7)), 0);
  RegisteredPlugin throwing;
  throwing.plugin->throwOnStart = true;
  EXPECT_EQ(throwing.start(host.context(8)), 0);
}

TEST(PluginStart, NullContextStartsAPluginWithoutHostServices) {
  LoggerState logger;
  RegisteredPlugin registered;
  EXPECT_EQ(registered.start(nullptr), 1);
  EXPECT_EQ(registered.plugin->pluginHandle(), 0u);

  host::HostResponse response;
  std::memset(&response, 0xAB, sizeof response);
  host::HostRequest request{};
  registered.plugin->hostSendRequest(&response, &request);
  EXPECT_STREQ(response.error, "No host connection");
  EXPECT_EQ(test::fieldValue(response.errorOwned), 0);
  EXPECT_EQ(test::fieldValue(response.status), 503u);
  EXPECT_EQ(test::fieldValue(response.release), nullptr);
}

TEST(PluginStop, UnsubscribesEveryEventNameAndDestroysThePlugin) {
  LoggerState logger;
  test::FakeHost host;
  bool destroyed = false;
  RegisteredPlugin registered(0, &destroyed);
  registered.start(host.context(7));
  registered.plugin->subscribeEvent("/tav-banners/v1/current-sondar/flags");
  registered.plugin->subscribeEvent("/tav-banners/v1/current-sondar/frames");

  registered.stop();
  EXPECT_TRUE(destroyed);
  std::vector<std::string> names;
  for (const auto& unsubscription : host.unsubscriptions()) {
    EXPECT_EQ(unsubscription.handle, 7u);
    names.push_back(unsubscription.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "OnJsonApiEvent_tav-banners_v1_current-sondar", "OnServiceProxyAsyncEvent",
                       "OnServiceProxyMethodEvent", "OnServiceProxyUuidEvent"}));
}

TEST(PluginStop, PutsTheLoggerBackAsTheStartFoundIt) {
  LoggerState logger;
  test::FakeHost host;
  const LogLevel levelBefore = loggerApi().minimumLevel();
  const bool stdErrBefore = LoggerState::isAttached(loggerApi().stdErrTarget());
  RegisteredPlugin registered;
  registered.start(host.context(7));
  registered.stop();
  EXPECT_EQ(loggerApi().findTarget("PluginLogTarget"), nullptr);
  EXPECT_EQ(loggerApi().minimumLevel(), levelBefore);
  EXPECT_EQ(LoggerState::isAttached(loggerApi().stdErrTarget()), stdErrBefore);
}

TEST(PluginStop, SetsTheStoppingFlagBeforeShutdown) {
  class ShutdownWatcher : public Plugin {
  public:
    void shutdown() override {
      stoppingDuringShutdown = stopping();
      Plugin::shutdown();
    }
    bool stoppingDuringShutdown = false;
  };
  ShutdownWatcher plugin;
  EXPECT_FALSE(plugin.stopping());
  plugin.stop();
  EXPECT_TRUE(plugin.stoppingDuringShutdown);
}

TEST(MemoryStatisticsCallback, FillsTheSixCountersAndTwoZeroWords) {
  RegisteredPlugin registered;
  uint32_t words[14];
  std::memset(words, 0xFF, sizeof words);
  const memory::MemoryCounters before = memory::snapshot();
  registered.handshake.callbacks->memoryStatistics(registered.handshake.pluginContext, words);
  const uint64_t totalAllocations = words[6] | (uint64_t{words[7]} << 32);
  EXPECT_GE(totalAllocations, before.totalAllocations);
  EXPECT_GT(totalAllocations, 0u);
  EXPECT_EQ(words[12], 0u);
  EXPECT_EQ(words[13], 0u);
}

} // namespace
} // namespace tav
