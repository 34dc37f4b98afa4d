// The JSON round trip shared by the document targets, and the sanitizer defaults of every target.
#include "fuzz_support.h"

#include "routing/json_reader.h"
#include "routing/json_writer.h"

#include <algorithm>
#include <utility>

namespace tav::fuzz {

TreeShape treeShape(const BindingProperty& tree) {
  TreeShape shape;
  std::vector<std::pair<const BindingProperty*, size_t>> pending{{&tree, 0}};
  while (!pending.empty()) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    ++shape.values;
    shape.depth = std::max(shape.depth, depth);
    if (value->isCollection()) {
      for (const BindingProperty& element : value->elements()) {
        pending.emplace_back(&element, depth + 1);
      }
      shape.depth = std::max(shape.depth, depth + 1);
    } else if (value->isStructure()) {
      for (const auto& member : value->members()) {
        pending.emplace_back(&member.value, depth + 1);
      }
      shape.depth = std::max(shape.depth, depth + 1);
    }
  }
  return shape;
}

void checkJsonRoundTrip(const BindingProperty& tree) {
  const std::string first = writeJson(tree);
  const BindingResult again = readJson(first);
  if (!again.ok()) {
    fail("written JSON does not read back", first, again.errorMessage());
  }
  const std::string second = writeJson(again);
  // A root that JSON cannot hold (NaN, the infinities) is written as null, which reads back as
  // the empty value, and an empty root is written as the empty text.
  const bool nullRoot = first == "null" && second.empty();
  check(first == second || nullRoot, "JSON read back writes differently", first, second);
}

} // namespace tav::fuzz

// Every UndefinedBehaviorSanitizer report is fatal, except the suppressed ones of third-party
// headers (the fuzz preset makes pointer-overflow recoverable so that suppressions apply to it).
extern "C" const char* __ubsan_default_options() {
  return "halt_on_error=1:print_stacktrace=1:suppressions=" TAV_FUZZ_UBSAN_SUPPRESSIONS;
}
