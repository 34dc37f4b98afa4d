// How native C++ types map onto type references and converters, the member-pointer builder of
// registerType<T>, and the toValue/fromValue entry points for whole native values.
//
//   BindingResult value = toValue(flag, registry);                 // native to value
//   BindingResult result;
//   fromValue(result, flag, input, "<value>", registry);           // value to native
//
// Supported native types: bool, every integer width, float, double, std::string,
// BindingProperty, registered enums (enum class with a signed 32-bit underlying type),
// registered structs, and std::vector of any of these except bool.
#pragma once

#include "binding/binding_converters.h"
#include "binding/binding_type_registry.h"
#include "binding/host_value_conversion.h"
#include "binding/static_type_id.h"

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tav {

// NativeBinding<M>: kCode, kElementCode and the Converter class of a native type. The primary
// template covers registered structs.
template <typename M> struct NativeBinding {
  static_assert(std::is_class_v<M> && std::is_default_constructible_v<M>,
                "a struct field must be a default-constructible registered struct");
  static constexpr BindingTypeCode kCode = BindingTypeCode::Struct;
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = StructConverter;
};

template <> struct NativeBinding<bool> {
  static constexpr BindingTypeCode kCode = BindingTypeCode::Bool;
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = BoolConverter;
};

template <typename M>
requires(std::is_integral_v<M> && !std::is_same_v<M, bool> &&
         !std::is_same_v<M, char>) struct NativeBinding<M> {
  static constexpr BindingTypeCode kCode = numberTypeCode<M>();
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = IntegerConverter<M>;
};

template <typename M>
requires std::is_floating_point_v<M>
struct NativeBinding<M> {
  static constexpr BindingTypeCode kCode = numberTypeCode<M>();
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = FloatingConverter<M>;
};

template <> struct NativeBinding<std::string> {
  static constexpr BindingTypeCode kCode = BindingTypeCode::String;
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = TextConverter;
};

template <> struct NativeBinding<BindingProperty> {
  static constexpr BindingTypeCode kCode = BindingTypeCode::Object;
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = PropertyConverter;
};

template <typename M>
requires std::is_enum_v<M>
struct NativeBinding<M> {
  static constexpr BindingTypeCode kCode = BindingTypeCode::Enum;
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = EnumConverter<M>;
};

template <typename Element> struct NativeBinding<std::vector<Element>> {
  static constexpr BindingTypeCode kCode = BindingTypeCode::Vector;
  static constexpr BindingTypeCode kElementCode = NativeBinding<Element>::kCode;
  using Converter = VectorConverter<Element, typename NativeBinding<Element>::Converter>;
};

// The descriptor a reference to M carries: M's own for a struct or enum, the innermost element's
// for a vector, null otherwise or when the type is not registered (yet).
template <typename M>
const BindingTypeDescriptor* nativeDescriptor(const BindingTypeRegistry& registry) {
  constexpr BindingTypeCode code = NativeBinding<M>::kCode;
  if constexpr (code == BindingTypeCode::Struct || code == BindingTypeCode::Enum) {
    return registry.findTypeById(&typeId<M>());
  } else if constexpr (code == BindingTypeCode::Vector) {
    return nativeDescriptor<typename M::value_type>(registry);
  } else {
    return nullptr;
  }
}

template <typename M> BindingTypeRef nativeTypeRef(const BindingTypeRegistry& registry) {
  return BindingTypeRef{NativeBinding<M>::kCode, NativeBinding<M>::kElementCode,
                        nativeDescriptor<M>(registry)};
}

template <typename M> std::unique_ptr<BindingConverter> makeNativeConverter() {
  return std::make_unique<typename NativeBinding<M>::Converter>();
}

// Native to value. A struct or enum is looked up in registry by its typeId.
template <typename T> BindingResult toValue(const T& native, const BindingTypeRegistry& registry) {
  BindingResult out;
  typename NativeBinding<T>::Converter converter;
  converter.toValue(out, &native, nativeDescriptor<T>(registry), registry);
  return out;
}

// Native straight into the host's packed record: what toPackedHostValue gives for toValue's
// result, without the value tree in between. False, with out zeroed, when some converter on the
// way has no direct form, or memory runs out; the caller then takes the tree path.
template <typename T>
bool toPackedHostValue(host::HostValue& out, const T& native, const BindingTypeRegistry& registry) {
  typename NativeBinding<T>::Converter converter;
  const BindingTypeDescriptor* descriptor = nativeDescriptor<T>(registry);
  return PackedHostLayout::build(out, [&](PackedHostLayout& layout, host::HostValue* target) {
    return converter.toPackedHost(layout, target, &native, descriptor, registry);
  });
}

// Value to native under the top-level name (the framework uses "<value>" and "<result>").
template <typename T>
bool fromValue(BindingResult& result, T& native, const BindingProperty& input,
               std::string_view name, const BindingTypeRegistry& registry,
               void* context = nullptr) {
  typename NativeBinding<T>::Converter converter;
  return converter.fromValue(result, &native, input, name, nativeDescriptor<T>(registry), registry,
                             context);
}

// Builder of registerType<T>: fields by member pointer, enumerators by native value.
template <typename T> class NativeTypeBuilder : public BindingTypeBuilder {
public:
  explicit NativeTypeBuilder(const BindingTypeBuilder& base) : BindingTypeBuilder(base) {}

  // Adds the field with the type reference and converter chosen by the member's type. Does
  // nothing (and creates no converter) when the type was registered before.
  template <typename M, typename Owner>
  requires std::is_same_v<Owner, T>
  void field(std::string_view name, M Owner::*member, uint32_t flags = 0,
             std::string_view description = {}, bool optional = false) {
    if (existed()) {
      return;
    }
    addField(name, description, offsetOf(member), &typeId<M>(), nativeTypeRef<M>(registry()),
             BindingTypeRef{}, flags, makeNativeConverter<M>(), optional);
  }

  using BindingTypeBuilder::addValue;
  void addValue(std::string_view name, T value,
                std::string_view description = {}) requires std::is_enum_v<T> {
    BindingTypeBuilder::addValue(name, static_cast<int32_t>(value), description);
  }

private:
  // Measured on a real object, so no pointer arithmetic on a null record.
  template <typename M, typename Owner> static uint32_t offsetOf(M Owner::*member) {
    static_assert(std::is_default_constructible_v<Owner>);
    const T sample{};
    const auto* base = reinterpret_cast<const unsigned char*>(&sample);
    const auto* at = reinterpret_cast<const unsigned char*>(&(sample.*member));
    return static_cast<uint32_t>(at - base);
  }
};

} // namespace tav
