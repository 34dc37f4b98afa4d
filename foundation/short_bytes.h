// Comparing short byte strings in place.
//
// Member names, keys and short values are a few bytes long, and a call into the C library's
// memcmp for each costs more than the comparison: up to 16 bytes are compared as two
// overlapping words taken from each end, and longer texts go to the library. Nothing outside
// the n bytes given is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tav {

namespace short_bytes_detail {

template <class Word> inline Word load(const char* at) {
  Word word;
  std::memcpy(&word, at, sizeof(Word));
  return word;
}

// The first and the last word of n bytes, n at least a word.
template <class Word> inline bool sameEnds(const char* a, const char* b, size_t n) {
  const size_t last = n - sizeof(Word);
  return ((load<Word>(a) ^ load<Word>(b)) | (load<Word>(a + last) ^ load<Word>(b + last))) == 0;
}

} // namespace short_bytes_detail

// Whether the n bytes at a and at b are equal.
inline bool sameBytes(const char* a, const char* b, size_t n) {
  using namespace short_bytes_detail;
  if (n > 16)
    return std::memcmp(a, b, n) == 0;
  if (n >= 8)
    return sameEnds<uint64_t>(a, b, n);
  if (n >= 4)
    return sameEnds<uint32_t>(a, b, n);
  // One to three bytes: the first, middle and last cover them all.
  return n == 0 || (a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1]);
}

} // namespace tav
