// Decoding of signed inventory tokens into their header, payload and signature.
#include "banners/json_web_token.h"

#include <cstdint>

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

std::vector<std::string> SplitAtDots(std::string_view token) {
  std::vector<std::string> segments;
  size_t start = 0;
  while (true) {
    size_t dot = token.find('.', start);
    if (dot == std::string_view::npos) {
      segments.emplace_back(token.substr(start));
      return segments;
    }
    segments.emplace_back(token.substr(start, dot - start));
    start = dot + 1;
  }
}

} // namespace

std::string DecodeBase64Url(std::string_view segment) {
  std::vector<uint8_t> bytes = decodeBase64Url(segment);
  return std::string(bytes.begin(), bytes.end());
}

void JsonWebToken::decode() {
  if (decoded_) {
    return;
  }
  segments_ = SplitAtDots(token_);

  if (segments_.empty() || segments_[0].empty()) {
    header_ = ErrorPart();
  } else {
    headerText_ = DecodeBase64Url(segments_[0]);
    header_ = ReadPart(headerText_);
  }

  if (segments_.size() < 2 || segments_[1].empty()) {
    payload_ = ErrorPart();
  } else {
    payloadText_ = DecodeBase64Url(segments_[1]);
    payload_ = ReadPart(payloadText_);
  }

  if (segments_.size() >= 3 && !segments_[2].empty()) {
    signature_ = DecodeBase64Url(segments_[2]);
  } else {
    signature_ = kNoSignatureMarker;
  }
  decoded_ = true;
}

const std::vector<std::string>& JsonWebToken::segments() {
  decode();
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
  return header_;
}

const json::Value& JsonWebToken::payload() {
  decode();
  return payload_;
}

BindingProperty JsonWebToken::payloadValue() {
  decode();
  BindingProperty value;
  ToBindingProperty(payload_, value);
  return value;
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
