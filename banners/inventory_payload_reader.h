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
//
// A caller that turns each item into something else at once gives an InventoryItemSink
// instead, and no list of item records is built.
#pragma once

#include <cstddef>
#include <string_view>

#include "banners/banner_records.h"

namespace tav::banners {

// Receives the items of a payload in their order, as they are read. The item handed over is the
// reader's own record, filled again for the next item of its list: keep what you need of it, or
// move it out.
class InventoryItemSink {
public:
  virtual ~InventoryItemSink() = default;
  // About how many items the list of `type` about to be read holds, to reserve for them.
  virtual void expect(std::string_view type, size_t count) = 0;
  virtual void take(TournamentFlagInventoryItem& item) = 0;
  virtual void take(TournamentFrameInventoryItem& item) = 0;
  // Forgets the items of `type` taken so far: their payload turned out, part way, to need the
  // general way, which hands them over again.
  virtual void drop(std::string_view type) = 0;
};

// Keeps every item in its list of `lists`.
class InventoryListSink final : public InventoryItemSink {
public:
  explicit InventoryListSink(InventoryItemsByType& lists) : lists_(lists) {}

  void expect(std::string_view type, size_t count) override;
  void take(TournamentFlagInventoryItem& item) override;
  void take(TournamentFrameInventoryItem& item) override;
  void drop(std::string_view type) override;

private:
  InventoryItemsByType& lists_;
};

// Hands the items of text to sink; false when the text is not of the taken shape, after handing
// over whatever items came before the fault.
bool ReadInventoryPayload(std::string_view text, InventoryItemSink& sink);

// Fills `out` (which should be empty) from text; false when the text is not of the taken shape,
// and `out` then holds whatever had been read so far.
bool ReadInventoryPayload(std::string_view text, InventoryItemsByType& out);

} // namespace tav::banners
