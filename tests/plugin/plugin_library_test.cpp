// The built plugin libraries as a host sees them: one exported symbol, and a loaded test plugin
// that counts its own allocations.
#include "binding/host_records.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_call.h"
#include "tests/plugin/packed_field.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#ifndef TAV_BINARY_DIR
#error "TAV_BINARY_DIR names the build folder that holds the plugin libraries"
#endif

namespace tav {
namespace {

std::string libraryPath(const char* name) {
  return std::string(TAV_BINARY_DIR) + "/" + name;
}

// The defined dynamic symbols of a shared library, as nm lists them.
std::vector<std::string> definedDynamicSymbols(const std::string& path) {
  std::vector<std::string> symbols;
  const std::string command = "nm -D --defined-only '" + path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return {"<nm could not run>"};
  }
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream words(line);
    std::string word;
    std::string last;
    while (words >> word) {
      last = word;
    }
    if (!last.empty()) {
      symbols.push_back(last);
    }
  }
  pclose(pipe);
  return symbols;
}

class PluginLibrary : public ::testing::TestWithParam<const char*> {};

TEST_P(PluginLibrary, ExportsExactlyLoadTavBanners) {
  EXPECT_EQ(definedDynamicSymbols(libraryPath(GetParam())),
            std::vector<std::string>{"load_tav_banners"});
}

INSTANTIATE_TEST_SUITE_P(Libraries, PluginLibrary,
                         ::testing::Values("libtav_banners.so", "libtav_test_plugin.so"));

host::LoadPluginFn loadEntry(const char* library) {
  // Kept loaded for the rest of the process: a plugin library is never unloaded by these tests.
  void* handle = dlopen(libraryPath(library).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    ADD_FAILURE() << dlerror();
    return nullptr;
  }
  return reinterpret_cast<host::LoadPluginFn>(dlsym(handle, "load_tav_banners"));
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
  host::LoadPluginFn load = loadEntry("libtav_banners.so");
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
  host::LoadPluginFn load = loadEntry("libtav_test_plugin.so");
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
