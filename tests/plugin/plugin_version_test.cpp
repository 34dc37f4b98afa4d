// Plugin interface versions: their text form and which host versions a plugin accepts.
#include "plugin/plugin_version.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tav {
namespace {

struct HostVersionCase {
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
  bool compatible;
};

void PrintTo(const HostVersionCase& c, std::ostream* os) {
  *os << c.major << "." << c.minor << "." << c.patch;
}

class HostVersionAgainstOwn : public ::testing::TestWithParam<HostVersionCase> {};

TEST_P(HostVersionAgainstOwn, IsCompatibleOnlyWithSameMajorAndNotOlder) {
  const HostVersionCase& c = GetParam();
  const PluginVersion host{c.major, c.minor, c.patch, {}, {}};
  EXPECT_EQ(isHostVersionCompatible(host, pluginApiVersion()), c.compatible);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, HostVersionAgainstOwn,
    ::testing::Values(HostVersionCase{18, 0, 0, true}, HostVersionCase{18, 3, 1, true},
                      HostVersionCase{18, 0, 7, true}, HostVersionCase{19, 0, 0, false},
                      HostVersionCase{17, 9, 9, false}, HostVersionCase{0, 0, 0, false}));

TEST(HostVersionCompatibility, NeedsAPatchAtLeastThePluginsWhenMinorsAreEqual) {
  const PluginVersion plugin{18, 2, 5, {}, {}};
  EXPECT_FALSE(isHostVersionCompatible(PluginVersion{18, 2, 4, {}, {}}, plugin));
  EXPECT_TRUE(isHostVersionCompatible(PluginVersion{18, 2, 5, {}, {}}, plugin));
  // A newer minor is enough whatever its patch.
  EXPECT_TRUE(isHostVersionCompatible(PluginVersion{18, 3, 0, {}, {}}, plugin));
  EXPECT_FALSE(isHostVersionCompatible(PluginVersion{18, 1, 9, {}, {}}, plugin));
}

struct VersionTextCase {
  PluginVersion version;
  const char* text;
};

class PluginVersionText : public ::testing::TestWithParam<VersionTextCase> {};

TEST_P(PluginVersionText, AddsPreReleaseAndBuildOnlyWhenPresent) {
  EXPECT_EQ(GetParam().version.text(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PluginVersionText,
    ::testing::Values(VersionTextCase{{18, 0, 0, "", ""}, "18.0.0"},
                      VersionTextCase{{18, 2, 10, "beta.1", ""}, "18.2.10-beta.1"},
                      VersionTextCase{{1, 2, 3, "", "7f3e"}, "1.2.3+7f3e"},
                      VersionTextCase{{1, 2, 3, "rc", "7f3e"}, "1.2.3-rc+7f3e"},
                      VersionTextCase{{4294967295u, 0, 0, "", ""}, "4294967295.0.0"}));

} // namespace
} // namespace tav
