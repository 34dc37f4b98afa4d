// Base64 encoding and decoding with the stop-at-first-foreign-character rule.
#include "foundation/base64.h"

#include <array>

namespace tav {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kNotInAlphabet = -1;

constexpr std::array<int8_t, 256> makeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& entry : table)
    entry = kNotInAlphabet;
  for (int i = 0; i < 64; ++i)
    table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}

constexpr std::array<int8_t, 256> kDecodeTable = makeDecodeTable();

template <typename Out> void decodeInto(std::string_view text, Out& out) {
  size_t usable = 0;
  while (usable < text.size() && kDecodeTable[static_cast<uint8_t>(text[usable])] >= 0)
    ++usable;
  out.reserve(usable / 4 * 3 + 2);
  uint32_t group = 0;
  size_t filled = 0;
  for (size_t i = 0; i < usable; ++i) {
    group = (group << 6) | static_cast<uint32_t>(kDecodeTable[static_cast<uint8_t>(text[i])]);
    if (++filled == 4) {
      out.push_back(static_cast<typename Out::value_type>(group >> 16));
      out.push_back(static_cast<typename Out::value_type>((group >> 8) & 0xFF));
      out.push_back(static_cast<typename Out::value_type>(group & 0xFF));
      group = 0;
      filled = 0;
    }
  }
  if (filled == 2) {
    out.push_back(static_cast<typename Out::value_type>(group >> 4));
  } else if (filled == 3) {
    out.push_back(static_cast<typename Out::value_type>(group >> 10));
    out.push_back(static_cast<typename Out::value_type>((group >> 2) & 0xFF));
  }
}

std::string urlToStandard(std::string_view text) {
  std::string standard(text);
  for (char& c : standard) {
    if (c == '-')
      c = '+';
    else if (c == '_')
      c = '/';
  }
  if (standard.size() % 4 == 2)
    standard.append("==");
  else if (standard.size() % 4 == 3)
    standard.append("=");
  return standard;
}

} // namespace

std::string encodeBase64(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    text.push_back(kAlphabet[group >> 18]);
    text.push_back(kAlphabet[(group >> 12) & 0x3F]);
    text.push_back(kAlphabet[(group >> 6) & 0x3F]);
    text.push_back(kAlphabet[group & 0x3F]);
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (rest == 2)
      group |= uint32_t{bytes[i + 1]} << 8;
    text.push_back(kAlphabet[group >> 18]);
    text.push_back(kAlphabet[(group >> 12) & 0x3F]);
    text.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
    text.push_back('=');
  }
  return text;
}

std::string encodeBase64(std::string_view bytes) {
  return encodeBase64(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> decodeBase64(std::string_view text) {
  std::vector<uint8_t> bytes;
  decodeInto(text, bytes);
  return bytes;
}

std::vector<uint8_t> decodeBase64Url(std::string_view text) {
  return decodeBase64(urlToStandard(text));
}

std::string decodeBase64ToString(std::string_view text) {
  std::string bytes;
  decodeInto(text, bytes);
  return bytes;
}

std::string decodeBase64UrlToString(std::string_view text) {
  return decodeBase64ToString(urlToStandard(text));
}

} // namespace tav
