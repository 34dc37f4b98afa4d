// Placeholder reading and typed printf rendering shared by both template forms.
#include "foundation/format_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace tav {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isFlag(char c) {
  return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

int clampField(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, -kFieldValueLimit, kFieldValueLimit));
}

// The conversions a kind accepts, its default first.
std::string_view allowedConversions(FormatArg::Kind kind) {
  switch (kind) {
  case FormatArg::Kind::Text:
    return "s";
  case FormatArg::Kind::Char:
    return "cdiouxX";
  case FormatArg::Kind::Int32:
  case FormatArg::Kind::Int64:
  case FormatArg::Kind::Bool:
    return "dciouxX";
  case FormatArg::Kind::UInt32:
  case FormatArg::Kind::UInt64:
    return "ucdioxX";
  case FormatArg::Kind::Double:
    return "gaefGAEF";
  }
  return "s";
}

// A bounded builder for one placeholder's printf text.
class SpecText {
public:
  bool append(std::string_view part) {
    if (part.size() >= sizeof text_ - length_)
      return false;
    for (char c : part)
      text_[length_++] = c;
    text_[length_] = '\0';
    return true;
  }
  const char* c_str() const { return text_; }

private:
  char text_[64] = {};
  size_t length_ = 0;
};

} // namespace

bool FormatWriter::put(char c) {
  if (full())
    return false;
  buffer_[length_++] = c;
  return true;
}

void FormatWriter::putCut(std::string_view text) {
  size_t room = kFormattedMessageLimit - length_;
  size_t n = std::min(room, text.size());
  std::copy_n(text.data(), n, buffer_ + length_);
  length_ += n;
}

void FormatWriter::putFormatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer_ + length_, sizeof buffer_ - length_, format, args);
  va_end(args);
  if (n > 0)
    length_ += std::min(static_cast<size_t>(n), kFormattedMessageLimit - length_);
}

const FormatArg* FormatWriter::takeNext() {
  if (next_ >= args_.size())
    return nullptr;
  return &args_[next_++];
}

FormatWriter::FieldSpec FormatWriter::scanField(std::string_view templ, size_t& p, size_t end) {
  FieldSpec spec;
  if (p < end && templ[p] == '*') {
    ++p;
    size_t q = p;
    uint64_t number = 0;
    while (q < end && isDigit(templ[q])) {
      number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(templ[q] - '0'), 1u << 30);
      ++q;
    }
    if (q > p && q < end && templ[q] == '$') {
      spec.kind = FieldKind::NumberedStar;
      spec.number = number;
      p = q + 1;
    } else {
      spec.kind = FieldKind::Star;
    }
    return spec;
  }
  size_t start = p;
  uint64_t number = 0;
  while (p < end && isDigit(templ[p])) {
    number =
        std::min<uint64_t>(number * 10 + static_cast<uint64_t>(templ[p] - '0'), kFieldValueLimit);
    ++p;
  }
  if (p > start) {
    spec.kind = FieldKind::Literal;
    spec.number = number;
  }
  return spec;
}

FormatWriter::Parts FormatWriter::scanParts(std::string_view templ, size_t p, size_t end) {
  Parts parts;
  size_t start = p;
  while (p < end && isFlag(templ[p]))
    ++p;
  parts.flags = templ.substr(start, p - start);
  parts.width = scanField(templ, p, end);
  if (p < end && templ[p] == '.') {
    ++p;
    parts.hasPrecision = true;
    parts.precision = scanField(templ, p, end);
  }
  start = p;
  if (p < end) {
    char c = templ[p];
    if (c == 'L' || c == 'j' || c == 't' || c == 'z') {
      ++p;
    } else if (c == 'h' || c == 'l') {
      ++p;
      if (p < end && templ[p] == c)
        ++p;
    }
  }
  parts.length = templ.substr(start, p - start);
  parts.stop = p;
  return parts;
}

bool FormatWriter::resolveField(const FieldSpec& spec, Field& out) {
  const FormatArg* arg = nullptr;
  switch (spec.kind) {
  case FieldKind::None:
    return true;
  case FieldKind::Literal:
    out.present = true;
    out.value = clampField(static_cast<int64_t>(spec.number));
    return true;
  case FieldKind::Star:
    arg = takeNext();
    break;
  case FieldKind::NumberedStar:
    if (spec.number >= 1 && spec.number <= args_.size())
      arg = &args_[spec.number - 1];
    break;
  }
  if (!arg || !arg->isInteger())
    return false;
  out.present = true;
  if (arg->kind() == FormatArg::Kind::UInt64 && arg->asUInt64() > INT64_MAX)
    out.value = kFieldValueLimit;
  else
    out.value = clampField(arg->asInt64());
  return true;
}

