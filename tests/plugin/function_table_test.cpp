// The function records handed to the host and the argument and return types they describe.
#include "plugin/function_table.h"

#include "plugin/call_entry.h"
#include "tests/plugin/host_call.h"
#include "tests/plugin/packed_field.h"
#include "tests/plugin/test_plugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace tav {
namespace {

class TestPluginTable : public ::testing::Test {
protected:
  TestPluginTable() {
    std::memset(&handshake_, 0, sizeof handshake_);
    handshake_.major = 18;
    plugin_.registerWithHost(handshake_, test::kTestPluginShortName);
  }

  const host::HostFunctionRecord& function(std::string_view name) {
    return test::functionRecord(*plugin_.functionTable(), name);
  }

  host::HostHandshake handshake_;
  test::TestPlugin plugin_;
};

TEST_F(TestPluginTable, HasOneRecordPerRouteInRegistrationOrder) {
  const host::HostApiDescription& header = *handshake_.functionTable;
  ASSERT_EQ(test::fieldValue(header.functionCount), 13u);
  const auto* records = reinterpret_cast<const host::HostFunctionRecord*>(header.functions);
  const char* const names[] = {
      "GetTavTestV1ItemsById", "PutTavTestV1ItemsById", "GetTavTestV1Items",
      "GetTavTestV1Missing",   "GetTavTestV1Teapot",    "GetTavTestV1Stream",
      "PostTavTestV1Events",   "GetTavTestV1Caller",    "GetTavTestV1FailByHow",
      "GetTavTestV1Relay",     "PostTavTestV1Watch",    "PostTavTestV1Unwatch",
      "GetTavTestV1Seen"};
  for (uint32_t i = 0; i < header.functionCount; ++i) {
    EXPECT_STREQ(records[i].description.name, names[i]);
    EXPECT_EQ(test::fieldValue(records[i].call), &callEntry);
    EXPECT_EQ(test::fieldValue(records[i].description.reserved), 0u);
    const uint8_t zero[25] = {};
    EXPECT_EQ(std::memcmp(records[i].zero, zero, sizeof zero), 0);
  }
}

TEST_F(TestPluginTable, ContextLeadsBackToTheRouteOfTheSameFunction) {
  for (const host::HostFunctionRecord& record : plugin_.functionTable()->records()) {
    const auto* target = static_cast<const CallTarget*>(record.description.context);
    ASSERT_NE(target, nullptr);
    EXPECT_STREQ(target->record->function()->name.c_str(), record.description.name);
    EXPECT_EQ(target->registry, &plugin_.typeRegistry());
  }
}

struct ArgumentCase {
  const char* name;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

struct SignatureCase {
  const char* function;
  std::vector<ArgumentCase> arguments;
  uint32_t returnCode;
  uint32_t returnElementCode;
  const char* returnTypeName;
};

void PrintTo(const SignatureCase& c, std::ostream* os) {
  *os << c.function;
}

class DescribedSignature : public TestPluginTable,
                           public ::testing::WithParamInterface<SignatureCase> {};

TEST_P(DescribedSignature, ShowsTheFunctionsArgumentAndReturnTypes) {
  const SignatureCase& c = GetParam();
  const host::HostFunctionDescription& description = function(c.function).description;
  ASSERT_EQ(test::fieldValue(description.argumentCount), c.arguments.size());
  for (size_t i = 0; i < c.arguments.size(); ++i) {
    const host::HostArgumentDescription& argument = description.arguments[i];
    EXPECT_STREQ(argument.name, c.arguments[i].name) << i;
    EXPECT_EQ(test::fieldValue(argument.typeCode), c.arguments[i].typeCode) << i;
    EXPECT_EQ(test::fieldValue(argument.elementCode), c.arguments[i].elementCode) << i;
    EXPECT_STREQ(argument.typeName, c.arguments[i].typeName) << i;
    EXPECT_EQ(test::fieldValue(argument.optional), c.arguments[i].optional) << i;
  }
  EXPECT_EQ(test::fieldValue(description.returnCode), c.returnCode);
  EXPECT_EQ(test::fieldValue(description.returnElementCode), c.returnElementCode);
  EXPECT_STREQ(description.returnTypeName, c.returnTypeName);
}

INSTANTIATE_TEST_SUITE_P(
    Functions, DescribedSignature,
    ::testing::Values(SignatureCase{"GetTavTestV1ItemsById",
                                    {{"id", 12, 0, "", 0}, {"count", 6, 0, "", 1}},
                                    17,
                                    0,
                                    "VmfBeTavTestItem"},
                      SignatureCase{"PutTavTestV1ItemsById",
                                    {{"id", 12, 0, "", 0}, {"item", 17, 0, "VmfBeTavTestItem", 0}},
                                    17,
                                    0,
                                    "VmfBeTavTestItem"},
                      SignatureCase{"GetTavTestV1Items", {}, 15, 17, "VmfBeTavTestItem"},
                      SignatureCase{"PostTavTestV1Events", {{"payload", 13, 0, "", 0}}, 0, 0, ""},
                      SignatureCase{"GetTavTestV1Caller", {}, 17, 0, "VmfBeTavTestCaller"},
                      SignatureCase{"GetTavTestV1Missing", {}, 12, 0, ""}));

} // namespace
} // namespace tav
