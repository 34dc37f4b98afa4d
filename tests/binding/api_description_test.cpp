// The packed API description records built from a registry.
#include "binding/api_description.h"

#include "binding/binding_type_registry.h"

#include <gtest/gtest.h>

#include <string>

// Packed record fields are compared as "+field": the unary plus copies them, since gtest binds
// its arguments to references and a reference to a misaligned field is undefined.
namespace tav {
namespace {

struct Part {
  int32_t id = 0;
};

struct Assembly {
  std::vector<Part> parts;
  int32_t count = 0;
  std::vector<std::string> labels;
  Part main;
};

struct Blank {};

enum class Level : int32_t { Low = 1, High = 2 };
enum class Nothing : int32_t {};

template <typename Record> size_t walkLength(const Record* first) {
  size_t length = 0;
  for (const Record* record = first; record != nullptr; record = record->next) {
    ++length;
  }
  return length;
}

const host::HostTypeDescription* typeNamed(const ApiDescription& api, std::string_view name) {
  for (const auto& type : api.types()) {
    if (name == type.name) {
      return &type;
    }
  }
  return nullptr;
}

const host::HostFunctionDescription* functionNamed(const ApiDescription& api,
                                                   std::string_view name) {
  for (const auto& function : api.functions()) {
    if (name == function.name) {
      return &function;
    }
  }
  return nullptr;
}

struct ApiDescriptionTest : ::testing::Test {
  void SetUp() override {
    registry.registerType<Part>("Part").field("id", &Part::id);
    auto assembly = registry.registerType<Assembly>("Assembly");
    assembly.setDescription("An assembly.");
    assembly.addTags({"kclient", "Plugins"});
    assembly.field("parts", &Assembly::parts);
    assembly.field("count", &Assembly::count, 0, "How many.", true);
    assembly.field("labels", &Assembly::labels);
    assembly.field("main", &Assembly::main);
    registry.registerType<Blank>("Blank");
    auto level = registry.registerType<Level>("Level");
    level.addValue("Low", Level::Low, "low");
    level.addValue("High", Level::High, "high");
    registry.registerType<Nothing>("Nothing");
  }

