// The framework records and events as the registry describes them to the host.
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

struct TypeCase {
  const char* name;
  std::vector<std::string> members; // fields of a struct, or enumerators as "name=number"
};

class FrameworkRecords : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FrameworkRecords, ListMembersInOrderWithTag) {
  BindingTypeRegistry registry;
  registerFrameworkTypes(registry);
  const BindingTypeDescriptor* type = registry.findTypeByName(GetParam().name);
  ASSERT_NE(type, nullptr);
  EXPECT_TRUE(taggedForTheClient(type->tags));
  std::vector<std::string> members;
  if (type->isEnum) {
    for (const auto& [name, value] : type->values) {
      members.push_back(name + "=" + std::to_string(value.number));
    }
  } else {
    for (const BindingFieldDescriptor& field : type->fields) {
      members.push_back(field.name);
    }
  }
  EXPECT_EQ(members, GetParam().members);
}

INSTANTIATE_TEST_SUITE_P(
    FrameworkTypes, FrameworkRecords,
    ::testing::Values(TypeCase{"PluginManagerState", {"NotReady=0", "PluginsInitialized=1"}},
                      TypeCase{"PluginManagerResource", {"state"}},
                      TypeCase{"PluginResourceEventType", {"Create=0", "Delete=2", "Update=1"}},
                      TypeCase{"PluginResourceEvent", {"uri", "eventType", "data"}},
                      TypeCase{"PluginLcdsEvent", {"clientId", "subtopic", "typeName", "body"}},
                      TypeCase{"PluginLcdsResponse", {"typeName", "body"}},
                      TypeCase{
                          "PluginServiceProxyResponse",
                          {"uuid", "serviceName", "methodName", "payload", "status", "error"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameworkTypes, EnumFieldsPointAtTheirRegisteredEnums) {
  BindingTypeRegistry registry;
  registerFrameworkTypes(registry);
  const BindingTypeDescriptor* event = registry.findTypeByName("PluginResourceEvent");
  ASSERT_NE(event, nullptr);
  ASSERT_EQ(event->fields.size(), 3u);
  EXPECT_EQ(event->fields[1].type.descriptor, registry.findTypeByName("PluginResourceEventType"));
}

} // namespace
} // namespace tav
