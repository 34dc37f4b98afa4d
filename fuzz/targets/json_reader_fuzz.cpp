// JSON text to a value tree: no crash, a well-formed error naming an offset inside the text, and
// a tree that survives writing and reading again.
#include "fuzz_support.h"

#include "routing/json_reader.h"
#include "routing/json_writer.h"

#include <charconv>
#include <string>

namespace {

// The offset named by "Error: <text> at offset <n>.", or -1 when the message has another shape.
long long errorOffset(std::string_view message) {
  constexpr std::string_view kAt = " at offset ";
  const size_t at = message.rfind(kAt);
  if (message.substr(0, 7) != "Error: " || at == std::string_view::npos || message.back() != '.') {
    return -1;
  }
  const std::string_view digits =
      message.substr(at + kAt.size(), message.size() - 1 - at - kAt.size());
  long long offset = -1;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), offset);
  return error == std::errc() && end == digits.data() + digits.size() ? offset : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::string_view text = fuzz::asText(data, size);
  const BindingResult doc = readJson(text);

  // The text ends at its first zero byte: what follows must not matter.
  const size_t zero = text.find('\0');
  const std::string_view effective = text.substr(0, zero);
  if (zero != std::string_view::npos) {
    const BindingResult cut = readJson(effective);
    fuzz::check(cut.ok() == doc.ok(), "a zero byte does not end the text");
    fuzz::check(cut.ok() ? writeJson(cut) == writeJson(doc)
                         : cut.errorMessage() == doc.errorMessage(),
                "a zero byte does not end the text", writeJson(cut), writeJson(doc));
  }

  if (!doc.ok()) {
    const long long offset = errorOffset(doc.errorMessage());
    fuzz::check(offset >= 0 && static_cast<size_t>(offset) <= effective.size(),
                "error message without an offset inside the text", doc.errorMessage());
    return 0;
  }
  fuzz::checkJsonRoundTrip(doc);
  return 0;
}
