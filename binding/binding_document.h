// BindingDocument: the memory of one value tree, and the walks that release and copy trees.
//
// A document holds the slab pool that every header, enum record, string record and structure node
// of its tree is carved from, and the tree's interned-string table. The root value owns it and
// destroys it last; every other value of the tree only points at it.
//
// Every walk over a value tree here (release, deep copy, search) is iterative, with its pending
// work kept in a list or stack on the side rather than in nested calls, so a tree nested far
// deeper than any thread's stack can be copied and destroyed. The readers bound their nesting for
// their own reasons; the value layer itself takes any depth.
#pragma once

#include "binding/binding_property.h"
#include "binding/slab_pool.h"
#include "binding/string_table.h"

namespace tav {

class BindingDocument {
public:
  BindingDocument() noexcept : strings_(pool_) {}
  BindingDocument(const BindingDocument&) = delete;
  BindingDocument& operator=(const BindingDocument&) = delete;

  SlabPool& pool() { return pool_; }
  StringTable& strings() { return strings_; }

  // Releases the out-of-line data of `value` and of everything below it, leaving it empty.
  // With `documentEnding` the walk frees only what lives outside the document (element arrays,
  // blob bytes) because the pool and table are about to go as a whole.
  static void releaseValue(BindingProperty& value, bool documentEnding) noexcept;

  // Deep copy of `source` (any document) into `target`, an empty value of this document.
  void copyInto(const BindingProperty& source, BindingProperty& target);

  // Whether `node` is `tree` itself or lies anywhere below it.
  static bool holds(const BindingProperty& tree, const BindingProperty* node);

private:
  class PendingContainers;
  static void releaseChild(BindingProperty& value, BindingDocument* document,
                           PendingContainers& pending, bool documentEnding) noexcept;
  static void emptyCollection(BindingCollection* collection, BindingDocument* document,
                              PendingContainers& pending, bool documentEnding) noexcept;
  static void emptyStructure(BindingStructure* structure, BindingDocument* document,
                             PendingContainers& pending, bool documentEnding) noexcept;

  // Declared first so that the table, whose destructor may still read records, goes before it.
  SlabPool pool_;
  StringTable strings_;
};

} // namespace tav
