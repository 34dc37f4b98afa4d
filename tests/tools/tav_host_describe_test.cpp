// `tav-host describe`: the banners plugin's API description as an OpenAPI 3.1 document. That the
// document is valid OpenAPI is Redocly's linter's to say (scripts/test); here, that it says what
// the plugin's records say.
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <string>

namespace tav::testtools {
namespace {

using host::ValueTree;

ValueTree parse(std::string_view text) {
  std::string error;
  std::optional<ValueTree> tree = ValueTree::fromJson(text, &error);
  EXPECT_TRUE(tree) << error;
  return tree.value_or(ValueTree());
}

// The member at a path of keys, or an empty tree that fails the comparisons below.
ValueTree at(const ValueTree& tree, std::initializer_list<std::string_view> keys) {
  const ValueTree* node = &tree;
  for (std::string_view key : keys) {
    node = node->find(key);
    if (node == nullptr) {
      ADD_FAILURE() << "no member " << key;
      return ValueTree();
    }
  }
  return *node;
}

::testing::AssertionResult same(const ValueTree& actual, std::string_view expected) {
  if (host::sameJsonValue(actual, parse(expected))) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << actual.toJson() << " is not " << expected;
}

TEST(TavHostDescribe, PrintsTheFunctionsTypesAndEventsOfThePlugin) {
  const ToolRun run = runTool({"describe"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const ValueTree document = parse(run.out);
  EXPECT_EQ(at(document, {"openapi"}).text(), "3.1.0");
  EXPECT_TRUE(same(at(document, {"info"}), R"({"title": "vmf-be-tav-banners", "version": "18.0.0",
      "summary": "The API description vmf-be-tav-banners hands its host"})"));

  // The four routes' functions, each under the method its name begins with.
  const ValueTree items = at(document, {"components", "pathItems"});
  ASSERT_EQ(items.entries().size(), 4u);
  for (const char* name :
       {"GetTavBannersV1CurrentSondarFlags", "GetTavBannersV1CurrentSondarFlagsEquipped",
        "GetTavBannersV1CurrentSondarFramesEquipped"}) {
    EXPECT_EQ(at(items, {name, "get", "operationId"}).text(), name);
    EXPECT_TRUE(same(at(items, {name, "get", "x-arguments"}), "[]"));
  }
  const ValueTree put = at(items, {"PutTavBannersV1CurrentSondarFlagsEquipped", "put"});
  EXPECT_TRUE(same(at(put, {"x-arguments"}), R"([{"name": "flag", "required": true,
      "schema": {"$ref": "#/components/schemas/VmfBeTavBannersBannerFlag"}}])"));
  EXPECT_TRUE(same(at(put, {"responses", "200", "content", "application/json", "schema"}),
                   R"({"$ref": "#/components/schemas/VmfBeTavBannersBannerFlag"})"));
  EXPECT_TRUE(same(
      at(items, {"GetTavBannersV1CurrentSondarFlags", "get", "responses", "200", "content",
                 "application/json", "schema"}),
      R"({"type": "array", "items": {"$ref": "#/components/schemas/VmfBeTavBannersBannerFlag"}})"));

  // Types as JSON Schema: a struct's fields, an enum by name or number.
  const ValueTree schemas = at(document, {"components", "schemas"});
  EXPECT_TRUE(same(at(schemas, {"VmfBeTavBannersBannerFlag"}), R"({"type": "object",
      "properties": {"theme": {"type": "string"}, "level": {"type": "string"},
                     "seasonId": {"type": "string"}, "earnedDateIso8601": {"type": "string"}}})"));
  EXPECT_TRUE(same(at(schemas, {"PluginResourceEventType"}),
                   R"({"anyOf": [{"type": "string", "enum": ["Create", "Delete", "Update"]},
                                 {"type": "integer", "enum": [0, 2, 1]}]})"));

  // Events as webhooks whose body is the payload.
  EXPECT_TRUE(same(at(document, {"webhooks", "OnJsonApiEvent", "post", "requestBody", "content",
                                 "application/json", "schema"}),
                   R"({"$ref": "#/components/schemas/PluginResourceEvent"})"));
}

TEST(TavHostDescribe, ReportsALibraryThatCannotBeLoaded) {
  const ToolRun run = runTool({"describe", "--library", "/nonexistent/libnothing.so"});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find("cannot load /nonexistent/libnothing.so"), std::string::npos) << run.err;
}

} // namespace
} // namespace tav::testtools
