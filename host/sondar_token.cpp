// Base64url encoding and the assembly of sondar inventory tokens.
#include "host/sondar_token.h"

#include <cstdint>

namespace tav::host {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

} // namespace

std::string encodeBase64UrlUnpadded(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() * 4 + 2) / 3);
  size_t index = 0;
  for (; index + 3 <= bytes.size(); index += 3) {
    const uint32_t group = (uint32_t(uint8_t(bytes[index])) << 16) |
                           (uint32_t(uint8_t(bytes[index + 1])) << 8) |
                           uint32_t(uint8_t(bytes[index + 2]));
    text.push_back(kAlphabet[(group >> 18) & 63]);
    text.push_back(kAlphabet[(group >> 12) & 63]);
    text.push_back(kAlphabet[(group >> 6) & 63]);
    text.push_back(kAlphabet[group & 63]);
  }
  const size_t rest = bytes.size() - index;
  if (rest > 0) {
    uint32_t group = uint32_t(uint8_t(bytes[index])) << 16;
    if (rest == 2) {
      group |= uint32_t(uint8_t(bytes[index + 1])) << 8;
    }
    text.push_back(kAlphabet[(group >> 18) & 63]);
    text.push_back(kAlphabet[(group >> 12) & 63]);
    if (rest == 2) {
      text.push_back(kAlphabet[(group >> 6) & 63]);
    }
  }
  return text;
}

std::string makeSondarToken(std::string_view payloadJson, std::string_view headerJson,
                            std::string_view signature) {
  return encodeBase64UrlUnpadded(headerJson) + "." + encodeBase64UrlUnpadded(payloadJson) + "." +
         encodeBase64UrlUnpadded(signature);
}

} // namespace tav::host
