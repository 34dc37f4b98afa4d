// Message templates: numbered placeholders ("%1", "%2$05d") and named ones ("{url}").
//
//   formatMessage("Index %1 is out of range", 5)           -> "Index 5 is out of range"
//   formatMessage("%1%2/", 'G', "et")                      -> "Get/"
//   formatMessage("Error: %s at offset %u.", text, 12u)    -> printf order, argument by argument
//   formatNamed("Error response for {method} {url}: {error}", "GET", url, error)
//
// Rules of the numbered form: "%%" writes "%"; "%N" with 1 <= N <= argument count writes argument N
// with its kind's default conversion, and "%N$..." gives it an explicit printf conversion; any
// other "%" starts a printf conversion that takes the next argument in sequence. A conversion the
// argument's kind does not allow is replaced by the kind's default, and "n" writes nothing.
// Formatting stops early, keeping what was written, when a placeholder needs an argument past the
// last, when a placeholder's text reaches 60 characters, or when 4095 characters are written.
// Neither function throws for a malformed template; the result is at most 4095 characters.
#pragma once

#include "foundation/format_arg.h"

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace tav {

std::string formatMessageList(std::string_view templ, std::span<const FormatArg> args);

template <typename... Args> std::string formatMessage(std::string_view templ, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return formatMessageList(templ, {});
  } else {
    const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
    return formatMessageList(templ, list);
  }
}

// Named form: each "{...}" takes the next argument in order of appearance. "{{" writes "{", "}}"
// or a lone "}" writes "}", and "%" placeholders work as in the numbered form, sharing the same
// sequence. Inside braces a leading "#" is a flag, "\" escapes the next character, and ":" starts a
// format spec up to "}": "str" writes the argument as text (bool as "true"/"false",
// integers in decimal, doubles with "%f"), "hex" writes an integer as "%016llX"; any other
// spec uses the kind's default conversion. A brace left open stops the formatting.
std::string formatNamedList(std::string_view templ, std::span<const FormatArg> args);

template <typename... Args> std::string formatNamed(std::string_view templ, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return formatNamedList(templ, {});
  } else {
    const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
    return formatNamedList(templ, list);
  }
}

} // namespace tav
