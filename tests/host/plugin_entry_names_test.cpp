// Which exports the host looks for in a plugin library, from the library's path.
#include "host/plugin_library.h"

#include <gtest/gtest.h>

#include <string>

namespace tav::host {
namespace {

struct EntryNameCase {
  const char* path;
  const char* ownEntry;
};

class PluginEntryNames : public ::testing::TestWithParam<EntryNameCase> {};

TEST_P(PluginEntryNames, AreTheBannersEntryThenLoadAndTheLibrarysName) {
  const std::array<std::string, 2> names = pluginEntryNames(GetParam().path);
  EXPECT_EQ(names[0], "load_tav_banners");
  EXPECT_EQ(names[1], GetParam().ownEntry);
}

#if defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(
    Paths, PluginEntryNames,
    ::testing::Values(EntryNameCase{"tav_favourites.dll", "load_tav_favourites"},
                      EntryNameCase{"C:\\build\\x.y\\tav_banners.dll", "load_tav_banners"},
                      EntryNameCase{"plugins/libtav_x.dll", "load_libtav_x"}));
#else
INSTANTIATE_TEST_SUITE_P(
    Paths, PluginEntryNames,
    ::testing::Values(EntryNameCase{"libtav_favourites.so", "load_tav_favourites"},
                      EntryNameCase{"/build/x.y/libtav_banners.so", "load_tav_banners"},
                      EntryNameCase{"plugins/tav_x.so.1", "load_tav_x"},
                      EntryNameCase{"lib.so", "load_"}));
#endif

// The file name the build gives a target and the entry the host finds in it agree.
TEST(PluginEntryNames, OfTheBuiltFileNameIsLoadAndTheTargetName) {
  EXPECT_EQ(pluginEntryNames(pluginFileName("tav_favourites"))[1], "load_tav_favourites");
}

} // namespace
} // namespace tav::host
