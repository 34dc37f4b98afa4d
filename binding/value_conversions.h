// The strict value-to-native rules for scalars, texts and enums, with their fixed messages.
//
// Each function does nothing and returns false when result is already failed. On failure it
// calls result.setError(message) with the system's exact message and returns false; out is then
// left unchanged. name is the quoted '%N' of the messages and is never joined into a path.
#pragma once

#include "binding/binding_property.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

class BindingTypeRegistry;
struct BindingTypeDescriptor;

// bool; the strings "true", "1", "false", "0" exactly.
bool convertBool(BindingResult& result, bool& out, const BindingProperty& input,
                 std::string_view name);

// Signed, unsigned, float, enum and strtoll-style text (base 0) within [min, max].
bool convertSigned(BindingResult& result, int64_t& out, const BindingProperty& input,
                   std::string_view name, int64_t min, int64_t max, std::string_view typeName);

// Signed, unsigned, float, enum and strtoull-style text (base 0) within [0, max]; a text whose
// first character is "-" is out of range (after leading white space strtoull's negation stands).
bool convertUnsigned(BindingResult& result, uint64_t& out, const BindingProperty& input,
                     std::string_view name, uint64_t max, std::string_view typeName);

// Numbers, enums and strtod-style text within [min, max]; a NaN float passes.
bool convertDouble(BindingResult& result, double& out, const BindingProperty& input,
                   std::string_view name, double min, double max, std::string_view typeName);

// A string, or the enumerator name of an enum value (looked up in registry, which may be null).
bool convertText(BindingResult& result, std::string& out, const BindingProperty& input,
                 std::string_view name, const BindingTypeRegistry* registry);

// An enumerator of the enum described by descriptor, by number (the low 32 bits of an integer),
// by name, or by numeric text. A null descriptor has no enumerators.
bool convertEnum(BindingResult& result, int32_t& out, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* descriptor);

} // namespace tav
