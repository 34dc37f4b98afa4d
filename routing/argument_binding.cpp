// The binding of a call's arguments: sources in order, locations, index paths and typed values.
#include "routing/argument_binding.h"

#include "binding/host_value_conversion.h"
#include "foundation/message_format.h"
#include "routing/percent_decoding.h"
#include "routing/route_table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {
namespace {

constexpr char kUnknownArgument[] = "Unknown argument '%1' for '%2'.";
constexpr char kInvalidLocation[] = "Argument '%1' for '%2' was specified in an invalid location.";
constexpr char kIndexFormat[] = "Index %1 is in an incorrect format";
constexpr char kIndexRange[] = "Index %1 is out of range";
constexpr char kExpectedValue[] = "Expected value for argument '%1'.";

constexpr uint64_t kIndexLimit = uint64_t{1} << 31;

const char* textOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower;
}

bool isDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

enum class IndexParse { Ok, Format, Range };

// An unsigned number with automatic base, as strtoul with base 0 reads it: "0x" followed by a
// hexadecimal digit selects base 16, another leading "0" base 8. step begins with a digit.
IndexParse parseIndex(std::string_view step, uint64_t& index) {
  unsigned base = 10;
  size_t at = 0;
  if (step.size() > 2 && step[0] == '0' && (step[1] == 'x' || step[1] == 'X') &&
      hexDigitValue(step[2]) < 16) {
    base = 16;
    at = 2;
  } else if (step[0] == '0') {
    base = 8;
  }
  uint64_t value = 0;
  bool tooLarge = false;
  for (; at < step.size() && hexDigitValue(step[at]) < base; ++at) {
    value = value * base + hexDigitValue(step[at]);
    // Stop accumulating once past the limit so the value never wraps.
    if (value >= kIndexLimit) {
      tooLarge = true;
      value = kIndexLimit;
    }
  }
  if (at != step.size()) {
    return IndexParse::Format;
  }
  if (tooLarge) {
    return IndexParse::Range;
  }
  index = value;
  return IndexParse::Ok;
}

bool takesSniffing(BindingTypeCode code) {
  return code == BindingTypeCode::Object || code == BindingTypeCode::Vector ||
         code == BindingTypeCode::Struct;
}

class ArgumentBinder {
public:
  ArgumentBinder(BindingResult& result, const BindingFunctionDescriptor& function,
                 const RouteRecord& record, std::vector<BindingProperty>& values)
      : result_(result), function_(function), record_(record), values_(values) {}

  void setRequiredBoolsFalse() {
    for (size_t i = 0; i < values_.size(); ++i) {
      const BindingArgumentDescriptor& argument = function_.arguments[i];
      if (argument.type.code == BindingTypeCode::Bool && !argument.optional &&
          values_[i].isEmpty()) {
        values_[i] = false;
      }
    }
  }

  bool bindHeaders(std::span<const host::HostHeaderPair> headers) {
    for (size_t i = 0; i < values_.size(); ++i) {
      const ArgumentLocation location = record_.location(i);
      if (location != ArgumentLocation::Any && location != ArgumentLocation::Header) {
        continue;
      }
      const std::string& name = function_.arguments[i].name;
      const std::string lower = lowerAscii(name);
      const char* found = nullptr;
      // A later pair of the same name replaces an earlier one.
      for (const host::HostHeaderPair& pair : headers) {
        if (textOrEmpty(pair.name) == lower) {
          found = textOrEmpty(pair.value);
        }
      }
      if (found != nullptr && !bindText(name, found, ArgumentLocation::Header)) {
        return false;
      }
    }
    return true;
  }

  bool bindTexts(const std::unordered_map<std::string, std::string>& texts,
                 ArgumentLocation location) {
    for (const auto& [name, text] : texts) {
      if (!bindText(name, text, location)) {
        return false;
      }
    }
    return true;
  }

  bool bindTyped(std::span<const host::HostTypedArgument> typed, size_t capturedCount) {
    for (size_t position = 0; position < typed.size(); ++position) {
      const host::HostTypedArgument& argument = typed[position];
      size_t index = 0;
      if (argument.name != nullptr) {
        index = find(argument.name);
        if (index == kNotFound) {
          return fail(formatMessage(kUnknownArgument, argument.name, function_.name));
        }
      } else {
        // Positional arguments continue after those the path supplied.
        index = position + capturedCount;
        if (index >= values_.size()) {
          return fail(
              formatMessage(kUnknownArgument, static_cast<uint64_t>(index), function_.name));
        }
      }
      BindingResult converted;
      if (!fromHostValue(converted, argument.value, function_.arguments[index].name)) {
        return fail(converted.errorMessage());
      }
      values_[index] = std::move(converted.value());
    }
    return true;
  }

private:
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  size_t find(std::string_view name) const {
    for (size_t i = 0; i < values_.size(); ++i) {
      if (function_.arguments[i].name == name) {
        return i;
      }
    }
    return kNotFound;
  }

