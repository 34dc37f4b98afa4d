// ReadTokenPart: a signed-token part read straight into a BindingProperty, in one pass.
//
// It accepts exactly the texts that json::Reader::read accepts and builds the value that
// ToBindingProperty would build from the result, without the token vector and the json::Value
// tree in between; those cost more than the value itself on inventories of many items.
//
//   BindingProperty payload;
//   if (!ReadTokenPart(text, payload)) { ... } // the text is lexically or grammatically broken
#pragma once

#include <string_view>

#include "binding/binding_property.h"

namespace tav::banners {

// Clears `out` (a root or a part of a tree), then reads `text` into it. Returns false when the
// text is not one readable JSON object; `out` then holds whatever had been read so far.
bool ReadTokenPart(std::string_view text, BindingProperty& out);

} // namespace tav::banners
