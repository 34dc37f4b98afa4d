// The strict value-to-native rules for scalars, texts and enums.
#include "binding/value_conversions.h"

#include "binding/binding_type_descriptor.h"
#include "binding/binding_type_registry.h"
#include "foundation/message_format.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tav {
namespace {

constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kBoolFormat = "Value %1 for '%2' of type bool is in an incorrect "
                                         "format. Options are \"true\", \"false\", \"1\", \"0\".";
constexpr std::string_view kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr std::string_view kIncorrectFormat =
    "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr std::string_view kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr std::string_view kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr std::string_view kNotValidEnum = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr std::string_view kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
constexpr std::string_view kNotValidEnumValue = "%1 is not a valid enumeration value for '%2'.";
constexpr std::string_view kNotString =
    "Couldn't assign value to '%1' because the input is not a string.";

// 2^63 and 2^64 as doubles: the first values no 64-bit integer of that signedness can hold.
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

std::string_view kindName(const BindingProperty& input) {
  return bindingKindName(input.kind());
}

bool fail(BindingResult& result, const std::string& message) {
  result.setError(message);
  return false;
}

template <typename Value>
bool outOfRange(BindingResult& result, const Value& value, std::string_view name,
                std::string_view typeName) {
  return fail(result, formatMessage(kOutOfRange, value, name, typeName));
}

// The strto* family needs a terminated copy; the value's bytes may also hold a NUL, which then
// counts as a character left over.
struct ParsedText {
  std::string text;
  char* end = nullptr;
  bool leftover() const { return end != text.data() + text.size(); }
};

} // namespace

bool convertBool(BindingResult& result, bool& out, const BindingProperty& input,
                 std::string_view name) {
  if (!result.ok()) {
    return false;
  }
  switch (input.kind()) {
  case BindingKind::Empty:
    return fail(result, formatMessage(kRequired, name));
  case BindingKind::Bool:
    out = input.getBool();
    return true;
  case BindingKind::String: {
    const std::string_view text = input.getString();
    if (text == "true" || text == "1") {
      out = true;
      return true;
    }
    if (text == "false" || text == "0") {
      out = false;
      return true;
    }
    return fail(result, formatMessage(kBoolFormat, text, name));
  }
  default:
    return fail(result, formatMessage(kBoolInvalidType, name, kindName(input)));
  }
}

bool convertSigned(BindingResult& result, int64_t& out, const BindingProperty& input,
                   std::string_view name, int64_t min, int64_t max, std::string_view typeName) {
  if (!result.ok()) {
    return false;
  }
  switch (input.kind()) {
  case BindingKind::Empty:
    return fail(result, formatMessage(kRequired, name));
  case BindingKind::Signed: {
    const int64_t value = input.getSigned();
    if (value < min || value > max) {
      return outOfRange(result, value, name, typeName);
    }
    out = value;
    return true;
  }
  case BindingKind::Unsigned: {
    const uint64_t value = input.getUnsigned();
    if (max < 0 || value > static_cast<uint64_t>(max) ||
        (min > 0 && value < static_cast<uint64_t>(min))) {
      return outOfRange(result, value, name, typeName);
    }
    out = static_cast<int64_t>(value);
    return true;
  }
  case BindingKind::Float: {
    const double value = input.getFloat();
    // The bounds as doubles round up to 2^63 for the int64 maximum, which no int64 holds; the
    // explicit limits keep the truncation below defined. A NaN fails every comparison.
    if (!(value >= static_cast<double>(min) && value <= static_cast<double>(max) &&
          value >= -kTwoTo63 && value < kTwoTo63)) {
      return outOfRange(result, value, name, typeName);
    }
    out = static_cast<int64_t>(value);
    return true;
  }
  case BindingKind::String: {
    ParsedText parsed{std::string(input.getString())};
    errno = 0;
    const long long value = std::strtoll(parsed.text.c_str(), &parsed.end, 0);
    const bool overflow = errno == ERANGE;
    if (parsed.leftover()) {
      return fail(result, formatMessage(kIncorrectFormat, parsed.text, name, typeName));
    }
    if (overflow || value < min || value > max) {
      return outOfRange(result, parsed.text, name, typeName);
    }
    out = value;
    return true;
  }
  case BindingKind::Enum: {
    const int32_t number = input.getEnum().number;
    if (number < min || number > max) {
      return outOfRange(result, number, name, typeName);
    }
    out = number;
    return true;
  }
  default:
    return fail(result, formatMessage(kInvalidType, name, typeName, kindName(input)));
  }
}