  bool fail(std::string_view message) {
    result_.setError(message);
    return false;
  }

  bool bindText(std::string_view name, std::string_view text, ArgumentLocation location) {
    const size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const size_t index = find(base);
    if (index == kNotFound) {
      return fail(formatMessage(kUnknownArgument, base, function_.name));
    }
    const ArgumentLocation allowed = record_.location(index);
    if (allowed != ArgumentLocation::Any && allowed != location) {
      return fail(formatMessage(kInvalidLocation, base, function_.name));
    }
    const BindingArgumentDescriptor& argument = function_.arguments[index];
    BindingProperty& value = values_[index];
    if (dot != std::string_view::npos) {
      return bindIndexed(argument, value, name.substr(dot + 1), text);
    }
    if (text.empty()) {
      return bindEmpty(argument, value);
    }
    return decodeArgumentText(result_, value, function_, argument, text, {},
                              takesSniffing(argument.type.code));
  }

  bool bindEmpty(const BindingArgumentDescriptor& argument, BindingProperty& value) {
    switch (argument.type.code) {
    case BindingTypeCode::Bool:
      value = true;
      return true;
    case BindingTypeCode::Object:
    case BindingTypeCode::Struct:
      value.clear();
      value.makeStructure();
      return true;
    case BindingTypeCode::Vector:
      value.clear();
      value.makeCollection();
      return true;
    default:
      return fail(formatMessage(kExpectedValue, argument.name));
    }
  }

  bool bindIndexed(const BindingArgumentDescriptor& argument, BindingProperty& value,
                   std::string_view path, std::string_view text) {
    BindingProperty* target = &value;
    while (true) {
      const size_t dot = path.find('.');
      const std::string_view step = path.substr(0, dot);
      if (!step.empty() && isDecimalDigit(step.front())) {
        uint64_t index = 0;
        switch (parseIndex(step, index)) {
        case IndexParse::Format:
          return fail(formatMessage(kIndexFormat, step));
        case IndexParse::Range:
          return fail(formatMessage(kIndexRange, step));
        case IndexParse::Ok:
          break;
        }
        const size_t size = target->isCollection() ? target->size() : 0;
        if (index >= size) {
          const size_t added = static_cast<size_t>(index) + 1 - size;
          if (index >= kMaxIndexedArrayLength ||
              added > kMaxIndexedElementsPerCall - addedElements_) {
            return fail(formatMessage(kIndexRange, step));
          }
          addedElements_ += added;
        }
        target->makeCollection();
        target = &target->element(static_cast<size_t>(index));
      } else {
        target = &target->member(step);
      }
      if (dot == std::string_view::npos) {
        break;
      }
      path.remove_prefix(dot + 1);
    }
    return decodeArgumentText(result_, *target, function_, argument, text, {}, false);
  }

  BindingResult& result_;
  const BindingFunctionDescriptor& function_;
  const RouteRecord& record_;
  std::vector<BindingProperty>& values_;
  size_t addedElements_ = 0; // array elements created by index paths so far
};

} // namespace

RequestArguments requestArgumentsFromRequest(const host::HostRequest& request) {
  RequestArguments arguments;
  if (request.headers != nullptr) {
    arguments.headers = {request.headers, request.headerCount};
  }
  if (request.args != nullptr) {
    arguments.typedArguments = {request.args, request.argCount};
  }
  arguments.body.contentType = textOrEmpty(request.contentType);
  arguments.body.data = request.body;
  arguments.body.length = request.body != nullptr ? request.bodyLength : 0;
  return arguments;
}

std::vector<BindingProperty> bindArguments(BindingResult& result, const CallContext& call,
                                           const RequestArguments& request) {
  if (call.function == nullptr || call.record == nullptr) {
    return {};
  }
  return bindArguments(result, *call.function, *call.record, call.captured,
                       parseQueryString(call.path), request);
}

std::vector<BindingProperty>
bindArguments(BindingResult& result, const BindingFunctionDescriptor& function,
              const RouteRecord& record, const CapturedArguments& captured,
              const QueryParameters& query, const RequestArguments& request) {
  std::vector<BindingProperty> values(function.arguments.size());
  ArgumentBinder binder(result, function, record, values);
  binder.setRequiredBoolsFalse();
  // Each source runs only while no error has been recorded.
  if (result.ok() && binder.bindHeaders(request.headers) &&
      binder.bindTexts(captured, ArgumentLocation::Path) &&
      binder.bindTexts(query, ArgumentLocation::Query)) {
    binder.bindTyped(request.typedArguments, captured.size());
  }
  bindBody(result, values, function, record, request.body);
  return values;
}

} // namespace tav
