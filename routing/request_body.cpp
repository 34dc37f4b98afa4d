// Body decoding by content type and the decoding rules of single argument texts.
#include "routing/request_body.h"

#include "binding/message_pack_reader.h"
#include "foundation/message_format.h"
#include "routing/json_reader.h"
#include "routing/route_table.h"
#include "routing/yaml_reader.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace tav {
namespace {

constexpr std::string_view kMessagePackType = "application/x-msgpack";
constexpr std::string_view kMessagePackExtType = "application/x-msgpack-ext";
constexpr std::string_view kJsonType = "application/json";
constexpr std::string_view kJsonApiType = "application/vnd.api+json";
constexpr std::string_view kYamlBodyType = "application/x-yaml";
constexpr std::string_view kYamlTextType = "text/x-yaml";
constexpr std::string_view kOctetStreamType = "application/octet-stream";

constexpr char kMessagePackTextError[] =
    "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
constexpr char kJsonTextError[] = "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
constexpr char kYamlTextError[] = "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view skipSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// A MessagePack fixmap, fixarray, array 16/32 or map 16/32 header.
bool opensMessagePackContainer(std::string_view text) {
  if (text.empty()) {
    return false;
  }
  const auto first = static_cast<uint8_t>(text.front());
  return (first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF);
}

BindingResult readMessagePack(const uint8_t* data, size_t size, uint32_t& consumed) {
  BindingResult out;
  // The host's lengths are 32-bit; a longer text is read only as far as a 32-bit length goes.
  const auto length =
      static_cast<uint32_t>(std::min<size_t>(size, std::numeric_limits<uint32_t>::max()));
  decodeMessagePack(out, consumed, data, length);
  return out;
}

enum class TextFormat { MessagePack, Json, Yaml, Blob, String };

TextFormat textFormatOf(std::string_view text, std::string_view contentType, bool sniff) {
  const bool sniffing = sniff && contentType.empty();
  if (contentTypeIs(contentType, kMessagePackType) ||
      contentTypeIs(contentType, kMessagePackExtType) ||
      (sniffing && opensMessagePackContainer(text))) {
    return TextFormat::MessagePack;
  }
  const std::string_view trimmed = skipSpaces(text);
  if (contentTypeIs(contentType, kJsonType) ||
      (sniffing && !trimmed.empty() && (trimmed.front() == '{' || trimmed.front() == '['))) {
    return TextFormat::Json;
  }
  if (contentTypeIs(contentType, kYamlTextType) || (sniffing && trimmed.starts_with("---"))) {
    return TextFormat::Yaml;
  }
  if (contentTypeIs(contentType, kOctetStreamType)) {
    return TextFormat::Blob;
  }
  return TextFormat::String;
}

} // namespace

bool contentTypeIs(std::string_view contentType, std::string_view literal) {
  if (contentType.size() < literal.size()) {
    return false;
  }
  for (size_t i = 0; i < literal.size(); ++i) {
    if (lowerAscii(contentType[i]) != lowerAscii(literal[i])) {
      return false;
    }
  }
  return true;
}

BodyFormat bodyFormatOf(std::string_view contentType) {
  if (contentTypeIs(contentType, kMessagePackType)) {
    return BodyFormat::MessagePack;
  }
  if (contentTypeIs(contentType, kJsonType) || contentTypeIs(contentType, kJsonApiType)) {
    return BodyFormat::Json;
  }
  if (contentTypeIs(contentType, kYamlBodyType)) {
    return BodyFormat::Yaml;
  }
  return BodyFormat::None;
}

BindingResult decodeBody(const RequestBody& body) {
  // The body is not zero-terminated in the request record: the readers see no more than its
  // bytes, and the text readers end it at a zero byte among them as they would a terminator.
  const std::string_view text(reinterpret_cast<const char*>(body.data),
                              body.data != nullptr ? body.length : 0);
  switch (bodyFormatOf(body.contentType)) {
  case BodyFormat::Json:
    return readJson(text);
  case BodyFormat::Yaml:
    return readYaml(text);
  case BodyFormat::MessagePack: {
    uint32_t consumed = 0;
    BindingResult decoded = readMessagePack(body.data, text.size(), consumed);
    if (decoded.ok() && consumed != body.length) {
      decoded.setError(kExtraMessagePackData);
    }
    return decoded;
  }
  case BodyFormat::None:
    break;
  }
  BindingResult unsupported;
  unsupported.setError(kUnsupportedBodyContentType);
  return unsupported;
}

void bindBody(BindingResult& result, std::span<BindingProperty> values,
              const BindingFunctionDescriptor& function, const RouteRecord& record,
              const RequestBody& body) {
  if (body.data == nullptr) {
    return;
  }
  const size_t count = std::min(values.size(), function.arguments.size());
  for (size_t index = 0; index < count; ++index) {
    if (record.location(index) != ArgumentLocation::Body) {
      continue;
    }
    BindingResult decoded = decodeBody(body);
    if (decoded.ok()) {
      values[index] = std::move(decoded.value());
    } else {
      result.setError(decoded.errorMessage());
    }
    return;
  }
}

bool decodeArgumentText(BindingResult& result, BindingProperty& target,
                        const BindingFunctionDescriptor& function,
                        const BindingArgumentDescriptor& argument, std::string_view text,
                        std::string_view contentType, bool sniff) {
  BindingResult decoded;
  const char* failure = nullptr;
  switch (textFormatOf(text, contentType, sniff)) {
  case TextFormat::MessagePack: {
    uint32_t consumed = 0;
    decoded = readMessagePack(reinterpret_cast<const uint8_t*>(text.data()), text.size(), consumed);
    failure = kMessagePackTextError;
    break;
  }
  case TextFormat::Json:
    decoded = readJson(text);
    failure = kJsonTextError;
    break;
  case TextFormat::Yaml:
    decoded = readYaml(text);
    failure = kYamlTextError;
    break;
  case TextFormat::Blob:
    target.setBlob(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return true;
  case TextFormat::String:
    target = text;
    return true;
  }
  if (!decoded.ok()) {
    result.setError(formatMessage(failure, argument.name, function.name, decoded.errorMessage()));
    return false;
  }
  target = std::move(decoded.value());
  return true;
}

} // namespace tav
