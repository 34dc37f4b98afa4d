// The element array of a collection value: a header from the document's pool, elements on the heap.
#pragma once

#include "binding/binding_property.h"

#include <cstddef>

namespace tav {

struct BindingCollection {
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

} // namespace tav
