// The non-template converters: bool, text, BindingProperty, struct and the vector rules.
#include "binding/binding_converters.h"

#include "binding/binding_type_registry.h"
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

bool BoolConverter::fromValue(BindingResult& result, void* native, const BindingProperty& input,
                              std::string_view name, const BindingTypeDescriptor*,
                              const BindingTypeRegistry&, void*) const {
  return convertBool(result, *static_cast<bool*>(native), input, name);
}

void BoolConverter::toValue(BindingResult& out, const void* native, const BindingTypeDescriptor*,
                            const BindingTypeRegistry&) const {
  out = *static_cast<const bool*>(native);
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
  if (!out.ok()) {
    return;
  }
  if (typeArg == nullptr) {
    out.setError(kUnregisteredNative);
    return;
  }
  out.makeStructure();
  const auto* record = static_cast<const unsigned char*>(native);
  for (const BindingFieldDescriptor& field : typeArg->fields) {
    if (!field.converter) {
      continue;
    }
    BindingResult converted;
    field.converter->toValue(converted, record + field.offset, field.type.descriptor, registry);
    if (!converted.ok()) {
      out.setError(converted.errorMessage());
      return;
    }
    if ((field.flags & kBindingFieldOmitWhenEmpty) && isEmptyForOmission(converted)) {
      continue;
    }
    out.member(field.name) = std::move(converted.value());
  }
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
  if (!out.ok()) {
    return;
  }
  const size_t count = size(native);
  out.makeCollection();
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    BindingResult converted;
    element().toValue(converted, elementAt(native, i), typeArg, registry);
    if (!converted.ok()) {
      out.setError(converted.errorMessage());
      return;
    }
    out.append() = std::move(converted.value());
  }
}

} // namespace tav
