// The converter family: one BindingConverter class per kind of native field.
//
// Scalars follow the rules of value_conversions.h. A struct converter walks the descriptor's
// fields; a vector converter runs its element converter on every element under the vector's own
// name. Converters keep no state, so instances are freely created on the stack.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_descriptor.h"
#include "binding/host_value_conversion.h"
#include "binding/static_type_id.h"
#include "binding/value_conversions.h"

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

namespace tav {

// The BindingTypeCode of a native integer or floating-point type.
template <typename Number> constexpr BindingTypeCode numberTypeCode() {
  if constexpr (std::is_floating_point_v<Number>) {
    return sizeof(Number) == 4 ? BindingTypeCode::Float : BindingTypeCode::Double;
  } else if constexpr (std::is_signed_v<Number>) {
    switch (sizeof(Number)) {
    case 1:
      return BindingTypeCode::Int8;
    case 2:
      return BindingTypeCode::Int16;
    case 4:
      return BindingTypeCode::Int32;
    default:
      return BindingTypeCode::Int64;
    }
  } else {
    switch (sizeof(Number)) {
    case 1:
      return BindingTypeCode::Uint8;
    case 2:
      return BindingTypeCode::Uint16;
    case 4:
      return BindingTypeCode::Uint32;
    default:
      return BindingTypeCode::Uint64;
    }
  }
}

class BoolConverter final : public BindingConverter {
public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* typeArg,
                 const BindingTypeRegistry& registry, void* context) const override;
  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor* typeArg,
               const BindingTypeRegistry& registry) const override;
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor* typeArg,
                      const BindingTypeRegistry& registry) const override;
  bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor* typeArg,
                    const BindingTypeRegistry& registry) const override;
};

// Any integer width; bounds and type name come from the native type.
template <typename Int> class IntegerConverter final : public BindingConverter {
  static_assert(std::is_integral_v<Int> && !std::is_same_v<Int, bool>);

public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor*, const BindingTypeRegistry&,
                 void*) const override {
    const char* typeName = bindingTypeCodeName(numberTypeCode<Int>());
    if constexpr (std::is_signed_v<Int>) {
      int64_t value = 0;
      if (!convertSigned(result, value, input, name, std::numeric_limits<Int>::min(),
                         std::numeric_limits<Int>::max(), typeName)) {
        return false;
      }
      *static_cast<Int*>(native) = static_cast<Int>(value);
    } else {
      uint64_t value = 0;
      if (!convertUnsigned(result, value, input, name, std::numeric_limits<Int>::max(), typeName)) {
        return false;
      }
      *static_cast<Int*>(native) = static_cast<Int>(value);
    }
    return true;
  }

  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor*,
               const BindingTypeRegistry&) const override {
    store(out, native);
  }
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor*, const BindingTypeRegistry&) const override {
    if (!status.ok()) {
      return false;
    }
    store(target, native);
    return true;
  }

  bool toPackedHost(PackedHostLayout&, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor*, const BindingTypeRegistry&) const override {
    const Int value = *static_cast<const Int*>(native);
    if constexpr (std::is_signed_v<Int>) {
      PackedHostLayout::placeSigned(target, value);
    } else {
      PackedHostLayout::placeUnsigned(target, value);
    }
    return true;
  }

private:
  static void store(BindingProperty& target, const void* native) {
    const Int value = *static_cast<const Int*>(native);
    if constexpr (std::is_signed_v<Int>) {
      target.setSigned(value);
    } else {
      target.setUnsigned(value);
    }
  }
};

// float or double; a float field takes the float range.
template <typename Real> class FloatingConverter final : public BindingConverter {
  static_assert(std::is_floating_point_v<Real>);

public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor*, const BindingTypeRegistry&,
                 void*) const override {
    double value = 0.0;
    if (!convertDouble(result, value, input, name, std::numeric_limits<Real>::lowest(),
                       std::numeric_limits<Real>::max(),
                       bindingTypeCodeName(numberTypeCode<Real>()))) {
      return false;
    }
    *static_cast<Real*>(native) = static_cast<Real>(value);
    return true;
  }

  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor*,
               const BindingTypeRegistry&) const override {
    out = static_cast<double>(*static_cast<const Real*>(native));
  }
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor*, const BindingTypeRegistry&) const override {
    if (!status.ok()) {
      return false;
    }
    target = static_cast<double>(*static_cast<const Real*>(native));
    return true;
  }
  bool toPackedHost(PackedHostLayout&, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor*, const BindingTypeRegistry&) const override {
    PackedHostLayout::placeFloat(target, static_cast<double>(*static_cast<const Real*>(native)));
    return true;
  }
};

