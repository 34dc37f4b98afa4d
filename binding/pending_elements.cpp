#include "binding/pending_elements.h"

#include "binding/binding_collection.h"

#include <cassert>
#include <cstring>

namespace tav {

PendingElements::~PendingElements() {
  for (size_t i = 0; i < size_; ++i)
    values_[i].clear();
  if (values_)
    storage_.deallocate(values_, capacity_ * sizeof(BindingProperty), alignof(BindingProperty));
}

// Values hold no pointer to themselves, so they move bytewise, as a collection's array does.
void PendingElements::grow() {
  const size_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
  auto* grown = static_cast<BindingProperty*>(
      storage_.allocate(capacity * sizeof(BindingProperty), alignof(BindingProperty)));
  if (size_ != 0)
    std::memcpy(static_cast<void*>(grown), values_, size_ * sizeof(BindingProperty));
  if (values_)
    storage_.deallocate(values_, capacity_ * sizeof(BindingProperty), alignof(BindingProperty));
  values_ = grown;
  capacity_ = capacity;
}

void PendingElements::moveTo(BindingProperty& collection, size_t first) {
  assert(collection.isCollection() && first <= size_);
  const size_t count = size_ - first;
  if (count == 0)
    return;
  BindingCollection& target = *collection.payload_.collection;
  target.reserve(collection.document_, target.size + count);
  std::memcpy(static_cast<void*>(target.data + target.size), values_ + first,
              count * sizeof(BindingProperty));
  target.size += count;
  size_ = first;
}

} // namespace tav
