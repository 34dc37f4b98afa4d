// Base64 and its URL-safe variant. The input serves both as bytes to encode and as text to
// decode.
//
// Checks: decode(encode(bytes)) gives the bytes back; a canonical encoding decodes to bytes that
// encode to the same text; decoding never yields more than three bytes per four characters;
// the string forms equal the byte forms; and URL-safe text decodes as its standard spelling.
#include "fuzz_support.h"

#include "foundation/base64.h"

#include <string>
#include <vector>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Whether text is exactly what encodeBase64 writes for some bytes: whole groups, padding only at
// the end, and the bits a short last group leaves over all zero.
bool isCanonical(std::string_view text) {
  if (text.size() % 4 != 0) {
    return false;
  }
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  const std::string_view body = text.substr(0, text.size() - padding);
  if (body.find_first_not_of(kAlphabet) != std::string_view::npos) {
    return false;
  }
  if (padding == 0) {
    return true;
  }
  const size_t last = kAlphabet.find(body.back());
  return padding == 1 ? (last & 0x3) == 0 : (last & 0xF) == 0;
}

std::string_view asText(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::string_view text = fuzz::asText(data, size);

  const std::string encoded = encodeBase64(text);
  fuzz::check(encoded.size() == (size + 2) / 3 * 4, "encoded length is not four per three");
  fuzz::check(decodeBase64(encoded) == std::vector<uint8_t>(data, data + size),
              "decode(encode(bytes)) differs from the bytes", encoded);

  const std::vector<uint8_t> decoded = decodeBase64(text);
  fuzz::check(decoded.size() <= size / 4 * 3 + 2, "decoded more bytes than the text holds");
  fuzz::check(decodeBase64ToString(text) == asText(decoded), "string and byte decoding differ");
  if (isCanonical(text)) {
    fuzz::check(encodeBase64(decoded) == text, "a canonical text does not encode back",
                encodeBase64(decoded), text);
  }

  const std::vector<uint8_t> url = decodeBase64Url(text);
  fuzz::check(decodeBase64UrlToString(text) == asText(url), "URL string and byte decoding differ");
  if (text.find_first_of("+/") == std::string_view::npos) {
    std::string standard(text);
    for (char& c : standard) {
      c = c == '-' ? '+' : c == '_' ? '/' : c;
    }
    fuzz::check(url == decodeBase64(standard), "URL-safe text decodes unlike its standard form");
  }
  return 0;
}
