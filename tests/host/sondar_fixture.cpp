// The end-to-end fixture of the banners routes and its value helpers.
#include "host/sondar_fixture.h"

#include <algorithm>
#include <cstdio>

namespace tav::testhost {

using host::SondarFlag;
using host::ValueEntry;
using host::ValueKind;
using host::ValueTree;

std::string day(int dayOfMonth) {
  char text[32];
  std::snprintf(text, sizeof text, "2024-03-%02dT10:00:00Z", dayOfMonth);
  return text;
}

SondarFlag flag(std::string theme, std::string level, std::string seasonId,
                std::string purchaseDate) {
  return SondarFlag{std::move(theme), std::move(level), std::move(seasonId),
                    std::move(purchaseDate), "FLAG"};
}

host::SondarFrame frame(std::string level, std::string seasonId) {
  return host::SondarFrame{std::move(level), std::move(seasonId), "", "FRAME"};
}

host::SondarData sondar(std::vector<SondarFlag> flags, std::vector<host::SondarFrame> frames,
                        bool equipEnabled, int64_t season) {
  host::SondarData data;
  data.flags = std::move(flags);
  data.frames = std::move(frames);
  data.configuration["Banners"]["IsEquipEnabled"] = equipEnabled;
  if (season >= 0) {
    data.configuration["ClientSystemStates"]["currentSeason"] = season;
  }
  return data;
}

ValueTree bannerFlag(const std::string& theme, const std::string& level,
                     const std::string& seasonId, const std::string& earnedDate) {
  return ValueTree::map({{"earnedDateIso8601", earnedDate},
                         {"level", level},
                         {"seasonId", seasonId},
                         {"theme", theme}});
}

ValueTree bannerFlag(const SondarFlag& owned) {
  return bannerFlag(owned.theme, owned.level, owned.seasonId, owned.purchaseDate);
}

ValueTree flagBody(const SondarFlag& owned) {
  return ValueTree::map({{"theme", owned.theme},
                         {"level", owned.level},
                         {"seasonId", owned.seasonId},
                         {"earnedDateIso8601", owned.purchaseDate}});
}

ValueTree canonical(const ValueTree& tree) {
  if (tree.kind() == ValueKind::List) {
    std::vector<ValueTree> items;
    for (const ValueTree& item : tree.items()) {
      items.push_back(canonical(item));
    }
    return ValueTree::list(std::move(items));
  }
  if (tree.kind() == ValueKind::Map) {
    std::vector<ValueEntry> entries;
    for (const auto& [key, value] : tree.entries()) {
      entries.emplace_back(key, canonical(value));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ValueEntry& a, const ValueEntry& b) { return a.first < b.first; });
    return ValueTree::map(std::move(entries));
  }
  return tree;
}

std::string canonicalJson(const ValueTree& tree) {
  return canonical(tree).toJson();
}

SondarPluginTest::SondarPluginTest() : BuiltPluginTest(kBannersLibrary) {}

void SondarPluginTest::SetUp() {
  BuiltPluginTest::SetUp();
  if (IsSkipped() || HasFatalFailure()) {
    return;
  }
  if (host().description().findFunction("GetTavBannersV1CurrentSondarFlags") == nullptr) {
    GTEST_SKIP() << kBannersLibrary << " serves no banners routes yet";
  }
  peers_.install(host());
}

void SondarPluginTest::startWith(host::SondarData data) {
  peers_.replace(std::move(data));
  ASSERT_TRUE(host().start());
  // The first configuration values arrive during start; anything queued meanwhile is let through.
  host().waitForDeliveries();
}

host::CallResult SondarPluginTest::putEquipped(const ValueTree& body) {
  return putEquipped("application/json", body.toJson());
}

host::CallResult SondarPluginTest::putEquipped(std::string contentType, std::string body) {
  host::CallRequest request;
  request.method = "PUT";
  request.path = kEquippedPath;
  request.contentType = std::move(contentType);
  request.body = std::move(body);
  return host().call(request);
}

void SondarPluginTest::configure(const std::string& ns, const std::string& name, ValueTree value) {
  peers_.setConfiguration(ns, name, std::move(value));
  host().waitForDeliveries();
}

void SondarPluginTest::unconfigure(const std::string& ns, const std::string& name) {
  EXPECT_TRUE(peers_.deleteConfiguration(ns, name)) << ns << "/" << name;
  host().waitForDeliveries();
}

std::vector<host::LogLine> SondarPluginTest::logLinesWith(std::string_view fragment) {
  std::vector<host::LogLine> found;
  for (const host::LogLine& line : host().journal().logLines()) {
    if (line.message.find(fragment) != std::string::npos) {
      found.push_back(line);
    }
  }
  return found;
}

} // namespace tav::testhost
