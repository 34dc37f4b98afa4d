// readJson: JSON text to a BindingProperty tree, through RapidJSON's SAX reader.
//
//   BindingResult doc = readJson(R"({"ids": [1, -2, 3.5]})");
//   if (!doc.ok()) log(doc.errorMessage());   // "Error: <text> at offset <n>."
//
// Kinds: null is the empty value; true and false are bool; a number without fraction and
// exponent is unsigned, or signed when it has a minus sign, and any other number (integers beyond
// 64 bits included) is float; strings are strings; arrays are collections; objects are
// structures. A repeated key addresses the same member: a later scalar replaces it, a later
// array appends to an existing collection, a later object merges into an existing structure.
#pragma once

#include "binding/binding_property.h"

#include <cstdint>
#include <string_view>

namespace tav {

// Reads one JSON document. The text ends at its first zero byte or at the end of the view,
// whichever comes first, so a view of a zero-terminated text reads exactly as the text would.
// Leading and trailing spaces, tabs, carriage returns and line feeds are skipped; a text of
// nothing else reads as the empty value without error. Containers nest at most
// kMaxDocumentDepth deep. On failure the result holds "Error: %s at offset %u." filled with
// RapidJSON's English text for the error and the byte offset from the start of the text; the
// partly built tree is discarded.
BindingResult readJson(std::string_view text);

// RapidJSON's English text for a parse error code: codes 2 to 17, "Unknown error." otherwise.
const char* jsonErrorText(int code);

} // namespace tav
