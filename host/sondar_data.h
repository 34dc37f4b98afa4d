// SondarData: everything the sondar's peer services know (owned flags and frames, profile,
// loadouts, configuration values, injected failures), read from and written to JSON.
//
//   std::string error;
//   std::optional<SondarData> data = SondarData::fromFile("sondar.json", &error);
//   if (!data) { /* error reads like: flags[2].level: expected a text or a whole number */ }
//   data->flags.push_back({.theme = "T", .level = "2", .seasonId = "5",
//                          .purchaseDate = "2024-03-01T10:00:00Z"});
//   data->saveFile("sondar.json");
//
// The file format is described in docs/sondar-data.md. Every member is optional; members the
// format does not know are refused so that a misspelt name does not silently do nothing.
#pragma once

#include "host/value_tree.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tav::host {

// One owned banner flag as the inventory lists it. Texts are kept exactly as given, so that a
// test can hand the plugin a level of "01" or a date it cannot read.
struct SondarFlag {
  std::string theme;
  std::string level;        // decimal text
  std::string seasonId;     // decimal text
  std::string purchaseDate; // ISO-8601
  std::string rewardType = "FLAG";

  bool operator==(const SondarFlag&) const = default;
};

// One owned banner frame as the inventory lists it.
struct SondarFrame {
  std::string level;
  std::string seasonId;
  std::string purchaseDate;
  std::string rewardType = "FRAME";

  bool operator==(const SondarFrame&) const = default;
};

// The peer services a failure can be injected into.
enum class SondarEndpoint : uint8_t {
  Inventory,     // GET /tav-inventory/v1/signedInventory
  ProfileRead,   // GET /tav-sondar/v1/current-sondar/sondar-profile
  ProfileWrite,  // POST /tav-sondar/v1/current-sondar/sondar-profile
  Loadouts,      // POST /tav-loadouts/v2/items/1
  Configuration, // GET /tav-platform-config/v1/namespaces/<ns>/<name>
  Telemetry,     // POST /telemetry/v1/events/<name>
};

inline constexpr std::array<SondarEndpoint, 6> kSondarEndpoints = {
    SondarEndpoint::Inventory, SondarEndpoint::ProfileRead,   SondarEndpoint::ProfileWrite,
    SondarEndpoint::Loadouts,  SondarEndpoint::Configuration, SondarEndpoint::Telemetry};

// "inventory", "profileRead", "profileWrite", "loadouts", "configuration", "telemetry": the
// member names of the data file's "failures" object.
std::string_view sondarEndpointName(SondarEndpoint endpoint);
std::optional<SondarEndpoint> sondarEndpointFromName(std::string_view name);

inline constexpr char kDefaultFailureMessage[] = "Injected failure";

// What a peer with an injected failure answers instead of doing its work.
struct SondarFailure {
  uint32_t status = 500;
  std::string message = kDefaultFailureMessage;

  bool operator==(const SondarFailure&) const = default;
};

// Replacements for parts of the inventory's answer, for the error rows and for hand-made tokens.
// A type named in several of them: omitted wins over a token, a token over a payload.
struct InventoryOverrides {
  std::set<std::string> omittedTypes;        // left out of the answer map
  std::map<std::string, std::string> tokens; // the whole token text of a type
  std::map<std::string, ValueTree> payloads; // the whole payload signed into a type's token

  bool empty() const { return omittedTypes.empty() && tokens.empty() && payloads.empty(); }
  bool operator==(const InventoryOverrides&) const = default;
};

// Namespace → name → value, as "/tav-platform-config/v1/namespaces/<ns>/<name>" answers it.
using ConfigurationValues = std::map<std::string, std::map<std::string, ValueTree>>;

struct SondarData {
  std::vector<SondarFlag> flags;   // in inventory order
  std::vector<SondarFrame> frames; // in inventory order
  ValueTree profile = ValueTree::map({});
  ValueTree loadouts; // the body of the last loadouts write; empty when none was made
  ConfigurationValues configuration;
  InventoryOverrides inventory;
  std::map<SondarEndpoint, SondarFailure> failures;

  // Reads the data file format. On failure returns nothing and sets error to the place and the
  // problem ("flags[0].theme: expected a text") or to the JSON parser's message.
  static std::optional<SondarData> fromJson(std::string_view text, std::string* error = nullptr);
  static std::optional<SondarData> fromFile(const std::string& path, std::string* error = nullptr);

  // The data file text, indented for people, ending with a line feed; fromJson reads it back to
  // an equal SondarData.
  std::string toJson() const;
  bool saveFile(const std::string& path, std::string* error = nullptr) const;

  bool operator==(const SondarData&) const = default;
};

} // namespace tav::host