// std::string.
class TextConverter final : public BindingConverter {
public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* typeArg,
                 const BindingTypeRegistry& registry, void* context) const override;
  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor* typeArg,
               const BindingTypeRegistry& registry) const override;
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor* typeArg,
                      const BindingTypeRegistry& registry) const override;
  bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor* typeArg,
                    const BindingTypeRegistry& registry) const override;
};

// A BindingProperty held in a native record: copied both ways, whatever its kind.
class PropertyConverter final : public BindingConverter {
public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* typeArg,
                 const BindingTypeRegistry& registry, void* context) const override;
  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor* typeArg,
               const BindingTypeRegistry& registry) const override;
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor* typeArg,
                      const BindingTypeRegistry& registry) const override;
  bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor* typeArg,
                    const BindingTypeRegistry& registry) const override;
};

// A registered struct; typeArg is its descriptor (null when it was not registered).
class StructConverter final : public BindingConverter {
public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* typeArg,
                 const BindingTypeRegistry& registry, void* context) const override;
  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor* typeArg,
               const BindingTypeRegistry& registry) const override;
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor* typeArg,
                      const BindingTypeRegistry& registry) const override;
  bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor* typeArg,
                    const BindingTypeRegistry& registry) const override;

private:
  // Makes target a structure (keeping members it already has) and converts every field into it.
  bool fill(BindingResult& status, BindingProperty& target, const void* native,
            const BindingTypeDescriptor* typeArg, const BindingTypeRegistry& registry) const;
};

// A registered enum stored as its signed 32-bit number; typeArg is its descriptor.
template <typename Enum> class EnumConverter final : public BindingConverter {
  static_assert(std::is_enum_v<Enum> && sizeof(Enum) == 4);

public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* typeArg,
                 const BindingTypeRegistry&, void*) const override {
    int32_t number = 0;
    if (!convertEnum(result, number, input, name, typeArg)) {
      return false;
    }
    *static_cast<Enum*>(native) = static_cast<Enum>(number);
    return true;
  }

  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor*,
               const BindingTypeRegistry&) const override {
    out = BindingEnum{static_cast<int32_t>(*static_cast<const Enum*>(native)), &typeId<Enum>()};
  }
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor*, const BindingTypeRegistry&) const override {
    if (!status.ok()) {
      return false;
    }
    target = BindingEnum{static_cast<int32_t>(*static_cast<const Enum*>(native)), &typeId<Enum>()};
    return true;
  }
  bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor*,
                    const BindingTypeRegistry& registry) const override {
    layout.placeEnum(target, static_cast<int32_t>(*static_cast<const Enum*>(native)),
                     &typeId<Enum>(), &registry);
    return true;
  }
};

// Shared rules of every vector converter, on a type-erased view of the native vector.
class VectorConverterBase : public BindingConverter {
public:
  bool fromValue(BindingResult& result, void* native, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* typeArg,
                 const BindingTypeRegistry& registry, void* context) const final;
  void toValue(BindingResult& out, const void* native, const BindingTypeDescriptor* typeArg,
               const BindingTypeRegistry& registry) const final;
  bool toValueInPlace(BindingResult& status, BindingProperty& target, const void* native,
                      const BindingTypeDescriptor* typeArg,
                      const BindingTypeRegistry& registry) const final;
  bool toPackedHost(PackedHostLayout& layout, host::HostValue* target, const void* native,
                    const BindingTypeDescriptor* typeArg,
                    const BindingTypeRegistry& registry) const final;

protected:
  virtual size_t size(const void* native) const = 0;
  // Empties the vector, then resizes it with default elements.
  virtual void assignDefaults(void* native, size_t count) const = 0;
  virtual void* elementAt(void* native, size_t index) const = 0;
  virtual const void* elementAt(const void* native, size_t index) const = 0;
  virtual const BindingConverter& element() const = 0;

private:
  // Makes target a collection (keeping elements it already has) and appends every element.
  bool fill(BindingResult& status, BindingProperty& target, const void* native,
            const BindingTypeDescriptor* typeArg, const BindingTypeRegistry& registry) const;
};

// std::vector<Element>, with ElementConverter for its elements.
template <typename Element, typename ElementConverter>
class VectorConverter final : public VectorConverterBase {
  static_assert(!std::is_same_v<Element, bool>, "vector<bool> has no addressable elements");
  using Vector = std::vector<Element>;

protected:
  size_t size(const void* native) const override {
    return static_cast<const Vector*>(native)->size();
  }
  void assignDefaults(void* native, size_t count) const override {
    Vector& vector = *static_cast<Vector*>(native);
    vector.clear();
    vector.resize(count);
  }
  void* elementAt(void* native, size_t index) const override {
    return &(*static_cast<Vector*>(native))[index];
  }
  const void* elementAt(const void* native, size_t index) const override {
    return &(*static_cast<const Vector*>(native))[index];
  }
  const BindingConverter& element() const override { return element_; }

private:
  ElementConverter element_;
};

} // namespace tav
