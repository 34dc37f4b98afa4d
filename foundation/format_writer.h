// FormatWriter: the fixed output buffer and printf-placeholder reader behind both template forms.
//
// Both the numbered ("%1") and the named ("{url}") templates write into one 4096-byte buffer and
// read "%" placeholders by the same rules; this class holds that shared part. It is an
// implementation detail of message_format.cpp and named_format.cpp.
#pragma once

#include "foundation/format_arg.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tav {

// The longest formatted message: a 4096-byte buffer less its terminator.
inline constexpr size_t kFormattedMessageLimit = 4095;
// A placeholder whose text (from "%" through the conversion character) reaches this length stops
// the formatting: its printf text must fit a 64-byte buffer.
inline constexpr size_t kPlaceholderTextLimit = 60;
// Widths and precisions are clamped to this magnitude. No visible output can use more, and it
// keeps printf from padding billions of characters into a buffer that holds 4095.
inline constexpr int kFieldValueLimit = 1 << 20;

class FormatWriter {
public:
  static constexpr size_t kStop = std::string_view::npos;

  explicit FormatWriter(std::span<const FormatArg> args) : args_(args) {}
  FormatWriter(const FormatWriter&) = delete;
  FormatWriter& operator=(const FormatWriter&) = delete;

  bool full() const { return length_ >= kFormattedMessageLimit; }
  size_t argumentCount() const { return args_.size(); }

  // Appends one character; false, writing nothing, when the output is full.
  bool put(char c);
  // Appends as much of text as still fits.
  void putCut(std::string_view text);
  // Appends printf output, cut to the space left.
  void putFormatted(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // The next argument in sequence, advancing the sequence; null when none is left.
  const FormatArg* takeNext();

  // Reads the placeholder whose "%" is at templ[pos] and writes it. Returns the position after the
  // placeholder, or kStop when formatting must stop, keeping what was written.
  size_t writePercent(std::string_view templ, size_t pos);

  // Writes arg with its kind's default conversion and length modifier, as a bare "%1" does.
  void writeDefault(const FormatArg& arg);

  std::string result() const {
    return std::string(buffer_, length_);
  }

private:
  struct Field {
    bool present = false;
    int value = 0;
  };
  enum class FieldKind : uint8_t { None, Literal, Star, NumberedStar };
  struct FieldSpec {
    FieldKind kind = FieldKind::None;
    uint64_t number = 0;
  };
  struct Parts {
    std::string_view flags;
    FieldSpec width;
    bool hasPrecision = false;
    FieldSpec precision;
    std::string_view length;
    size_t stop = 0;
  };

  static FieldSpec scanField(std::string_view templ, size_t& p, size_t end);
  static Parts scanParts(std::string_view templ, size_t p, size_t end);
  bool resolveField(const FieldSpec& spec, Field& out);
  void writeConverted(const FormatArg& arg, std::string_view flags, Field width, Field precision,
                      std::string_view length, char conversion);

  char buffer_[kFormattedMessageLimit + 1];
  size_t length_ = 0;
  size_t next_ = 0;
  std::span<const FormatArg> args_;
};

} // namespace tav
