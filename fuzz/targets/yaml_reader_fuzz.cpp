// YAML text to a value tree: no crash, no runaway alias expansion, an error message on failure,
// and a tree that JSON can carry unchanged.
#include "fuzz_support.h"

#include "binding/document_limits.h"
#include "routing/yaml_reader.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const BindingResult doc = readYaml(fuzz::asText(data, size));
  if (!doc.ok()) {
    fuzz::check(!doc.errorMessage().empty(), "a failed read without a message");
    return 0;
  }
  // Every node read takes at least half a byte of text ("a:" is a key and an empty value), and
  // alias copies add at most ten per node read, with the floor and ceiling the reader names.
  const fuzz::TreeShape shape = fuzz::treeShape(doc);
  const size_t read = 2 * size + 1;
  const size_t copies =
      std::min(kMaxAliasExpansion, std::max(kMinAliasExpansion, kAliasExpansionFactor * read));
  fuzz::check(shape.values <= read + copies, "alias copies grew beyond their bound");
  fuzz::check(shape.depth <= kMaxDocumentDepth, "a tree nested beyond the document limit");
  fuzz::checkJsonRoundTrip(doc);
  return 0;
}
