// Finding and loading the built plugin libraries.
#include "host/testing/built_plugin.h"

#include <cstdlib>
#include <filesystem>

namespace tav::testhost {

std::optional<std::string> builtLibraryPath(std::string_view fileName) {
  const char* folder = std::getenv("TAV_BUILD_DIR");
  if (folder == nullptr || *folder == '\0') {
    return std::nullopt;
  }
  const std::filesystem::path path = std::filesystem::path(folder) / fileName;
  if (!std::filesystem::exists(path)) {
    return std::nullopt;
  }
  return path.string();
}

bool harshHostMode() {
  const char* mode = std::getenv("TAV_HOST_MODE");
  return mode != nullptr && std::string_view(mode) == "harsh";
}

BuiltPluginTest::BuiltPluginTest(std::string fileName, host::HostOptions options)
    : fileName_(std::move(fileName)),
      host_(std::make_unique<host::Host>(harshHostMode() ? host::harshHostOptions(options)
                                                         : options)) {}

void BuiltPluginTest::SetUp() {
  const std::optional<std::string> path = builtLibraryPath(fileName_);
  if (!path) {
    GTEST_SKIP() << fileName_ << " is not in the build folder (TAV_BUILD_DIR="
                 << (std::getenv("TAV_BUILD_DIR") != nullptr ? std::getenv("TAV_BUILD_DIR") : "")
                 << "); build its target to run this test";
  }
  ASSERT_TRUE(host_->load(*path)) << host_->lastError();
}

void BuiltPluginTest::TearDown() {
  host_->unload();
  EXPECT_EQ(host_->ownership().outstanding(), 0u) << "a record or stream was never released";
  EXPECT_EQ(host_->ownership().faults(), std::vector<std::string>());
  EXPECT_EQ(host_->entryFailures(), 0u);
}

host::ValueTree json(std::string_view text) {
  std::string error;
  std::optional<host::ValueTree> tree = host::ValueTree::fromJson(text, &error);
  if (!tree) {
    ADD_FAILURE() << error << " in " << text;
    return host::ValueTree();
  }
  return std::move(*tree);
}

::testing::AssertionResult sameValue(const host::ValueTree& actual,
                                     const host::ValueTree& expected) {
  if (host::sameJsonValue(actual, expected)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << actual.toJson() << " is not " << expected.toJson();
}

host::ValueTree resourceEvent(std::string uri, std::string eventType, host::ValueTree data) {
  return host::ValueTree::map(
      {{"uri", std::move(uri)}, {"eventType", std::move(eventType)}, {"data", std::move(data)}});
}

std::vector<std::string> subscribedNames(const host::Host& host, uint32_t flag) {
  std::vector<std::string> names;
  for (const host::Subscription& subscription : host.events().subscriptions()) {
    if (subscription.flag == flag) {
      names.push_back(subscription.name);
    }
  }
  return names;
}

} // namespace tav::testhost
