// Decoding of signed inventory tokens into their header, payload and signature.
#include "banners/json_web_token.h"

#include <algorithm>
#include <cstdint>

#include "banners/token_part_reader.h"
#include "foundation/base64.h"

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

} // namespace

void JsonWebToken::decode() {
  if (decoded_) {
    return;
  }
  // An empty or missing segment leaves its text empty; header() and payload() tell that apart
  // from an empty decoding by the segment itself. The header and the signature, which the
  // service reads no further, are decoded only when asked for.
  if (const std::string_view payload = Segment(token_, 1); !payload.empty()) {
    payloadText_ = decodeBase64UrlToString(payload);
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
  if (!headerDecoded_) {
    if (const std::string_view header = Segment(token_, 0); !header.empty()) {
      headerText_ = decodeBase64UrlToString(header);
    }
    headerDecoded_ = true;
  }
  return headerText_;
}

const std::string& JsonWebToken::payloadText() {
  decode();
  return payloadText_;
}

const std::string& JsonWebToken::signature() {
  decode();
  if (!signatureDecoded_) {
    const std::string_view signature = Segment(token_, 2);
    signature_ =
        signature.empty() ? std::string(kNoSignatureMarker) : decodeBase64UrlToString(signature);
    signatureDecoded_ = true;
  }
  return signature_;
}

const json::Value& JsonWebToken::header() {
  decode();
  if (!headerRead_) {
    header_ = Segment(token_, 0).empty() ? ErrorPart() : ReadPart(headerText());
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
