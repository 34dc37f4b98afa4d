// Tests of the banner records' registration: names, pinned identities, fields, tags and the
// conversions the registered descriptions allow.
#include "banners/banner_registration.h"

#include "banners/banner_records.h"
#include "binding/binding_type_registry.h"
#include "binding/native_binding.h"
#include "routing/json_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav::banners {
namespace {

const std::vector<std::string> kTags = {"Plugins", "Plugin vmf-be-tav-banners"};

class BannerRegistration : public ::testing::Test {
protected:
  BannerRegistration() { RegisterBannerRecords(registry_, "VmfBeTavBanners", kTags); }

  const BindingTypeDescriptor* type(const std::string& name) {
    return registry_.findTypeByName("VmfBeTavBanners" + name);
  }

  BindingTypeRegistry registry_;
};

struct RecordCase {
  const char* name;
  uint32_t id;
  std::vector<std::string> fields;
};

TEST_F(BannerRegistration, RegistersEachRecordUnderItsIdentityWithItsFieldsInWireOrder) {
  const RecordCase cases[] = {
      {"BannerFlag", 0x795B47DB, {"theme", "level", "seasonId", "earnedDateIso8601"}},
      {"BannerFrame", 0x91637646, {"level"}},
      {"BrakkV2FlagRewardSpec", 0x189CA442, {"theme", "level", "seasonId"}},
      {"BrakkV2FrameRewardSpec", 0x855744E5, {"level", "seasonId"}},
      {"VelBrakkFlagEntitlementPayload", 0x8E7D82BB, {"rewardSpec", "rewardType"}},
      {"VelBrakkFrameEntitlementPayload", 0x5B59E27C, {"rewardSpec", "rewardType"}},
      {"TournamentFlagInventoryItem", 0x956D4B9B, {"payload", "purchaseDate"}},
      {"TournamentFrameInventoryItem", 0x9860A312, {"payload", "purchaseDate"}},
      {"InventoryItemsByType", 0xB9F4EF34, {"TOURNAMENT_FLAG", "TOURNAMENT_FRAME"}},
      {"InventoryResponse", 0x16AB72E2, {"items"}},
      {"LoadoutsSlot", 0x28D75604, {"itemId", "inventoryType"}},
      {"SondarProfileUpdate", 0x094AC37F, {"key", "value"}},
  };
  for (const RecordCase& c : cases) {
    const BindingTypeDescriptor* descriptor = type(c.name);
    ASSERT_NE(descriptor, nullptr) << c.name;
    EXPECT_EQ(descriptor->id, c.id) << c.name;
    EXPECT_EQ(registry_.findTypeById(c.id), descriptor) << c.name;
    EXPECT_EQ(descriptor->tags, kTags) << c.name;
    EXPECT_EQ(descriptor->description, "") << c.name;
    std::vector<std::string> fields;
    for (const BindingFieldDescriptor& field : descriptor->fields) {
      fields.push_back(field.name);
      EXPECT_EQ(field.description, "") << c.name << "." << field.name;
    }
    EXPECT_EQ(fields, c.fields) << c.name;
  }
}

TEST_F(BannerRegistration, PinsTheIdentitiesOfFieldTypesAndInventoryLists) {
  struct FieldCase {
    const char* record;
    size_t field;
    uint32_t id;
  };
  const FieldCase cases[] = {
      {"BannerFlag", 0, 0x2757680B},
      {"LoadoutsSlot", 0, 0x7B2B1131},
      {"SondarProfileUpdate", 1, 0xAF98C378},
      {"InventoryItemsByType", 0, 0x5367C4E2},
      {"InventoryItemsByType", 1, 0x78BBD946},
      {"InventoryResponse", 0, 0xB9F4EF34},
      {"TournamentFlagInventoryItem", 0, 0x8E7D82BB},
  };
  for (const FieldCase& c : cases) {
    const BindingTypeDescriptor* descriptor = type(c.record);
    ASSERT_NE(descriptor, nullptr) << c.record;
    ASSERT_NE(descriptor->fields.at(c.field).typeId, nullptr) << c.record;
    EXPECT_EQ(descriptor->fields.at(c.field).typeId->id, c.id) << c.record << " " << c.field;
  }
  EXPECT_STREQ(typeId<std::vector<TournamentFlagInventoryItem>>().hex, "#5367C4E2");
}

TEST_F(BannerRegistration, RegistersNestedRecordsBeforeTheRecordsThatHoldThem) {
  // A field whose record was not yet registered would carry no descriptor.
  EXPECT_EQ(type("InventoryResponse")->fields[0].type.descriptor, type("InventoryItemsByType"));
  EXPECT_EQ(type("InventoryItemsByType")->fields[0].type.descriptor,
            type("TournamentFlagInventoryItem"));
  EXPECT_EQ(type("InventoryItemsByType")->fields[1].type.descriptor,
            type("TournamentFrameInventoryItem"));
  EXPECT_EQ(type("TournamentFrameInventoryItem")->fields[0].type.descriptor,
            type("VelBrakkFrameEntitlementPayload"));
  EXPECT_EQ(type("VelBrakkFlagEntitlementPayload")->fields[0].type.descriptor,
            type("BrakkV2FlagRewardSpec"));
}

TEST_F(BannerRegistration, InventoryListsLeftOutAreEmptyAndListsOfTheWrongKindFail) {
  InventoryItemsByType items;
  BindingResult missing;
  const BindingProperty onlyFlags = readJson(R"({"TOURNAMENT_FLAG":[null]})").value();
  ASSERT_TRUE(fromValue(missing, items, onlyFlags, "<value>", registry_)) << missing.errorMessage();
  EXPECT_EQ(items.TOURNAMENT_FLAG.size(), 1u);
  EXPECT_TRUE(items.TOURNAMENT_FRAME.empty());

  BindingResult wrongKind;
  const BindingProperty text = readJson(R"({"TOURNAMENT_FLAG":"none"})").value();
  EXPECT_FALSE(fromValue(wrongKind, items, text, "<value>", registry_));
  EXPECT_EQ(wrongKind.errorMessage(),
            "Couldn't assign value to 'TOURNAMENT_FLAG' of type vector because the input not a "
            "collection.");
}

} // namespace
} // namespace tav::banners
