// Document teardown, the lists of heap-backed headers and the iterative walks over value trees.
#include "binding/binding_document.h"

#include "binding/binding_structure.h"
#include "foundation/memory.h"

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

namespace tav {

BindingDocument::~BindingDocument() {
  for (HeapLink* link = collections_.head(); link; link = link->next)
    memory::release(static_cast<BindingCollection*>(link)->data);
  for (HeapLink* link = blobs_.head(); link; link = link->next)
    static_cast<BindingBlob*>(link)->bytes.~vector();
}

BindingBlob* BindingDocument::newBlob(std::vector<uint8_t>&& bytes) {
  auto* blob = pool_.create<BindingBlob>();
  blob->bytes = std::move(bytes);
  blobs_.push(blob);
  return blob;
}

void BindingDocument::deleteBlob(BindingBlob* blob) noexcept {
  blobs_.remove(blob);
  pool_.destroy(blob);
}

// Containers met by a release walk and not yet emptied. They are chained through a header word
// the walk no longer needs (a collection's list link, taken off the document's list first, and a
// structure's size), the low bit telling the two kinds apart, so releasing a tree of any shape or
// depth allocates nothing.
class BindingDocument::PendingContainers {
public:
  static_assert(sizeof(size_t) >= sizeof(uintptr_t));

  void push(BindingCollection* collection, BindingDocument* document) {
    if (collection->onHeap())
      document->collections_.remove(collection);
    collection->previous = reinterpret_cast<HeapLink*>(head_);
    head_ = reinterpret_cast<uintptr_t>(collection);
  }
  void push(BindingStructure* structure) {
    structure->size = head_;
    head_ = reinterpret_cast<uintptr_t>(structure) | 1;
  }

