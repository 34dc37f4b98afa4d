// JSON text to a value tree: no crash, a well-formed error naming an offset inside the text, the
// same verdict (error text and offset) as RapidJSON's recursive DOM reader, and a tree that
// survives writing and reading again.
#include "fuzz_support.h"

#include "binding/document_limits.h"
#include "routing/json_reader.h"
#include "routing/json_writer.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <charconv>
#include <cmath>
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

// Nesting of the text, counted the simple way (brackets outside strings).
size_t nesting(std::string_view text) {
  size_t depth = 0;
  size_t deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// Whether a tree holds an infinite number: RapidJSON's own conversion gives one for some texts
// beyond the double range ("-957e308") and at its very edge ("1.7976931348623158e308").
bool holdsInfinity(const rapidjson::Value& value) {
  if (value.IsDouble()) {
    return !std::isfinite(value.GetDouble());
  }
  if (value.IsArray()) {
    for (const rapidjson::Value& element : value.GetArray()) {
      if (holdsInfinity(element)) {
        return true;
      }
    }
  }
  if (value.IsObject()) {
    for (const auto& member : value.GetObject()) {
      if (holdsInfinity(member.value)) {
        return true;
      }
    }
  }
  return false;
}

// The verdict of RapidJSON's own recursive DOM reader with default flags: the
// reader promises its error texts and offsets, so on a text it reads whole the two must agree.
std::string referenceVerdict(std::string_view text) {
  rapidjson::Document document;
  // From a terminated copy: the overload with a length reads through a stream that skips any of
  // the three bytes of a UTF-8 byte order mark, each on its own.
  const std::string terminated(text);
  document.Parse(terminated.c_str());
  if (!document.HasParseError()) {
    return holdsInfinity(document) ? "infinite" : "ok";
  }
  return std::string("Error: ") + rapidjson::GetParseError_En(document.GetParseError()) +
         " at offset " + std::to_string(document.GetErrorOffset()) + ".";
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

  // Texts the recursive reader takes safely and that have something to read.
  if (zero == std::string_view::npos && nesting(text) < 256 &&
      text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
    const std::string reference = referenceVerdict(text);
    const std::string verdict = doc.ok() ? "ok" : std::string(doc.errorMessage());
    // RapidJSON's quick number conversion overflows to infinity near and beyond the double
    // range, where the reader converts exactly; past such a number the two cannot compare.
    if (reference != "infinite" && verdict.find("Number too big") == std::string::npos) {
      fuzz::check(verdict == reference, "the verdict differs from RapidJSON's DOM reader", verdict,
                  reference);
    }
  }

  if (!doc.ok()) {
    const long long offset = errorOffset(doc.errorMessage());
    fuzz::check(offset >= 0 && static_cast<size_t>(offset) <= effective.size(),
                "error message without an offset inside the text", doc.errorMessage());
    return 0;
  }
  fuzz::check(fuzz::treeShape(doc).depth <= kMaxDocumentDepth,
              "a tree nested beyond the document limit");
  fuzz::checkJsonRoundTrip(doc);
  return 0;
}
