// MessagePack bytes to a value tree: no crash, a consumed count inside the input that the error
// message names, a root value that decodes the same on its own, and a tree JSON can carry.
#include "fuzz_support.h"

#include "binding/document_limits.h"
#include "binding/message_pack_reader.h"
#include "routing/json_writer.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  BindingResult doc;
  uint32_t consumed = 0;
  decodeMessagePack(doc, consumed, size ? data : nullptr, static_cast<uint32_t>(size));
  fuzz::check(consumed <= size, "consumed more than the input holds");

  if (!doc.ok()) {
    const std::string position = "position " + std::to_string(consumed);
    fuzz::check(doc.errorMessage().find(position) != std::string_view::npos,
                "the error does not name where decoding stopped", doc.errorMessage(), position);
    return 0;
  }
  fuzz::check(size == 0 || consumed > 0, "a non-empty document consumed nothing");

  // Trailing bytes are never read: the root value alone decodes to the same tree.
  if (consumed < size) {
    BindingResult root;
    uint32_t rootConsumed = 0;
    decodeMessagePack(root, rootConsumed, data, consumed);
    fuzz::check(root.ok() && rootConsumed == consumed, "the root value alone does not decode",
                root.errorMessage());
    fuzz::check(writeJson(root) == writeJson(doc), "trailing bytes changed the tree",
                writeJson(root), writeJson(doc));
  }
  fuzz::check(fuzz::treeShape(doc).depth <= kMaxDocumentDepth,
              "a tree nested beyond the document limit");
  fuzz::checkJsonRoundTrip(doc);
  return 0;
}
