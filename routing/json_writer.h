// writeJson: a BindingProperty tree as compact JSON text, through RapidJSON's writer.
//
//   std::string body = writeJson(profile, &registry);   // {"flag":"Gold","level":3}
#pragma once

#include "binding/binding_property.h"

#include <string>

namespace tav {

class BindingTypeRegistry;

// Writes value as compact JSON (no spaces, no line breaks). An empty value at the root gives the
// empty text, not "null"; an empty value inside gives null. Structures list their members in key
// order; blobs become strings holding their bytes in Base64; an enum becomes its enumerator's
// name when registry (which may be null) knows it, and its number otherwise. Doubles take
// RapidJSON's shortest form that reads back to the same double; NaN and the infinities, which
// JSON cannot hold, are written as null. Strings are written byte for byte with JSON escapes,
// without UTF-8 validation. The walk keeps its own stack, so trees of any depth can be written.
std::string writeJson(const BindingProperty& value, const BindingTypeRegistry* registry = nullptr);

} // namespace tav
