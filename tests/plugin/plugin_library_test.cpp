// The built plugin libraries as a host sees them: one exported symbol, and a loaded test plugin
// that counts its own allocations.
#include "binding/host_records.h"
#include "host/plugin_library.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_call.h"
#include "tests/plugin/library_symbols.h"
#include "tests/plugin/packed_field.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifndef TAV_BINARY_DIR
#error "TAV_BINARY_DIR names the build folder that holds the plugin libraries"
#endif

namespace tav {
namespace {

std::string libraryPath(const std::string& name) {
  return std::string(TAV_BINARY_DIR) + "/" + name;
}

class PluginLibrary : public ::testing::TestWithParam<std::string> {};

TEST_P(PluginLibrary, ExportsExactlyLoadTavBanners) {
  EXPECT_EQ(test::exportedSymbols(libraryPath(GetParam())),
            std::vector<std::string>{"load_tav_banners"});
}

// The C++ runtime is inside the library: the host needs nothing beside it but the system.
TEST_P(PluginLibrary, NeedsOnlySystemLibraries) {
  const std::vector<std::string> needed = test::importedLibraries(libraryPath(GetParam()));
  EXPECT_FALSE(needed.empty());
  for (const std::string& name : needed)
    EXPECT_TRUE(test::isSystemLibrary(name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Libraries, PluginLibrary,
                         ::testing::Values(host::pluginFileName("tav_banners"),
                                           host::pluginFileName("tav_test_plugin")));

// The example plugin's build names another entry; the generated export list follows it.
TEST(ExampleLibrary, ExportsOnlyTheEntryItsBuildNamesAndNeedsOnlySystemLibraries) {
  const std::string path = libraryPath(host::pluginFileName("tav_favourites"));
  EXPECT_EQ(test::exportedSymbols(path), std::vector<std::string>{"load_tav_favourites"});
  for (const std::string& name : test::importedLibraries(path))
    EXPECT_TRUE(test::isSystemLibrary(name)) << name;
}

host::LoadPluginFn loadEntry(const std::string& name) {
  // Kept loaded for the rest of the process: a plugin library is never unloaded by these tests.
  static std::vector<host::PluginLibrary> kept;
  std::string error;
  std::optional<host::PluginLibrary> library =
      host::PluginLibrary::open(libraryPath(host::pluginFileName(name)), true, error);
  if (!library) {
    ADD_FAILURE() << error;
    return nullptr;
  }
  kept.push_back(std::move(*library));
  return kept.back().entry();
}

struct Statistics {
  uint64_t totalAllocations;
  uint64_t bytesInUse;
};

Statistics statisticsOf(const host::HostHandshake& handshake) {
  uint32_t words[14] = {};
  handshake.callbacks->memoryStatistics(handshake.pluginContext, words);
  auto counter = [&](int i) { return words[2 * i] | (uint64_t{words[2 * i + 1]} << 32); };
  return Statistics{counter(3), counter(2) - counter(4)};
}

TEST(LoadedBannersLibrary, RegistersTavBannersWithItsFourRoutes) {
  host::LoadPluginFn load = loadEntry("tav_banners");
  ASSERT_NE(load, nullptr);
  host::HostHandshake handshake{};
  handshake.major = 18;
  handshake.minor = 1;
  load(&handshake);
  ASSERT_NE(test::fieldValue(handshake.callbacks), nullptr);
  EXPECT_STREQ(handshake.fullName, "vmf-be-tav-banners");
  EXPECT_EQ(test::fieldValue(handshake.minor), 0u);
  EXPECT_EQ(test::fieldValue(handshake.functionTable->functionCount), 4u);
  EXPECT_GT(test::fieldValue(handshake.functionTable->eventCount), 0u);
  handshake.callbacks->stop(handshake.pluginContext);
}

TEST(LoadedTestLibrary, ServesCallsAndCountsItsOwnAllocations) {
  host::LoadPluginFn load = loadEntry("tav_test_plugin");
  ASSERT_NE(load, nullptr);
  host::HostHandshake handshake{};
  handshake.major = 18;
  load(&handshake);
  ASSERT_NE(test::fieldValue(handshake.callbacks), nullptr);
  EXPECT_STREQ(handshake.fullName, "vmf-be-tav-test");

  // Start allocates only through C++ (the log target, the telemetry sink, texts): if the library
  // used the host's operator new these would not be counted.
  test::FakeHost host;
  const Statistics beforeStart = statisticsOf(handshake);
  ASSERT_EQ(handshake.callbacks->start(handshake.pluginContext, host.context(11)), 1);
  EXPECT_GT(statisticsOf(handshake).totalAllocations, beforeStart.totalAllocations);

  const auto* records =
      reinterpret_cast<const host::HostFunctionRecord*>(handshake.functionTable->functions);
  const host::HostFunctionRecord* getItem = nullptr;
  for (uint32_t i = 0; i < handshake.functionTable->functionCount; ++i) {
    if (std::strcmp(records[i].description.name, "GetTavTestV1ItemsById") == 0) {
      getItem = &records[i];
    }
  }
  ASSERT_NE(getItem, nullptr);
  auto callOnce = [&] {
    TestRequest request(HttpMethod::Get, "/tav-test/v1/items/q?count=4");
    test::HostCall call(*getItem, request);
    EXPECT_EQ(call.value().find("count").getSigned(), 4);
  };
  callOnce();
  const Statistics beforeCalls = statisticsOf(handshake);
  for (int i = 0; i < 1000; ++i) {
    callOnce();
  }
  const Statistics afterCalls = statisticsOf(handshake);
  EXPECT_GT(afterCalls.totalAllocations, beforeCalls.totalAllocations + 1000);
  EXPECT_EQ(afterCalls.bytesInUse, beforeCalls.bytesInUse);

  handshake.callbacks->stop(handshake.pluginContext);
  EXPECT_EQ(host.unsubscriptions().size(), 3u);
}

} // namespace
} // namespace tav
