// The favourites plugin: its types, its two routes, and the createPlugin its library's entry
// calls.
#include "favourites_plugin.h"

#include "binding/native_binding.h"
#include "plugin/plugin_entry.h"
#include "routing/http_method.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace favourites {

using tav::ArgumentLocation;
using tav::HandlerResponse;
using tav::HttpMethod;

void FavouritesPlugin::onRegistered() {
  tav::BindingTypeRegistry& registry = typeRegistry();
  // Names are prefixed with the plugin's identifier ("VmfBeTavFavourites"), so that two plugins'
  // types never meet in the host. A type used by a field is registered before the type holding it.
  auto priority = registry.registerType<Priority>(identifier() + "Priority");
  if (!priority.existed()) {
    priority.addTags(tags());
    priority.addValue("Low", Priority::Low);
    priority.addValue("High", Priority::High);
  }
  auto favourite = registry.registerType<Favourite>(identifier() + "Favourite");
  if (!favourite.existed()) {
    favourite.addTags(tags());
    favourite.field("note", &Favourite::note);
    favourite.field("priority", &Favourite::priority);
  }
  auto item = registry.registerType<InventoryItem>(identifier() + "InventoryItem");
  if (!item.existed()) {
    item.field("itemId", &InventoryItem::itemId, tav::kBindingFieldRequired);
    item.field("count", &InventoryItem::count);
  }
  auto owned = registry.registerType<OwnedFavourite>(identifier() + "OwnedFavourite");
  if (!owned.existed()) {
    owned.addTags(tags());
    owned.field("itemId", &OwnedFavourite::itemId);
    owned.field("count", &OwnedFavourite::count);
    owned.field("note", &OwnedFavourite::note, tav::kBindingFieldOmitWhenEmpty);
    owned.field("priority", &OwnedFavourite::priority);
  }

  route(HttpMethod::Get, "/tav-favourites/v1/owned", &FavouritesPlugin::owned)
      .argument("minimumCount", "", ArgumentLocation::Query);
  route(HttpMethod::Put, "/tav-favourites/v1/favourites/{itemId}", &FavouritesPlugin::putFavourite)
      .argument("itemId", "", ArgumentLocation::Path)
      .bodyArgument("favourite");
}

HandlerResponse<std::vector<OwnedFavourite>>
FavouritesPlugin::owned(std::optional<int32_t> minimumCount) {
  // Another plugin answers through the host; the call blocks until it does.
  tav::RequestResult<std::vector<InventoryItem>> inventory =
      requests().requestValue<std::vector<InventoryItem>>(HttpMethod::Get, kInventoryPath);
  if (!inventory.ok()) {
    const tav::RequestError& error = inventory.error();
    return tav::ErrorResponse(error.status != 0 ? error.status : 502, error.message);
  }
  const int32_t least = minimumCount.value_or(1);
  std::vector<OwnedFavourite> answer;
  std::lock_guard lock(mutex_);
  for (const InventoryItem& item : inventory.value()) {
    auto found = favourites_.find(item.itemId);
    if (found != favourites_.end() && item.count >= least) {
      answer.push_back({item.itemId, item.count, found->second.note, found->second.priority});
    }
  }
  std::sort(answer.begin(), answer.end(),
            [](const OwnedFavourite& a, const OwnedFavourite& b) { return a.itemId < b.itemId; });
  return answer;
}

HandlerResponse<Favourite> FavouritesPlugin::putFavourite(const std::string& itemId,
                                                          const Favourite& favourite) {
  if (favourite.note.size() > kMaximumNoteLength) {
    return tav::ErrorResponse(400, "A note has at most 200 characters.");
  }
  bool created = false;
  {
    std::lock_guard lock(mutex_);
    created = favourites_.insert_or_assign(itemId, favourite).second;
  }

  tav::PluginResourceEvent event;
  event.uri = "/tav-favourites/v1/favourites/" + itemId;
  event.eventType =
      created ? tav::PluginResourceEventType::Create : tav::PluginResourceEventType::Update;
  tav::BindingResult data = tav::toValue(favourite, typeRegistry());
  if (!data.ok()) {
    return tav::InternalServerError(data.errorMessage());
  }
  event.data = std::move(data.value());
  // Sent under the URI's own event name and under the generic "OnJsonApiEvent".
  const tav::EventSendResult sent = sendResourceEvent(tav::kJsonApiEventName, event);
  if (!sent.ok()) {
    return tav::InternalServerError(sent.error());
  }

  HandlerResponse<Favourite> response = favourite;
  response.status = created ? 201 : 200;
  return response;
}

} // namespace favourites

namespace tav {

// The library's plugin; the entry load_tav_favourites calls this and registers what it returns.
PluginCreation createPlugin() {
  return PluginCreation{std::make_unique<favourites::FavouritesPlugin>(), favourites::kShortName,
                        backendKind()};
}

} // namespace tav
