// Signed tokens and the token JSON reader. The input is cut at zero bytes into a header text, a
// payload text and a signature; the target signs them (Base64url) into a token, so that the
// fuzzer mutates JSON rather than Base64, and also reads the raw input as a token of its own.
//
// Checks: only the reader's own exceptions escape it; what it reads writes back to text that
// reads to the same value; a signed part decodes to exactly its text; a part that reads as an
// object is the token's value for that part; and the payload's dynamic value survives JSON.
#include "fuzz_support.h"

#include "banners/json_token_reader.h"
#include "banners/json_web_token.h"
#include "foundation/base64.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace {

using tav::json::Value;

// Text the token reader reads back to `value`; false when the value holds a number that no
// text gives back (the infinities of an overflowing literal).
bool writeTokenJson(const Value& value, std::string& out) {
  switch (value.kind()) {
  case Value::Kind::Null:
    out += "null";
    return true;
  case Value::Kind::Bool:
    out += value.asBool() ? "true" : "false";
    return true;
  case Value::Kind::Number: {
    if (!std::isfinite(value.asNumber())) {
      return false;
    }
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", value.asNumber());
    out += number;
    return true;
  }
  case Value::Kind::String:
    out += '"';
    for (char c : value.asString()) {
      if (c == '"' || c == '\\') {
        out += '\\';
      }
      out += c;
    }
    out += '"';
    return true;
  case Value::Kind::Array:
  case Value::Kind::Object: {
    const bool object = value.isObject();
    out += object ? '{' : '[';
    for (size_t i = 0; i < value.size(); ++i) {
      out += i ? "," : "";
      if (object) {
        writeTokenJson(Value(value.name(i)), out);
        out += ':';
      }
      if (!writeTokenJson(value.items()[i], out)) {
        return false;
      }
    }
    out += object ? '}' : ']';
    return true;
  }
  }
  return false;
}

// The reader's value, or nothing when it throws one of its own exceptions. Any other exception
// escapes and the fuzzer reports it.
std::optional<Value> readTokenJson(std::string_view text) {
  try {
    return tav::json::Reader::read(text);
  } catch (const tav::json::Exception&) {
    return std::nullopt;
  }
}

std::string base64Url(std::string_view bytes) {
  std::string text = tav::encodeBase64(bytes);
  while (!text.empty() && text.back() == '=') {
    text.pop_back();
  }
  for (char& c : text) {
    c = c == '+' ? '-' : c == '/' ? '_' : c;
  }
  return text;
}

void checkPart(std::string_view part, const std::string& decodedText, const Value& decodedValue) {
  using tav::fuzz::check;
  if (part.empty()) {
    return; // an empty segment never decodes; the token marks it an error
  }
  check(decodedText == part, "a signed part does not decode to its text", decodedText, part);
  const std::optional<Value> direct = readTokenJson(part);
  if (direct && direct->isObject()) {
    check(*direct == decodedValue, "the token's part differs from the part read alone", part);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::string_view input = fuzz::asText(data, size);
  const std::vector<std::string_view> parts = fuzz::splitParts(input, 3);

  // The payload text read alone, then written and read again.
  if (const std::optional<Value> value = readTokenJson(parts[1])) {
    fuzz::check(value->isObject(), "the reader returned a top level that is not an object");
    std::string written;
    if (writeTokenJson(*value, written)) {
      const std::optional<Value> again = readTokenJson(written);
      fuzz::check(again.has_value() && *again == *value, "token JSON does not read back", written,
                  parts[1]);
    }
  }

  // A token signed from the parts.
  banners::JsonWebToken token(base64Url(parts[0]) + "." + base64Url(parts[1]) + "." +
                              base64Url(parts[2]));
  fuzz::check(token.segments().size() == 3, "a three-part token does not split in three");
  checkPart(parts[0], token.headerText(), token.header());
  checkPart(parts[1], token.payloadText(), token.payload());
  if (!parts[2].empty()) {
    fuzz::check(token.signature() == parts[2], "the signature does not decode to its bytes");
  }
  const BindingProperty payload = token.payloadValue();
  fuzz::check(payload.isStructure(), "a token payload value that is not a structure");
  fuzz::checkJsonRoundTrip(payload);

  // The raw input as a token.
  banners::JsonWebToken raw{std::string(input)};
  fuzz::checkJsonRoundTrip(raw.payloadValue());
  (void)raw.header();
  (void)raw.signature();
  return 0;
}
