// The embedded sample sondar: enough of an account to see every rule of the four routes at work.
#include "tools/host_cli/sample_sondar.h"

#include <cstdio>
#include <cstdlib>

namespace tav::tools {
namespace {

// Three seasons; in season 5 Storm was first acquired before Aurora, so Aurora comes first, and
// Storm level 2 was acquired twice. Frames of seasons 3 to 5, so the current season decides the
// frame. The profile names an owned flag that is not the default one (Storm level 3, acquired
// last), so the equipped and the default flag can be told apart.
constexpr std::string_view kSample = R"({
  "flags": [
    {"theme": "Ember", "level": "1", "seasonId": "3", "purchaseDate": "2025-02-11T18:20:00Z"},
    {"theme": "Ember", "level": "2", "seasonId": "3", "purchaseDate": "2025-03-02T20:05:00Z"},
    {"theme": "Tide", "level": "1", "seasonId": "4", "purchaseDate": "2025-06-14T09:30:00Z"},
    {"theme": "Grove", "level": "1", "seasonId": "4", "purchaseDate": "2025-06-20T15:45:00Z"},
    {"theme": "Tide", "level": "1", "seasonId": "4", "purchaseDate": "2025-07-01T12:00:00Z"},
    {"theme": "Tide", "level": "2", "seasonId": "4", "purchaseDate": "2025-07-19T21:10:00Z"},
    {"theme": "Storm", "level": "1", "seasonId": "5", "purchaseDate": "2025-10-03T17:00:00Z"},
    {"theme": "Aurora", "level": "1", "seasonId": "5", "purchaseDate": "2025-10-12T08:00:00Z"},
    {"theme": "Storm", "level": "2", "seasonId": "5", "purchaseDate": "2025-10-24T19:30:00Z"},
    {"theme": "Storm", "level": "2", "seasonId": "5", "purchaseDate": "2025-11-08T10:15:00Z"},
    {"theme": "Storm", "level": "3", "seasonId": "5", "purchaseDate": "2025-11-20T22:40:00Z"}
  ],
  "frames": [
    {"level": "4", "seasonId": "3", "purchaseDate": "2025-03-30T12:00:00Z"},
    {"level": "2", "seasonId": "4", "purchaseDate": "2025-08-01T12:00:00Z"},
    {"level": "1", "seasonId": "5", "purchaseDate": "2025-10-03T17:00:00Z"},
    {"level": "3", "seasonId": "5", "purchaseDate": "2025-11-20T22:40:00Z"},
    {"level": "2", "seasonId": "5", "purchaseDate": "2025-11-01T09:00:00Z"}
  ],
  "profile": {
    "equippedBannerFlag": "{\"level\":\"2\",\"seasonId\":\"4\",\"theme\":\"Tide\"}"
  },
  "configuration": {
    "Banners": {"IsEquipEnabled": true},
    "ClientSystemStates": {"currentSeason": 5}
  }
}
)";

} // namespace

std::string_view sampleSondarJson() {
  return kSample;
}

host::SondarData sampleSondar() {
  std::string error;
  std::optional<host::SondarData> data = host::SondarData::fromJson(kSample, &error);
  if (!data) {
    // The text is part of the program; a mistake in it is a bug to see at once.
    std::fprintf(stderr, "tav-host: the embedded sample is broken: %s\n", error.c_str());
    std::abort();
  }
  return std::move(*data);
}

} // namespace tav::tools
