// Message templates, numbered and named, with template and arguments from the input.
//
// Input: the template, a zero byte, then one argument per line: a kind letter and its value
// ("s" text, "c" char, "i" int32, "I" int64, "u" uint32, "U" uint64, "d" double, "b" bool).
// Text arguments are views into the input itself, not terminated, so a conversion that reads a
// text past its end runs into the sanitizer at the end of the input.
//
// Checks: results stay within 4095 characters; a template without placeholders comes back as it
// is; a lone "%1" or "{}" writes a text argument (without zero bytes) exactly.
#include "fuzz_support.h"

#include "foundation/message_format.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kResultLimit = 4095;

tav::FormatArg makeArg(char kind, std::string_view value) {
  // strto* need a terminated text; numbers are short, so a copy costs nothing.
  const std::string number(value.substr(0, 64));
  switch (kind) {
  case 'c':
    return tav::FormatArg(value.empty() ? '\0' : value[0]);
  case 'i':
    return tav::FormatArg(static_cast<int32_t>(std::strtol(number.c_str(), nullptr, 0)));
  case 'I':
    return tav::FormatArg(static_cast<int64_t>(std::strtoll(number.c_str(), nullptr, 0)));
  case 'u':
    return tav::FormatArg(static_cast<uint32_t>(std::strtoul(number.c_str(), nullptr, 0)));
  case 'U':
    return tav::FormatArg(static_cast<uint64_t>(std::strtoull(number.c_str(), nullptr, 0)));
  case 'd':
    return tav::FormatArg(std::strtod(number.c_str(), nullptr));
  case 'b':
    return tav::FormatArg(!value.empty() && value[0] != '0');
  default:
    return tav::FormatArg(value);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::vector<std::string_view> parts = fuzz::splitParts(fuzz::asText(data, size), 2);
  const std::string_view templ = parts[0];

  std::vector<FormatArg> args;
  if (!parts[1].empty()) {
    for (std::string_view line : fuzz::splitLines(parts[1])) {
      if (args.size() == 16) {
        break;
      }
      args.push_back(line.empty() ? FormatArg(line) : makeArg(line[0], line.substr(1)));
    }
  }

  const std::string numbered = formatMessageList(templ, args);
  const std::string named = formatNamedList(templ, args);
  fuzz::check(numbered.size() <= kResultLimit, "numbered result beyond its limit");
  fuzz::check(named.size() <= kResultLimit, "named result beyond its limit");

  const std::string_view plain = templ.substr(0, kResultLimit);
  if (templ.find('%') == std::string_view::npos) {
    fuzz::check(numbered == plain, "a template without placeholders changed", numbered, plain);
    if (templ.find_first_of("{}") == std::string_view::npos) {
      fuzz::check(named == plain, "a named template without placeholders changed", named, plain);
    }
  }
  // printf stops a text at a zero byte, so only texts without one come back whole.
  if (!args.empty() && args[0].kind() == FormatArg::Kind::Text &&
      args[0].text().find('\0') == std::string_view::npos) {
    const std::string_view text = args[0].text().substr(0, kResultLimit);
    if (templ == "%1") {
      fuzz::check(numbered == text, "\"%1\" does not write its text argument", numbered, text);
    }
    if (templ == "{}") {
      fuzz::check(named == text, "\"{}\" does not write its text argument", named, text);
    }
  }
  return 0;
}