size_t FormatWriter::writePercent(std::string_view templ, size_t pos) {
  const size_t end = templ.size();
  size_t p = pos + 1;
  if (p < end && templ[p] == '%')
    return put('%') ? p + 1 : kStop;

  // A number starting 1-9 that names an existing argument selects it; "$" then introduces a
  // printf conversion for it, and without "$" the placeholder ends with the number.
  const FormatArg* selected = nullptr;
  if (p < end && templ[p] >= '1' && templ[p] <= '9') {
    size_t q = p;
    uint64_t number = 0;
    while (q < end && isDigit(templ[q])) {
      number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(templ[q] - '0'), 1u << 30);
      ++q;
    }
    if (number <= args_.size()) {
      if (q < end && templ[q] == '$') {
        selected = &args_[number - 1];
        p = q + 1;
      } else {
        writeDefault(args_[number - 1]);
        return q;
      }
    }
  }

  // Anything else is a printf conversion. Its conversion character is whatever follows the
  // optional parts; when the template ends first, the last character read takes that role
  // ("%3" at the end converts with "3").
  Parts parts = scanParts(templ, p, end);
  size_t conversionPos = parts.stop;
  if (conversionPos >= end) {
    if (parts.stop == p)
      return kStop;
    conversionPos = parts.stop - 1;
    parts = scanParts(templ, p, conversionPos);
  }
  if (conversionPos + 1 - pos >= kPlaceholderTextLimit)
    return kStop;

  Field width;
  Field precision;
  if (!resolveField(parts.width, width))
    return kStop;
  if (parts.hasPrecision) {
    if (parts.precision.kind == FieldKind::None) {
      precision.present = true; // "." alone means a precision of zero
    } else if (!resolveField(parts.precision, precision)) {
      return kStop;
    }
  }
  const FormatArg* arg = selected ? selected : takeNext();
  if (!arg)
    return kStop;
  char conversion = templ[conversionPos];
  if (conversion != 'n')
    writeConverted(*arg, parts.flags, width, precision, parts.length, conversion);
  return conversionPos + 1;
}

void FormatWriter::writeDefault(const FormatArg& arg) {
  writeConverted(arg, {}, {}, {}, {}, allowedConversions(arg.kind()).front());
}

void FormatWriter::writeConverted(const FormatArg& arg, std::string_view flags, Field width,
                                  Field precision, std::string_view length, char conversion) {
  const FormatArg::Kind kind = arg.kind();
  std::string_view allowed = allowedConversions(kind);
  if (allowed.find(conversion) == std::string_view::npos)
    conversion = allowed.front();

  // The length modifier always follows the argument's real type, so that a "%ld" or "%Ls" in a
  // template can never make printf read a value of another size. Only "h" and "hh", which narrow
  // an int that printf receives anyway, are kept from the template.
  std::string_view lengthModifier;
  bool passAsInt = conversion == 'c';
  switch (kind) {
  case FormatArg::Kind::Char:
  case FormatArg::Kind::Int32:
  case FormatArg::Kind::UInt32:
  case FormatArg::Kind::Bool:
    if (!passAsInt && (length == "h" || length == "hh"))
      lengthModifier = length;
    break;
  case FormatArg::Kind::Int64:
  case FormatArg::Kind::UInt64:
    if (!passAsInt)
      lengthModifier = "ll";
    break;
  case FormatArg::Kind::Text:
  case FormatArg::Kind::Double:
    break;
  }

  // Text is always bounded by a precision: a string_view need not be terminated.
  std::string_view text = arg.text();
  if (kind == FormatArg::Kind::Text) {
    int size = static_cast<int>(std::min<size_t>(text.size(), kFieldValueLimit));
    if (!precision.present || precision.value < 0 || precision.value > size)
      precision.value = size;
    precision.present = true;
    if (text.data() == nullptr)
      text = "";
  }

  SpecText spec;
  char conversionText[2] = {conversion, '\0'};
  if (!spec.append("%") || !spec.append(flags) || (width.present && !spec.append("*")) ||
      (precision.present && !spec.append(".*")) || !spec.append(lengthModifier) ||
      !spec.append(conversionText))
    return;

  char* out = buffer_ + length_;
  size_t room = sizeof buffer_ - length_;
  auto print = [&](auto value) {
    if (width.present && precision.present)
      return std::snprintf(out, room, spec.c_str(), width.value, precision.value, value);
    if (width.present)
      return std::snprintf(out, room, spec.c_str(), width.value, value);
    if (precision.present)
      return std::snprintf(out, room, spec.c_str(), precision.value, value);
    return std::snprintf(out, room, spec.c_str(), value);
  };

  int n = 0;
  switch (kind) {
  case FormatArg::Kind::Text:
    n = print(text.data());
    break;
  case FormatArg::Kind::Double:
    n = print(arg.floating());
    break;
  case FormatArg::Kind::Char:
    n = print(static_cast<int>(arg.character()));
    break;
  case FormatArg::Kind::Int32:
  case FormatArg::Kind::Bool:
    n = print(static_cast<int>(arg.asInt64()));
    break;
  case FormatArg::Kind::UInt32:
    if (passAsInt)
      n = print(static_cast<int>(arg.asUInt64()));
    else
      n = print(static_cast<unsigned>(arg.asUInt64()));
    break;
  case FormatArg::Kind::Int64:
    if (passAsInt)
      n = print(static_cast<int>(arg.asInt64()));
    else
      n = print(static_cast<long long>(arg.asInt64()));
    break;
  case FormatArg::Kind::UInt64:
    if (passAsInt)
      n = print(static_cast<int>(arg.asUInt64()));
    else
      n = print(static_cast<unsigned long long>(arg.asUInt64()));
    break;
  }
  if (n > 0)
    length_ += std::min(static_cast<size_t>(n), kFormattedMessageLimit - length_);
}

} // namespace tav
