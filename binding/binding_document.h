// BindingDocument: the memory of one value tree, and the walks that release and copy trees.
//
// A document holds the slab pool that every header, enum record, string record and structure node
// of its tree is carved from, the tree's interned-string table, and lists of the collection and
// blob headers whose arrays lie on the heap. The root value owns it; destroying the document
// frees the whole tree at once (heap arrays from the lists, long strings from the table, pages
// with the pool) without visiting a single value.
//
// Every walk over a value tree here (release, deep copy, search) is iterative, with its pending
// work kept in a list or stack on the side rather than in nested calls, so a tree nested far
// deeper than any thread's stack can be built, copied and destroyed. The readers bound their
// nesting for their own reasons; the value layer itself takes any depth.
#pragma once

#include "binding/binding_collection.h"
#include "binding/binding_property.h"
#include "binding/slab_pool.h"
#include "binding/string_table.h"

namespace tav {

class BindingDocument {
public:
  BindingDocument() noexcept : strings_(pool_) {}
  ~BindingDocument();
  BindingDocument(const BindingDocument&) = delete;
  BindingDocument& operator=(const BindingDocument&) = delete;

  SlabPool& pool() { return pool_; }
  StringTable& strings() { return strings_; }

  // Headers of out-of-line data: an empty collection, and a blob with the given bytes, which is
  // linked into the document's list of heap data.
  BindingCollection* newCollection() { return pool_.create<BindingCollection>(); }
  BindingBlob* newBlob(std::vector<uint8_t>&& bytes);
  void deleteBlob(BindingBlob* blob) noexcept;
  // Links a collection whose array has just moved to the heap into the document's list.
  void listHeapCollection(BindingCollection* collection) noexcept { collections_.push(collection); }

  // Releases the out-of-line data of `value` and of everything below it, leaving it empty.
  static void releaseValue(BindingProperty& value) noexcept;

  // Deep copy of `source` (any document) into `target`, an empty value of this document.
  void copyInto(const BindingProperty& source, BindingProperty& target);

  // Whether `node` is `tree` itself or lies anywhere below it.
  static bool holds(const BindingProperty& tree, const BindingProperty* node);

private:
  class PendingContainers;
  static void releaseChild(BindingProperty& value, BindingDocument* document,
                           PendingContainers& pending) noexcept;
  static void emptyCollection(BindingCollection* collection, BindingDocument* document,
                              PendingContainers& pending) noexcept;
  static void emptyStructure(BindingStructure* structure, BindingDocument* document,
                             PendingContainers& pending) noexcept;

  // Declared first so that the table, whose destructor may still read records, goes before it.
  SlabPool pool_;
  StringTable strings_;
  HeapList collections_;
  HeapList blobs_;
};

} // namespace tav
