// Iterative conversions between BindingProperty trees and HostValue records.
#include "binding/host_value_conversion.h"

#include "binding/binding_type_registry.h"
#include "foundation/memory.h"
#include "foundation/message_format.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory_resource>
#include <new>
#include <vector>

namespace tav {
namespace {

// Frames of a tree walk kept on the stack before the heap is asked for more.
constexpr size_t kScratchFrames = 32;

using host::HostMapEntry;
using host::HostValue;
using host::HostValueKind;

constexpr std::string_view kIncompatible = "Couldn't assign value to '%1' of type object because "
                                           "the input is of an incompatible type '%2'.";

// Name of a host kind in messages; only kinds outside the table ever reach the message.
std::string_view hostKindName(uint32_t kind) {
  switch (static_cast<HostValueKind>(kind)) {
  case HostValueKind::Empty:
    return "";
  case HostValueKind::Bool:
    return "bool";
  case HostValueKind::Signed:
    return "signed";
  case HostValueKind::Unsigned:
    return "unsigned";
  case HostValueKind::Float:
    return "float";
  case HostValueKind::BorrowedString:
  case HostValueKind::OwnedString:
    return "string";
  case HostValueKind::BorrowedBlob:
  case HostValueKind::OwnedBlob:
    return "blob";
  case HostValueKind::List:
    return "collection";
  case HostValueKind::Map:
    return "structure";
  }
  return "";
}

// The item count of a list or map; a null array holds nothing whatever its count says.
uint32_t spanCount(const HostValue& value) {
  return value.span.data == nullptr ? 0 : value.span.length;
}

// Converts into out, or returns false with message set.
bool convertFromHost(BindingProperty& out, const HostValue& input, std::string_view name,
                     std::string& message) {
  struct Frame {
    const HostValue* source;
    BindingProperty* target;
  };
  out.clear();
  std::vector<Frame> stack;
  stack.push_back({&input, &out});
  while (!stack.empty()) {
    const Frame frame = stack.back();
    stack.pop_back();
    const HostValue& source = *frame.source;
    BindingProperty& target = *frame.target;
    switch (static_cast<HostValueKind>(source.kind)) {
    case HostValueKind::Empty:
      target.clear();
      break;
    case HostValueKind::Bool:
      target = source.boolean != 0;
      break;
    case HostValueKind::Signed:
      target.setSigned(source.integer);
      break;
    case HostValueKind::Unsigned:
      target.setUnsigned(source.unsignedInteger);
      break;
    case HostValueKind::Float:
      target = source.number;
      break;
    case HostValueKind::BorrowedString:
    case HostValueKind::OwnedString: {
      // The text is zero-terminated; the length word is not trusted.
      const auto* text = static_cast<const char*>(source.span.data);
      target.setString(text ? std::string_view(text) : std::string_view());
      break;
    }
    case HostValueKind::BorrowedBlob:
    case HostValueKind::OwnedBlob: {
      const auto* bytes = static_cast<const uint8_t*>(source.span.data);
      target.setBlob(std::span<const uint8_t>(bytes, bytes ? source.span.length : 0));
      break;
    }
    case HostValueKind::List: {
      const auto* items = static_cast<const HostValue*>(source.span.data);
      const uint32_t count = spanCount(source);
      target.clear();
      target.makeCollection();
      target.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        target.append();
      }
      // Taken after all appends, which may move the element array.
      const std::span<BindingProperty> elements = target.elements();
      for (uint32_t i = count; i-- > 0;) {
        stack.push_back({&items[i], &elements[i]});
      }
      break;
    }
    case HostValueKind::Map: {
      const auto* entries = static_cast<const HostMapEntry*>(source.span.data);
      const uint32_t count = spanCount(source);
      target.clear();
      target.makeStructure();
      const auto keyOf = [&](uint32_t i) {
        return entries[i].key ? std::string_view(entries[i].key) : std::string_view();
      };
      for (uint32_t i = 0; i < count; ++i) {
        target.member(keyOf(i));
      }
      // Pushed last to first, so entries convert in array order and a repeated key ends with
      // the later entry's value (each conversion replaces its target entirely).
      for (uint32_t i = count; i-- > 0;) {
        stack.push_back({&entries[i].value, &target.member(keyOf(i))});
      }
      break;
    }
    default:
      message = formatMessage(kIncompatible, name, hostKindName(source.kind));
      out.clear();
      return false;
    }
  }
  return true;
}

void setSpan(HostValue& value, HostValueKind kind, void* data, size_t length) {
  value.kind = static_cast<uint32_t>(kind);
  value.span.data = data;
  value.span.length = static_cast<uint32_t>(length);
}

// Bool, signed, unsigned and float: the kinds whose payload sits in the record itself.
void writeScalar(HostValue& target, const BindingProperty& source) {
  switch (source.kind()) {
  case BindingKind::Bool:
    PackedHostLayout::placeBool(&target, source.getBool());
    break;
  case BindingKind::Signed:
    PackedHostLayout::placeSigned(&target, source.getSigned());
    break;
  case BindingKind::Unsigned:
    PackedHostLayout::placeUnsigned(&target, source.getUnsigned());
    break;
  case BindingKind::Float:
    PackedHostLayout::placeFloat(&target, source.getFloat());
    break;
  default:
    break;
  }
}

// The way back of releaseHostValue, written over a record's payload: the parent record, then the
// index of the item in progress.
static_assert(sizeof(HostValue::raw) == sizeof(HostValue*) + sizeof(uint32_t));

void storeWayBack(HostValue& record, HostValue* parent, uint32_t index) {
  std::memcpy(record.raw, &parent, sizeof parent);
  std::memcpy(record.raw + sizeof parent, &index, sizeof index);
}

HostValue* wayBackParent(const HostValue& record) {
  HostValue* parent = nullptr;
  std::memcpy(&parent, record.raw, sizeof parent);
  return parent;
}

uint32_t wayBackIndex(const HostValue& record) {
  uint32_t index = 0;
  std::memcpy(&index, record.raw + sizeof(HostValue*), sizeof index);
  return index;
}

// Where item index's value lies from the start of a list's or map's array.
size_t itemOffset(bool isMap, uint32_t index) {
  return isMap ? index * sizeof(HostMapEntry) + offsetof(HostMapEntry, value)
               : index * sizeof(HostValue);
}

} // namespace

