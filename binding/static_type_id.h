// StaticTypeId: the build-time identity of every native type that crosses the binding layer.
//
//   const StaticTypeId& id = typeId<BannerFlag>();   // id.id, id.text ("#795B47DB")
//
// An id is the FNV-1a hash of the compiler's own name for the type, computed at compile time, so
// it is stable for a given build and distinct per type (vector<A> and vector<B> differ). Types
// whose id is fixed by an outside contract pin it with a one-line specialization placed right
// after the type's definition, before any use of typeId<T>():
//
//   template <> struct StaticTypePin<BannerFlag> : PinnedTypeId<0x795B47DB> {};
//
// A pinned type may also keep a full-name identity text instead of "#%08X" (see the
// BindingProperty pin below). Records are constant-initialised statics: they exist before the
// first call, are never freed, and typeId<T>() is safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace tav {

class BindingProperty;

struct StaticTypeId {
  uint32_t id;
  // Zero-terminated identity text: normally `hex`, for a few pinned types a full name.
  const char* text;
  // "#" and eight upper-case hexadecimal digits of id.
  char hex[10];
};

// The payload type of handlers that take no payload. Its descriptor, if one is ever registered,
// stays out of the registry's id index.
struct NoPayload {};

// Primary template: no pin, the id is derived from the type's name.
template <typename T> struct StaticTypePin {};

// Base of a pin: a fixed id and, optionally, a full-name identity text.
template <uint32_t Id> struct PinnedTypeId { static constexpr uint32_t kId = Id; };
template <uint32_t Id, const char* Text> struct PinnedTypeIdWithText {
  static constexpr uint32_t kId = Id;
  static constexpr const char* kText = Text;
};

namespace type_id_detail {

constexpr uint32_t fnv1a(std::string_view text) {
  uint32_t hash = 0x811C9DC5u;
  for (char c : text) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 16777619u;
  }
  return hash;
}

// The compiler's signature of this instantiation names T in full.
template <typename T> constexpr std::string_view compilerName() {
  return __PRETTY_FUNCTION__;
}

template <typename T>
concept HasPinnedId = requires {
  StaticTypePin<T>::kId;
};
template <typename T>
concept HasPinnedText = requires {
  StaticTypePin<T>::kText;
};

template <typename T> constexpr uint32_t idOf() {
  if constexpr (HasPinnedId<T>) {
    return StaticTypePin<T>::kId;
  } else {
    return fnv1a(compilerName<T>());
  }
}

struct HexText {
  char text[10];
};
constexpr HexText hexOf(uint32_t id) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  HexText out{};
  out.text[0] = '#';
  for (int i = 0; i < 8; ++i) {
    out.text[1 + i] = kDigits[(id >> (28 - 4 * i)) & 0xF];
  }
  out.text[9] = '\0';
  return out;
}

template <typename T> struct Record {
  static constexpr uint32_t kId = idOf<T>();
  static constexpr HexText kHex = hexOf(kId);
  static constinit StaticTypeId value;
};

template <typename T> constexpr const char* pinnedText(const char* fallback) {
  if constexpr (HasPinnedText<T>) {
    return StaticTypePin<T>::kText;
  } else {
    return fallback;
  }
}

template <typename T>
constinit StaticTypeId Record<T>::value{kId,
                                        pinnedText<T>(Record<T>::value.hex),
                                        {kHex.text[0], kHex.text[1], kHex.text[2], kHex.text[3],
                                         kHex.text[4], kHex.text[5], kHex.text[6], kHex.text[7],
                                         kHex.text[8], '\0'}};

} // namespace type_id_detail

// The identity of T; cv-qualifiers and references are ignored.
template <typename T> const StaticTypeId& typeId() {
  return type_id_detail::Record<std::remove_cvref_t<T>>::value;
}

// The placeholder's identity, for checks against it.
inline const StaticTypeId& noPayloadTypeId() {
  return typeId<NoPayload>();
}

// Identities fixed by contract with the host and other plugins.
inline constexpr char kBindingPropertyIdentityText[] =
    "const char *__cdecl StaticType::Name<class Kest::BindingProperty>(void)";

template <> struct StaticTypePin<std::string> : PinnedTypeId<0x2757680B> {};
template <> struct StaticTypePin<int64_t> : PinnedTypeId<0x7B2B1131> {};
template <>
struct StaticTypePin<BindingProperty>
    : PinnedTypeIdWithText<0xAF98C378, kBindingPropertyIdentityText> {};

} // namespace tav