  // Empties the pending containers one by one; emptying one may queue more.
  void drain(BindingDocument* document) {
    while (head_ != 0) {
      uintptr_t top = head_;
      if (top & 1) {
        auto* structure = reinterpret_cast<BindingStructure*>(top & ~uintptr_t{1});
        head_ = structure->size;
        emptyStructure(structure, document, *this);
      } else {
        auto* collection = reinterpret_cast<BindingCollection*>(top);
        head_ = reinterpret_cast<uintptr_t>(collection->previous);
        emptyCollection(collection, document, *this);
      }
    }
  }

private:
  uintptr_t head_ = 0;
};

void BindingDocument::releaseChild(BindingProperty& value, BindingDocument* document,
                                   PendingContainers& pending) noexcept {
  switch (value.kind_) {
  case BindingKind::String:
    if (value.payload_.string != StringTable::empty())
      document->strings_.release(value.payload_.string);
    break;
  case BindingKind::Blob:
    document->deleteBlob(static_cast<BindingBlob*>(value.payload_.pointer));
    break;
  case BindingKind::Enum:
    document->pool_.destroy(value.payload_.enumRecord);
    break;
  case BindingKind::Collection:
    pending.push(value.payload_.collection, document);
    break;
  case BindingKind::Structure:
    pending.push(value.payload_.structure);
    break;
  default:
    break;
  }
}

void BindingDocument::emptyCollection(BindingCollection* collection, BindingDocument* document,
                                      PendingContainers& pending) noexcept {
  for (size_t i = 0; i < collection->size; ++i)
    releaseChild(collection->data[i], document, pending);
  collection->freeArray(document);
  document->pool_.release(collection, sizeof(BindingCollection));
}

void BindingDocument::emptyStructure(BindingStructure* structure, BindingDocument* document,
                                     PendingContainers& pending) noexcept {
  // Post-order without a stack: descend to a leaf, release it, cut it from its parent and go
  // back up; each node is passed a bounded number of times.
  BindingStructureNode* node = structure->root;
  while (node) {
    if (node->left) {
      node = node->left;
      continue;
    }
    if (node->right) {
      node = node->right;
      continue;
    }
    BindingStructureNode* parent = node->parent;
    if (parent) {
      if (parent->left == node)
        parent->left = nullptr;
      else
        parent->right = nullptr;
    }
    releaseChild(node->value, document, pending);
    document->strings_.release(node->key);
    document->pool_.release(node, sizeof(BindingStructureNode));
    node = parent;
  }
  document->pool_.release(structure, sizeof(BindingStructure));
}

void BindingDocument::releaseValue(BindingProperty& value) noexcept {
  PendingContainers pending;
  releaseChild(value, value.document_, pending);
  value.kind_ = BindingKind::Empty;
  value.payload_.unsignedInteger = 0;
  pending.drain(value.document_);
}

void BindingDocument::copyInto(const BindingProperty& source, BindingProperty& target) {
  struct Task {
    const BindingProperty* source;
    BindingProperty* target;
  };
  // A call's values are small: the pending containers stay in a buffer on the stack, the heap
  // taking over only for a large tree.
  constexpr size_t kScratchTasks = 32;
  alignas(std::max_align_t) std::byte scratch[kScratchTasks * sizeof(Task)];
  std::pmr::monotonic_buffer_resource scratchTasks(scratch, sizeof scratch);
  std::pmr::vector<Task> tasks(&scratchTasks);
  tasks.reserve(kScratchTasks);

  // Copies one value; a non-empty container is created empty (its array reserved in full, so
  // element addresses stay put) and queued for its contents.
  auto copyOne = [&](const BindingProperty& from, BindingProperty& to) {
    switch (from.kind_) {
    case BindingKind::Empty:
      return;
    case BindingKind::String: {
      InternedString* record = from.payload_.string;
      to.payload_.string =
          record == StringTable::empty() ? record : strings_.intern(record->view(), record->hash);
      break;
    }
    case BindingKind::Blob:
      to.payload_.pointer = newBlob(
          std::vector<uint8_t>(static_cast<const BindingBlob*>(from.payload_.pointer)->bytes));
      break;
    case BindingKind::Enum:
      to.payload_.enumRecord = pool_.create<BindingEnum>(*from.payload_.enumRecord);
      break;
    case BindingKind::Collection: {
      to.payload_.collection = newCollection();
      to.kind_ = BindingKind::Collection;
      if (size_t count = from.payload_.collection->size) {
        to.payload_.collection->reserve(this, count);
        tasks.push_back({&from, &to});
      }
      return;
    }
    case BindingKind::Structure:
      to.payload_.structure = pool_.create<BindingStructure>();
      to.kind_ = BindingKind::Structure;
      if (from.payload_.structure->size != 0)
        tasks.push_back({&from, &to});
      return;
    default:
      to.payload_ = from.payload_;
      break;
    }
    to.kind_ = from.kind_;
  };

  copyOne(source, target);
  while (!tasks.empty()) {
    Task task = tasks.back();
    tasks.pop_back();
    if (task.source->kind_ == BindingKind::Collection) {
      const BindingCollection& from = *task.source->payload_.collection;
      BindingCollection& to = *task.target->payload_.collection;
      for (size_t i = 0; i < from.size; ++i)
        copyOne(from.data[i], to.append(this));
    } else {
      // Source members arrive in key order, so each new node goes right of the previous one.
      const BindingStructure& from = *task.source->payload_.structure;
      BindingStructure& to = *task.target->payload_.structure;
      BindingStructureNode* previous = nullptr;
      for (const BindingStructureNode* node = from.first; node;
           node = BindingStructure::next(node)) {
        InternedString* key = node->key == StringTable::empty()
                                  ? node->key
                                  : strings_.intern(node->key->view(), node->key->hash);
        previous = to.insert({nullptr, previous, false, node->prefix}, key, *this);
        copyOne(node->value, previous->value);
      }
    }
  }
}

bool BindingDocument::holds(const BindingProperty& tree, const BindingProperty* node) {
  if (&tree == node)
    return true;
  std::vector<const BindingProperty*> containers;
  auto visit = [&](const BindingProperty& value) {
    if (&value == node)
      return true;
    if (value.kind_ == BindingKind::Collection || value.kind_ == BindingKind::Structure)
      containers.push_back(&value);
    return false;
  };
  visit(tree);
  while (!containers.empty()) {
    const BindingProperty* value = containers.back();
    containers.pop_back();
    if (value->kind_ == BindingKind::Collection) {
      const BindingCollection& collection = *value->payload_.collection;
      for (size_t i = 0; i < collection.size; ++i)
        if (visit(collection.data[i]))
          return true;
    } else {
      for (const BindingStructureNode* member = value->payload_.structure->first; member;
           member = BindingStructure::next(member))
        if (visit(member->value))
          return true;
    }
  }
  return false;
}

} // namespace tav
