// How native C++ types map onto type references and converters, the member-pointer builder of
// registerType<T>, and the toValue/fromValue entry points for whole native values.
//
//   BindingResult value = toValue(flag, registry);                 // native to value
//   BindingResult result;
//   fromValue(result, flag, input, "<value>", registry);           // value to native
//
// Supported native types: bool, every integer width, float, double, std::string,
// BindingProperty, registered enums (enum class with a signed 32-bit underlying type),
// registered structs, and std::vector of any of these except bool. Any other type is rejected at
// compile time by a static_assert whose message names the problem (see NativeTypeProblem); that
// a struct is registered is known only at run time, and the plugin logs each field of an
// unregistered struct type when it registers.
#pragma once

#include "binding/binding_converters.h"
#include "binding/binding_type_registry.h"
#include "binding/host_value_conversion.h"
#include "binding/static_type_id.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace tav {

// Why a native type cannot be a field, argument or answer; None when it can.
enum class NativeTypeProblem {
  None,
  Optional,
  Character,
  Pointer,
  LongDouble,
  Enum,
  StandardType,
  VectorOfBool,
  NotAStruct,
  NotDefaultConstructible,
};

namespace native_detail {

template <typename T, template <typename...> class Template>
inline constexpr bool kInstanceOf = false;
template <template <typename...> class Template, typename... A>
inline constexpr bool kInstanceOf<Template<A...>, Template> = true;

template <typename M>
inline constexpr bool kCharacter =
    std::is_same_v<M, char> || std::is_same_v<M, wchar_t> || std::is_same_v<M, char8_t> ||
    std::is_same_v<M, char16_t> || std::is_same_v<M, char32_t>;

// Standard types that are classes but no struct the registry could describe.
template <typename M>
inline constexpr bool kStandardType =
    kInstanceOf<M, std::basic_string_view> || kInstanceOf<M, std::pair> ||
    kInstanceOf<M, std::tuple> || kInstanceOf<M, std::map> || kInstanceOf<M, std::unique_ptr> ||
    kInstanceOf<M, std::shared_ptr>;

} // namespace native_detail

template <typename M> constexpr NativeTypeProblem nativeTypeProblem() {
  using native_detail::kInstanceOf;
  if constexpr (!std::is_same_v<M, std::remove_cv_t<M>>) {
    return nativeTypeProblem<std::remove_cv_t<M>>();
  } else if constexpr (kInstanceOf<M, std::optional>) {
    return NativeTypeProblem::Optional;
  } else if constexpr (native_detail::kCharacter<M>) {
    return NativeTypeProblem::Character;
  } else if constexpr (std::is_pointer_v<M> || std::is_reference_v<M> ||
                       std::is_member_pointer_v<M> || std::is_null_pointer_v<M>) {
    return NativeTypeProblem::Pointer;
  } else if constexpr (std::is_same_v<M, long double>) {
    return NativeTypeProblem::LongDouble;
  } else if constexpr (std::is_arithmetic_v<M>) {
    return NativeTypeProblem::None;
  } else if constexpr (std::is_enum_v<M>) {
    if constexpr (sizeof(M) == 4 && std::is_signed_v<std::underlying_type_t<M>>) {
      return NativeTypeProblem::None;
    } else {
      return NativeTypeProblem::Enum;
    }
  } else if constexpr (std::is_same_v<M, std::vector<bool>>) {
    return NativeTypeProblem::VectorOfBool;
  } else if constexpr (kInstanceOf<M, std::vector>) {
    return nativeTypeProblem<typename M::value_type>();
  } else if constexpr (std::is_same_v<M, std::string> || std::is_same_v<M, BindingProperty>) {
    return NativeTypeProblem::None;
  } else if constexpr (native_detail::kStandardType<M> || kInstanceOf<M, std::basic_string>) {
    return NativeTypeProblem::StandardType;
  } else if constexpr (!std::is_class_v<M>) {
    return NativeTypeProblem::NotAStruct;
  } else if constexpr (!std::is_default_constructible_v<M>) {
    return NativeTypeProblem::NotDefaultConstructible;
  } else {
    return NativeTypeProblem::None;
  }
}

template <typename M>
inline constexpr bool kSupportedNativeType = nativeTypeProblem<M>() == NativeTypeProblem::None;

// One static_assert per problem, so that exactly one fires and its message is the reason.
template <typename M, NativeTypeProblem kProblem = nativeTypeProblem<M>()>
constexpr bool checkNativeType() {
  using P = NativeTypeProblem;
  static_assert(kProblem != P::Optional,
                "unsupported field type std::optional<T>: declare the field as T and pass "
                "optional = true to field() (only a route argument may be std::optional<T>)");
  static_assert(kProblem != P::Character,
                "unsupported field type char: use std::string for text, int8_t or uint8_t for a "
                "number");
  static_assert(kProblem != P::Pointer,
                "unsupported field type: a pointer or reference; hold the value itself "
                "(std::string for text)");
  static_assert(kProblem != P::LongDouble, "unsupported field type long double: use double");
  static_assert(kProblem != P::Enum,
                "unsupported enum type: give it a signed 32-bit underlying type (enum class E : "
                "int32_t)");
  static_assert(kProblem != P::StandardType,
                "unsupported field type: of the standard library only std::string and "
                "std::vector are supported; use BindingProperty or a registered struct");
  static_assert(kProblem != P::VectorOfBool,
                "unsupported field type std::vector<bool>: use std::vector<uint8_t>");
  static_assert(kProblem != P::NotAStruct,
                "unsupported field type: use bool, an integer, float, double, std::string, "
                "BindingProperty, a registered enum or struct, or a std::vector of them");
  static_assert(kProblem != P::NotDefaultConstructible,
                "unsupported field type: a struct field's type must be default-constructible");
  return kProblem == P::None;
}

// NativeBinding<M>: kCode, kElementCode and the Converter class of a native type. The primary
// template covers registered structs.
template <typename M> struct NativeBinding {
  static_assert(checkNativeType<M>() || true); // its own static_asserts give the reason
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
         !native_detail::kCharacter<M>) struct NativeBinding<M> {
  static constexpr BindingTypeCode kCode = numberTypeCode<M>();
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = IntegerConverter<M>;
};

template <typename M>
requires(std::is_floating_point_v<M> && !std::is_same_v<M, long double>) struct NativeBinding<M> {
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
  static_assert(checkNativeType<M>() || true); // its own static_asserts give the reason
  static constexpr BindingTypeCode kCode = BindingTypeCode::Enum;
  static constexpr BindingTypeCode kElementCode = BindingTypeCode::None;
  using Converter = EnumConverter<M>;
};

template <typename Element> struct NativeBinding<std::vector<Element>> {
  static_assert(checkNativeType<std::vector<Element>>() || true);
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