  BindingTypeRegistry registry;
};

TEST_F(ApiDescriptionTest, HeaderCountsAndLinksEveryArray) {
  registry.registerFunction("GetA", 0);
  registry.registerFunction("GetB", 0);
  const ApiDescription api(registry);
  const host::HostApiDescription& header = api.header();
  EXPECT_EQ(+header.functionCount, 2u);
  EXPECT_EQ(+header.typeCount, registry.typeSnapshot().size());
  EXPECT_EQ(+header.eventCount, 1u);
  EXPECT_EQ(walkLength(header.functions), +header.functionCount);
  EXPECT_EQ(walkLength(header.types), +header.typeCount);
  EXPECT_EQ(walkLength(header.events), +header.eventCount);
  EXPECT_EQ(+header.types, api.types().data());
  EXPECT_EQ(+header.types[1].next, &header.types[2]) << "next points at the following record";
  EXPECT_EQ(+header.functions[0].reserved, 0u);
  EXPECT_EQ(+header.functions[0].context, nullptr);

  const host::HostEventDescription& event = header.events[0];
  EXPECT_STREQ(event.name, "OnCallback");
  EXPECT_STREQ(event.payloadTypeName, "BindingCallbackEvent");
  EXPECT_STREQ(event.description, "Fired when a callback is invoked.");
  ASSERT_EQ(+event.tagCount, 1u);
  EXPECT_STREQ(event.tags[0], "$builtin");
}

TEST_F(ApiDescriptionTest, EmptyStructAndEmptyEnumWriteNoArrays) {
  const ApiDescription api(registry);
  const auto* blank = typeNamed(api, "Blank");
  const auto* nothing = typeNamed(api, "Nothing");
  ASSERT_NE(blank, nullptr);
  ASSERT_NE(nothing, nullptr);
  for (const auto* type : {blank, nothing}) {
    EXPECT_EQ(+type->fields, nullptr);
    EXPECT_EQ(+type->values, nullptr);
    EXPECT_EQ(+type->count, 0u);
  }
  EXPECT_EQ(+nothing->size, 4u);
}

TEST_F(ApiDescriptionTest, StructFieldsInRegistrationOrder) {
  const ApiDescription api(registry);
  const auto* assembly = typeNamed(api, "Assembly");
  ASSERT_NE(assembly, nullptr);
  EXPECT_EQ(+assembly->values, nullptr);
  EXPECT_EQ(+assembly->size, sizeof(Assembly));
  EXPECT_STREQ(assembly->description, "An assembly.");
  EXPECT_STREQ(assembly->nameSpace, "");
  ASSERT_EQ(+assembly->tagCount, 2u);
  EXPECT_STREQ(assembly->tags[0], "kclient");
  EXPECT_STREQ(assembly->tags[1], "Plugins");
  ASSERT_EQ(+assembly->count, 4u);
  ASSERT_EQ(walkLength(assembly->fields), 4u);

  struct Expected {
    const char* name;
    uint32_t code;
    uint32_t elementCode;
    const char* typeName;
    uint8_t optional;
  };
  const Expected expected[] = {
      {"parts", 15, 17, "Part", 0},
      {"count", 6, 0, "", 1},
      {"labels", 15, 12, "", 0},
      {"main", 17, 0, "Part", 0},
  };
  const Assembly sample;
  const auto offsetOf = [&](const void* member) {
    return static_cast<uint32_t>(static_cast<const char*>(member) -
                                 reinterpret_cast<const char*>(&sample));
  };
  const uint32_t offsets[] = {offsetOf(&sample.parts), offsetOf(&sample.count),
                              offsetOf(&sample.labels), offsetOf(&sample.main)};
  for (size_t i = 0; i < std::size(expected); ++i) {
    const host::HostFieldDescription& field = assembly->fields[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_STREQ(field.name, expected[i].name);
    EXPECT_EQ(+field.typeCode, expected[i].code);
    EXPECT_EQ(+field.elementCode, expected[i].elementCode);
    EXPECT_STREQ(field.typeName, expected[i].typeName);
    EXPECT_EQ(+field.optional, expected[i].optional);
    EXPECT_EQ(+field.offset, offsets[i]);
  }
  EXPECT_STREQ(assembly->fields[1].description, "How many.");
}

TEST_F(ApiDescriptionTest, EnumeratorsInNameOrder) {
  const ApiDescription api(registry);
  const auto* level = typeNamed(api, "Level");
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(+level->fields, nullptr);
  ASSERT_EQ(+level->count, 2u);
  EXPECT_STREQ(level->values[0].name, "High");
  EXPECT_EQ(+level->values[0].number, 2);
  EXPECT_STREQ(level->values[0].description, "high");
  EXPECT_STREQ(level->values[1].name, "Low");
  EXPECT_EQ(+level->values[1].next, nullptr);
}

TEST_F(ApiDescriptionTest, FunctionsWithArgumentsReturnsAndAsync) {
  const BindingTypeDescriptor* part = registry.findTypeByName("Part");
  BindingFunctionDescriptor* plain = registry.registerFunction("GetPart", 2);
  plain->setArgumentName(0, "id");
  plain->setArgument(0, {BindingTypeCode::Int32}, false).description = "The id.";
  plain->setArgumentName(1, "filter");
  plain->setArgument(1, {BindingTypeCode::Vector, BindingTypeCode::Struct, part}, true);
  plain->arguments[1].auxType = {BindingTypeCode::Map, BindingTypeCode::String, nullptr};
  plain->returns = {BindingTypeCode::Struct, BindingTypeCode::None, part};
  plain->threadSafe = true;
  plain->description = "Gets a part.";
  plain->tags = {"kclient"};

  BindingFunctionDescriptor* later = registry.registerFunction("PostPart", 0);
  later->returns = {BindingTypeCode::String};
  later->auxReturns = {BindingTypeCode::Struct, BindingTypeCode::None, part};
  later->async = true;

  BindingFunctionDescriptor* odd = registry.registerFunction("Odd", 1);
  odd->setArgument(0, {static_cast<BindingTypeCode>(42), static_cast<BindingTypeCode>(-1)}, false);
  odd->returns = {static_cast<BindingTypeCode>(20)};

  const ApiDescription api(registry);
  const auto* get = functionNamed(api, "GetPart");
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(+get->returnCode, 17u);
  EXPECT_EQ(+get->returnElementCode, 0u);
  EXPECT_STREQ(get->returnTypeName, "Part");
  EXPECT_STREQ(get->async, "") << "not async";
  EXPECT_EQ(+get->threadSafe, 1);
  EXPECT_STREQ(get->description, "Gets a part.");
  EXPECT_STREQ(get->help, "");
  ASSERT_EQ(+get->tagCount, 1u);
  EXPECT_STREQ(get->tags[0], "kclient");
  ASSERT_EQ(+get->argumentCount, 2u);
  EXPECT_EQ(walkLength(get->arguments), 2u);
  EXPECT_STREQ(get->arguments[0].name, "id");
  EXPECT_STREQ(get->arguments[0].description, "The id.");
  EXPECT_EQ(+get->arguments[0].typeCode, 6u);
  EXPECT_STREQ(get->arguments[0].typeName, "");
  EXPECT_EQ(+get->arguments[0].optional, 0);
  // The alternative type replaces the ordinary one, and a map without descriptor names nothing.
  EXPECT_EQ(+get->arguments[1].typeCode, 19u);
  EXPECT_EQ(+get->arguments[1].elementCode, 12u);
  EXPECT_STREQ(get->arguments[1].typeName, "");
  EXPECT_EQ(+get->arguments[1].optional, 1);

  const auto* post = functionNamed(api, "PostPart");
  ASSERT_NE(post, nullptr);
  EXPECT_EQ(+post->returnCode, 17u);
  EXPECT_STREQ(post->returnTypeName, "Part");
  EXPECT_STREQ(post->async, "Part");
  EXPECT_EQ(+post->arguments, nullptr);
  EXPECT_EQ(+post->tags, nullptr);
  EXPECT_EQ(+post->tagCount, 0u);

  const auto* strange = functionNamed(api, "Odd");
  ASSERT_NE(strange, nullptr);
  EXPECT_EQ(+strange->arguments[0].typeCode, 0u);
  EXPECT_EQ(+strange->arguments[0].elementCode, 0u);
  EXPECT_EQ(+strange->returnCode, 0u);
}

TEST(ApiDescriptionCodes, OnlyOneToNineteenPass) {
  EXPECT_EQ(ApiDescription::hostTypeCode(0), 0u);
  EXPECT_EQ(ApiDescription::hostTypeCode(1), 1u);
  EXPECT_EQ(ApiDescription::hostTypeCode(19), 19u);
  EXPECT_EQ(ApiDescription::hostTypeCode(20), 0u);
  EXPECT_EQ(ApiDescription::hostTypeCode(-5), 0u);
}

} // namespace
} // namespace tav
