// The out-of-line headers whose data lies on the heap: collection arrays and blob bytes.
//
// Both headers come from the document's pool and are linked into a list of the document, so
// that destroying a document frees every array and byte vector without walking its tree.
#pragma once

#include "binding/binding_property.h"

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
  BindingProperty* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;

  // Adds an empty element of `document`, growing the array by half its capacity (at least one)
  // when it is full.
  BindingProperty& append(BindingDocument* document);
  // Makes room for `count` elements without adding any.
  void reserve(size_t count);
  // Adds empty elements until there are `count`.
  void resize(BindingDocument* document, size_t count);
};

struct BindingBlob : HeapLink {
  std::vector<uint8_t> bytes;
};

} // namespace tav
