// JsonWebToken, the reader of the signed inventory tokens, and its URL-safe Base64 helper.
//
// A token is three Base64url segments separated by ".": header, payload, signature. The
// signature is kept but never verified (the inventory plugin is trusted through the host), and
// the header is never used by the service; only the payload matters.
//
//   JsonWebToken token(text);
//   BindingProperty payload = token.payloadValue(); // decodes on first use
//
// A part that is missing, empty or not a readable JSON object becomes {"error": true}, so a
// broken token yields a payload without "items" instead of an error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "banners/json_token_reader.h"
#include "binding/binding_property.h"

namespace tav::banners {

// Signature text of a token that has no third segment, or an empty one.
inline constexpr std::string_view kNoSignatureMarker = "NO_VALID_CRYPTO_SEGMENT_FOUND_IN_TOKEN";

class JsonWebToken {
public:
  explicit JsonWebToken(std::string token) : token_(std::move(token)) {}

  const std::string& token() const { return token_; }
  bool decoded() const { return decoded_; }

  // The accessors below decode the token on first use; decoding runs at most once.
  // The token split at every ".", empty segments kept; a token without "." is one segment.
  const std::vector<std::string>& segments();
  const std::string& headerText();
  const std::string& payloadText();
  // The decoded third segment, or kNoSignatureMarker.
  const std::string& signature();
  const json::Value& header();
  const json::Value& payload();

  // The payload as a dynamic value: null becomes empty, numbers become float, objects
  // structures and arrays collections.
  BindingProperty payloadValue();
  // The same value read into `target` (a root or a part of a tree), replacing what it held.
  // The text goes straight into the value; no json::Value is built on the way.
  void readPayloadInto(BindingProperty& target);

  // Decodes the Base64 of the payload segment; the header's and the signature's are decoded
  // when first asked for. The header and payload are read as JSON only when header() or
  // payload() first asks for them.
  void decode();

private:
  std::string token_;
  std::vector<std::string> segments_;
  std::string headerText_;
  std::string payloadText_;
  std::string signature_;
  json::Value header_;
  json::Value payload_;
  bool decoded_ = false;
  bool headerDecoded_ = false;
  bool signatureDecoded_ = false;
  bool segmentsListed_ = false;
  bool headerRead_ = false;
  bool payloadRead_ = false;
};

// A JSON value as a dynamic value, with the mapping of payloadValue.
void ToBindingProperty(const json::Value& value, BindingProperty& out);

} // namespace tav::banners
