// Elements a reader has read before it knows how many their collection will get.
//
// They are values of the collection's tree that no container holds yet. moveTo() hands a run of
// them to a collection, whose array is then allocated once at its final size, without copying
// their payloads: a document's arrays of arrays (coordinates, matrices) would otherwise grow and
// move element by element.
//
//   PendingElements pending(scratch);
//   pending.push(array.document()) = 1.5;
//   pending.push(array.document()).makeCollection();   // filled later through pending[i]
//   pending.moveTo(array, 0);
#pragma once

#include "binding/binding_property.h"

#include <cstddef>
#include <memory_resource>

namespace tav {

class PendingElements {
public:
  // The values' storage comes from `storage`, which must outlive this object.
  explicit PendingElements(std::pmr::memory_resource& storage) noexcept : storage_(storage) {}
  // Releases the values no collection has taken (a reader that stopped half-way).
  ~PendingElements();
  PendingElements(const PendingElements&) = delete;
  PendingElements& operator=(const PendingElements&) = delete;

  size_t size() const { return size_; }
  // Valid until the next push(): the values move when their storage grows.
  BindingProperty& operator[](size_t index) { return values_[index]; }

  // A new empty value at the end, of the tree of `document`.
  BindingProperty& push(BindingDocument* document) {
    if (size_ == capacity_)
      grow();
    return *new (values_ + size_++) BindingProperty(document);
  }

  // Appends the values from `first` on to `collection`, a collection of the same tree, in order,
  // and leaves the first `first` values.
  void moveTo(BindingProperty& collection, size_t first);

private:
  void grow();

  std::pmr::memory_resource& storage_;
  BindingProperty* values_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

} // namespace tav
