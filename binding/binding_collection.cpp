// Growth of a collection's element array.
#include "binding/binding_collection.h"

#include "binding/binding_document.h"
#include "foundation/memory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace tav {

void BindingCollection::reserve(BindingDocument* document, size_t count) {
  if (count <= capacity)
    return;
  if (count > std::numeric_limits<size_t>::max() / sizeof(BindingProperty))
    throw std::bad_alloc();
  // Elements hold no pointer to themselves (children point at their own data, never back), so
  // the array may move bytewise.
  size_t bytes = count * sizeof(BindingProperty);
  SlabPool& pool = document->pool();
  void* grown;
  if (count <= kPooledElements) {
    grown = pool.allocate(bytes);
    if (size != 0)
      std::memcpy(grown, static_cast<void*>(data), size * sizeof(BindingProperty));
    if (data)
      pool.release(data, capacity * sizeof(BindingProperty));
  } else if (onHeap()) {
    grown = memory::resize(data, bytes);
    if (!grown)
      throw std::bad_alloc();
  } else {
    grown = memory::allocate(bytes);
    if (!grown)
      throw std::bad_alloc();
    if (size != 0)
      std::memcpy(grown, static_cast<void*>(data), size * sizeof(BindingProperty));
    if (data)
      pool.release(data, capacity * sizeof(BindingProperty));
    document->listHeapCollection(this);
  }
  data = static_cast<BindingProperty*>(grown);
  capacity = count;
}

void BindingCollection::freeArray(BindingDocument* document) noexcept {
  if (onHeap())
    memory::release(data);
  else if (data)
    document->pool().release(data, capacity * sizeof(BindingProperty));
}

BindingProperty& BindingCollection::append(BindingDocument* document) {
  if (size == capacity)
    reserve(document, capacity + std::max<size_t>(capacity / 2, 1));
  return *new (data + size++) BindingProperty(document);
}

void BindingCollection::resize(BindingDocument* document, size_t count) {
  if (count > capacity)
    reserve(document, std::max(count, capacity + std::max<size_t>(capacity / 2, 1)));
  while (size < count)
    new (data + size++) BindingProperty(document);
}

} // namespace tav