char* PackedHostLayout::takeSeparate(size_t bytes) {
  // After a failure nothing more is taken, so every piece taken hangs in the record and the
  // record's release frees it.
  char* piece = failed_ ? nullptr : static_cast<char*>(memory::allocate(bytes));
  failed_ = failed_ || piece == nullptr;
  return piece;
}

void PackedHostLayout::placeBool(HostValue* target, bool value) {
  if (target != nullptr) {
    target->kind = static_cast<uint32_t>(HostValueKind::Bool);
    target->boolean = value ? 1 : 0;
  }
}

void PackedHostLayout::placeSigned(HostValue* target, int64_t value) {
  if (target != nullptr) {
    target->kind = static_cast<uint32_t>(HostValueKind::Signed);
    target->integer = value;
  }
}

void PackedHostLayout::placeUnsigned(HostValue* target, uint64_t value) {
  if (target != nullptr) {
    target->kind = static_cast<uint32_t>(HostValueKind::Unsigned);
    target->unsignedInteger = value;
  }
}

void PackedHostLayout::placeFloat(HostValue* target, double value) {
  if (target != nullptr) {
    target->kind = static_cast<uint32_t>(HostValueKind::Float);
    target->number = value;
  }
}

void PackedHostLayout::placeEnum(HostValue* target, int32_t number, const StaticTypeId* type,
                                 const BindingTypeRegistry* registry) {
  if (const char* name = registry ? registry->enumValueName(type, number) : nullptr) {
    placeText(target, name);
  } else {
    placeSigned(target, number);
  }
}

