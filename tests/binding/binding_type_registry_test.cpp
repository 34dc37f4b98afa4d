// Registry rules: static type ids, find-or-create registration, enumerators, functions, events
// and reset.
#include "binding/binding_type_registry.h"

#include "binding/fnv1a.h"
#include "foundation/memory.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tav {

struct PinnedRecord {
  int32_t value = 0;
};
template <> struct StaticTypePin<PinnedRecord> : PinnedTypeId<0x466F9860> {};

namespace {

struct Gadget {
  int32_t size = 0;
  std::string label;
};

struct Widget {
  bool on = false;
  int64_t weight = 0;
};

struct Holder {
  Gadget gadget;
  std::vector<Gadget> gadgets;
};

enum class Mood : int32_t { Calm = 1, Angry = 3 };

std::string hexText(uint32_t id) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%08X", id);
  return buffer;
}

TEST(StaticTypeId, FixedIdsAndIdentityTexts) {
  EXPECT_EQ(typeId<std::string>().id, 0x2757680Bu);
  EXPECT_STREQ(typeId<std::string>().text, "#2757680B");
  EXPECT_EQ(typeId<int64_t>().id, 0x7B2B1131u);
  EXPECT_STREQ(typeId<int64_t>().text, "#7B2B1131");
  EXPECT_EQ(typeId<BindingProperty>().id, 0xAF98C378u);
  EXPECT_STREQ(typeId<BindingProperty>().text,
               "const char *__cdecl StaticType::Name<class Kest::BindingProperty>(void)");
  EXPECT_EQ(typeId<PinnedRecord>().id, 0x466F9860u);
  EXPECT_STREQ(typeId<PinnedRecord>().text, "#466F9860");
}

TEST(StaticTypeId, DerivedIdsAreDistinctStableAndWrittenInHex) {
  const StaticTypeId& gadget = typeId<Gadget>();
  EXPECT_EQ(&gadget, &typeId<const Gadget&>()) << "one record per type";
  EXPECT_EQ(gadget.text, gadget.hex);
  EXPECT_EQ(std::string(gadget.text), hexText(gadget.id));
  const uint32_t ids[] = {typeId<Gadget>().id,
                          typeId<Widget>().id,
                          typeId<std::vector<Gadget>>().id,
                          typeId<std::vector<Widget>>().id,
                          typeId<int32_t>().id,
                          typeId<uint32_t>().id,
                          typeId<NoPayload>().id};
  for (size_t i = 0; i < std::size(ids); ++i) {
    for (size_t j = i + 1; j < std::size(ids); ++j) {
      EXPECT_NE(ids[i], ids[j]) << i << " vs " << j;
    }
  }
}

TEST(BindingTypeRegistry, FirstRegistrationWins) {
  BindingTypeRegistry registry;
  auto first = registry.registerType<Gadget>("Thing");
  ASSERT_FALSE(first.existed());
  first.setDescription("first");
  first.field("size", &Gadget::size);

  auto second = registry.registerType<Widget>("Thing");
  EXPECT_TRUE(second.existed());
  EXPECT_EQ(second.descriptor(), first.descriptor());
  const uint64_t allocationsBefore = memory::snapshot().totalAllocations;
  second.field("on", &Widget::on);
  second.field("weight", &Widget::weight, kBindingFieldRequired);
  second.addField("raw", "", 0, &typeId<bool>(), {BindingTypeCode::Bool}, {}, 0, nullptr);
  second.setDescription("second");
  second.addTag("late");
  second.addValue("Late", 1);
  EXPECT_EQ(memory::snapshot().totalAllocations, allocationsBefore)
      << "a builder of an existing type creates no converters and stores nothing";

  const BindingTypeDescriptor* thing = registry.findTypeByName("Thing");
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->size, sizeof(Gadget));
  EXPECT_EQ(thing->description, "first");
  ASSERT_EQ(thing->fields.size(), 1u);
  EXPECT_EQ(thing->fields[0].name, "size");
  EXPECT_TRUE(thing->tags.empty());
  EXPECT_TRUE(thing->values.empty());
  EXPECT_EQ(registry.findTypeById(&typeId<Gadget>()), thing);
  EXPECT_EQ(registry.findTypeById(&typeId<Widget>()), nullptr);
}

