// Reading the equipped flag from the sondar profile and writing it back.
#include "banners/profile_source.h"

#include "binding/native_binding.h"
#include "foundation/log.h"
#include "foundation/message_format.h"
#include "plugin/outgoing_request.h"
#include "routing/json_reader.h"
#include "routing/json_writer.h"

namespace tav::banners {
namespace {

SourceError BadBannerJson(std::string_view message) {
  logMessage(LogLevel::Warn, kLogGroupDbg, "Sondar profile contains bad banner json: %s",
             std::string(message).c_str());
  return SourceError{std::string(message)};
}

} // namespace

SourceResult<std::optional<OwnedFlag>> GetProfileFlag(const OutgoingRequests& requests,
                                                      const std::vector<OwnedFlag>& owned) {
  RequestResult<BindingProperty> profile =
      requests.requestValue<BindingProperty>(HttpMethod::Get, kSondarProfileUrl);
  if (!profile.ok()) {
    return SourceError{profile.error().message};
  }
  const BindingProperty& stored = profile.value().find(kEquippedBannerFlagKey);
  if (stored.isEmpty()) {
    return std::optional<OwnedFlag>();
  }
  if (!stored.isString()) {
    return SourceError{
        formatMessage(kUnexpectedProfileTypeTemplate, bindingKindName(stored.kind()))};
  }

  BindingResult text = readJson(stored.getString());
  if (!text.ok()) {
    return BadBannerJson(text.errorMessage());
  }
  BannerFlag flag;
  BindingResult conversion;
  if (!fromValue(conversion, flag, text.value(), "<value>", requests.registry())) {
    return BadBannerJson(conversion.errorMessage());
  }

  const OwnedFlag wanted = MakeOwnedFlag(flag);
  for (const OwnedFlag& entry : owned) {
    if (SameFlag(entry, wanted)) {
      return std::optional<OwnedFlag>(entry);
    }
  }
  logMessage(LogLevel::Warn, kLogGroupDbg, "%s", kUnownedProfileBannerMessage.data());
  return std::optional<OwnedFlag>();
}

std::string ProfileFlagText(const BannerFlag& flag) {
  // A structure writes its members in key order, which is the stored order level, seasonId,
  // theme.
  BindingProperty stored;
  stored.member("level") = flag.level;
  stored.member("seasonId") = flag.seasonId;
  stored.member("theme") = flag.theme;
  return writeJson(stored);
}

SourceResult<void> WriteProfileFlag(const OutgoingRequests& requests, const BannerFlag& flag) {
  SondarProfileUpdate update;
  update.key = kEquippedBannerFlagKey;
  update.value = ProfileFlagText(flag);
  RequestResult<void> written = requests.request(HttpMethod::Post, kSondarProfileUrl, update);
  if (!written.ok()) {
    return SourceError{written.error().message};
  }
  return {};
}

} // namespace tav::banners
