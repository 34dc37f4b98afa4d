// Decoding of signed inventory tokens into their header, payload and signature.
#include "banners/json_web_token.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

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

uint64_t ByteSwapped(uint64_t value) {
#if defined(_MSC_VER) && !defined(__clang__)
  return _byteswap_uint64(value);
#else
  return __builtin_bswap64(value);
#endif
}

} // namespace

// Decodes in place of a sized string rather than through the foundation's copy of the text with
// the characters mapped: payload segments of large inventories are megabytes long. The decoding
// stops at the first character outside both alphabets, as the foundation's does.
std::string DecodeBase64Url(std::string_view segment) {
  const auto* in = reinterpret_cast<const uint8_t*>(segment.data());
  const size_t size = segment.size();
  // Room for a whole decoding and for the last eight-byte store of six decoded bytes.
  std::string bytes(size / 4 * 3 + 8, '\0');
  char* out = bytes.data();
  auto sextet = [&](size_t i) { return static_cast<int32_t>(kUrlDecodeTable[in[i]]); };
  size_t at = 0;
  // Eight characters at a time while all of them decode: six bytes in one store.
  for (; at + 8 <= size; at += 8) {
    const int32_t a = sextet(at), b = sextet(at + 1), c = sextet(at + 2), d = sextet(at + 3);
    const int32_t e = sextet(at + 4), f = sextet(at + 5), g = sextet(at + 6), h = sextet(at + 7);
    if ((a | b | c | d | e | f | g | h) < 0) {
      break;
    }
    const uint64_t group = uint64_t(a) << 58 | uint64_t(b) << 52 | uint64_t(c) << 46 |
                           uint64_t(d) << 40 | uint64_t(e) << 34 | uint64_t(f) << 28 |
                           uint64_t(g) << 22 | uint64_t(h) << 16;
    const uint64_t word = std::endian::native == std::endian::little ? ByteSwapped(group) : group;
    std::memcpy(out, &word, 8);
    out += 6;
  }
  // The rest one character at a time, up to the first that does not decode.
  uint32_t group = 0;
  size_t pending = 0;
  for (; at < size && kUrlDecodeTable[in[at]] >= 0; ++at) {
    group = group << 6 | static_cast<uint32_t>(sextet(at));
    if (++pending == 4) {
      *out++ = static_cast<char>(group >> 16);
      *out++ = static_cast<char>(group >> 8);
      *out++ = static_cast<char>(group);
      group = 0;
      pending = 0;
    }
  }
  // Two leftover characters give one byte, three give two; a single one gives none.
  if (pending >= 2) {
    group <<= 6 * (4 - pending);
    *out++ = static_cast<char>(group >> 16);
    if (pending == 3) {
      *out++ = static_cast<char>(group >> 8);
    }
  }
  bytes.resize(static_cast<size_t>(out - bytes.data()));
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
