// The byte rule of percentDecode.
#include "routing/percent_decoding.h"

#include <cstdint>

namespace tav {

unsigned hexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<unsigned>(c - '0');
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<unsigned>(c - 'a' + 10);
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<unsigned>(c - 'A' + 10);
  }
  return 16;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (text.size() - i > 2) {
        // Malformed escapes are decoded, not rejected: a non-digit counts as 16, which the 8-bit
        // truncation of the high digit turns into 0 and which sets bit 4 as the low digit.
        auto high = static_cast<uint8_t>(hexDigitValue(text[i + 1]) * 16);
        out += static_cast<char>(high | hexDigitValue(text[i + 2]));
        i += 2;
      }
      // A short escape loses only its "%"; the characters after it are copied as they come.
    } else {
      out += c;
    }
  }
  return out;
}

} // namespace tav
