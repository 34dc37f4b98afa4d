// YAML text to a value tree: no crash, no runaway alias expansion, an error message on failure,
// and a tree that JSON can carry unchanged.
#include "fuzz_support.h"

#include "routing/yaml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tav;
  const BindingResult doc = readYaml(fuzz::asText(data, size));
  if (!doc.ok()) {
    fuzz::check(!doc.errorMessage().empty(), "a failed read without a message");
    return 0;
  }
  fuzz::checkJsonRoundTrip(doc);
  return 0;
}