bool convertUnsigned(BindingResult& result, uint64_t& out, const BindingProperty& input,
                     std::string_view name, uint64_t max, std::string_view typeName) {
  if (!result.ok()) {
    return false;
  }
  switch (input.kind()) {
  case BindingKind::Empty:
    return fail(result, formatMessage(kRequired, name));
  case BindingKind::Signed: {
    const int64_t value = input.getSigned();
    if (value < 0 || static_cast<uint64_t>(value) > max) {
      return outOfRange(result, value, name, typeName);
    }
    out = static_cast<uint64_t>(value);
    return true;
  }
  case BindingKind::Unsigned: {
    const uint64_t value = input.getUnsigned();
    if (value > max) {
      return outOfRange(result, value, name, typeName);
    }
    out = value;
    return true;
  }
  case BindingKind::Float: {
    const double value = input.getFloat();
    // NaN and 2^64 (what the uint64 maximum rounds to) are refused so the truncation is defined.
    if (!(value >= 0.0 && value <= static_cast<double>(max) && value < kTwoTo64)) {
      return outOfRange(result, value, name, typeName);
    }
    out = static_cast<uint64_t>(value);
    return true;
  }
  case BindingKind::String: {
    ParsedText parsed{std::string(input.getString())};
    errno = 0;
    const unsigned long long value = std::strtoull(parsed.text.c_str(), &parsed.end, 0);
    const bool overflow = errno == ERANGE;
    if (parsed.leftover()) {
      return fail(result, formatMessage(kIncorrectFormat, parsed.text, name, typeName));
    }
    // strtoull negates a "-1" into a huge value instead of refusing it. Only a first character
    // "-" is refused: after white space the negated value stands as strtoull reads it.
    if (overflow || value > max || parsed.text.starts_with('-')) {
      return outOfRange(result, parsed.text, name, typeName);
    }
    out = value;
    return true;
  }
  case BindingKind::Enum: {
    const int32_t number = input.getEnum().number;
    if (number < 0 || static_cast<uint64_t>(number) > max) {
      return outOfRange(result, number, name, typeName);
    }
    out = static_cast<uint64_t>(number);
    return true;
  }
  default:
    return fail(result, formatMessage(kInvalidType, name, typeName, kindName(input)));
  }
}

namespace {

// v < min and v > max for a signed value against double bounds, as 64-bit integers when the
// bound lies within the int64 range.
bool signedBelow(int64_t value, double min) {
  if (std::isnan(min) || min < -kTwoTo63) {
    return false;
  }
  if (min >= kTwoTo63) {
    return true;
  }
  return value < static_cast<int64_t>(min);
}

bool signedAbove(int64_t value, double max) {
  if (std::isnan(max) || max >= kTwoTo63) {
    return false;
  }
  if (max < -kTwoTo63) {
    return true;
  }
  return value > static_cast<int64_t>(max);
}

} // namespace

