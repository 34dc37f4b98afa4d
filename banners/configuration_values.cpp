// Readings of the equipping switch and the current season.
#include "banners/configuration_values.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace tav::banners {
namespace {

int64_t TruncateTowardZero(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  // Converting a double outside the 64-bit range is undefined, so the ends saturate first.
  constexpr double kLimit = 9223372036854775808.0; // 2^63
  if (value >= kLimit) {
    return std::numeric_limits<int64_t>::max();
  }
  if (value < -kLimit) {
    return std::numeric_limits<int64_t>::min();
  }
  return static_cast<int64_t>(value);
}

int64_t ReadInteger(const BindingProperty& value) {
  switch (value.kind()) {
  case BindingKind::Bool:
    return value.getBool() ? 1 : 0;
  case BindingKind::Signed:
    return value.getSigned();
  case BindingKind::Unsigned:
    return static_cast<int64_t>(value.getUnsigned());
  case BindingKind::Enum:
    return value.getEnum().number;
  case BindingKind::Float:
    return TruncateTowardZero(value.getFloat());
  case BindingKind::String: {
    // Copied so the text is terminated wherever the value keeps it; strtoll gives 0 when no
    // number starts the text.
    const std::string text(value.getString());
    return std::strtoll(text.c_str(), nullptr, 0);
  }
  case BindingKind::Empty:
  case BindingKind::Blob:
  case BindingKind::Collection:
  case BindingKind::Structure:
    break;
  }
  return kNoSeason;
}

} // namespace

bool ReadEquipEnabled(const BindingProperty& value) {
  return value.getBool(false);
}

int32_t ReadCurrentSeason(const BindingProperty& value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ReadInteger(value))));
}

std::optional<bool> EquipEnabledAfter(const ResourceEvent<BindingProperty>& event) {
  switch (event.eventType) {
  case PluginResourceEventType::Create:
  case PluginResourceEventType::Update:
    return ReadEquipEnabled(event.data);
  case PluginResourceEventType::Delete:
    return false;
  }
  return std::nullopt;
}

std::optional<int32_t> CurrentSeasonAfter(const ResourceEvent<BindingProperty>& event) {
  switch (event.eventType) {
  case PluginResourceEventType::Create:
  case PluginResourceEventType::Update:
    return ReadCurrentSeason(event.data);
  case PluginResourceEventType::Delete:
    return kNoSeason;
  }
  return std::nullopt;
}

} // namespace tav::banners
