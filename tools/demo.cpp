// tav-demo: a short tour of the framework pieces, run by the main-job script until the
// command-line host takes its place.
#include "banners/banner_records.h"
#include "banners/flag_selection.h"
#include "banners/owned_items.h"
#include "binding/binding_property.h"
#include "foundation/memory.h"
#include "foundation/message_format.h"
#include "routing/function_name.h"
#include "routing/http_method.h"
#include "routing/json_reader.h"
#include "routing/json_writer.h"
#include "routing/path_matcher.h"
#include "routing/url_template.h"
#include "routing/yaml_reader.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace tav;
using namespace tav::banners;

// A sondar's flags as the inventory would list them: two copies of one flag, two seasons.
constexpr const char* kSampleInventory = R"([
  {"payload": {"rewardType": "FLAG", "rewardSpec": {"theme": "ember", "level": "1", "seasonId": "4"}},
   "purchaseDate": "2026-03-01T10:00:00Z"},
  {"payload": {"rewardType": "FLAG", "rewardSpec": {"theme": "tide", "level": "2", "seasonId": "5"}},
   "purchaseDate": "2026-09-02T08:30:00Z"},
  {"payload": {"rewardType": "FLAG", "rewardSpec": {"theme": "tide", "level": "2", "seasonId": "5"}},
   "purchaseDate": "2026-10-12T19:45:00Z"},
  {"payload": {"rewardType": "FLAG", "rewardSpec": {"theme": "tide", "level": "3", "seasonId": "5"}},
   "purchaseDate": "2026-09-20T12:00:00Z"},
  {"payload": {"rewardType": "flag", "rewardSpec": {"theme": "bogus", "level": "9", "seasonId": "5"}},
   "purchaseDate": "2026-11-01T00:00:00Z"}
])";

std::string text(const BindingProperty& value) {
  return std::string(value.getString());
}

TournamentFlagInventoryItem itemFrom(const BindingProperty& value) {
  TournamentFlagInventoryItem item;
  const BindingProperty& payload = value.find("payload");
  const BindingProperty& spec = payload.find("rewardSpec");
  item.payload.rewardType = text(payload.find("rewardType"));
  item.payload.rewardSpec.theme = text(spec.find("theme"));
  item.payload.rewardSpec.level = text(spec.find("level"));
  item.payload.rewardSpec.seasonId = text(spec.find("seasonId"));
  item.purchaseDate = text(value.find("purchaseDate"));
  return item;
}

BindingProperty flagValue(const BannerFlag& flag) {
  BindingProperty value;
  value.member("theme") = flag.theme;
  value.member("level") = flag.level;
  value.member("seasonId") = flag.seasonId;
  value.member("earnedDateIso8601") = flag.earnedDateIso8601;
  return value;
}

} // namespace

int main() {
  std::printf("== Routes are named from their method and template\n");
  const char* templ = "/tav-banners/v1/current-sondar/flags/equipped";
  std::printf("PUT %s -> %s\n", templ, functionName(HttpMethod::Put, templ).c_str());

  UrlTemplate items = UrlTemplate::compile("/tav-inventory/v1/items/{id}/{+rest}");
  std::string path = "/tav-inventory/v1/items/42/season/5";
  std::printf("%s compiles to %s\n", items.text().c_str(), items.expression().c_str());
  if (auto captures = matchPath(items, path))
    for (size_t i = 0; i < captures->size(); ++i)
      std::printf("  %s = %.*s\n", items.placeholders()[i].name.c_str(),
                  static_cast<int>((*captures)[i].size()), (*captures)[i].data());

  std::printf("\n== Owned flags, newest season first, each flag once\n");
  BindingResult inventory = readJson(kSampleInventory);
  if (!inventory.ok()) {
    std::printf("inventory unreadable: %s\n", std::string(inventory.errorMessage()).c_str());
    return 1;
  }
  std::vector<OwnedFlag> owned;
  for (const BindingProperty& entry : inventory.elements()) {
    OwnedFlag flag = MakeOwnedFlag(itemFrom(entry));
    if (IsValid(flag))
      owned.push_back(flag);
  }
  owned = SortOwnedFlags(std::move(owned));
  BindingProperty list;
  list.makeCollection();
  for (const OwnedFlag& flag : owned)
    list.append() = flagValue(MakeBannerFlag(flag));
  std::printf("%s\n", writeJson(list).c_str());
  if (auto fallback = SelectDefaultFlag(owned))
    std::printf("default flag: %s\n", writeJson(flagValue(*fallback)).c_str());

  std::printf("\n== Bodies in YAML read into the same values\n");
  BindingResult body = readYaml("theme: tide\nlevel: '3'\nseasonId: '5'\n");
  std::printf("%s\n",
              body.ok() ? writeJson(body).c_str() : std::string(body.errorMessage()).c_str());
  BindingResult broken = readJson("{\"theme\": tide}");
  std::printf("a broken body: %s\n", std::string(broken.errorMessage()).c_str());

  memory::MemoryCounters counters = memory::snapshot();
  std::printf("\n%s\n",
              formatMessage("Memory: %1 allocations, %2 bytes at the peak, %3 in use.",
                            counters.totalAllocations, counters.peakBytes, counters.bytesInUse())
                  .c_str());
  return 0;
}
