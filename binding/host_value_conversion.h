// Conversions between BindingProperty and the host's plain value record, HostValue.
//
// Every walk here is iterative, so trees of any depth convert and release without exhausting the
// thread's stack. Records built by toHostValue own all their memory, taken
// from tav::memory; releaseHostValue gives it back. Records received from the host are read
// only: null text, blob, list and map pointers read as empty, and a null map key as "".
#pragma once

#include "binding/binding_property.h"
#include "binding/host_records.h"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace tav {

class BindingTypeRegistry;
struct StaticTypeId;

// Fills out (cleared first) from input. On an unknown kind anywhere in the tree out is cleared,
// the error record's value is released, the message "Couldn't assign value to '%1' of type
// object because the input is of an incompatible type '%2'." (with name) is duplicated with
// tav::memory into errorRecord.error, errorOwned is set to 1, and the result is false. An owned
// error text already in the record is released first. Repeated map keys: the later entry wins.
bool fromHostValue(host::HostResponse& errorRecord, BindingProperty& out,
                   const host::HostValue& input, std::string_view name);

// The same conversion, with the error recorded on result (which also receives the value).
bool fromHostValue(BindingResult& result, const host::HostValue& input, std::string_view name);

// Builds an owned record: strings as kind 6 with their length, blobs as kind 8, collections as
// kind 9, structures as kind 10 in key order with owned keys. An enum becomes its enumerator's
// name (kind 6) when registry knows it, else its number (kind 2). out is overwritten without
// being released. Every text, blob and array is an allocation of its own, freed by
// releaseHostValue. Returns false, with out zeroed, only when memory runs out; never throws.
bool toHostValue(host::HostValue& out, const BindingProperty& input,
                 const BindingTypeRegistry* registry);

// The same record laid out in one block from tav::memory: arrays, keys and texts follow the root's
// own array or bytes, so that the root's data pointer is the block. Kinds, lengths and keyOwned
// are those toHostValue writes; only releasePackedHostValue may free it. A response of 100,000
// entries is then one allocation instead of nearly a million.
bool toPackedHostValue(host::HostValue& out, const BindingProperty& input,
                       const BindingTypeRegistry* registry);

// Frees the one block of a record built by toPackedHostValue and zeroes the record.
void releasePackedHostValue(host::HostValue& value);

// Lays a packed record out in two passes over the same walk: the first only counts the bytes (no
// block, and every target is null), the second writes into the one block it allocated. The place
// functions take a target (null while counting) and give back where nested values go. The same
// walk also lays out toHostValue's record, with a block of its own for every piece.
class PackedHostLayout {
public:
  // Runs place twice, counting then writing into out. False when place refuses while counting
  // or memory runs out; out is then zeroed and nothing is allocated.
  static bool build(host::HostValue& out,
                    const std::function<bool(PackedHostLayout&, host::HostValue*)>& place);

  // Scalars sit in the record itself and take no bytes of the block.
  static void placeBool(host::HostValue* target, bool value);
  static void placeSigned(host::HostValue* target, int64_t value);
  static void placeUnsigned(host::HostValue* target, uint64_t value);
  static void placeFloat(host::HostValue* target, double value);
  // The enumerator's name when registry knows it, else the number: what an enum value becomes.
  void placeEnum(host::HostValue* target, int32_t number, const StaticTypeId* type,
                 const BindingTypeRegistry* registry);
  // Texts and keys are laid out for every field of every answer record, once counting and once
  // writing: they are defined here so that the converters' walks inline them.
  void placeText(host::HostValue* target, std::string_view text) {
    char* copy = placeZeroTerminated(text);
    if (target != nullptr) {
      target->kind = static_cast<uint32_t>(host::HostValueKind::OwnedString);
      target->span.data = copy;
      target->span.length = static_cast<uint32_t>(text.size());
    }
  }
  // An array of count zeroed items or entries (null when count is 0).
  host::HostValue* placeList(host::HostValue* target, size_t count);
  host::HostMapEntry* placeMap(host::HostValue* target, size_t count);
  // The owned key of entry; answers where the entry's value goes.
  host::HostValue* placeKey(host::HostMapEntry* entry, std::string_view key) {
    char* copy = placeZeroTerminated(key);
    if (entry == nullptr) {
      return nullptr;
    }
    entry->key = copy;
    entry->keyOwned = 1;
    return &entry->value;
  }
  // A whole value tree, as toPackedHostValue lays it out.
  void placeTree(host::HostValue* target, const BindingProperty& input,
                 const BindingTypeRegistry* registry);

private:
  friend bool toHostValue(host::HostValue&, const BindingProperty&, const BindingTypeRegistry*);

  PackedHostLayout() = default;
  // The next bytes of the block (null while counting), or a block of their own when separate_
  // (null, and failed_ set, once memory runs out).
  char* take(size_t bytes) {
    if (separate_) {
      return takeSeparate(bytes);
    }
    char* at = block_ == nullptr ? nullptr : block_ + used_;
    used_ += bytes;
    return at;
  }
  char* takeSeparate(size_t bytes);
  char* placeZeroTerminated(std::string_view text) {
    char* copy = take(text.size() + 1);
    if (copy != nullptr) {
      std::memcpy(copy, text.data(), text.size());
      copy[text.size()] = '\0';
    }
    return copy;
  }
  template <typename Item>
  Item* placeArray(host::HostValue* target, host::HostValueKind kind, size_t count);

  char* block_ = nullptr;
  size_t used_ = 0;
  bool separate_ = false;
  bool failed_ = false;
};

// Frees what toHostValue built (owned texts, blobs, lists, map keys marked owned, map values)
// and zeroes the record. Borrowed kinds (5 and 7) are not freed. Allocates nothing, so it is safe
// in destructors and after memory has run out; the records below the root are overwritten on the
// way, since they go anyway.
void releaseHostValue(host::HostValue& value);

} // namespace tav