TEST(BindingTypeRegistry, FieldsRecordOffsetsTypesAndFlags) {
  BindingTypeRegistry registry;
  registry.registerType<Gadget>("Gadget").field("size", &Gadget::size);
  auto b = registry.registerType<Holder>("Holder");
  b.field("gadget", &Holder::gadget, kBindingFieldRequired, "the one", true);
  b.field("gadgets", &Holder::gadgets, kBindingFieldOmitWhenEmpty);

  const Holder sample;
  const auto offsetOf = [&](const void* member) {
    return static_cast<uint32_t>(static_cast<const char*>(member) -
                                 reinterpret_cast<const char*>(&sample));
  };
  const BindingTypeDescriptor* gadget = registry.findTypeByName("Gadget");
  const BindingTypeDescriptor* holder = registry.findTypeByName("Holder");
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(holder->fields.size(), 2u);
  const BindingFieldDescriptor& one = holder->fields[0];
  EXPECT_EQ(one.offset, offsetOf(&sample.gadget));
  EXPECT_EQ(one.type.code, BindingTypeCode::Struct);
  EXPECT_EQ(one.type.descriptor, gadget);
  EXPECT_EQ(one.flags, kBindingFieldRequired);
  EXPECT_EQ(one.description, "the one");
  EXPECT_TRUE(one.optional);
  EXPECT_EQ(one.owner, holder);
  EXPECT_EQ(one.typeId, &typeId<Gadget>());
  EXPECT_NE(one.converter, nullptr);
  const BindingFieldDescriptor& many = holder->fields[1];
  EXPECT_EQ(many.offset, offsetOf(&sample.gadgets));
  EXPECT_EQ(many.type.code, BindingTypeCode::Vector);
  EXPECT_EQ(many.type.elementCode, BindingTypeCode::Struct);
  EXPECT_EQ(many.type.descriptor, gadget);
  EXPECT_EQ(many.nameHash, fnv1a("gadgets"));
}

TEST(BindingTypeRegistry, NestedTypeRegisteredLaterLeavesNullDescriptor) {
  BindingTypeRegistry registry;
  auto b = registry.registerType<Holder>("Holder");
  b.field("gadget", &Holder::gadget);
  b.field("gadgets", &Holder::gadgets);
  registry.registerType<Gadget>("Gadget");
  const BindingTypeDescriptor* holder = registry.findTypeByName("Holder");
  EXPECT_EQ(holder->fields[0].type.descriptor, nullptr);
  EXPECT_EQ(holder->fields[1].type.descriptor, nullptr);
  EXPECT_EQ(holder->fields[1].type.elementCode, BindingTypeCode::Struct);
}

TEST(BindingTypeRegistry, AddValueOverwritesAndAddTagSkipsEmpty) {
  BindingTypeRegistry registry;
  auto b = registry.registerType<Mood>("Mood");
  b.addValue("Calm", 1, "old");
  b.addValue("Calm", 7, "new");
  b.addTag("");
  b.addTags({"a", "", "b"});
  const BindingTypeDescriptor* mood = registry.findTypeByName("Mood");
  ASSERT_NE(mood, nullptr);
  EXPECT_TRUE(mood->isEnum);
  EXPECT_EQ(mood->size, 4u);
  ASSERT_EQ(mood->values.size(), 1u);
  EXPECT_EQ(mood->values.at("Calm").number, 7);
  EXPECT_EQ(mood->values.at("Calm").description, "new");
  EXPECT_EQ(mood->values.at("Calm").owner, mood);
  EXPECT_EQ(mood->tags, (std::vector<std::string>{"a", "b"}));
}

TEST(BindingTypeRegistry, EnumValueNamePrefersTheNameSortingFirst) {
  BindingTypeRegistry registry;
  auto b = registry.registerType<Mood>("Mood");
  b.addValue("Zeta", 3);
  b.addValue("Beta", 3);
  b.addValue("Calm", Mood::Calm);
  const StaticTypeId* mood = &typeId<Mood>();
  EXPECT_STREQ(registry.enumValueName(mood, 3), "Beta");
  EXPECT_STREQ(registry.enumValueName(mood, 1), "Calm");
  EXPECT_EQ(registry.enumValueName(mood, 2), nullptr);
  EXPECT_EQ(registry.enumValueName(&typeId<Widget>(), 1), nullptr);
  EXPECT_EQ(registry.enumValueName(nullptr, 1), nullptr);
  const BindingTypeDescriptor* descriptor = registry.findTypeById(mood);
  EXPECT_TRUE(BindingTypeRegistry::enumHasNumber(descriptor, 3));
  EXPECT_FALSE(BindingTypeRegistry::enumHasNumber(descriptor, 4));
  EXPECT_FALSE(BindingTypeRegistry::enumHasNumber(nullptr, 3));
}

TEST(BindingTypeRegistry, PlaceholderStaysOutOfTheIdIndex) {
  BindingTypeRegistry registry;
  auto b = registry.registerType(0, "Nothing", &noPayloadTypeId(), false);
  EXPECT_FALSE(b.existed());
  EXPECT_NE(registry.findTypeByName("Nothing"), nullptr);
  EXPECT_EQ(registry.findTypeById(&noPayloadTypeId()), nullptr);
}

struct CountingInvoker : BindingInvoker {
  explicit CountingInvoker(int& destroyed) : destroyed_(destroyed) {}
  ~CountingInvoker() override { ++destroyed_; }
  int& destroyed_;
};

