// resolveYamlScalar: the value one YAML scalar stands for, by its tag, style and text.
#pragma once

#include "binding/binding_property.h"

#include <string>
#include <string_view>

namespace tav {

// One scalar as the parser delivers it. tag is null when the scalar has no explicit tag.
struct YamlScalar {
  const char* tag = nullptr;
  std::string_view text;
  bool quoted = false; // single- or double-quoted
};

inline constexpr std::string_view kYamlStrTag = "tag:yaml.org,2002:str";
inline constexpr std::string_view kYamlIntTag = "tag:yaml.org,2002:int";
inline constexpr std::string_view kYamlFloatTag = "tag:yaml.org,2002:float";
inline constexpr std::string_view kYamlBoolTag = "tag:yaml.org,2002:bool";

// Stores the scalar's value in target, replacing what it held.
//
// Tagged: str gives the text; int converts the text as uint64_t, or as int64_t when it begins
// with "-", and float as a finite double, each under the name "yaml" with the conversions'
// messages; bool takes the boolean words below and leaves target empty for any other text; any
// other tag fails with "Unsupported YAML tag '%1'.".
// Untagged and quoted: the text as a string, embedded zero bytes included.
// Untagged otherwise: "", "~", "null", "Null", "NULL" give empty; a text that strtod reads
// completely to a finite number gives float when it has a fractional part, else signed when
// negative and unsigned otherwise (beyond the 64-bit ranges it stays float); the words true,
// True, TRUE, y, Y, yes, Yes, YES, on, On, ON and false, False, FALSE, n, N, no, No, NO, off,
// Off, OFF give bool; anything else is a string.
//
// Returns false with the message in error when the scalar cannot be stored.
bool resolveYamlScalar(BindingProperty& target, const YamlScalar& scalar, std::string& error);

} // namespace tav