bool convertDouble(BindingResult& result, double& out, const BindingProperty& input,
                   std::string_view name, double min, double max, std::string_view typeName) {
  if (!result.ok()) {
    return false;
  }
  switch (input.kind()) {
  case BindingKind::Empty:
    return fail(result, formatMessage(kRequired, name));
  case BindingKind::Signed: {
    const int64_t value = input.getSigned();
    if (signedBelow(value, min) || signedAbove(value, max)) {
      return outOfRange(result, value, name, typeName);
    }
    out = static_cast<double>(value);
    return true;
  }
  case BindingKind::Unsigned: {
    const uint64_t value = input.getUnsigned();
    if (max < kTwoTo64 && (max < 0.0 || value > static_cast<uint64_t>(max))) {
      return outOfRange(result, value, name, typeName);
    }
    out = static_cast<double>(value);
    return true;
  }
  case BindingKind::Float: {
    const double value = input.getFloat();
    if (min > value || value > max) {
      return outOfRange(result, value, name, typeName);
    }
    out = value;
    return true;
  }
  case BindingKind::String: {
    ParsedText parsed{std::string(input.getString())};
    errno = 0;
    const double value = std::strtod(parsed.text.c_str(), &parsed.end);
    const bool overflow = errno == ERANGE;
    if (parsed.leftover()) {
      return fail(result, formatMessage(kIncorrectFormat, parsed.text, name, typeName));
    }
    if (overflow || value < min || value > max) {
      return outOfRange(result, parsed.text, name, typeName);
    }
    out = value;
    return true;
  }
  case BindingKind::Enum: {
    const int32_t number = input.getEnum().number;
    if (signedBelow(number, min) || signedAbove(number, max)) {
      return outOfRange(result, number, name, typeName);
    }
    out = number;
    return true;
  }
  default:
    return fail(result, formatMessage(kInvalidType, name, typeName, kindName(input)));
  }
}

bool convertText(BindingResult& result, std::string& out, const BindingProperty& input,
                 std::string_view name, const BindingTypeRegistry* registry) {
  if (!result.ok()) {
    return false;
  }
  switch (input.kind()) {
  case BindingKind::Empty:
    return fail(result, formatMessage(kRequired, name));
  case BindingKind::String:
    out.assign(input.getString());
    return true;
  case BindingKind::Enum: {
    const BindingEnum value = input.getEnum();
    const char* enumerator = registry ? registry->enumValueName(value.type, value.number) : nullptr;
    if (enumerator == nullptr) {
      return fail(result, formatMessage(kNotValidEnumValue, value.number, name));
    }
    out.assign(enumerator);
    return true;
  }
  default:
    return fail(result, formatMessage(kNotString, name));
  }
}

bool convertEnum(BindingResult& result, int32_t& out, const BindingProperty& input,
                 std::string_view name, const BindingTypeDescriptor* descriptor) {
  if (!result.ok()) {
    return false;
  }
  const std::string_view enumName = descriptor ? std::string_view(descriptor->name) : "";
  const auto accept = [&](int32_t number) {
    if (!BindingTypeRegistry::enumHasNumber(descriptor, number)) {
      return false;
    }
    out = number;
    return true;
  };
  switch (input.kind()) {
  case BindingKind::Empty:
    return fail(result, formatMessage(kRequired, name));
  case BindingKind::Signed:
  case BindingKind::Unsigned: {
    // Only the low 32 bits name the enumerator.
    const uint64_t bits = input.kind() == BindingKind::Signed
                              ? static_cast<uint64_t>(input.getSigned())
                              : input.getUnsigned();
    const auto number = static_cast<int32_t>(static_cast<uint32_t>(bits));
    if (accept(number)) {
      return true;
    }
    return fail(result, formatMessage(kNotValidEnum, number, enumName, name));
  }
  case BindingKind::String: {
    const std::string_view text = input.getString();
    if (descriptor != nullptr) {
      const auto found = descriptor->values.find(std::string(text));
      if (found != descriptor->values.end()) {
        out = found->second.number;
        return true;
      }
    }
    // Numeric text: parsed with the int32 rules in a scratch result, whose message is replaced
    // by the enum's own.
    BindingResult scratch;
    int64_t number = 0;
    if (convertSigned(scratch, number, input, name, INT32_MIN, INT32_MAX, enumName) &&
        accept(static_cast<int32_t>(number))) {
      return true;
    }
    return fail(result, formatMessage(kNotValidEnum, text, enumName, name));
  }
  case BindingKind::Enum: {
    const int32_t number = input.getEnum().number;
    if (accept(number)) {
      return true;
    }
    return fail(result, formatMessage(kNotValidEnum, number, enumName, name));
  }
  default:
    return fail(result, formatMessage(kEnumInvalidType, name, kindName(input)));
  }
}

} // namespace tav
