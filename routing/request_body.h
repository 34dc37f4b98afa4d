// Request bodies and single argument texts turned into values, chosen by content type.
//
//   RequestBody body{"application/json; charset=utf-8", bytes, length};
//   bindBody(result, values, function, record, body);   // into the first `Body` argument
//
// A content type "is" a literal when it begins with it, ignoring ASCII case, so parameters may
// follow: "APPLICATION/JSON; charset=utf-8" is JSON.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_descriptor.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace tav {

class RouteRecord;

// The formats a body can be read in; the codes are those of the response record's body format.
enum class BodyFormat : uint32_t {
  None = 0,
  Json = 1,
  Yaml = 2,
  MessagePack = 3,
};

inline constexpr char kUnsupportedBodyContentType[] = "Unsupported body content type";
inline constexpr char kExtraMessagePackData[] = "Extra MessgePack data found in body";

// True when contentType begins with literal, ignoring ASCII case.
bool contentTypeIs(std::string_view contentType, std::string_view literal);

// "application/x-msgpack..." MessagePack; "application/json" or "application/vnd.api+json" JSON;
// "application/x-yaml" YAML; anything else (including "text/x-yaml") None.
BodyFormat bodyFormatOf(std::string_view contentType);

// A request's body as the host delivers it. data is null when there is no body; the bytes need
// not be zero-terminated, and exactly length of them are read.
struct RequestBody {
  std::string_view contentType;
  const uint8_t* data = nullptr;
  uint32_t length = 0;
};

// Reads a whole body in the format its content type selects; JSON and YAML read it as a text
// that ends at its first zero byte, and a body without data as the empty text. Fails with
// kUnsupportedBodyContentType for an unknown type, with kExtraMessagePackData when a MessagePack
// value does not use every byte, and otherwise with the reader's own message.
BindingResult decodeBody(const RequestBody& body);

// Gives the body to the first argument, in declaration order, whose location is `Body`; does
// nothing when there is no body or no such argument. On success the decoded value replaces that
// argument's value and result is left as it was (an earlier error stays); on failure the body's
// error replaces whatever result held. values holds one value per declared argument.
void bindBody(BindingResult& result, std::span<BindingProperty> values,
              const BindingFunctionDescriptor& function, const RouteRecord& record,
              const RequestBody& body);

// Decodes one argument text into target, examining content type and text in order:
// "application/x-msgpack" (and "-ext") or, when sniffing with no content type, a first byte that
// opens a MessagePack map or array: MessagePack (bytes after the first value are ignored);
// "application/json" or, sniffing, "{" or "[" after leading spaces: JSON; "text/x-yaml" or,
// sniffing, "---" after leading spaces: YAML; "application/octet-stream": a blob of the text's
// bytes; otherwise the text as a string. On success the value replaces target. A reader failure
// records "Couldn't deserialize <format> value for parameter '<argument>' of '<function>':
// <reader message>" on result and returns false.
bool decodeArgumentText(BindingResult& result, BindingProperty& target,
                        const BindingFunctionDescriptor& function,
                        const BindingArgumentDescriptor& argument, std::string_view text,
                        std::string_view contentType, bool sniff);

} // namespace tav
