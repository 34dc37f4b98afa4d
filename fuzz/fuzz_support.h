// Helpers shared by the fuzz targets: splitting an input into parts and failing loudly when an
// invariant breaks, so that libFuzzer keeps the input as a crash.
#pragma once

#include "binding/binding_property.h"
#include "foundation/memory.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tav::fuzz {

// Prints what broke, and the texts that show it, then aborts.
[[noreturn]] inline void fail(const char* what, std::string_view first = {},
                              std::string_view second = {}) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  if (!first.empty()) {
    std::fprintf(stderr, "  first:  %.*s\n", static_cast<int>(first.size()), first.data());
  }
  if (!second.empty()) {
    std::fprintf(stderr, "  second: %.*s\n", static_cast<int>(second.size()), second.data());
  }
  std::abort();
}

inline void check(bool condition, const char* what, std::string_view first = {},
                  std::string_view second = {}) {
  if (!condition) {
    fail(what, first, second);
  }
}

inline std::string_view asText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input cut at its first count - 1 zero bytes; the last part is the rest, zero bytes
// included, so that a body may hold any byte. Missing parts are empty. Zero bytes make good
// separators because the texts of a host record cannot hold them anyway.
inline std::vector<std::string_view> splitParts(std::string_view input, size_t count) {
  std::vector<std::string_view> parts;
  parts.reserve(count);
  while (parts.size() + 1 < count) {
    const size_t end = input.find('\0');
    if (end == std::string_view::npos) {
      break;
    }
    parts.push_back(input.substr(0, end));
    input.remove_prefix(end + 1);
  }
  parts.push_back(input);
  parts.resize(count);
  return parts;
}

// The text split at every `separator`, empty pieces kept.
inline std::vector<std::string_view> splitLines(std::string_view text, char separator = '\n') {
  std::vector<std::string_view> lines;
  while (true) {
    const size_t end = text.find(separator);
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) {
      return lines;
    }
    text.remove_prefix(end + 1);
  }
}

// "Name: value" lines as name and value pairs; a line without ':' is a name with an empty value,
// blank lines are skipped and the value's leading spaces dropped.
inline std::vector<std::pair<std::string, std::string>> headerLines(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> headers;
  for (std::string_view line : splitLines(text)) {
    if (line.empty()) {
      continue;
    }
    const size_t colon = line.find(':');
    std::string_view value = colon == std::string_view::npos ? "" : line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') {
      value.remove_prefix(1);
    }
    headers.emplace_back(line.substr(0, colon), value);
  }
  return headers;
}

// The number of values in a tree (the root included) and its nesting: a scalar root is depth 0,
// a container of scalars depth 1. Walked with a stack of its own.
struct TreeShape {
  size_t values = 0;
  size_t depth = 0;
};
TreeShape treeShape(const BindingProperty& tree);

// The counted bytes that call holds at most beyond those in use when it begins, as far as bound:
// true when they stay within it. The process-wide peak cannot be reset, so when an earlier input
// left it higher, a ballast block (never touched) first lifts the bytes in use to bound below it;
// a call that stays within bound then leaves the peak where it was.
template <typename Call> bool countedPeakWithin(uint64_t bound, Call&& call) {
  const memory::MemoryCounters start = memory::snapshot();
  const uint64_t inUse = start.bytesInUse();
  void* ballast = start.peakBytes > inUse + bound
                      ? memory::allocate(static_cast<size_t>(start.peakBytes - inUse - bound))
                      : nullptr;
  const uint64_t base = memory::snapshot().bytesInUse();
  call();
  const uint64_t peak = memory::snapshot().peakBytes;
  memory::release(ballast);
  return peak <= base + bound;
}

// A tree read from a document must survive JSON: its compact JSON text reads back without error
// and writes again to the very same text. Catches a writer that emits what the reader refuses
// (escapes, numbers, deep nesting) and a reader that loses or changes what the writer wrote.
void checkJsonRoundTrip(const BindingProperty& tree);

} // namespace tav::fuzz