TEST(BindingTypeRegistry, FunctionsCountRevisionsAndOwnInvokers) {
  BindingTypeRegistry registry;
  const uint32_t start = registry.revision();
  BindingFunctionDescriptor* get = registry.registerFunction("GetThing", 2);
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(registry.revision(), start + 1);
  EXPECT_EQ(registry.findFunction("GetThing"), get);
  ASSERT_EQ(get->arguments.size(), 2u);
  EXPECT_EQ(get->arguments[1].owner, get);
  EXPECT_EQ(get->registry, &registry);

  get->setArgument(3, {BindingTypeCode::Bool}, true);
  get->setArgumentName(3, "flag");
  ASSERT_EQ(get->arguments.size(), 4u);
  EXPECT_EQ(get->arguments[3].name, "flag");
  EXPECT_TRUE(get->arguments[3].optional);
  EXPECT_EQ(get->arguments[3].type.code, BindingTypeCode::Bool);

  BindingFunctionDescriptor* detached = registry.registerFunction("Loose", 0, true);
  EXPECT_EQ(registry.findFunction("Loose"), nullptr);
  EXPECT_EQ(registry.revision(), start + 1);
  EXPECT_EQ(registry.functionSnapshot().size(), 1u);

  int destroyed = 0;
  get->invoker = std::make_unique<CountingInvoker>(destroyed);
  registry.removeFunction(get);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(registry.findFunction("GetThing"), nullptr);
  EXPECT_EQ(registry.revision(), start + 2);

  detached->invoker = std::make_unique<CountingInvoker>(destroyed);
  registry.removeFunction(detached);
  EXPECT_EQ(destroyed, 2);
  registry.removeFunction(detached); // no longer owned: ignored
  EXPECT_EQ(registry.revision(), start + 3);
}

TEST(BindingTypeRegistry, RegisteringAFunctionNameAgainReplacesIt) {
  BindingTypeRegistry registry;
  BindingFunctionDescriptor* first = registry.registerFunction("F", 0);
  BindingFunctionDescriptor* second = registry.registerFunction("F", 1);
  EXPECT_NE(first, second);
  EXPECT_EQ(registry.findFunction("F"), second);
  EXPECT_EQ(first->name, "F") << "the replaced descriptor stays valid";
  EXPECT_EQ(registry.functionSnapshot().size(), 1u);
}

TEST(BindingTypeRegistry, EventsAreFindOrCreate) {
  BindingTypeRegistry registry;
  registry.registerType<Widget>("Widget");
  const BindingTypeDescriptor* widget = registry.findTypeByName("Widget");
  auto first = registry.registerEvent("OnWidget", widget);
  ASSERT_FALSE(first.existed());
  first.setDescription("");
  first.setDescription("Fired.");
  first.addTag("");
  first.addTag("kclient");
  auto second = registry.registerEvent("OnWidget", nullptr);
  EXPECT_TRUE(second.existed());
  second.setDescription("Other.");
  second.addTag("other");

  const BindingEventDescriptor* event = registry.findEvent("OnWidget");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->payload, widget);
  EXPECT_EQ(event->description, "Fired.");
  EXPECT_EQ(event->tags, std::vector<std::string>{"kclient"});
  EXPECT_EQ(registry.findEvent("OnOther"), nullptr);
}

TEST(BindingTypeRegistry, ResetLeavesOnlyTheBuiltins) {
  BindingTypeRegistry registry;
  const size_t builtinTypes = registry.typeSnapshot().size();
  const size_t builtinEvents = registry.eventSnapshot().size();
  registry.registerType<Widget>("Widget").field("on", &Widget::on);
  registry.registerEvent("OnWidget", nullptr);
  int destroyed = 0;
  registry.registerFunction("F", 0)->invoker = std::make_unique<CountingInvoker>(destroyed);
  registry.registerFunction("G", 0, true)->invoker = std::make_unique<CountingInvoker>(destroyed);

  registry.reset();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(registry.findTypeByName("Widget"), nullptr);
  EXPECT_EQ(registry.findTypeById(&typeId<Widget>()), nullptr);
  EXPECT_EQ(registry.findEvent("OnWidget"), nullptr);
  EXPECT_EQ(registry.findFunction("F"), nullptr);
  EXPECT_EQ(registry.typeSnapshot().size(), builtinTypes);
  EXPECT_EQ(registry.eventSnapshot().size(), builtinEvents);
  EXPECT_TRUE(registry.functionSnapshot().empty());
  // The built-ins are fresh descriptors that still resolve one another.
  const BindingEventDescriptor* callback = registry.findEvent("OnCallback");
  ASSERT_NE(callback, nullptr);
  EXPECT_EQ(callback->payload, registry.findTypeByName("BindingCallbackEvent"));
}

TEST(BindingTypeRegistry, TypeCodeNames) {
  const std::pair<int32_t, const char*> names[] = {
      {0, ""},          {1, "bool"},    {2, "int8"},  {3, "uint8"},   {4, "int16"},  {5, "uint16"},
      {6, "int32"},     {7, "uint32"},  {8, "int64"}, {9, "uint64"},  {10, "float"}, {11, "double"},
      {12, "string"},   {13, "object"}, {14, "blob"}, {15, "vector"}, {16, "enum"},  {17, "struct"},
      {18, "callback"}, {19, "map"},    {20, ""},     {-1, ""}};
  for (const auto& [code, name] : names) {
    EXPECT_STREQ(bindingTypeCodeName(static_cast<BindingTypeCode>(code)), name) << code;
  }
}

} // namespace
} // namespace tav
