// Decoding of signed inventory tokens into their header, payload and signature.
#include "banners/json_web_token.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "banners/token_part_reader.h"

namespace tav::banners {
namespace {

json::Value ErrorPart() {
  json::Value part = json::Value::object();
  part.insert("error", true);
  return part;
}

// A part that cannot be read becomes {"error": true}. Grammatical errors are treated like
// lexical ones: the text comes from another plugin, and a throw here would reach the host.
json::Value ReadPart(const std::string& text) {
  try {
    return json::Reader::read(text);
  } catch (const json::Exception&) {
    return ErrorPart();
  }
}

// Segment `index` of the token split at every ".", or an empty view when there are fewer.
std::string_view Segment(std::string_view token, size_t index) {
  size_t start = 0;
  for (; index > 0; --index) {
    const size_t dot = token.find('.', start);
    if (dot == std::string_view::npos) {
      return {};
    }
    start = dot + 1;
  }
  return token.substr(start, token.find('.', start) - start);
}

// Both alphabets at once: "+" and "-" are 62, "/" and "_" are 63, which is what mapping the
// URL-safe characters to the standard ones and decoding gives; -1 stops the decoding.
constexpr std::array<int8_t, 256> MakeUrlDecodeTable() {
  std::array<int8_t, 256> table{};
  for (int8_t& entry : table) {
    entry = -1;
  }
  for (int i = 0; i < 26; ++i) {
    table['A' + i] = static_cast<int8_t>(i);
    table['a' + i] = static_cast<int8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) {
    table['0' + i] = static_cast<int8_t>(52 + i);
  }
  table['+'] = table['-'] = 62;
  table['/'] = table['_'] = 63;
  return table;
}

constexpr std::array<int8_t, 256> kUrlDecodeTable = MakeUrlDecodeTable();

} // namespace

// Decodes in place of a sized string rather than through the foundation's copy of the text with
// the characters mapped: payload segments of large inventories are megabytes long.
std::string DecodeBase64Url(std::string_view segment) {
  size_t usable = 0;
  while (usable < segment.size() && kUrlDecodeTable[static_cast<uint8_t>(segment[usable])] >= 0) {
    ++usable;
  }
  const size_t rest = usable % 4;
  std::string bytes(usable / 4 * 3 + (rest == 3 ? 2 : rest == 2 ? 1 : 0), '\0');
  auto sextet = [&](size_t i) {
    return static_cast<uint32_t>(kUrlDecodeTable[static_cast<uint8_t>(segment[i])]);
  };
  size_t in = 0;
  size_t out = 0;
  for (; in + 4 <= usable; in += 4, out += 3) {
    const uint32_t group =
        sextet(in) << 18 | sextet(in + 1) << 12 | sextet(in + 2) << 6 | sextet(in + 3);
    bytes[out] = static_cast<char>(group >> 16);
    bytes[out + 1] = static_cast<char>(group >> 8);
    bytes[out + 2] = static_cast<char>(group);
  }
  if (rest >= 2) {
    const uint32_t group =
        sextet(in) << 18 | sextet(in + 1) << 12 | (rest == 3 ? sextet(in + 2) << 6 : 0);
    bytes[out] = static_cast<char>(group >> 16);
    if (rest == 3) {
      bytes[out + 1] = static_cast<char>(group >> 8);
    }
  }
  return bytes;
}

void JsonWebToken::decode() {
  if (decoded_) {
    return;
  }
  // An empty or missing segment leaves its text empty; header() and payload() tell that apart
  // from an empty decoding by the segment itself.
  if (const std::string_view header = Segment(token_, 0); !header.empty()) {
    headerText_ = DecodeBase64Url(header);
  }
  if (const std::string_view payload = Segment(token_, 1); !payload.empty()) {
    payloadText_ = DecodeBase64Url(payload);
  }
  if (const std::string_view signature = Segment(token_, 2); !signature.empty()) {
    signature_ = DecodeBase64Url(signature);
  } else {
    signature_ = kNoSignatureMarker;
  }
  decoded_ = true;
}

const std::vector<std::string>& JsonWebToken::segments() {
  decode();
  if (!segmentsListed_) {
    // Counted only here: the payload alone is megabytes long in large inventories.
    const size_t count = static_cast<size_t>(std::count(token_.begin(), token_.end(), '.')) + 1;
    for (size_t i = 0; i < count; ++i) {
      segments_.emplace_back(Segment(token_, i));
    }
    segmentsListed_ = true;
  }
  return segments_;
}

const std::string& JsonWebToken::headerText() {
  decode();
  return headerText_;
}

const std::string& JsonWebToken::payloadText() {
  decode();
  return payloadText_;
}

const std::string& JsonWebToken::signature() {
  decode();
  return signature_;
}

const json::Value& JsonWebToken::header() {
  decode();
  if (!headerRead_) {
    header_ = Segment(token_, 0).empty() ? ErrorPart() : ReadPart(headerText_);
    headerRead_ = true;
  }
  return header_;
}

const json::Value& JsonWebToken::payload() {
  decode();
  if (!payloadRead_) {
    payload_ = Segment(token_, 1).empty() ? ErrorPart() : ReadPart(payloadText_);
    payloadRead_ = true;
  }
  return payload_;
}

BindingProperty JsonWebToken::payloadValue() {
  BindingProperty value;
  readPayloadInto(value);
  return value;
}

void JsonWebToken::readPayloadInto(BindingProperty& target) {
  decode();
  if (Segment(token_, 1).empty() || !ReadTokenPart(payloadText_, target)) {
    target.clear();
    target.member("error") = true;
  }
}

void ToBindingProperty(const json::Value& value, BindingProperty& out) {
  // Recursion is bounded: parsed values nest at most kMaxDocumentDepth deep.
  switch (value.kind()) {
  case json::Value::Kind::Null:
    out.clear();
    return;
  case json::Value::Kind::Bool:
    out = value.asBool();
    return;
  case json::Value::Kind::Number:
    out = value.asNumber();
    return;
  case json::Value::Kind::String:
    out = value.asString();
    return;
  case json::Value::Kind::Array:
    out.makeCollection();
    out.reserve(value.size());
    for (const json::Value& element : value.items()) {
      ToBindingProperty(element, out.append());
    }
    return;
  case json::Value::Kind::Object:
    out.makeStructure();
    for (size_t i = 0; i < value.size(); ++i) {
      ToBindingProperty(value.items()[i], out.member(value.name(i)));
    }
    return;
  }
}

} // namespace tav::banners
