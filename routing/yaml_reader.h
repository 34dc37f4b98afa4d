// readYaml: YAML text to a BindingProperty tree, through libyaml's event parser.
//
//   BindingResult doc = readYaml("ids: [1, -2, 3.5]\nname: &n banner\ncopy: *n\n");
//   if (!doc.ok()) log(doc.errorMessage());  // "... At line: 3 col: 7"
//
// Mappings become structures (scalar keys only), sequences collections, scalars the values that
// resolveYamlScalar gives them. A repeated key addresses the same member, so a later sequence
// extends an existing collection and a later mapping merges into an existing structure. An alias
// is a deep copy of the node its anchor named, found again by its path from the root (even when a
// repeated key has since put the container being filled there); it is refused as cyclic only
// while the anchored sequence or mapping is still open. An anchor on a mapping key names the key
// text. Only one document is read: a stream may begin with empty documents, but a document that
// follows one with content is an error.
#pragma once

#include "binding/binding_property.h"

#include <cstddef>
#include <string_view>

namespace tav {

// Nodes that alias copies may create: ten for every node read from the text, at least
// kMinAliasExpansion and at most kMaxAliasExpansion, so that a document of nested aliases cannot
// grow without bound ("billion laughs") while ordinary reuse of anchors works.
inline constexpr size_t kMinAliasExpansion = 10'000;
inline constexpr size_t kAliasExpansionFactor = 10;
inline constexpr size_t kMaxAliasExpansion = 1'000'000;

// Reads one YAML document from the text (UTF-8). The text ends at its first zero byte or at the
// end of the view, whichever comes first, so a view of a zero-terminated text reads exactly as
// the text would; a view without data is the empty text. Nesting, aliases included, is at most
// kMaxDocumentDepth deep. Memory grows with the text, not with how deep its anchors lie. On
// failure the result holds the first error's message, with the line and column of the event at
// fault counted from 1, or, for errors of libyaml itself,
// "YAML parser error: <problem>. At line: <l> col: <c>" with libyaml's position counted from 0.
BindingResult readYaml(std::string_view text);

} // namespace tav
