// GetInventory: the sondar's banner inventory, fetched as signed tokens from the inventory plugin.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "banners/banner_records.h"
#include "banners/source_result.h"

namespace tav {
class OutgoingRequests;
}

namespace tav::banners {

inline constexpr std::string_view kInventoryUrl = "/tav-inventory/v1/signedInventory";

inline constexpr std::string_view kEmptyInventoryMessage =
    "Retrieved unexpected empty inventory from tav-inventory";
inline constexpr std::string_view kInventoryPayloadMessage =
    "Could not understand tav-inventory JWT payload";

// "Failed to retrieve inventory types [<types joined by ", ">] from tav-inventory: <error>".
std::string InventoryRequestFailedMessage(const std::vector<std::string>& types,
                                          std::string_view error);

// Sends GET kInventoryUrl with the type names as its one unnamed argument and reads the answer as
// a map from type name to token. Each requested type's list is taken from its own token's payload
// (payload "items".<type>); a payload without that list leaves the type's list empty, and so does
// a token whose payload cannot be read at all. Types not requested stay empty.
//
// Fails, logging the message at level 1 in group DBG, when the request fails, when a requested
// type is missing from the answer (nothing gathered is used), or when the gathered lists do not
// convert to InventoryResponse (the conversion's own message is dropped).
SourceResult<InventoryResponse> GetInventory(const OutgoingRequests& requests,
                                             const std::vector<std::string>& types);

class InventoryItemSink;

// GetInventory with each item handed to `sink` as it is read, so that a caller that turns items
// into something else at once never holds the lists: the items of each requested type once, in
// the order of its list, and of no other type. Fails as GetInventory does; what the sink took is
// then to be thrown away.
SourceResult<void> ReadInventory(const OutgoingRequests& requests,
                                 const std::vector<std::string>& types, InventoryItemSink& sink);

} // namespace tav::banners
