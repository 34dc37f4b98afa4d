// Texts from clients made safe to send back or to print.
#pragma once

#include <string>
#include <string_view>

namespace tav::tools {

// text with every byte sequence that is not UTF-8 replaced by U+FFFD, so that an answer that
// quotes a client's bytes is still UTF-8 (as JSON must be).
std::string validUtf8(std::string_view text);

// text with every byte outside printable ASCII, and the backslash, written as \xNN, so that a
// logged request line cannot move the cursor or recolour the terminal it is printed on.
std::string printable(std::string_view text);

} // namespace tav::tools
