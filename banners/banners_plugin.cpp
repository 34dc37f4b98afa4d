// The banners plugin: registration, configuration and the four routes.
#include "banners/banners_plugin.h"

#include <optional>
#include <string>
#include <utility>

#include "banners/banner_registration.h"
#include "banners/flag_selection.h"
#include "banners/inventory_payload_reader.h"
#include "banners/inventory_source.h"
#include "banners/loadouts_source.h"
#include "banners/profile_source.h"
#include "binding/native_binding.h"
#include "foundation/log.h"

namespace tav::banners {

BannersPlugin::BannersPlugin() = default;

BannersPlugin::~BannersPlugin() = default;

void BannersPlugin::onRegistered() {
  RegisterBannerRecords(typeRegistry(), identifier(), tags());
  route(HttpMethod::Get, kOwnedFlagsUri, &BannersPlugin::getOwnedFlags);
  route(HttpMethod::Get, kEquippedFlagUri, &BannersPlugin::getEquippedFlag);
  route(HttpMethod::Put, kEquippedFlagUri, &BannersPlugin::putEquippedFlag)
      .bodyArgument(kFlagArgument);
  route(HttpMethod::Get, kEquippedFrameUri, &BannersPlugin::getEquippedFrame);
}

bool BannersPlugin::onStarted() {
  observe<BindingProperty>(kEquipEnabledUri, [this](const ResourceEvent<BindingProperty>& event) {
    if (std::optional<bool> enabled = EquipEnabledAfter(event)) {
      equipEnabled_.store(*enabled);
    }
  });
  observe<BindingProperty>(kCurrentSeasonUri, [this](const ResourceEvent<BindingProperty>& event) {
    if (std::optional<int32_t> season = CurrentSeasonAfter(event)) {
      currentSeason_.store(*season);
    }
  });
  return true;
}

SourceResult<std::vector<OwnedFlag>> BannersPlugin::ListOwnedFlags() {
  // Each item becomes its owned entry as it is read: a large inventory never lists its items.
  class ValidFlags final : public InventoryItemSink {
  public:
    void expect(std::string_view, size_t count) override { owned.reserve(owned.size() + count); }
    void take(TournamentFlagInventoryItem& item) override {
      OwnedFlag entry = MakeOwnedFlag(item);
      if (IsValid(entry)) {
        owned.push_back(std::move(entry));
      }
    }
    void take(TournamentFrameInventoryItem&) override {}
    void drop(std::string_view type) override {
      if (type == kTournamentFlag) {
        owned.clear();
      }
    }

    std::vector<OwnedFlag> owned;
  } flags;
  if (SourceResult<void> read = ReadInventory(requests(), {std::string(kTournamentFlag)}, flags);
      !read.ok()) {
    return SourceError{read.error()};
  }
  return SortOwnedFlags(std::move(flags.owned));
}

HandlerResponse<std::vector<BannerFlag>> BannersPlugin::getOwnedFlags() {
  SourceResult<std::vector<OwnedFlag>> owned = ListOwnedFlags();
  if (!owned.ok()) {
    return InternalServerError(owned.error());
  }
  std::vector<BannerFlag> flags;
  flags.reserve(owned.value().size());
  for (const OwnedFlag& entry : owned.value()) {
    flags.push_back(MakeBannerFlag(entry));
  }
  return flags;
}

HandlerResponse<BannerFlag> BannersPlugin::getEquippedFlag() {
  SourceResult<std::vector<OwnedFlag>> owned = ListOwnedFlags();
  if (!owned.ok()) {
    return InternalServerError(owned.error());
  }
  if (owned.value().empty()) {
    return NotFound(kNoBannerFlagsMessage);
  }
  if (!equipEnabled_.load()) {
    logMessage(LogLevel::Okay, kLogGroupGen, "%s", kShowingDefaultFlagLine.data());
  } else {
    // A profile that cannot be read is no failure of this route: the default is shown instead.
    SourceResult<std::optional<OwnedFlag>> equipped = GetProfileFlag(requests(), owned.value());
    if (equipped.ok() && equipped.value().has_value()) {
      return MakeBannerFlag(*equipped.value());
    }
  }
  if (std::optional<BannerFlag> fallback = SelectDefaultFlag(owned.value())) {
    return std::move(*fallback);
  }
  return NotFound(kNoDefaultFlagMessage);
}

HandlerResponse<BannerFlag> BannersPlugin::putEquippedFlag(const BannerFlag& flag) {
  if (!equipEnabled_.load()) {
    return ErrorResponse(kServiceUnavailableStatus, kEquipDisabledMessage);
  }
  SourceResult<std::vector<OwnedFlag>> owned = ListOwnedFlags();
  if (!owned.ok()) {
    return InternalServerError(owned.error());
  }
  const OwnedFlag requested = MakeOwnedFlag(flag);
  const OwnedFlag* match = nullptr;
  for (const OwnedFlag& entry : owned.value()) {
    if (SameFlag(entry, requested)) {
      match = &entry;
      break;
    }
  }
  if (match == nullptr) {
    return ErrorResponse(kBadRequestStatus, kNotOwnedFlagMessage);
  }

  // What is written and answered is the owned flag, normalised, with the owned acquisition time.
  BannerFlag equipped = MakeBannerFlag(*match);
  if (SourceResult<void> loadouts = WriteLoadoutsFlag(requests(), equipped); !loadouts.ok()) {
    return InternalServerError(loadouts.error());
  }
  // A failed profile write leaves the loadouts written: there is nothing to undo it with.
  if (SourceResult<void> profile = WriteProfileFlag(requests(), equipped); !profile.ok()) {
    return InternalServerError(profile.error());
  }
  publishEquippedFlag(equipped);
  return equipped;
}

void BannersPlugin::publishEquippedFlag(const BannerFlag& flag) {
  BindingResult data = toValue(flag, typeRegistry());
  if (!data.ok()) {
    return;
  }
  PluginResourceEvent event;
  event.uri = kEquippedFlagUri;
  event.eventType = PluginResourceEventType::Update;
  event.data = std::move(data.value());
  // The equip has happened whether or not anyone hears of it, so a failed send changes nothing
  // in the answer.
  (void)sendResourceEvent(kJsonApiEventName, event);
}

HandlerResponse<BannerFrame> BannersPlugin::getEquippedFrame() {
  SourceResult<InventoryResponse> inventory =
      GetInventory(requests(), {std::string(kTournamentFlag), std::string(kTournamentFrame)});
  if (!inventory.ok()) {
    return InternalServerError(inventory.error());
  }
  const InventoryItemsByType& items = inventory.value().items;
  bool ownsFlag = false;
  for (const TournamentFlagInventoryItem& item : items.TOURNAMENT_FLAG) {
    if (IsValid(MakeOwnedFlag(item))) {
      ownsFlag = true;
      break;
    }
  }
  if (!ownsFlag) {
    return NotFound(kNoBannerFrameMessage);
  }

  std::vector<OwnedFrame> frames;
  frames.reserve(items.TOURNAMENT_FRAME.size());
  for (const TournamentFrameInventoryItem& item : items.TOURNAMENT_FRAME) {
    OwnedFrame entry = MakeOwnedFrame(item);
    if (IsValid(entry)) {
      frames.push_back(entry);
    }
  }
  const int64_t season = currentSeason_.load();
  BannerFrame frame;
  frame.level = SelectSeasonFrameLevel(frames, season).value_or(std::string(kDefaultFrameLevel));
  return frame;
}

} // namespace tav::banners
