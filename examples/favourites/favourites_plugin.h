// FavouritesPlugin, "tav-favourites": keeps the items a user marked as favourites and answers
// those the user owns, as the inventory plugin sees them.
//
//   GET /tav-favourites/v1/owned?minimumCount=N   the favourites of which the inventory holds at
//                                                 least N (1 without it), in item order
//   PUT /tav-favourites/v1/favourites/{itemId}    body argument "favourite"; stores it, answers
//                                                 it (status 201 the first time) and announces it
//                                                 as a resource event
#pragma once

#include "plugin/handler_response.h"
#include "plugin/plugin.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace favourites {

inline constexpr char kShortName[] = "tav-favourites";
// What the inventory plugin answers: every item the user owns, with its count.
inline constexpr char kInventoryPath[] = "/tav-inventory/v1/items";
inline constexpr size_t kMaximumNoteLength = 200;

enum class Priority : int32_t {
  Low = 0,
  High = 1,
};

// The body of a PUT.
struct Favourite {
  std::string note;
  Priority priority = Priority::Low;
};

// One element of the inventory's answer.
struct InventoryItem {
  std::string itemId;
  int32_t count = 0;
};

struct OwnedFavourite {
  std::string itemId;
  int32_t count = 0;
  std::string note;
  Priority priority = Priority::Low;
};

class FavouritesPlugin : public tav::Plugin {
public:
  void onRegistered() override;

  tav::HandlerResponse<std::vector<OwnedFavourite>> owned(std::optional<int32_t> minimumCount);
  tav::HandlerResponse<Favourite> putFavourite(const std::string& itemId,
                                               const Favourite& favourite);

private:
  // Calls run on the host's threads, several at a time.
  std::mutex mutex_;
  std::map<std::string, Favourite> favourites_;
};

} // namespace favourites