template <typename Item>
Item* PackedHostLayout::placeArray(HostValue* target, HostValueKind kind, size_t count) {
  auto* items = reinterpret_cast<Item*>(count == 0 ? nullptr : take(count * sizeof(Item)));
  if (target != nullptr) {
    if (items != nullptr) {
      std::memset(items, 0, count * sizeof(Item));
    }
    setSpan(*target, kind, items, count);
  }
  return items;
}

HostValue* PackedHostLayout::placeList(HostValue* target, size_t count) {
  return placeArray<HostValue>(target, HostValueKind::List, count);
}

HostMapEntry* PackedHostLayout::placeMap(HostValue* target, size_t count) {
  return placeArray<HostMapEntry>(target, HostValueKind::Map, count);
}

void PackedHostLayout::placeTree(HostValue* out, const BindingProperty& input,
                                 const BindingTypeRegistry* registry) {
  struct Frame {
    const BindingProperty* source;
    HostValue* target;
  };
  // A call's values are small: their walk stays in a buffer on the stack, the heap taking over
  // only for a large tree.
  alignas(std::max_align_t) std::byte scratch[kScratchFrames * sizeof(Frame)];
  std::pmr::monotonic_buffer_resource scratchStack(scratch, sizeof scratch);
  std::pmr::vector<Frame> stack(&scratchStack);
  stack.reserve(kScratchFrames);
  stack.push_back({&input, out});
  while (!stack.empty() && !failed_) {
    const Frame frame = stack.back();
    stack.pop_back();
    const BindingProperty& source = *frame.source;
    HostValue* target = frame.target;
    switch (source.kind()) {
    case BindingKind::Empty:
      break;
    case BindingKind::Bool:
    case BindingKind::Signed:
    case BindingKind::Unsigned:
    case BindingKind::Float:
      if (target != nullptr) {
        writeScalar(*target, source);
      }
      break;
    case BindingKind::String:
      placeText(target, source.getString());
      break;
    case BindingKind::Blob: {
      const std::span<const uint8_t> bytes = source.getBlob();
      char* copy = bytes.empty() ? nullptr : take(bytes.size());
      if (target != nullptr) {
        if (copy != nullptr) {
          std::memcpy(copy, bytes.data(), bytes.size());
        }
        setSpan(*target, HostValueKind::OwnedBlob, copy, bytes.size());
      }
      break;
    }
    case BindingKind::Enum: {
      const BindingEnum value = source.getEnum();
      placeEnum(target, value.number, value.type, registry);
      break;
    }
    case BindingKind::Collection: {
      const std::span<const BindingProperty> elements = source.elements();
      HostValue* items = placeList(target, elements.size());
      for (size_t i = elements.size(); i-- > 0;) {
        stack.push_back({&elements[i], items == nullptr ? nullptr : &items[i]});
      }
      break;
    }
    case BindingKind::Structure: {
      HostMapEntry* entries = placeMap(target, source.size());
      // Keys are placed after the array and before the values, walking the members once.
      size_t i = 0;
      const size_t firstFrame = stack.size();
      for (const auto& member : source.members()) {
        HostValue* value = placeKey(entries == nullptr ? nullptr : &entries[i++], member.key);
        stack.push_back({&member.value, value});
      }
      std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(firstFrame), stack.end());
      break;
    }
    }
  }
}

bool PackedHostLayout::build(HostValue& out,
                             const std::function<bool(PackedHostLayout&, HostValue*)>& place) {
  std::memset(&out, 0, sizeof(out));
  PackedHostLayout counting;
  if (!place(counting, nullptr)) {
    return false;
  }
  char* block = nullptr;
  if (counting.used_ != 0) {
    block = static_cast<char*>(memory::allocate(counting.used_));
    if (block == nullptr) {
      return false;
    }
  }
  PackedHostLayout writing;
  writing.block_ = block;
  place(writing, &out);
  return true;
}

bool fromHostValue(host::HostResponse& errorRecord, BindingProperty& out,
                   const host::HostValue& input, std::string_view name) {
  std::string message;
  if (convertFromHost(out, input, name, message)) {
    return true;
  }
  releaseHostValue(errorRecord.value);
  if (errorRecord.errorOwned != 0 && errorRecord.error != nullptr) {
    memory::release(const_cast<char*>(errorRecord.error));
  }
  errorRecord.error = memory::duplicateString(message.c_str());
  errorRecord.errorOwned = 1;
  return false;
}

