// Decoding of one MessagePack document into a BindingProperty tree.
//
//   BindingResult body;
//   uint32_t consumed = 0;
//   decodeMessagePack(body, consumed, bytes.data(), static_cast<uint32_t>(bytes.size()));
//   if (!body.ok()) return body.errorMessage();   // "Invalid MessagePack data ..."
//   if (consumed != bytes.size()) ...             // trailing bytes are the caller's decision
//
// The framework only reads MessagePack. Every code of the format maps to one kind: integers to
// signed or unsigned, floats (32-bit widened) to float, nil to empty, str to an interned string,
// bin to a copied blob, array to a collection and map to a structure. Extension types and the
// never-assigned code 0xC1 are rejected, and map keys must be strings.
#pragma once

#include "binding/binding_property.h"

#include <cstdint>

namespace tav {

// Decodes the document at data[0, size) into out, replacing whatever out held.
//
// On success out holds the tree with ok true and consumed is the length of the root value, which
// may be less than size (the rest is not read). On failure out is {"error": message} with ok
// false and consumed is the byte offset where decoding stopped, the position the message names.
// An empty document decodes to an empty value with consumed 0. A document that ends while a
// container still expects items fails, as does nesting deeper than kMaxDocumentDepth containers.
//
// A key that repeats within one map addresses the same member: a scalar replaces it, a map or
// array decodes into it (keeping what the earlier value held beyond what the later one names).
//
// data is only read and need not outlive the call; data may be null when size is 0.
void decodeMessagePack(BindingResult& out, uint32_t& consumed, const uint8_t* data, uint32_t size);

} // namespace tav
