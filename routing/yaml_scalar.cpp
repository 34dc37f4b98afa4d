// resolveYamlScalar: tags, quoted strings, and the null, number and boolean words of plain text.
#include "routing/yaml_scalar.h"

#include "binding/value_conversions.h"
#include "foundation/message_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <system_error>

namespace tav {
namespace {

// 2^63 and 2^64 as doubles: integral values outside [-2^63, 2^64) have no 64-bit integer form.
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;

bool isNullWord(std::string_view text) {
  return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

// The boolean words; nullopt for any other text.
std::optional<bool> booleanWord(std::string_view text) {
  switch (text.size()) {
  case 1:
    if (text == "y" || text == "Y") {
      return true;
    }
    if (text == "n" || text == "N") {
      return false;
    }
    break;
  case 2:
    if (text == "on" || text == "On" || text == "ON") {
      return true;
    }
    if (text == "no" || text == "No" || text == "NO") {
      return false;
    }
    break;
  case 3:
    if (text == "yes" || text == "Yes" || text == "YES") {
      return true;
    }
    if (text == "off" || text == "Off" || text == "OFF") {
      return false;
    }
    break;
  case 4:
    if (text == "true" || text == "True" || text == "TRUE") {
      return true;
    }
    break;
  case 5:
    if (text == "false" || text == "False" || text == "FALSE") {
      return false;
    }
    break;
  default:
    break;
  }
  return std::nullopt;
}

bool mayStartNumber(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == ' ' || c == '\t' ||
         c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The finite double that strtod reads from the whole text, if any. Plain decimal texts take
// std::from_chars, which rounds exactly as strtod does and ignores the locale; texts it cannot
// finish alone (a "+" sign, leading white space, hexadecimal, out of range) go to strtod.
std::optional<double> wholeNumber(std::string_view text) {
  if (text.empty() || !mayStartNumber(text.front())) {
    return std::nullopt;
  }
  const char* end = text.data() + text.size();
  double value = 0.0;
  const auto parsed = std::from_chars(text.data(), end, value);
  if (parsed.ec == std::errc() && parsed.ptr == end) {
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
  }
  const bool hexadecimal = parsed.ec == std::errc() && (*parsed.ptr == 'x' || *parsed.ptr == 'X');
  if (parsed.ec == std::errc() && !hexadecimal) {
    return std::nullopt; // strtod would stop at the same character
  }
  const std::string copy(text); // strtod needs the terminator that a view may lack
  char* stop = nullptr;
  value = std::strtod(copy.c_str(), &stop);
  if (stop != copy.c_str() + copy.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

void storePlain(BindingProperty& target, std::string_view text) {
  if (isNullWord(text)) {
    target.clear();
    return;
  }
  if (const std::optional<double> number = wholeNumber(text)) {
    const double value = *number;
    if (std::trunc(value) != value) {
      target = value;
    } else if (value < 0) {
      if (value >= -kTwoPow63) {
        target.setSigned(static_cast<int64_t>(value));
      } else {
        target = value;
      }
    } else if (value < kTwoPow64) {
      target.setUnsigned(static_cast<uint64_t>(value));
    } else {
      target = value;
    }
    return;
  }
  if (const std::optional<bool> flag = booleanWord(text)) {
    target = *flag;
    return;
  }
  target.setString(text);
}

// The text goes through the strict conversions with the target itself as the string input.
bool storeTaggedNumber(BindingProperty& target, std::string_view tag, std::string_view text,
                       std::string& error) {
  target.setString(text);
  BindingResult conversion;
  if (tag == kYamlIntTag) {
    if (!text.empty() && text.front() == '-') {
      int64_t value = 0;
      if (convertSigned(conversion, value, target, "yaml", std::numeric_limits<int64_t>::min(),
                        std::numeric_limits<int64_t>::max(), "int64_t")) {
        target.setSigned(value);
        return true;
      }
    } else {
      uint64_t value = 0;
      if (convertUnsigned(conversion, value, target, "yaml", std::numeric_limits<uint64_t>::max(),
                          "uint64_t")) {
        target.setUnsigned(value);
        return true;
      }
    }
  } else {
    double value = 0.0;
    if (convertDouble(conversion, value, target, "yaml", -std::numeric_limits<double>::max(),
                      std::numeric_limits<double>::max(), "double")) {
      target = value;
      return true;
    }
  }
  error.assign(conversion.errorMessage());
  return false;
}

} // namespace

bool resolveYamlScalar(BindingProperty& target, const YamlScalar& scalar, std::string& error) {
  if (scalar.tag == nullptr) {
    if (scalar.quoted) {
      target.setString(scalar.text);
    } else {
      storePlain(target, scalar.text);
    }
    return true;
  }
  const std::string_view tag = scalar.tag;
  if (tag == kYamlStrTag) {
    target.setString(scalar.text);
    return true;
  }
  if (tag == kYamlIntTag || tag == kYamlFloatTag) {
    return storeTaggedNumber(target, tag, scalar.text, error);
  }
  if (tag == kYamlBoolTag) {
    if (const std::optional<bool> flag = booleanWord(scalar.text)) {
      target = *flag;
    } else {
      target.clear();
    }
    return true;
  }
  error = formatMessage("Unsupported YAML tag '%1'.", tag);
  return false;
}

} // namespace tav
