// The non-template converters: bool, text, BindingProperty, struct and the vector rules.
#include "binding/binding_converters.h"

#include "binding/binding_type_registry.h"
#include "binding/host_value_conversion.h"
#include "foundation/message_format.h"

namespace tav {
namespace {

constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kUnregisteredInput =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
constexpr std::string_view kNotStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr std::string_view kMissingRequired = "Couldn't assign value to '%1' of type %2 because "
                                              "the input structure doesn't have required field "
                                              "'%3'.";
constexpr std::string_view kUnregisteredNative =
    "Couldn't convert native value because it's an unregistered structure.";
constexpr std::string_view kNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";

// What omit-when-empty leaves out. A NaN is not equal to 0.0 and so is kept.
bool isEmptyForOmission(const BindingProperty& value) {
  switch (value.kind()) {
  case BindingKind::Empty:
    return true;
  case BindingKind::Bool:
    return !value.getBool();
  case BindingKind::Signed:
    return value.getSigned() == 0;
  case BindingKind::Unsigned:
    return value.getUnsigned() == 0;
  case BindingKind::Float:
    return value.getFloat() == 0.0;
  case BindingKind::String:
  case BindingKind::Blob:
  case BindingKind::Collection:
  case BindingKind::Structure:
    return value.size() == 0;
  case BindingKind::Enum:
    return value.getEnum().number == 0;
  }
  return false;
}

} // namespace

bool BindingConverter::toPackedHost(PackedHostLayout&, host::HostValue*, const void*,
                                    const BindingTypeDescriptor*,
                                    const BindingTypeRegistry&) const {
  return false;
}

bool BoolConverter::toPackedHost(PackedHostLayout&, host::HostValue* target, const void* native,
                                 const BindingTypeDescriptor*, const BindingTypeRegistry&) const {
  PackedHostLayout::placeBool(target, *static_cast<const bool*>(native));
  return true;
}

bool TextConverter::toPackedHost(PackedHostLayout& layout, host::HostValue* target,
                                 const void* native, const BindingTypeDescriptor*,
                                 const BindingTypeRegistry&) const {
  layout.placeText(target, *static_cast<const std::string*>(native));
  return true;
}

bool PropertyConverter::toPackedHost(PackedHostLayout& layout, host::HostValue* target,
                                     const void* native, const BindingTypeDescriptor*,
                                     const BindingTypeRegistry& registry) const {
  layout.placeTree(target, *static_cast<const BindingProperty*>(native), &registry);
  return true;
}

// Fields that may be left out are not laid out directly: whether a member exists would depend on
// its value, and the tree path already knows how to decide that.
bool StructConverter::toPackedHost(PackedHostLayout& layout, host::HostValue* target,
                                   const void* native, const BindingTypeDescriptor* typeArg,
                                   const BindingTypeRegistry& registry) const {
  if (typeArg == nullptr || !typeArg->distinctMemberNames) {
    return false;
  }
  const std::vector<uint32_t>& order = typeArg->memberOrder;
  if (target == nullptr) {
    for (const uint32_t index : order) {
      if (typeArg->fields[index].flags & kBindingFieldOmitWhenEmpty) {
        return false;
      }
    }
  }
  host::HostMapEntry* entries = layout.placeMap(target, order.size());
  const auto* record = static_cast<const unsigned char*>(native);
  for (size_t i = 0; i < order.size(); ++i) {
    const BindingFieldDescriptor& field = typeArg->fields[order[i]];
    host::HostValue* value = layout.placeKey(entries ? &entries[i] : nullptr, field.name);
    if (!field.converter->toPackedHost(layout, value, record + field.offset, field.type.descriptor,
                                       registry)) {
      return false;
    }
  }
  return true;
}

bool VectorConverterBase::toPackedHost(PackedHostLayout& layout, host::HostValue* target,
                                       const void* native, const BindingTypeDescriptor* typeArg,
                                       const BindingTypeRegistry& registry) const {
  const size_t count = size(native);
  host::HostValue* items = layout.placeList(target, count);
  for (size_t i = 0; i < count; ++i) {
    if (!element().toPackedHost(layout, items ? &items[i] : nullptr, elementAt(native, i), typeArg,
                                registry)) {
      return false;
    }
  }
  return true;
}

bool BindingConverter::toValueInPlace(BindingResult& status, BindingProperty& target,
                                      const void* native, const BindingTypeDescriptor* typeArg,
                                      const BindingTypeRegistry& registry) const {
  if (!status.ok()) {
    return false;
  }
  BindingResult converted;
  toValue(converted, native, typeArg, registry);
  if (!converted.ok()) {
    status.setError(converted.errorMessage());
    return false;
  }
  target = std::move(converted.value());
  return true;
}

bool BoolConverter::fromValue(BindingResult& result, void* native, const BindingProperty& input,
                              std::string_view name, const BindingTypeDescriptor*,
                              const BindingTypeRegistry&, void*) const {
  return convertBool(result, *static_cast<bool*>(native), input, name);
}

void BoolConverter::toValue(BindingResult& out, const void* native, const BindingTypeDescriptor*,
                            const BindingTypeRegistry&) const {
  out = *static_cast<const bool*>(native);
}

bool BoolConverter::toValueInPlace(BindingResult& status, BindingProperty& target,
                                   const void* native, const BindingTypeDescriptor*,
                                   const BindingTypeRegistry&) const {
  if (!status.ok()) {
    return false;
  }
  target = *static_cast<const bool*>(native);
  return true;
}

bool TextConverter::fromValue(BindingResult& result, void* native, const BindingProperty& input,
                              std::string_view name, const BindingTypeDescriptor*,
                              const BindingTypeRegistry& registry, void*) const {
  return convertText(result, *static_cast<std::string*>(native), input, name, &registry);
}

void TextConverter::toValue(BindingResult& out, const void* native, const BindingTypeDescriptor*,
                            const BindingTypeRegistry&) const {
  out = *static_cast<const std::string*>(native);
}

bool TextConverter::toValueInPlace(BindingResult& status, BindingProperty& target,
                                   const void* native, const BindingTypeDescriptor*,
                                   const BindingTypeRegistry&) const {
  if (!status.ok()) {
    return false;
  }
  target = *static_cast<const std::string*>(native);
  return true;
}

bool PropertyConverter::fromValue(BindingResult& result, void* native, const BindingProperty& input,
                                  std::string_view, const BindingTypeDescriptor*,
                                  const BindingTypeRegistry&, void*) const {
  if (!result.ok()) {
    return false;
  }
  auto& target = *static_cast<BindingProperty*>(native);
  target.clear();
  target = input;
  return true;
}

void PropertyConverter::toValue(BindingResult& out, const void* native,
                                const BindingTypeDescriptor*, const BindingTypeRegistry&) const {
  out = *static_cast<const BindingProperty*>(native);
}

bool PropertyConverter::toValueInPlace(BindingResult& status, BindingProperty& target,
                                       const void* native, const BindingTypeDescriptor*,
                                       const BindingTypeRegistry&) const {
  if (!status.ok()) {
    return false;
  }
  target = *static_cast<const BindingProperty*>(native);
  return true;
}

bool StructConverter::fromValue(BindingResult& result, void* native, const BindingProperty& input,
                                std::string_view name, const BindingTypeDescriptor* typeArg,
                                const BindingTypeRegistry& registry, void* context) const {
  if (!result.ok()) {
    return false;
  }
  if (input.isEmpty()) {
    result.setError(formatMessage(kRequired, name));
    return false;
  }
  if (typeArg == nullptr) {
    result.setError(formatMessage(kUnregisteredInput, name));
    return false;
  }
  if (!input.isStructure()) {
    result.setError(formatMessage(kNotStructure, name, typeArg->name));
    return false;
  }
  auto* record = static_cast<unsigned char*>(native);
  for (const BindingFieldDescriptor& field : typeArg->fields) {
    if (!result.ok()) {
      break;
    }
    const BindingProperty& member = input.find(field.name);
    if (member.isEmpty()) {
      if (field.flags & kBindingFieldRequired) {
        result.setError(formatMessage(kMissingRequired, name, typeArg->name, field.name));
      }
      continue;
    }
    if (field.converter) {
      field.converter->fromValue(result, record + field.offset, member, field.name,
                                 field.type.descriptor, registry, context);
    }
  }
  return result.ok();
}

void StructConverter::toValue(BindingResult& out, const void* native,
                              const BindingTypeDescriptor* typeArg,
                              const BindingTypeRegistry& registry) const {
  fill(out, out, native, typeArg, registry);
}

bool StructConverter::toValueInPlace(BindingResult& status, BindingProperty& target,
                                     const void* native, const BindingTypeDescriptor* typeArg,
                                     const BindingTypeRegistry& registry) const {
  if (!status.ok()) {
    return false;
  }
  target.clear();
  return fill(status, target, native, typeArg, registry);
}

bool StructConverter::fill(BindingResult& status, BindingProperty& target, const void* native,
                           const BindingTypeDescriptor* typeArg,
                           const BindingTypeRegistry& registry) const {
  if (!status.ok()) {
    return false;
  }
  if (typeArg == nullptr) {
    status.setError(kUnregisteredNative);
    return false;
  }
  target.makeStructure();
  const auto* record = static_cast<const unsigned char*>(native);
  for (const BindingFieldDescriptor& field : typeArg->fields) {
    if (!field.converter) {
      continue;
    }
    const void* value = record + field.offset;
    if (!(field.flags & kBindingFieldOmitWhenEmpty)) {
      if (!field.converter->toValueInPlace(status, target.member(field.name), value,
                                           field.type.descriptor, registry)) {
        return false;
      }
      continue;
    }
    // Whether the member is left out is known only once the value is made.
    BindingResult converted;
    field.converter->toValue(converted, value, field.type.descriptor, registry);
    if (!converted.ok()) {
      status.setError(converted.errorMessage());
      return false;
    }
    if (!isEmptyForOmission(converted)) {
      target.member(field.name) = std::move(converted.value());
    }
  }
  return true;
}

bool VectorConverterBase::fromValue(BindingResult& result, void* native,
                                    const BindingProperty& input, std::string_view name,
                                    const BindingTypeDescriptor* typeArg,
                                    const BindingTypeRegistry& registry, void* context) const {
  assignDefaults(native, 0);
  if (!result.ok()) {
    return false;
  }
  if (!input.isCollection()) {
    result.setError(formatMessage(kNotCollection, name));
    return false;
  }
  const std::span<const BindingProperty> elements = input.elements();
  assignDefaults(native, elements.size());
  for (size_t i = 0; i < elements.size() && result.ok(); ++i) {
    if (elements[i].isEmpty()) {
      continue;
    }
    element().fromValue(result, elementAt(native, i), elements[i], name, typeArg, registry,
                        context);
  }
  return result.ok();
}

void VectorConverterBase::toValue(BindingResult& out, const void* native,
                                  const BindingTypeDescriptor* typeArg,
                                  const BindingTypeRegistry& registry) const {
  fill(out, out, native, typeArg, registry);
}

bool VectorConverterBase::toValueInPlace(BindingResult& status, BindingProperty& target,
                                         const void* native, const BindingTypeDescriptor* typeArg,
                                         const BindingTypeRegistry& registry) const {
  if (!status.ok()) {
    return false;
  }
  target.clear();
  return fill(status, target, native, typeArg, registry);
}

bool VectorConverterBase::fill(BindingResult& status, BindingProperty& target, const void* native,
                               const BindingTypeDescriptor* typeArg,
                               const BindingTypeRegistry& registry) const {
  if (!status.ok()) {
    return false;
  }
  const size_t count = size(native);
  target.makeCollection();
  target.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (!element().toValueInPlace(status, target.append(), elementAt(native, i), typeArg,
                                  registry)) {
      return false;
    }
  }
  return true;
}

} // namespace tav