bool fromHostValue(BindingResult& result, const host::HostValue& input, std::string_view name) {
  if (!result.ok()) {
    return false;
  }
  std::string message;
  if (convertFromHost(result, input, name, message)) {
    return true;
  }
  result.setError(message);
  return false;
}

bool toHostValue(host::HostValue& out, const BindingProperty& input,
                 const BindingTypeRegistry* registry) {
  std::memset(&out, 0, sizeof(out));
  PackedHostLayout separate;
  separate.separate_ = true;
  try {
    separate.placeTree(&out, input, registry);
  } catch (const std::bad_alloc&) {
    separate.failed_ = true; // the walk's own stack
  }
  if (!separate.failed_) {
    return true;
  }
  releaseHostValue(out);
  return false;
}

bool toPackedHostValue(host::HostValue& out, const BindingProperty& input,
                       const BindingTypeRegistry* registry) {
  return PackedHostLayout::build(out, [&](PackedHostLayout& layout, HostValue* target) {
    layout.placeTree(target, input, registry);
    return true;
  });
}

void releasePackedHostValue(host::HostValue& value) {
  switch (static_cast<HostValueKind>(value.kind)) {
  case HostValueKind::OwnedString:
  case HostValueKind::OwnedBlob:
  case HostValueKind::List:
  case HostValueKind::Map:
    memory::release(value.span.data); // the block starts with the root's own bytes
    break;
  default:
    break;
  }
  std::memset(&value, 0, sizeof(value));
}

void releaseHostValue(host::HostValue& value) {
  // Release runs in destructors and after memory has run out, so it must not allocate: the walk
  // keeps its way back in the records it goes through. A list or map record whose items are being
  // released keeps its kind and holds its parent record and the index of the item in progress in
  // place of its array and count (the items are taken in falling order, so no count is needed,
  // and the array is found again from the item the walk comes back from).
  HostValue* record = &value;
  auto* array = static_cast<char*>(value.span.data);
  uint32_t index = 0;
  bool isMap = false;
  const auto enter = [&](HostValue* parent) {
    array = static_cast<char*>(record->span.data);
    index = record->span.length;
    isMap = record->kind == static_cast<uint32_t>(HostValueKind::Map);
    storeWayBack(*record, parent, index);
  };
  switch (static_cast<HostValueKind>(value.kind)) {
  case HostValueKind::OwnedString:
  case HostValueKind::OwnedBlob:
    memory::release(value.span.data);
    break;
  case HostValueKind::List:
  case HostValueKind::Map:
    if (array == nullptr) {
      break;
    }
    enter(nullptr);
    while (true) {
      if (index == 0) {
        memory::release(array);
        HostValue* parent = wayBackParent(*record);
        if (parent == nullptr) {
          break;
        }
        index = wayBackIndex(*parent);
        isMap = parent->kind == static_cast<uint32_t>(HostValueKind::Map);
        array = reinterpret_cast<char*>(record) - itemOffset(isMap, index);
        record = parent;
        continue;
      }
      --index;
      if (isMap) {
        auto& entry = reinterpret_cast<HostMapEntry*>(array)[index];
        if (entry.keyOwned != 0) {
          memory::release(const_cast<char*>(entry.key));
        }
      }
      HostValue* item = reinterpret_cast<HostValue*>(array + itemOffset(isMap, index));
      switch (static_cast<HostValueKind>(item->kind)) {
      case HostValueKind::OwnedString:
      case HostValueKind::OwnedBlob:
        memory::release(item->span.data);
        break;
      case HostValueKind::List:
      case HostValueKind::Map:
        if (item->span.data != nullptr) {
          storeWayBack(*record, wayBackParent(*record), index);
          HostValue* parent = record;
          record = item;
          enter(parent);
        }
        break;
      default:
        break;
      }
    }
    break;
  default:
    break;
  }
  std::memset(&value, 0, sizeof(value));
}

} // namespace tav
