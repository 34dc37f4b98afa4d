// libtav_banners.so run by a host whose peers play the sondar's plugins, for end-to-end tests of
// the banners routes.
//
//   TEST_F(SondarPluginTest, ListsTheOwnedFlag) {
//     startWith(sondar({flag("T", "2", "5", day(4))}));
//     EXPECT_EQ(canonical(getFlags().value), canonical(ValueTree::list({bannerFlag(...)})));
//   }
//
// SetUp skips the test when the library is not built or serves no banners routes yet; TearDown
// (from BuiltPluginTest) checks that every record the host handed out was released once.
#pragma once

#include "host/sondar_peers.h"
#include "host/testing/built_plugin.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tav::testhost {

inline constexpr char kFlagsPath[] = "/tav-banners/v1/current-sondar/flags";
inline constexpr char kEquippedPath[] = "/tav-banners/v1/current-sondar/flags/equipped";
inline constexpr char kFramePath[] = "/tav-banners/v1/current-sondar/frames/equipped";

inline constexpr char kNoFlagsMessage[] = "Current sondar has no banner flags.";
inline constexpr char kEquipDisabledMessage[] = "Banner equipping is not enabled.";
inline constexpr char kNotOwnedMessage[] =
    "Attempted to equip banner flag that sondar does not own.";
inline constexpr char kNoFrameMessage[] = "Banner frame not found for current sondar";
inline constexpr char kDisabledLogLine[] =
    "Banner equipping is not enabled; showing the default equipped banner.";

// "2024-03-<day>T10:00:00Z", the form in which the plugin writes times back.
std::string day(int dayOfMonth);

host::SondarFlag flag(std::string theme, std::string level, std::string seasonId,
                      std::string purchaseDate);
host::SondarFrame frame(std::string level, std::string seasonId);

// A sondar owning flags and frames, with equipping enabled and the season set (a season below 0
// leaves the value out, so that the plugin keeps its own default).
host::SondarData sondar(std::vector<host::SondarFlag> flags,
                        std::vector<host::SondarFrame> frames = {}, bool equipEnabled = true,
                        int64_t season = 5);

// A BannerFlag answer, members in the order the plugin writes them.
host::ValueTree bannerFlag(const std::string& theme, const std::string& level,
                           const std::string& seasonId, const std::string& earnedDate);
host::ValueTree bannerFlag(const host::SondarFlag& owned);
// The flag as a PUT body: {theme, level, seasonId, earnedDateIso8601}.
host::ValueTree flagBody(const host::SondarFlag& owned);

// The tree with every map's entries sorted by key, for comparing answers whose member order the
// test does not mean to fix.
host::ValueTree canonical(const host::ValueTree& tree);

// The JSON text of a value, with maps in canonical order.
std::string canonicalJson(const host::ValueTree& tree);

class SondarPluginTest : public BuiltPluginTest {
protected:
  SondarPluginTest();

  void SetUp() override;

  // Replaces the peers' state, then starts the plugin, which fetches its configuration.
  void startWith(host::SondarData data);

  host::SondarPeers& peers() { return peers_; }

public:
  // The four routes; callable from the helper threads of a test.
  host::CallResult getFlags() { return host().call("GET", kFlagsPath); }
  host::CallResult getEquipped() { return host().call("GET", kEquippedPath); }
  host::CallResult getFrame() { return host().call("GET", kFramePath); }
  // PUT with body as JSON text.
  host::CallResult putEquipped(const host::ValueTree& body);
  host::CallResult putEquipped(std::string contentType, std::string body);

protected:
  // Changes a configuration value and waits until the plugin has seen the event.
  void configure(const std::string& ns, const std::string& name, host::ValueTree value);
  void unconfigure(const std::string& ns, const std::string& name);

  // The log lines that contain fragment.
  std::vector<host::LogLine> logLinesWith(std::string_view fragment);

private:
  host::SondarPeers peers_;
};

} // namespace tav::testhost
