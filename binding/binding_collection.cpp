// Growth of a collection's element array.
#include "binding/binding_collection.h"

#include "foundation/memory.h"

#include <algorithm>
#include <limits>
#include <new>

namespace tav {

void BindingCollection::reserve(size_t count) {
  if (count <= capacity)
    return;
  if (count > std::numeric_limits<size_t>::max() / sizeof(BindingProperty))
    throw std::bad_alloc();
  // Elements hold no pointer to themselves (children point at their own data, never back), so
  // the array may move bytewise.
  size_t bytes = count * sizeof(BindingProperty);
  void* grown = data ? memory::resize(data, bytes) : memory::allocate(bytes);
  if (!grown)
    throw std::bad_alloc();
  data = static_cast<BindingProperty*>(grown);
  capacity = count;
}

BindingProperty& BindingCollection::append(BindingDocument* document) {
  if (size == capacity)
    reserve(capacity + std::max<size_t>(capacity / 2, 1));
  return *new (data + size++) BindingProperty(document);
}

void BindingCollection::resize(BindingDocument* document, size_t count) {
  if (count > capacity)
    reserve(std::max(count, capacity + std::max<size_t>(capacity / 2, 1)));
  while (size < count)
    new (data + size++) BindingProperty(document);
}

} // namespace tav
