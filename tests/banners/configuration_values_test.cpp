// Tests of how the equipping switch and the current season read their configuration values.
#include "banners/configuration_values.h"

#include "binding/static_type_id.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace tav::banners {
namespace {

struct ReadingCase {
  const char* what;
  std::function<void(BindingProperty&)> fill;
  int32_t season;
  bool enabled;
};

TEST(ConfigurationValues, ReadSeasonAsIntegerAndEquippingOnlyFromBooleanTrue) {
  const ReadingCase cases[] = {
      {"empty", [](BindingProperty&) {}, -1, false},
      {"true", [](BindingProperty& v) { v = true; }, 1, true},
      {"false", [](BindingProperty& v) { v = false; }, 0, false},
      {"signed", [](BindingProperty& v) { v.setSigned(12); }, 12, false},
      {"negative", [](BindingProperty& v) { v.setSigned(-3); }, -3, false},
      {"unsigned", [](BindingProperty& v) { v.setUnsigned(1); }, 1, false},
      {"float 7.9", [](BindingProperty& v) { v = 7.9; }, 7, false},
      {"float -7.9", [](BindingProperty& v) { v = -7.9; }, -7, false},
      {"float NaN", [](BindingProperty& v) { v = std::nan(""); }, 0, false},
      {"enum",
       [](BindingProperty& v) {
         v = BindingEnum{4, &typeId<int64_t>()};
       },
       4, false},
      {"string true", [](BindingProperty& v) { v = "true"; }, 0, false},
      {"string 14", [](BindingProperty& v) { v = "14"; }, 14, false},
      {"string hex", [](BindingProperty& v) { v = "0x10"; }, 16, false},
      {"string octal", [](BindingProperty& v) { v = "010"; }, 8, false},
      {"string leading number", [](BindingProperty& v) { v = "9 lives"; }, 9, false},
      {"blob", [](BindingProperty& v) { v.setBlob(std::vector<uint8_t>{1}); }, -1, false},
      {"collection", [](BindingProperty& v) { v.append() = 5; }, -1, false},
      {"structure", [](BindingProperty& v) { v.member("season") = 5; }, -1, false},
      // Only the low 32 bits are kept.
      {"beyond 32 bits", [](BindingProperty& v) { v.setSigned(0x100000005); }, 5, false},
      {"float beyond 64 bits", [](BindingProperty& v) { v = 1e300; }, -1, false},
  };
  for (const ReadingCase& c : cases) {
    BindingProperty value;
    c.fill(value);
    EXPECT_EQ(ReadCurrentSeason(value), c.season) << c.what;
    EXPECT_EQ(ReadEquipEnabled(value), c.enabled) << c.what;
  }
}

// Create, Update and Delete are covered through the plugin's own event delivery.
TEST(ConfigurationValues, UnknownEventTypeLeavesTheSwitches) {
  ResourceEvent<BindingProperty> event;
  event.eventType = static_cast<PluginResourceEventType>(7);
  event.data = true;
  EXPECT_EQ(EquipEnabledAfter(event), std::nullopt);
  EXPECT_EQ(CurrentSeasonAfter(event), std::nullopt);
}

} // namespace
} // namespace tav::banners
