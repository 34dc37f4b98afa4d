// FormatArg: one typed argument of a message template.
//
// Usage: formatMessage("Index %1 is out of range", index) builds one FormatArg per argument; the
// argument's kind decides which printf conversions it accepts and how a bare "%1" writes it.
//
// A FormatArg never owns text: a text argument refers to the caller's characters, which must
// outlive the formatting call (temporaries in the call expression do).
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace tav {

class FormatArg {
public:
  enum class Kind : uint8_t { Text, Char, Int32, UInt32, Int64, UInt64, Double, Bool };

  // A null pointer is written as "(null)" rather than handed to printf.
  FormatArg(const char* text) : kind_(Kind::Text), text_(text ? text : "(null)") {}
  FormatArg(std::string_view text) : kind_(Kind::Text), text_(text) {}
  FormatArg(const std::string& text) : kind_(Kind::Text), text_(text) {}
  FormatArg(char c) : kind_(Kind::Char) { value_.c = c; }

  // Every integer type maps by its width and signedness, so that int, long, long long and size_t
  // land on the same kind on 32- and 64-bit targets as their size dictates. Character types other
  // than char are refused rather than printed as numbers by surprise.
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
           !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t> &&
           sizeof(T) <= 8) FormatArg(T value) {
    if constexpr (std::is_signed_v<T>) {
      kind_ = sizeof(T) <= 4 ? Kind::Int32 : Kind::Int64;
      value_.i = static_cast<int64_t>(value);
    } else {
      kind_ = sizeof(T) <= 4 ? Kind::UInt32 : Kind::UInt64;
      value_.u = static_cast<uint64_t>(value);
    }
  }

  FormatArg(double value) : kind_(Kind::Double) { value_.d = value; }
  FormatArg(float value) : kind_(Kind::Double) { value_.d = value; }

  // Exactly bool: a constructor taking bool directly would swallow every stray pointer.
  template <typename T>
  requires std::same_as<T, bool> FormatArg(T value) : kind_(Kind::Bool) { value_.b = value; }

  Kind kind() const { return kind_; }
  bool isInteger() const {
    return kind_ == Kind::Int32 || kind_ == Kind::UInt32 || kind_ == Kind::Int64 ||
           kind_ == Kind::UInt64;
  }

  std::string_view text() const { return text_; }
  char character() const { return value_.c; }
  double floating() const { return value_.d; }
  bool boolean() const { return value_.b; }
  // The value of an integer, char or bool argument as 64 bits, signed kinds sign-extended; 0 for
  // text and doubles.
  int64_t asInt64() const;
  uint64_t asUInt64() const { return static_cast<uint64_t>(asInt64()); }

private:
  Kind kind_;
  union {
    int64_t i;
    uint64_t u;
    double d;
    char c;
    bool b;
  } value_{};
  std::string_view text_;
};

inline int64_t FormatArg::asInt64() const {
  switch (kind_) {
  case Kind::Char:
    return value_.c;
  case Kind::Bool:
    return value_.b ? 1 : 0;
  case Kind::Int32:
  case Kind::Int64:
    return value_.i;
  case Kind::UInt32:
  case Kind::UInt64:
    return static_cast<int64_t>(value_.u);
  case Kind::Double:
  case Kind::Text:
    break;
  }
  return 0;
}

} // namespace tav
