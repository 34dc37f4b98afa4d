// The framework events as the registry describes them to the host.
#include "plugin/framework_types.h"

#include "binding/binding_type_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tav {
namespace {

bool taggedForTheClient(const std::vector<std::string>& tags) {
  return std::find(tags.begin(), tags.end(), "kclient") != tags.end();
}

struct EventCase {
  const char* name;
  const char* payload;
  const char* description;
};

class FrameworkEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(FrameworkEvents, CarryPayloadDescriptionAndTag) {
  BindingTypeRegistry registry;
  registerFrameworkTypes(registry);
  const BindingEventDescriptor* event = registry.findEvent(GetParam().name);
  ASSERT_NE(event, nullptr);
  ASSERT_NE(event->payload, nullptr);
  EXPECT_EQ(event->payload->name, GetParam().payload);
  EXPECT_EQ(event->description, GetParam().description);
  EXPECT_TRUE(taggedForTheClient(event->tags));
}

INSTANTIATE_TEST_SUITE_P(
    FrameworkTypes, FrameworkEvents,
    ::testing::Values(EventCase{"OnJsonApiEvent", "PluginResourceEvent",
                                "Fired when a resource is changed."},
                      EventCase{"OnLcdsEvent", "PluginLcdsEvent",
                                "Fired when a message is received over the LCDS connection."},
                      EventCase{"OnServiceProxyUuidEvent", "PluginServiceProxyResponse",
                                "Fired when a uuid-based service proxy message is received."},
                      EventCase{"OnServiceProxyMethodEvent", "PluginServiceProxyResponse",
                                "Fired when a method-based service proxy message is received."},
                      EventCase{"OnServiceProxyAsyncEvent", "PluginServiceProxyResponse",
                                "Fired when an async service proxy message is received."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tav
