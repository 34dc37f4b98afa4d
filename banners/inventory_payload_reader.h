// ReadInventoryPayload: an inventory token's payload read straight into the item records, for
// the one shape the inventory plugin writes, without a value tree on the way.
//
// Taken: an object whose members are at most "items", holding an object of the two item lists,
// whose items hold only their records' members, every leaf a string without escapes, each name
// once per object. Anything else — other members, numbers, true, false, null, escapes, broken
// text — answers false and leaves the caller to read the payload the general way
// (ReadTokenPart, then the converters), which knows every rule. What is taken gives the records
// that the general way gives.
//
//   InventoryItemsByType part;
//   if (!ReadInventoryPayload(payloadText, part)) { ... read it the general way ... }
#pragma once

#include <string_view>

#include "banners/banner_records.h"

namespace tav::banners {

// Fills `out` (which should be empty) from text; false when the text is not of the taken shape,
// and `out` then holds whatever had been read so far.
bool ReadInventoryPayload(std::string_view text, InventoryItemsByType& out);

} // namespace tav::banners
