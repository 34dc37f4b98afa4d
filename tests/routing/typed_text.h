// typedText: a value tree as short text that shows every kind, for comparing reader output.
//
//   ~ empty   true/false bool   u7 unsigned   i-2 signed   f3.5 float   'abc' string
//   b'1 2 3 ' blob (bytes)   e3 enum   [a,b] collection   {key:value,...} structure (key order)
#pragma once

#include "binding/binding_property.h"

#include <charconv>
#include <string>

namespace tav {

inline std::string typedText(const BindingProperty& value) {
  switch (value.kind()) {
  case BindingKind::Empty:
    return "~";
  case BindingKind::Bool:
    return value.getBool() ? "true" : "false";
  case BindingKind::Signed:
    return "i" + std::to_string(value.getSigned());
  case BindingKind::Unsigned:
    return "u" + std::to_string(value.getUnsigned());
  case BindingKind::Float: {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.getFloat()).ptr;
    return "f" + std::string(buffer, end);
  }
  case BindingKind::String:
    return "'" + std::string(value.getString()) + "'";
  case BindingKind::Blob: {
    std::string bytes;
    for (uint8_t byte : value.getBlob()) {
      bytes += std::to_string(byte) + " ";
    }
    return "b'" + bytes + "'";
  }
  case BindingKind::Enum:
    return "e" + std::to_string(value.getEnum().number);
  case BindingKind::Collection: {
    std::string out = "[";
    for (const BindingProperty& element : value.elements()) {
      out += (out.size() > 1 ? "," : "") + typedText(element);
    }
    return out + "]";
  }
  case BindingKind::Structure: {
    std::string out = "{";
    for (auto member : value.members()) {
      out += (out.size() > 1 ? "," : "") + std::string(member.key) + ":" + typedText(member.value);
    }
    return out + "}";
  }
  }
  return "?";
}

} // namespace tav
