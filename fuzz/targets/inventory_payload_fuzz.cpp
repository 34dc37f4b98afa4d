// The shape-directed inventory payload reader against the general way (the token part reader,
// then the converters). The input is a payload text.
//
// Checks: whatever the direct reader takes, the general way reads and converts to the same
// records.
#include "fuzz_support.h"

#include "banners/banner_records.h"
#include "banners/banner_registration.h"
#include "banners/inventory_payload_reader.h"
#include "banners/token_part_reader.h"
#include "binding/native_binding.h"
#include "tests/binding/binding_test_values.h"

#include <string>

namespace {

using namespace tav;
using namespace tav::banners;

const BindingTypeRegistry& registry() {
  static BindingTypeRegistry* types = [] {
    auto* made = new BindingTypeRegistry();
    RegisterBannerRecords(*made, "VmfBeTavBanners", {});
    return made;
  }();
  return *types;
}

std::string describe(const InventoryItemsByType& items) {
  std::string out;
  test::describeValue(toValue(items, registry()), out);
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  InventoryItemsByType direct;
  if (!ReadInventoryPayload(text, direct)) {
    return 0;
  }
  BindingProperty payload;
  fuzz::check(ReadTokenPart(text, payload), "taken directly but broken the general way", text);
  InventoryResponse general;
  BindingResult result;
  fuzz::check(fromValue(result, general, payload, "<value>", registry()),
              "taken directly but not understood the general way", text);
  fuzz::check(describe(direct) == describe(general.items), "the two ways read different records",
              text);
  return 0;
}
