// Limits shared by every reader that turns outside data into a value tree.
#pragma once

#include <cstddef>

namespace tav {

// Deepest nesting any reader (JSON, YAML, MessagePack) accepts. Trees themselves are walked
// iteratively, so this guards the readers' own stacks and keeps hostile documents small.
inline constexpr size_t kMaxDocumentDepth = 512;

} // namespace tav
