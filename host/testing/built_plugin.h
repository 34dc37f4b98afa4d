// Running the plugin libraries of the build folder in a Host, for end-to-end tests.
//
//   class TestPluginRoutes : public testhost::BuiltPluginTest {
//   protected:
//     TestPluginRoutes() : BuiltPluginTest(testhost::kTestPluginLibrary) {}
//   };
//   TEST_F(TestPluginRoutes, AnswersAnItem) {
//     ASSERT_TRUE(host().start());
//     const host::CallResult item = host().call("GET", "/tav-test/v1/items/7");
//     EXPECT_EQ(item.value, testhost::json(R"({"id":"7","count":1,"colour":"Red"})"));
//   }
//
// SetUp skips the test, with a message naming the file, when the library is not in the folder
// that TAV_BUILD_DIR names; TearDown stops the plugin, closes the library and checks that every
// release function the host handed out was called exactly once.
#pragma once

#include "host/host.h"
#include "host/plugin_library.h"
#include "host/value_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav::testhost {

// libtav_banners.so, or tav_banners.dll on Windows; likewise the test plugin.
inline const std::string kBannersLibrary = host::pluginFileName("tav_banners");
inline const std::string kTestPluginLibrary = host::pluginFileName("tav_test_plugin");

// The library's path in the build folder, or nothing when TAV_BUILD_DIR is unset or the file is
// not there.
std::optional<std::string> builtLibraryPath(std::string_view fileName);

// Whether TAV_HOST_MODE is "harsh": every BuiltPluginTest then runs its plugin in a host made
// with host::harshHostOptions, as the suites' second run under ctest does.
bool harshHostMode();

class BuiltPluginTest : public ::testing::Test {
protected:
  explicit BuiltPluginTest(std::string fileName, host::HostOptions options = {});

  void SetUp() override;
  void TearDown() override;

  host::Host& host() { return *host_; }

private:
  std::string fileName_;
  std::unique_ptr<host::Host> host_;
};

// The tree of JSON text; a parse error fails the test and gives an empty tree.
host::ValueTree json(std::string_view text);

// Success when actual and expected are the same JSON value (sameJsonValue), otherwise a failure
// that shows both as JSON text. Use as EXPECT_TRUE(sameValue(result.value, json("...")).
::testing::AssertionResult sameValue(const host::ValueTree& actual,
                                     const host::ValueTree& expected);

// The payload of a resource event as plugins send and receive it: {"uri", "eventType", "data"},
// with the event type by name ("Create", "Update" or "Delete").
host::ValueTree resourceEvent(std::string uri, std::string eventType, host::ValueTree data);

// The names of the subscriptions made with flag.
std::vector<std::string> subscribedNames(const host::Host& host, uint32_t flag);

} // namespace tav::testhost
