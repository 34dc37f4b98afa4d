// Registration: names, identifier, tags, the version check and what the handshake receives.
#include "plugin/plugin.h"
#include "plugin/plugin_entry.h"
#include "plugin/plugin_name.h"

#include "support/capturing_log_target.h"
#include "support/shared_page.h"
#include "tests/plugin/packed_field.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <regex>

#include <cstring>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

namespace tav {
namespace {

host::HostHandshake handshakeFrom(uint32_t major, uint32_t minor, uint32_t patch) {
  host::HostHandshake handshake;
  std::memset(&handshake, 0, sizeof handshake);
  handshake.major = major;
  handshake.minor = minor;
  handshake.patch = patch;
  return handshake;
}

struct FullNameCase {
  const char* kind;
  const char* fullName;
  bool logsError;
};

void PrintTo(const FullNameCase& c, std::ostream* os) {
  *os << '"' << c.kind << '"';
}

class FullNameOfKind : public ::testing::TestWithParam<FullNameCase> {};

TEST_P(FullNameOfKind, PrefixesTheShortName) {
  const FullNameCase& c = GetParam();
  test::ScopedLogCapture capture;
  EXPECT_EQ(GetFullNameFromShortNameAndType("tav-banners", PluginKind{c.kind, ""}), c.fullName);
  EXPECT_EQ(capture.target().count(), c.logsError ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FullNameOfKind,
                         ::testing::Values(FullNameCase{"backend", "vmf-be-tav-banners", false},
                                           FullNameCase{"frontend", "vmf-fe-tav-banners", false},
                                           FullNameCase{"Backend", "vmf-xx-tav-banners", true},
                                           FullNameCase{"", "vmf-xx-tav-banners", true},
                                           FullNameCase{"service", "vmf-xx-tav-banners", true}));

TEST(FullName, UnknownKindLogsOneErrorLineNamingShortNameAndKind) {
  test::ScopedLogCapture capture;
  GetFullNameFromShortNameAndType("tav-banners", PluginKind{"service", ""});
  const auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::Error);
  EXPECT_EQ(records[0].groups, kLogGroupDbg);
  EXPECT_EQ(records[0].message, "Plugin Manager| GetFullNameFromShortNameAndType(\"tav-banners\", "
                                "\"service\") called with an unknown type");
}

TEST(PluginRegistration, NamesTheBackendPluginAndDerivesIdentifierAndTags) {
  auto handshake = handshakeFrom(18, 0, 0);
  Plugin plugin;
  plugin.registerWithHost(handshake, "tav-banners");
  EXPECT_EQ(plugin.names().fullName, "vmf-be-tav-banners");
  EXPECT_EQ(plugin.names().shortName, "tav-banners");
  EXPECT_EQ(plugin.names().kindName, "backend");
  EXPECT_EQ(plugin.names().kindDetail, "");
  EXPECT_EQ(plugin.identifier(), "VmfBeTavBanners");
  EXPECT_EQ(plugin.tags(), (std::vector<std::string>{"Plugins", "Plugin vmf-be-tav-banners"}));
  EXPECT_EQ(plugin.pluginName(), "vmf-be-tav-banners");
}

TEST(PluginRegistration, UnknownKindStillRegistersWithTheXxPrefix) {
  test::ScopedLogCapture capture;
  auto handshake = handshakeFrom(18, 0, 0);
  Plugin plugin;
  plugin.registerWithHost(handshake, "tav-banners", PluginKind{"service", ""});
  EXPECT_STREQ(handshake.fullName, "vmf-xx-tav-banners");
  EXPECT_EQ(plugin.identifier(), "VmfXxTavBanners");
  EXPECT_TRUE(capture.target().contains("called with an unknown type"));
}

struct Inner {
  int32_t n = 0;
};
struct Outer {
  Inner inner;
};

// Registers Outer before Inner, so that Outer's field can never convert.
class MisorderedPlugin : public Plugin {
  void onRegistered() override {
    typeRegistry().registerType<Outer>("Outer").field("inner", &Outer::inner);
    typeRegistry().registerType<Inner>("Inner").field("n", &Inner::n);
  }
};

TEST(PluginRegistration, LogsEachFieldOfAnUnregisteredTypeOnceNamingTypeAndField) {
  test::ScopedLogCapture capture;
  auto handshake = handshakeFrom(18, 0, 0);
  MisorderedPlugin plugin;
  plugin.registerWithHost(handshake, "tav-banners");
  const auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::Error);
  EXPECT_EQ(records[0].message, "vmf-be-tav-banners: Type 'Outer' field 'inner' has an "
                                "unregistered struct type (" +
                                    std::string(typeId<Inner>().text) + ")");
}

TEST(PluginRegistration, LogsNothingForTheFrameworksOwnTypes) {
  test::ScopedLogCapture capture;
  auto handshake = handshakeFrom(18, 0, 0);
  Plugin plugin;
  plugin.registerWithHost(handshake, "tav-banners");
  EXPECT_EQ(capture.target().count(), 0u);
}

TEST(PluginRegistration, WritesOwnVersionCallbacksContextNameAndFunctionTable) {
  auto handshake = handshakeFrom(18, 3, 1);
  Plugin plugin;
  plugin.registerWithHost(handshake, "tav-banners");
  EXPECT_EQ(test::fieldValue(handshake.major), 18u);
  EXPECT_EQ(test::fieldValue(handshake.minor), 0u);
  EXPECT_EQ(test::fieldValue(handshake.patch), 0u);
  EXPECT_EQ(test::fieldValue(handshake.callbacks), &plugin.callbacks());
  EXPECT_NE(test::fieldValue(handshake.callbacks->start), nullptr);
  EXPECT_NE(test::fieldValue(handshake.callbacks->stop), nullptr);
  EXPECT_NE(test::fieldValue(handshake.callbacks->memoryStatistics), nullptr);
  EXPECT_EQ(test::fieldValue(handshake.pluginContext), &plugin);
  EXPECT_STREQ(handshake.fullName, "vmf-be-tav-banners");
  ASSERT_NE(test::fieldValue(handshake.functionTable), nullptr);
  EXPECT_EQ(test::fieldValue(handshake.functionTable), &plugin.functionTable()->header());
  EXPECT_EQ(plugin.coreVersion().text(), "18.3.1");
}

TEST(PluginRegistration, DescribesTheFrameworkTypesAndEventsButNoFunctions) {
  auto handshake = handshakeFrom(18, 0, 0);
  Plugin plugin;
  plugin.registerWithHost(handshake, "tav-banners");
  const host::HostApiDescription& table = *handshake.functionTable;
  EXPECT_EQ(test::fieldValue(table.functionCount), 0u);
  EXPECT_EQ(test::fieldValue(table.functions), nullptr);

  std::vector<std::string> events;
  for (uint32_t i = 0; i < table.eventCount; ++i) {
    events.emplace_back(test::fieldValue(table.events[i].name));
  }
  for (const char* name : {"OnJsonApiEvent", "OnLcdsEvent", "OnServiceProxyUuidEvent",
                           "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
    EXPECT_NE(std::find(events.begin(), events.end(), name), events.end()) << name;
  }
  bool described = false;
  for (uint32_t i = 0; i < table.typeCount; ++i) {
    described = described || std::strcmp(table.types[i].name, "PluginManagerState") == 0;
  }
  EXPECT_TRUE(described);
}

class HookRecordingPlugin : public Plugin {
public:
  void onRegistered() override {
    // The names and the framework types exist by the time the hook runs.
    sawName = fullName();
    sawFrameworkType = typeRegistry().findTypeByName("PluginResourceEvent") != nullptr;
  }
  std::string sawName;
  bool sawFrameworkType = false;
};

TEST(PluginRegistration, RunsTheHookAfterNamingAndFrameworkTypes) {
  auto handshake = handshakeFrom(18, 0, 0);
  HookRecordingPlugin plugin;
  plugin.registerWithHost(handshake, "tav-banners");
  EXPECT_EQ(plugin.sawName, "vmf-be-tav-banners");
  EXPECT_TRUE(plugin.sawFrameworkType);
}

class IncompatibleHost : public ::testing::TestWithParam<std::array<uint32_t, 3>> {};

TEST_P(IncompatibleHost, IsReportedAsALE_EECF0606AndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto version = GetParam();
  EXPECT_DEATH(
      {
        auto handshake = handshakeFrom(version[0], version[1], version[2]);
        Plugin plugin;
        plugin.registerWithHost(handshake, "tav-banners");
      },
      // std::regex rather than the death test's own: on Windows that is gtest's simple engine,
      // which has no classes or groups; standard error ends its lines with CR LF there.
      ::testing::Truly([](const std::string& output) {
        return std::regex_search(
            output, std::regex("tav-banners which supports plugin API 18\\.0\\.0 is not "
                               "compatible with core's plugin API [0-9.]+[\\s\\S]*Assertion "
                               "failed!\r?\n\r?\nExpression: ALE-EECF0606"));
      }));
}

INSTANTIATE_TEST_SUITE_P(Versions, IncompatibleHost,
                         ::testing::Values(std::array<uint32_t, 3>{19, 0, 0},
                                           std::array<uint32_t, 3>{17, 9, 9}));

TEST(PluginRegistration, IncompatibleHostGetsNoHandshakeWord) {
  // The dying child writes into this shared page, so what it wrote survives its abort.
  test::SharedPage page("tav-incompatible-host-handshake", sizeof(host::HostHandshake));
  ASSERT_NE(page.data(), nullptr);
  auto* handshake = new (page.data()) host::HostHandshake(handshakeFrom(19, 0, 0));
  EXPECT_DEATH(
      {
        Plugin plugin;
        plugin.registerWithHost(*handshake, "tav-banners");
      },
      "ALE-EECF0606");
  EXPECT_EQ(test::fieldValue(handshake->major), 19u);
  EXPECT_EQ(test::fieldValue(handshake->callbacks), nullptr);
  EXPECT_EQ(test::fieldValue(handshake->pluginContext), nullptr);
  EXPECT_EQ(test::fieldValue(handshake->fullName), nullptr);
  EXPECT_EQ(test::fieldValue(handshake->functionTable), nullptr);
}

PluginCreation createThrowingPlugin() {
  throw std::runtime_error("no plugin today");
}

TEST(LoadPlugin, CreationThatThrowsLeavesNoPluginInTheHandshake) {
  test::ScopedLogCapture capture;
  auto handshake = handshakeFrom(18, 0, 0);
  handshake.fullName = "stale";
  loadPlugin(&handshake, &createThrowingPlugin);
  EXPECT_EQ(test::fieldValue(handshake.callbacks), nullptr);
  EXPECT_EQ(test::fieldValue(handshake.pluginContext), nullptr);
  EXPECT_EQ(test::fieldValue(handshake.fullName), nullptr);
  EXPECT_EQ(test::fieldValue(handshake.functionTable), nullptr);
  EXPECT_TRUE(capture.target().contains("Plugin registration failed: no plugin today"));
}

class ThrowingHookPlugin : public Plugin {
public:
  void onRegistered() override { throw std::bad_alloc(); }
};

PluginCreation createPluginWithThrowingHook() {
  return PluginCreation{std::make_unique<ThrowingHookPlugin>(), "tav-banners", backendKind()};
}

TEST(LoadPlugin, RegistrationThatThrowsBadAllocIsCaught) {
  test::ScopedLogCapture capture;
  auto handshake = handshakeFrom(18, 0, 0);
  loadPlugin(&handshake, &createPluginWithThrowingHook);
  EXPECT_EQ(test::fieldValue(handshake.callbacks), nullptr);
  EXPECT_EQ(test::fieldValue(handshake.pluginContext), nullptr);
  EXPECT_TRUE(capture.target().contains("Plugin registration failed"));
}

int gCreations = 0;

PluginCreation createCountedPlugin() {
  ++gCreations;
  return PluginCreation{std::make_unique<Plugin>(), "tav-banners", backendKind()};
}

TEST(LoadPlugin, NullHandshakeCreatesNothing) {
  gCreations = 0;
  loadPlugin(nullptr, &createCountedPlugin);
  EXPECT_EQ(gCreations, 0);
}

} // namespace
} // namespace tav
