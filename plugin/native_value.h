// toNative: a BindingProperty into the native type a request or a resource handler asks for.
//
// Everything the binding converters know (registered structs and enums, scalars, texts,
// BindingProperty, vectors) goes through them unchanged. Maps from text to such a type, which the
// registry cannot describe, are read from a structure: one entry per member, each member converted
// under its own key as name, as a struct passes each field its own name.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_registry.h"
#include "binding/host_records.h"
#include "binding/native_binding.h"
#include "foundation/message_format.h"

#include <map>
#include <string>
#include <string_view>
#include <type_traits>

namespace tav {

// read converts a value; readHost, where kReadsHost says there is one, reads the host's record
// directly for the shapes it knows and answers false for the rest, which then go through read.
template <typename T> struct NativeValue {
  static constexpr bool kReadsHost = false;
  static bool read(BindingResult& result, T& out, const BindingProperty& input,
                   std::string_view name, const BindingTypeRegistry& registry) {
    return fromValue(result, out, input, name, registry);
  }
};

template <typename Mapped> struct NativeValue<std::map<std::string, Mapped>> {
  // A map of texts, such as the inventory's tokens (megabytes each), is read without interning
  // the texts into a value first. Taken: a map whose values are texts or empty.
  static constexpr bool kReadsHost = std::is_same_v<Mapped, std::string>;
  static bool readHost(std::map<std::string, Mapped>& out,
                       const host::HostValue& input) requires kReadsHost {
    if (input.kind != static_cast<uint32_t>(host::HostValueKind::Map)) {
      return false;
    }
    const auto* entries = static_cast<const host::HostMapEntry*>(input.span.data);
    const uint32_t count = entries == nullptr ? 0 : input.span.length;
    for (uint32_t i = 0; i < count; ++i) {
      switch (static_cast<host::HostValueKind>(entries[i].value.kind)) {
      case host::HostValueKind::Empty:
      case host::HostValueKind::BorrowedString:
      case host::HostValueKind::OwnedString:
        break;
      default:
        return false;
      }
    }
    out.clear();
    // In array order, so that a repeated key ends with its later value, as in a structure.
    for (uint32_t i = 0; i < count; ++i) {
      const host::HostMapEntry& entry = entries[i];
      const auto* text = entry.value.kind == static_cast<uint32_t>(host::HostValueKind::Empty)
                             ? nullptr
                             : static_cast<const char*>(entry.value.span.data);
      out[entry.key != nullptr ? entry.key : ""].assign(text != nullptr ? text : "");
    }
    return true;
  }

  static bool read(BindingResult& result, std::map<std::string, Mapped>& out,
                   const BindingProperty& input, std::string_view name,
                   const BindingTypeRegistry& registry) {
    out.clear();
    if (!result.ok()) {
      return false;
    }
    if (input.isEmpty()) {
      result.setError(formatMessage("A value for '%1' is required.", name));
      return false;
    }
    if (!input.isStructure()) {
      result.setError(formatMessage(
          "Couldn't assign value to '%1' of type %2 because the input not a structure.", name,
          "map"));
      return false;
    }
    for (auto [key, value] : input.members()) {
      Mapped& slot = out[std::string(key)];
      // An empty member keeps the default entry, as an empty vector element does.
      if (!value.isEmpty() && !NativeValue<Mapped>::read(result, slot, value, key, registry)) {
        return false;
      }
    }
    return true;
  }
};

// Value to native under the top-level name ("<result>" for responses, "<value>" for event data).
// On failure result holds the first error and out must not be used.
template <typename T>
bool toNative(BindingResult& result, T& out, const BindingProperty& input, std::string_view name,
              const BindingTypeRegistry& registry) {
  return NativeValue<T>::read(result, out, input, name, registry);
}

} // namespace tav
