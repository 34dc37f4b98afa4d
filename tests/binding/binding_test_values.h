// Small constructors of BindingProperty values for the binding layer's tests.
#pragma once

#include "binding/binding_property.h"

#include <cstdint>
#include <initializer_list>
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

} // namespace tav::test
