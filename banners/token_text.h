// The character classes of token JSON, and the cursor the one-pass readers walk a part with.
#pragma once

#include <cstddef>
#include <string_view>

namespace tav::banners {

// Space, tab, line feed, vertical tab, form feed and carriage return separate tokens.
inline bool IsTokenWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A number token is the longest run of these.
inline bool IsTokenNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
}

// A position in a part's text, moved forward only.
class TokenCursor {
protected:
  explicit TokenCursor(std::string_view text) : text_(text) {}

  // Walked with locals, since every byte read could otherwise alias pos_; a token's parts are
  // written without white space, so one comparison usually settles it.
  void skipWhitespace() {
    const char* const data = text_.data();
    const size_t size = text_.size();
    size_t at = pos_;
    while (at < size && static_cast<unsigned char>(data[at]) <= ' ' &&
           IsTokenWhitespace(data[at])) {
      ++at;
    }
    pos_ = at;
  }

  // Steps over c when it is the next character.
  bool take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

} // namespace tav::banners
