// Base64 encoding and decoding with the stop-at-first-foreign-character rule.
#include "foundation/base64.h"

#include <array>
#include <bit>
#include <cstring>

namespace tav {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kNotInAlphabet = -1;

// The standard alphabet, or for the URL-safe variant both alphabets at once: "-" and "+" are 62,
// "_" and "/" are 63, which is what mapping the URL-safe characters to the standard ones and
// decoding gives.
constexpr std::array<int8_t, 256> makeDecodeTable(bool urlSafe) {
  std::array<int8_t, 256> table{};
  for (auto& entry : table)
    entry = kNotInAlphabet;
  for (int i = 0; i < 64; ++i)
    table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  if (urlSafe) {
    table['-'] = 62;
    table['_'] = 63;
  }
  return table;
}

constexpr std::array<int8_t, 256> kDecodeTable = makeDecodeTable(false);
constexpr std::array<int8_t, 256> kUrlDecodeTable = makeDecodeTable(true);

uint64_t byteSwapped(uint64_t value) {
#if defined(_MSC_VER) && !defined(__clang__)
  return _byteswap_uint64(value);
#else
  return __builtin_bswap64(value);
#endif
}

// Room decodeInto() needs for `length` characters: the whole decoding and the slack of its last
// eight-byte store.
size_t decodingRoom(size_t length) {
  return length / 4 * 3 + 8;
}

// Decodes up to the first character outside `table` into `out`, which has decodingRoom() bytes,
// and returns the number of bytes decoded. Tokens of large inventories are megabytes long, so
// eight characters go at once into one store of six bytes while all of them decode.
size_t decodeInto(std::string_view text, const std::array<int8_t, 256>& table, uint8_t* out) {
  const auto* in = reinterpret_cast<const uint8_t*>(text.data());
  const size_t size = text.size();
  uint8_t* const start = out;
  auto sextet = [&](size_t i) { return static_cast<int32_t>(table[in[i]]); };
  size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    const int32_t a = sextet(at), b = sextet(at + 1), c = sextet(at + 2), d = sextet(at + 3);
    const int32_t e = sextet(at + 4), f = sextet(at + 5), g = sextet(at + 6), h = sextet(at + 7);
    if ((a | b | c | d | e | f | g | h) < 0)
      break;
    const uint64_t group = uint64_t(a) << 58 | uint64_t(b) << 52 | uint64_t(c) << 46 |
                           uint64_t(d) << 40 | uint64_t(e) << 34 | uint64_t(f) << 28 |
                           uint64_t(g) << 22 | uint64_t(h) << 16;
    const uint64_t word = std::endian::native == std::endian::little ? byteSwapped(group) : group;
    std::memcpy(out, &word, 8);
    out += 6;
  }
  // The rest one character at a time, up to the first that does not decode.
  uint32_t group = 0;
  size_t pending = 0;
  for (; at < size && table[in[at]] >= 0; ++at) {
    group = group << 6 | static_cast<uint32_t>(sextet(at));
    if (++pending == 4) {
      *out++ = static_cast<uint8_t>(group >> 16);
      *out++ = static_cast<uint8_t>(group >> 8);
      *out++ = static_cast<uint8_t>(group);
      group = 0;
      pending = 0;
    }
  }
  // Two leftover characters give one byte, three give two; a single one gives none.
  if (pending >= 2) {
    group <<= 6 * (4 - pending);
    *out++ = static_cast<uint8_t>(group >> 16);
    if (pending == 3)
      *out++ = static_cast<uint8_t>(group >> 8);
  }
  return static_cast<size_t>(out - start);
}

template <typename Out> Out decoded(std::string_view text, const std::array<int8_t, 256>& table) {
  Out bytes(decodingRoom(text.size()), 0);
  bytes.resize(decodeInto(text, table, reinterpret_cast<uint8_t*>(bytes.data())));
  return bytes;
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
  return decoded<std::vector<uint8_t>>(text, kDecodeTable);
}

std::vector<uint8_t> decodeBase64Url(std::string_view text) {
  return decoded<std::vector<uint8_t>>(text, kUrlDecodeTable);
}

std::string decodeBase64ToString(std::string_view text) {
  return decoded<std::string>(text, kDecodeTable);
}

std::string decodeBase64UrlToString(std::string_view text) {
  return decoded<std::string>(text, kUrlDecodeTable);
}

} // namespace tav
