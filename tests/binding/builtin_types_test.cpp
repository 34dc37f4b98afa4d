// The built-in types and event that every registry starts with.
#include "binding/builtin_types.h"

#include "binding/binding_type_registry.h"

#include <gtest/gtest.h>

#include <set>

namespace tav {
namespace {

using Tags = std::vector<std::string>;

struct FieldShape {
  const char* name;
  BindingTypeCode code;
  BindingTypeCode elementCode;
  const char* typeName; // the referenced descriptor's name, or ""
  const char* description;
};

struct TypeShape {
  const char* name;
  const char* description;
  Tags tags;
  uint32_t size;
  std::vector<FieldShape> fields;
};

constexpr auto kString = BindingTypeCode::String;
constexpr auto kNone = BindingTypeCode::None;
constexpr auto kStruct = BindingTypeCode::Struct;
constexpr auto kVector = BindingTypeCode::Vector;
constexpr auto kBool = BindingTypeCode::Bool;
constexpr auto kUint32 = BindingTypeCode::Uint32;
constexpr auto kObject = BindingTypeCode::Object;

const std::vector<TypeShape>& structShapes() {
  static const Tags help = {"$builtin", "help"};
  static const Tags builtin = {"$builtin"};
  static const Tags async = {"$builtin", "async"};
  static const FieldShape typeField = {"type", kStruct, kNone, "BindingFullTypeIdentifier", ""};
  static const std::vector<TypeShape> shapes = {
      {"BindingFullTypeIdentifier",
       "Describes the type of a value.",
       help,
       sizeof(BindingFullTypeIdentifier),
       {{"type", kString, kNone, "", ""}, {"elementType", kString, kNone, "", ""}}},
      {"BindingFullArgumentHelp",
       "Describes a function parameter.",
       help,
       sizeof(BindingFullArgumentHelp),
       {{"name", kString, kNone, "", ""},
        {"description", kString, kNone, "", ""},
        typeField,
        {"optional", kBool, kNone, "", ""}}},
      {"BindingFullFunctionHelp",
       "Describes a function.",
       help,
       sizeof(BindingFullFunctionHelp),
       {{"name", kString, kNone, "", ""},
        {"nameSpace", kString, kNone, "", ""},
        {"arguments", kVector, kStruct, "BindingFullArgumentHelp", ""},
        {"returns", kStruct, kNone, "BindingFullTypeIdentifier", ""},
        {"description", kString, kNone, "", ""},
        {"help", kString, kNone, "", ""},
        {"threadSafe", kBool, kNone, "", ""},
        {"async", kString, kNone, "", ""},
        {"tags", kVector, kString, "", ""}}},
      {"BindingFullEnumValueHelp",
       "Describes an enumerator.",
       help,
       sizeof(BindingFullEnumValueHelp),
       {{"name", kString, kNone, "", ""},
        {"description", kString, kNone, "", ""},
        {"value", BindingTypeCode::Int32, kNone, "", ""}}},
      {"BindingFullFieldHelp",
       "Describes a member of a struct.",
       help,
       sizeof(BindingFullFieldHelp),
       {{"name", kString, kNone, "", ""},
        {"description", kString, kNone, "", ""},
        {"offset", kUint32, kNone, "", ""},
        typeField,
        {"optional", kBool, kNone, "", ""}}},
      {"BindingFullTypeHelp",
       "Describes a struct or enum type.",
       help,
       sizeof(BindingFullTypeHelp),
       {{"name", kString, kNone, "", ""},
        {"nameSpace", kString, kNone, "", ""},
        {"size", kUint32, kNone, "", ""},
        {"description", kString, kNone, "", ""},
        {"tags", kVector, kString, "", ""},
        {"fields", kVector, kStruct, "BindingFullFieldHelp", ""},
        {"values", kVector, kStruct, "BindingFullEnumValueHelp", ""}}},
      {"BindingFullEventHelp",
       "Describes an event.",
       help,
       sizeof(BindingFullEventHelp),
       {{"name", kString, kNone, "", ""},
        {"nameSpace", kString, kNone, "", ""},
        typeField,
        {"description", kString, kNone, "", ""},
        {"tags", kVector, kString, "", ""}}},
      {"BindingFullApiHelp",
       "Describes the exposed native API.",
       help,
       sizeof(BindingFullApiHelp),
       {{"functions", kVector, kStruct, "BindingFullFunctionHelp", ""},
        {"types", kVector, kStruct, "BindingFullTypeHelp", ""},
        {"events", kVector, kStruct, "BindingFullEventHelp", ""}}},
      {"BindingGenericEvent",
       "Represents generic data for an event.",
       builtin,
       sizeof(BindingGenericEvent),
       {{"data", kObject, kNone, "", "Event data"}}},
      {"BindingCallbackEvent",
       "Represents the parameters of a call to a provided callback.",
       builtin,
       sizeof(BindingCallbackEvent),
       {{"id", kUint32, kNone, "", "ID of the callback being invoked"},
        {"parameters", kVector, kObject, "", "Callback parameters"}}},
      {"BindingGenericAsyncEvent",
       "Represents generic data for an asynchronous event.",
       async,
       sizeof(BindingGenericAsyncEvent),
       {{"asyncToken", kUint32, kNone, "", "Asynchronous operation token"},
        {"data", kObject, kNone, "", "Event data"}}},
      {"BindingAsyncFailureEvent",
       "Represents a failed asynchronous operation.",
       async,
       sizeof(BindingAsyncFailureEvent),
       {{"asyncToken", kUint32, kNone, "", "Asynchronous operation token"},
        {"error", kString, kNone, "", "Error message"}}},
      {"BindingAsyncCancelEvent",
       "Represents a cancelled asynchronous operation.",
       async,
       sizeof(BindingAsyncCancelEvent),
       {{"asyncToken", kUint32, kNone, "", "Asynchronous operation token"}}},
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
    ASSERT_EQ(type->fields.size(), shape.fields.size());
    for (size_t i = 0; i < shape.fields.size(); ++i) {
      const BindingFieldDescriptor& field = type->fields[i];
      const FieldShape& want = shape.fields[i];
      SCOPED_TRACE(want.name);
      EXPECT_EQ(field.name, want.name);
      EXPECT_EQ(field.type.code, want.code);
      EXPECT_EQ(field.type.elementCode, want.elementCode);
      EXPECT_EQ(field.type.descriptor ? field.type.descriptor->name : "", want.typeName);
      EXPECT_EQ(field.description, want.description);
      EXPECT_EQ(field.flags, 0u);
      EXPECT_FALSE(field.optional);
      EXPECT_LT(field.offset, type->size);
    }
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
