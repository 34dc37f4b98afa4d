// The built-in types and event that every registry starts with.
#include "binding/builtin_types.h"

#include "binding/binding_type_registry.h"

#include <gtest/gtest.h>

#include <set>

namespace tav {
namespace {

using Tags = std::vector<std::string>;

struct TypeShape {
  const char* name;
  const char* description;
  Tags tags;
  uint32_t size;
  // "name type" per field, "; " between fields, written as the type table lists them.
  const char* fields;
};

std::string typeText(const BindingTypeRef& type) {
  const std::string element =
      type.descriptor ? type.descriptor->name : std::string(bindingTypeCodeName(type.elementCode));
  switch (type.code) {
  case BindingTypeCode::Vector:
    return "vector of " + element;
  case BindingTypeCode::Struct:
  case BindingTypeCode::Enum:
    return type.descriptor ? type.descriptor->name : "unregistered";
  default:
    return bindingTypeCodeName(type.code);
  }
}

std::string fieldsText(const BindingTypeDescriptor& type) {
  std::string out;
  for (const BindingFieldDescriptor& field : type.fields) {
    out += (out.empty() ? "" : "; ") + field.name + " " + typeText(field.type);
  }
  return out;
}

const std::vector<TypeShape>& structShapes() {
  static const Tags help = {"$builtin", "help"};
  static const Tags builtin = {"$builtin"};
  static const Tags async = {"$builtin", "async"};
  static const std::vector<TypeShape> shapes = {
      {"BindingFullTypeIdentifier", "Describes the type of a value.", help,
       sizeof(BindingFullTypeIdentifier), "type string; elementType string"},
      {"BindingFullArgumentHelp", "Describes a function parameter.", help,
       sizeof(BindingFullArgumentHelp),
       "name string; description string; type BindingFullTypeIdentifier; optional bool"},
      {"BindingFullFunctionHelp", "Describes a function.", help, sizeof(BindingFullFunctionHelp),
       "name string; nameSpace string; arguments vector of BindingFullArgumentHelp; returns "
       "BindingFullTypeIdentifier; description string; help string; threadSafe bool; async "
       "string; tags vector of string"},
      {"BindingFullEnumValueHelp", "Describes an enumerator.", help,
       sizeof(BindingFullEnumValueHelp), "name string; description string; value int32"},
      {"BindingFullFieldHelp", "Describes a member of a struct.", help,
       sizeof(BindingFullFieldHelp),
       "name string; description string; offset uint32; type BindingFullTypeIdentifier; "
       "optional bool"},
      {"BindingFullTypeHelp", "Describes a struct or enum type.", help, sizeof(BindingFullTypeHelp),
       "name string; nameSpace string; size uint32; description string; tags vector of string; "
       "fields vector of BindingFullFieldHelp; values vector of BindingFullEnumValueHelp"},
      {"BindingFullEventHelp", "Describes an event.", help, sizeof(BindingFullEventHelp),
       "name string; nameSpace string; type BindingFullTypeIdentifier; description string; tags "
       "vector of string"},
      {"BindingFullApiHelp", "Describes the exposed native API.", help, sizeof(BindingFullApiHelp),
       "functions vector of BindingFullFunctionHelp; types vector of BindingFullTypeHelp; events "
       "vector of BindingFullEventHelp"},
      {"BindingGenericEvent", "Represents generic data for an event.", builtin,
       sizeof(BindingGenericEvent), "data object"},
      {"BindingCallbackEvent", "Represents the parameters of a call to a provided callback.",
       builtin, sizeof(BindingCallbackEvent), "id uint32; parameters vector of object"},
      {"BindingGenericAsyncEvent", "Represents generic data for an asynchronous event.", async,
       sizeof(BindingGenericAsyncEvent), "asyncToken uint32; data object"},
      {"BindingAsyncFailureEvent", "Represents a failed asynchronous operation.", async,
       sizeof(BindingAsyncFailureEvent), "asyncToken uint32; error string"},
      {"BindingAsyncCancelEvent", "Represents a cancelled asynchronous operation.", async,
       sizeof(BindingAsyncCancelEvent), "asyncToken uint32"},
  };
  return shapes;
}

TEST(BuiltinTypes, FreshRegistryHoldsFifteenTypesOneEventNoFunctions) {
  BindingTypeRegistry registry;
  EXPECT_TRUE(registry.functionSnapshot().empty());
  std::set<std::string> names;
  for (const BindingTypeDescriptor* type : registry.typeSnapshot()) {
    names.insert(type->name);
  }
  std::set<std::string> expected = {"BindingHelpFormat", "BindingAsyncState"};
  for (const TypeShape& shape : structShapes()) {
    expected.insert(shape.name);
  }
  EXPECT_EQ(expected.size(), 15u);
  EXPECT_EQ(names, expected);

  const auto events = registry.eventSnapshot();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->name, "OnCallback");
  EXPECT_EQ(events[0]->payload, registry.findTypeByName("BindingCallbackEvent"));
  EXPECT_EQ(events[0]->description, "Fired when a callback is invoked.");
  EXPECT_EQ(events[0]->tags, Tags{"$builtin"});
}

TEST(BuiltinTypes, StructsHaveTheirFieldsInOrderWithEmptyFlags) {
  BindingTypeRegistry registry;
  for (const TypeShape& shape : structShapes()) {
    SCOPED_TRACE(shape.name);
    const BindingTypeDescriptor* type = registry.findTypeByName(shape.name);
    ASSERT_NE(type, nullptr);
    EXPECT_FALSE(type->isEnum);
    EXPECT_EQ(type->description, shape.description);
    EXPECT_EQ(type->tags, shape.tags);
    EXPECT_EQ(type->size, shape.size);
    EXPECT_EQ(fieldsText(*type), shape.fields);
    for (const BindingFieldDescriptor& field : type->fields) {
      EXPECT_EQ(field.flags, 0u) << field.name;
      EXPECT_FALSE(field.optional) << field.name;
      EXPECT_LT(field.offset, type->size) << field.name;
    }
  }
}

TEST(BuiltinTypes, EventRecordFieldsCarryTheirDescriptions) {
  const std::pair<const char*, std::vector<std::string>> described[] = {
      {"BindingGenericEvent", {"Event data"}},
      {"BindingCallbackEvent", {"ID of the callback being invoked", "Callback parameters"}},
      {"BindingGenericAsyncEvent", {"Asynchronous operation token", "Event data"}},
      {"BindingAsyncFailureEvent", {"Asynchronous operation token", "Error message"}},
      {"BindingAsyncCancelEvent", {"Asynchronous operation token"}},
      {"BindingFullTypeIdentifier", {"", ""}},
  };
  BindingTypeRegistry registry;
  for (const auto& [name, descriptions] : described) {
    const BindingTypeDescriptor* type = registry.findTypeByName(name);
    ASSERT_NE(type, nullptr) << name;
    std::vector<std::string> actual;
    for (const BindingFieldDescriptor& field : type->fields) {
      actual.push_back(field.description);
    }
    EXPECT_EQ(actual, descriptions) << name;
  }
}

TEST(BuiltinTypes, EnumeratorsOfTheTwoEnums) {
  struct Enumerator {
    const char* name;
    int32_t number;
    const char* description;
  };
  struct EnumShape {
    const char* name;
    const char* description;
    Tags tags;
    std::vector<Enumerator> values;
  };
  const std::vector<EnumShape> shapes = {
      {"BindingHelpFormat",
       "Help format for binding functions and types.",
       {"$builtin", "help"},
       {{"Full", 1, "Native help format"}, {"Epytext", 2, "Python epytext format"}}},
      {"BindingAsyncState",
       "Possible states of an asynchronous operation.",
       {"$builtin", "async"},
       {{"None", 0, "Invalid state"},
        {"Running", 1, "The operation is in flight"},
        {"Cancelling", 2, "A request to cancel the operation has been made"},
        {"Cancelled", 3, "The operation was cancelled"},
        {"Succeeded", 4, "The operation completed successfully"},
        {"Failed", 5, "The operation encountered an error"}}},
  };
  BindingTypeRegistry registry;
  for (const EnumShape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    const BindingTypeDescriptor* type = registry.findTypeByName(shape.name);
    ASSERT_NE(type, nullptr);
    EXPECT_TRUE(type->isEnum);
    EXPECT_EQ(type->size, 4u);
    EXPECT_EQ(type->description, shape.description);
    EXPECT_EQ(type->tags, shape.tags);
    ASSERT_EQ(type->values.size(), shape.values.size());
    for (const Enumerator& want : shape.values) {
      ASSERT_TRUE(type->values.contains(want.name)) << want.name;
      const BindingEnumValue& value = type->values.at(want.name);
      EXPECT_EQ(value.number, want.number) << want.name;
      EXPECT_EQ(value.description, want.description) << want.name;
      EXPECT_STREQ(registry.enumValueName(type->typeId, want.number), want.name);
    }
  }
  EXPECT_EQ(registry.findTypeById(&typeId<BindingAsyncState>()),
            registry.findTypeByName("BindingAsyncState"));
}

TEST(BuiltinTypes, CallbackEventConvertsBothWays) {
  BindingTypeRegistry registry;
  BindingCallbackEvent event;
  event.id = 9;
  event.parameters.resize(2);
  event.parameters[1] = "second";
  const BindingResult value = toValue(event, registry);
  ASSERT_TRUE(value.ok()) << value.errorMessage();
  EXPECT_EQ(value.find("id").getUnsigned(), 9u);
  EXPECT_EQ(value.find("parameters").at(1).getString(), "second");

  BindingCallbackEvent back;
  BindingResult result;
  ASSERT_TRUE(fromValue(result, back, value, "<value>", registry));
  EXPECT_EQ(back.id, 9u);
  ASSERT_EQ(back.parameters.size(), 2u);
  EXPECT_TRUE(back.parameters[0].isEmpty());
  EXPECT_EQ(back.parameters[1].getString(), "second");
}

} // namespace
} // namespace tav
