// FNV-1a, the 32-bit hash of interned strings and of registered type names.
#pragma once

#include <cstdint>
#include <string_view>

namespace tav {

inline constexpr uint32_t kFnv1aOffsetBasis = 0x811C9DC5u;
inline constexpr uint32_t kFnv1aPrime = 16777619u;

// Each byte, taken as unsigned, is XORed in before the multiplication.
constexpr uint32_t fnv1a(std::string_view text) noexcept {
  uint32_t hash = kFnv1aOffsetBasis;
  for (char c : text) {
    hash ^= static_cast<uint8_t>(c);
    hash *= kFnv1aPrime;
  }
  return hash;
}

} // namespace tav
