// Lookup, insertion and in-order stepping of the structure tree.
#include "binding/binding_structure.h"

#include "binding/binding_document.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace tav {

static_assert(sizeof(BindingStructureNode) <= SlabPool::kMaxBlockSize);

int compareKeys(std::string_view key, const InternedString* record) {
  // Keys compared here mostly share their first four bytes and are short (names of one record
  // type): eight-byte words, read big-endian so that their order is the bytes' order, and a byte
  // loop for the tail settle them for less than a call to memcmp.
  const size_t common = std::min(key.size(), record->length);
  const char* const a = key.data();
  const char* const b = record->text();
  size_t at = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; at + 8 <= common; at += 8) {
      uint64_t x;
      uint64_t y;
      std::memcpy(&x, a + at, sizeof x);
      std::memcpy(&y, b + at, sizeof y);
      if (x != y)
        return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
    }
  }
  for (; at < common; ++at) {
    if (a[at] != b[at])
      return static_cast<unsigned char>(a[at]) < static_cast<unsigned char>(b[at]) ? -1 : 1;
  }
  return key.size() < record->length ? -1 : (key.size() > record->length ? 1 : 0);
}

[[gnu::always_inline]] inline BindingStructure::Position
BindingStructure::locateInline(std::string_view key) const {
  BindingStructureNode* parent = nullptr;
  bool left = true;
  uint32_t prefix = keyPrefix(key);
  for (BindingStructureNode* node = root; node;) {
    int order =
        prefix != node->prefix ? (prefix < node->prefix ? -1 : 1) : compareKeys(key, node->key);
    if (order == 0)
      return {node, nullptr, false, prefix};
    parent = node;
    left = order < 0;
    node = left ? node->left : node->right;
  }
  return {nullptr, parent, left, prefix};
}

void BindingStructure::rotateLeft(BindingStructureNode* node) {
  BindingStructureNode* child = node->right;
  node->right = child->left;
  if (child->left)
    child->left->parent = node;
  child->parent = node->parent;
  if (!node->parent)
    root = child;
  else if (node == node->parent->left)
    node->parent->left = child;
  else
    node->parent->right = child;
  child->left = node;
  node->parent = child;
}

void BindingStructure::rotateRight(BindingStructureNode* node) {
  BindingStructureNode* child = node->left;
  node->left = child->right;
  if (child->right)
    child->right->parent = node;
  child->parent = node->parent;
  if (!node->parent)
    root = child;
  else if (node == node->parent->right)
    node->parent->right = child;
  else
    node->parent->left = child;
  child->right = node;
  node->parent = child;
}

[[gnu::always_inline]] inline void BindingStructure::rebalance(BindingStructureNode* node) {
  while (node->parent && node->parent->red) {
    BindingStructureNode* parent = node->parent;
    BindingStructureNode* grandparent = parent->parent; // exists: a red node is never the root
    if (parent == grandparent->left) {
      BindingStructureNode* uncle = grandparent->right;
      if (uncle && uncle->red) {
        parent->red = uncle->red = false;
        grandparent->red = true;
        node = grandparent;
        continue;
      }
      if (node == parent->right) {
        rotateLeft(parent);
        node = parent;
        parent = node->parent;
      }
      parent->red = false;
      grandparent->red = true;
      rotateRight(grandparent);
    } else {
      BindingStructureNode* uncle = grandparent->left;
      if (uncle && uncle->red) {
        parent->red = uncle->red = false;
        grandparent->red = true;
        node = grandparent;
        continue;
      }
      if (node == parent->left) {
        rotateRight(parent);
        node = parent;
        parent = node->parent;
      }
      parent->red = false;
      grandparent->red = true;
      rotateLeft(grandparent);
    }
  }
  root->red = false;
}

[[gnu::always_inline]] inline BindingStructureNode*
BindingStructure::insertInline(const Position& at, InternedString* key, BindingDocument& document) {
  auto* node =
      static_cast<BindingStructureNode*>(document.pool().allocate(sizeof(BindingStructureNode)));
  new (node) BindingStructureNode{nullptr,   nullptr, at.parent, key, BindingProperty(&document),
                                  at.prefix, true};
  if (!at.parent)
    root = node;
  else if (at.left)
    at.parent->left = node;
  else
    at.parent->right = node;
  if (!first || (at.left && at.parent == first))
    first = node;
  ++size;
  rebalance(node);
  return node;
}

BindingStructure::Position BindingStructure::locate(std::string_view key) const {
  return locateInline(key);
}

BindingStructureNode* BindingStructure::insert(const Position& at, InternedString* key,
                                               BindingDocument& document) {
  return insertInline(at, key, document);
}

BindingStructureNode* BindingStructure::findOrInsert(std::string_view key,
                                                     BindingDocument& document) {
  Position at = locateInline(key);
  if (at.node)
    return at.node;
  return insertInline(at, document.strings().internKey(key), document);
}

BindingStructureNode* BindingStructure::next(const BindingStructureNode* node) {
  if (node->right) {
    node = node->right;
    while (node->left)
      node = node->left;
    return const_cast<BindingStructureNode*>(node);
  }
  while (node->parent && node == node->parent->right)
    node = node->parent;
  return node->parent;
}

} // namespace tav
