// Base64 of RFC 4648 and the decoding of its URL-safe variant.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// Four characters of the standard alphabet for every three bytes, the last group padded with "=".
std::string encodeBase64(std::span<const uint8_t> bytes);
std::string encodeBase64(std::string_view bytes);

// Reads characters up to the first "=" or the first character outside the alphabet and stops
// there without error: complete groups give three bytes each, a trailing group of two or three
// characters gives one or two bytes, and a single stray character is ignored.
std::vector<uint8_t> decodeBase64(std::string_view text);

// The URL-safe variant: "-" and "_" stand for "+" and "/" (which are read as well), and padding
// may be left out.
std::vector<uint8_t> decodeBase64Url(std::string_view text);

// The decoded bytes as a string, for payloads that are text (JSON segments of tokens).
std::string decodeBase64ToString(std::string_view text);
std::string decodeBase64UrlToString(std::string_view text);

} // namespace tav
