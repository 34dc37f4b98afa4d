// Small constructors of BindingProperty values for the binding layer's tests.
#pragma once

#include "binding/binding_property.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tav::test {

inline BindingProperty emptyValue() {
  return BindingProperty();
}

inline BindingProperty boolValue(bool value) {
  BindingProperty out;
  out = value;
  return out;
}

inline BindingProperty signedValue(int64_t value) {
  BindingProperty out;
  out.setSigned(value);
  return out;
}

inline BindingProperty unsignedValue(uint64_t value) {
  BindingProperty out;
  out.setUnsigned(value);
  return out;
}

inline BindingProperty floatValue(double value) {
  BindingProperty out;
  out = value;
  return out;
}

inline BindingProperty textValue(std::string_view text) {
  BindingProperty out;
  out.setString(text);
  return out;
}

inline BindingProperty blobValue(std::vector<uint8_t> bytes) {
  BindingProperty out;
  out.setBlob(std::move(bytes));
  return out;
}

inline BindingProperty enumValue(int32_t number, const StaticTypeId* type = nullptr) {
  BindingProperty out;
  out.setEnum(BindingEnum{number, type});
  return out;
}

inline BindingProperty collectionValue(std::initializer_list<int64_t> numbers = {}) {
  BindingProperty out;
  out.makeCollection();
  for (int64_t number : numbers) {
    out.append().setSigned(number);
  }
  return out;
}

inline BindingProperty structureValue() {
  BindingProperty out;
  out.makeStructure();
  return out;
}

// The whole tree as text, for comparing two trees: kinds, exact payloads (double bits, enum
// number and type), string and blob bytes, elements in order and members in iteration order.
inline void describeValue(const BindingProperty& value, std::string& out) {
  out += std::to_string(static_cast<int>(value.kind()));
  switch (value.kind()) {
  case BindingKind::Bool:
    out += value.getBool() ? "t" : "f";
    break;
  case BindingKind::Signed:
    out += std::to_string(value.getSigned());
    break;
  case BindingKind::Unsigned:
    out += std::to_string(value.getUnsigned());
    break;
  case BindingKind::Float: {
    uint64_t bits = 0;
    const double number = value.getFloat();
    std::memcpy(&bits, &number, sizeof bits);
    out += std::to_string(bits);
    break;
  }
  case BindingKind::String:
    out += "'" + std::string(value.getString()) + "'";
    break;
  case BindingKind::Blob:
    out += "<" + std::string(value.getBlob().begin(), value.getBlob().end()) + ">";
    break;
  case BindingKind::Enum:
    out += std::to_string(value.getEnum().number) + "@" +
           std::to_string(reinterpret_cast<uintptr_t>(value.getEnum().type));
    break;
  case BindingKind::Collection:
    out += "[";
    for (const BindingProperty& element : value.elements()) {
      describeValue(element, out);
      out += ",";
    }
    out += "]";
    break;
  case BindingKind::Structure:
    out += "{";
    for (auto [key, member] : value.members()) {
      out += "'" + std::string(key) + "':";
      describeValue(member, out);
      out += ",";
    }
    out += "}";
    break;
  default:
    break;
  }
}

inline std::string describeValue(const BindingProperty& value) {
  std::string out;
  describeValue(value, out);
  return out;
}

} // namespace tav::test
