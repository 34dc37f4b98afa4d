// The out-of-line headers of collections and blobs, whose data may lie on the heap.
//
// Both headers come from the document's pool. A collection's element array is a pool block while
// it holds no more than kPooledElements elements (most arrays in documents are short), and moves
// to the heap when it grows beyond. Headers with heap data are linked into a list of the
// document, so that destroying a document frees every such array and byte vector without walking
// its tree.
#pragma once

#include "binding/binding_property.h"
#include "binding/slab_pool.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tav {

struct HeapLink {
  HeapLink* previous = nullptr;
  HeapLink* next = nullptr;
};

// The headers of one kind that a document holds.
class HeapList {
public:
  void push(HeapLink* link) noexcept {
    link->previous = nullptr;
    link->next = head_;
    if (head_)
      head_->previous = link;
    head_ = link;
  }
  void remove(HeapLink* link) noexcept {
    if (link->previous)
      link->previous->next = link->next;
    else
      head_ = link->next;
    if (link->next)
      link->next->previous = link->previous;
  }
  HeapLink* head() const { return head_; }

private:
  HeapLink* head_ = nullptr;
};

struct BindingCollection : HeapLink {
  // Arrays of up to this many elements are pool blocks of exactly capacity elements; larger ones
  // are heap blocks, and only those are on the document's list.
  static constexpr size_t kPooledElements = SlabPool::kMaxBlockSize / sizeof(BindingProperty);

  BindingProperty* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;

  bool onHeap() const { return capacity > kPooledElements; }

  // Adds an empty element of `document`, growing the array by half its capacity (at least one)
  // when it is full.
  BindingProperty& append(BindingDocument* document);
  // Makes room for `count` elements without adding any.
  void reserve(BindingDocument* document, size_t count);
  // Adds empty elements until there are `count`.
  void resize(BindingDocument* document, size_t count);
  // Frees the array (the elements must already be released); the header stays.
  void freeArray(BindingDocument* document) noexcept;
};

struct BindingBlob : HeapLink {
  std::vector<uint8_t> bytes;
};

} // namespace tav
