// The shape-directed inventory payload reader against the general way (the token part reader,
// then the converters). The input is a payload text.
//
// Checks: whatever the direct reader takes, the general way reads and converts to the same
// records; a sink that copies the items it is handed, leaving the reader's record as it was,
// gets the same records too.
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

// Copies each item, so the reader fills the record it handed over again for the next item.
class CopyingSink final : public InventoryItemSink {
public:
  void expect(std::string_view, size_t) override {}
  void take(TournamentFlagInventoryItem& item) override { items.TOURNAMENT_FLAG.push_back(item); }
  void take(TournamentFrameInventoryItem& item) override { items.TOURNAMENT_FRAME.push_back(item); }
  void drop(std::string_view) override {}

  InventoryItemsByType items;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  InventoryItemsByType direct;
  if (!ReadInventoryPayload(text, direct)) {
    return 0;
  }
  CopyingSink copies;
  fuzz::check(ReadInventoryPayload(text, copies), "taken into lists but not into a sink", text);
  fuzz::check(describe(copies.items) == describe(direct), "a sink got other records than lists",
              text);
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
