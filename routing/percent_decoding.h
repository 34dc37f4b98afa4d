// Percent decoding of captured path texts, query keys and query values, and the digit values it
// shares with the readers of numeric path steps.
#pragma once

#include <string>
#include <string_view>

namespace tav {

// The value of a hexadecimal digit (either case), or 16 for any other character, so that a caller
// can test "< base" for any base up to 16.
unsigned hexDigitValue(char c);

// Decodes byte by byte: "+" becomes a space; "%" followed by at least two more characters
// becomes one byte, (hex(first) * 16, kept to 8 bits) | hex(second), where a character that
// is not a hexadecimal digit counts as 16 (so "%zz" gives 0x10 and "%4z" gives 0x50); a "%"
// with fewer than two characters after it is dropped and those characters are copied. Every
// other character is copied. Never fails.
std::string percentDecode(std::string_view text);

} // namespace tav
