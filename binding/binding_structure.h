// The member map of a structure value: a red-black tree of pool nodes keyed by interned strings.
//
// Keys compare as unsigned byte strings over their full length, which orders exactly like
// comparing zero-terminated texts ("B" before "a") while keeping keys that contain zero bytes
// apart. Nodes never move once inserted, so a member reference stays valid while others are
// added. Members are never removed one by one; the whole tree goes when the value is released.
#pragma once

#include "binding/binding_property.h"
#include "binding/string_table.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tav {

struct BindingStructureNode {
  BindingStructureNode* left;
  BindingStructureNode* right;
  BindingStructureNode* parent;
  InternedString* key;
  BindingProperty value;
  uint32_t prefix; // keyPrefix() of the key, kept in the node to spare a visit to the record
  bool red;
};

// The first four bytes of a key as a big-endian number, zero-padded. When two prefixes differ
// they order the keys exactly as the full comparison would, so most steps of a lookup compare
// two integers and never touch the key records.
inline uint32_t keyPrefix(std::string_view key) {
  unsigned char bytes[4] = {0, 0, 0, 0};
  if (key.size() >= 4)
    std::memcpy(bytes, key.data(), 4);
  else if (!key.empty())
    std::memcpy(bytes, key.data(), key.size());
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// <0, 0 or >0 as `key` sorts before, with or after `record`.
int compareKeys(std::string_view key, const InternedString* record);

struct BindingStructure {
  BindingStructureNode* root = nullptr;
  BindingStructureNode* first = nullptr; // leftmost node, where iteration starts
  size_t size = 0;

  // Where `key` is or would go: the node holding it, or else the parent to attach a new node to
  // and on which side.
  struct Position {
    BindingStructureNode* node;
    BindingStructureNode* parent;
    bool left;
    uint32_t prefix; // keyPrefix() of the key looked for
  };
  Position locate(std::string_view key) const;
  BindingStructureNode* find(std::string_view key) const { return locate(key).node; }

  // Adds a node holding an empty member under `key` (whose reference passes to the node) at a
  // position from locate() and rebalances. The node comes from the document's pool.
  BindingStructureNode* insert(const Position& at, InternedString* key, BindingDocument& document);

  // The node of `key`, added (its key interned as a member name) when missing: locate() and
  // insert() in one, without the calls between them.
  BindingStructureNode* findOrInsert(std::string_view key, BindingDocument& document);

  static BindingStructureNode* next(const BindingStructureNode* node);

private:
  Position locateInline(std::string_view key) const;
  BindingStructureNode* insertInline(const Position& at, InternedString* key,
                                     BindingDocument& document);
  void rotateLeft(BindingStructureNode* node);
  void rotateRight(BindingStructureNode* node);
  void rebalance(BindingStructureNode* node);
};

} // namespace tav
