// Writing the equipped flag into the loadouts.
#include "banners/loadouts_source.h"

#include <optional>
#include <string>

#include "banners/owned_items.h"
#include "binding/native_binding.h"
#include "plugin/outgoing_request.h"

namespace tav::banners {

SourceResult<void> WriteLoadoutsFlag(const OutgoingRequests& requests, const BannerFlag& flag) {
  const std::optional<int64_t> season = ParseStrictInt64(flag.seasonId);
  if (!season) {
    return SourceError{std::string(kSeasonIdNotANumberMessage)};
  }
  LoadoutsSlot slot;
  slot.itemId = *season;
  slot.inventoryType = flag.theme + "_" + flag.level;

  BindingResult slotValue = toValue(slot, requests.registry());
  if (!slotValue.ok()) {
    return SourceError{std::string(slotValue.errorMessage())};
  }
  RequestParameters parameters;
  parameters[std::string(kTournamentFlag)].member(kBannerFlagSlot) = std::move(slotValue.value());

  RequestResult<void> written = requests.request(HttpMethod::Post, kLoadoutsUrl, parameters);
  if (!written.ok()) {
    return SourceError{written.error().message};
  }
  return {};
}

} // namespace tav::banners
