// YAML text to a value tree: no crash, no runaway alias expansion, memory that grows with the
// text, an error message on failure, and a tree that JSON can carry unchanged.
#include "fuzz_support.h"

#include "binding/document_limits.h"
#include "routing/yaml_reader.h"

#include <algorithm>

namespace {

// What a read may take at most: tens of bytes for every byte of text (nodes, anchors, keys), room
// for the alias copies the reader allows when the text holds an alias at all, and a fixed part
// (the document, the first chunks and tables). A cost that grows faster than the text, such as
// every anchor paying for how deep it lies, soon passes it.
uint64_t memoryBound(std::string_view text, size_t copies) {
  const bool hasAlias = text.find('*') != std::string_view::npos;
  return 64 * uint64_t{text.size()} + (hasAlias ? 48 * uint64_t{copies} : 0) + 128 * 1024;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const std::string_view text = fuzz::asText(data, size);
  // Every node read takes at least half a byte of text ("a:" is a key and an empty value), and
  // alias copies add at most ten per node read, with the floor and ceiling the reader names.
  const size_t read = 2 * size + 1;
  const size_t copies =
      std::min(kMaxAliasExpansion, std::max(kMinAliasExpansion, kAliasExpansionFactor * read));

  BindingResult doc;
  const bool withinBound =
      fuzz::countedPeakWithin(memoryBound(text, copies), [&] { doc = readYaml(text); });
  fuzz::check(withinBound, "reading took more memory than the text allows");
  if (!doc.ok()) {
    fuzz::check(!doc.errorMessage().empty(), "a failed read without a message");
    return 0;
  }
  const fuzz::TreeShape shape = fuzz::treeShape(doc);
  fuzz::check(shape.values <= read + copies, "alias copies grew beyond their bound");
  fuzz::check(shape.depth <= kMaxDocumentDepth, "a tree nested beyond the document limit");
  fuzz::checkJsonRoundTrip(doc);
  return 0;
}
