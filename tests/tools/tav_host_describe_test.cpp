// `tav-host describe`: the banners plugin's API description as an OpenAPI 3.1 document. That the
// document is valid OpenAPI is Redocly's linter's to say (scripts/test); here, that it says what
// the plugin's records say.
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

  // The four routes under their templates, each function under the method its name begins with.
  const ValueTree paths = at(document, {"paths"});
  ASSERT_EQ(paths.entries().size(), 3u);
  const std::pair<const char*, const char*> gets[] = {
      {"/tav-banners/v1/current-sondar/flags", "GetTavBannersV1CurrentSondarFlags"},
      {"/tav-banners/v1/current-sondar/flags/equipped",
       "GetTavBannersV1CurrentSondarFlagsEquipped"},
      {"/tav-banners/v1/current-sondar/frames/equipped",
       "GetTavBannersV1CurrentSondarFramesEquipped"}};
  for (const auto& [route, name] : gets) {
    EXPECT_EQ(at(paths, {route, "get", "operationId"}).text(), name);
    EXPECT_TRUE(same(at(paths, {route, "get", "x-arguments"}), "[]"));
  }
  const ValueTree put = at(paths, {"/tav-banners/v1/current-sondar/flags/equipped", "put"});
  EXPECT_EQ(at(put, {"operationId"}).text(), "PutTavBannersV1CurrentSondarFlagsEquipped");
  EXPECT_TRUE(same(at(put, {"x-arguments"}), R"([{"name": "flag", "required": true,
      "schema": {"$ref": "#/components/schemas/VmfBeTavBannersBannerFlag"}}])"));
  EXPECT_TRUE(same(at(put, {"responses", "200", "content", "application/json", "schema"}),
                   R"({"$ref": "#/components/schemas/VmfBeTavBannersBannerFlag"})"));
  EXPECT_TRUE(same(
      at(paths, {"/tav-banners/v1/current-sondar/flags", "get", "responses", "200", "content",
                 "application/json", "schema"}),
      R"({"type": "array", "items": {"$ref": "#/components/schemas/VmfBeTavBannersBannerFlag"}})"));
  // Functions under a known route are not listed again by name.
  EXPECT_TRUE(at(document, {"components", "pathItems"}).entries().empty());

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

// Another plugin's routes are named on the command line; placeholders become path parameters, and
// functions under no named route stay listed by name.
TEST(TavHostDescribe, NamesTheRoutesGivenForAnotherPlugin) {
  const char* folder = std::getenv("TAV_BUILD_DIR");
  ASSERT_NE(folder, nullptr);
  const ToolRun run =
      runTool({"describe", "--library", std::string(folder) + "/libtav_test_plugin.so", "--route",
               "/tav-test/v1/items/{id}"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const ValueTree document = parse(run.out);
  const ValueTree item = at(document, {"paths", "/tav-test/v1/items/{id}"});
  EXPECT_EQ(at(item, {"get", "operationId"}).text(), "GetTavTestV1ItemsById");
  EXPECT_EQ(at(item, {"put", "operationId"}).text(), "PutTavTestV1ItemsById");
  EXPECT_TRUE(same(at(item, {"get", "parameters"}), R"([{"name": "id", "in": "path",
      "required": true, "schema": {"type": "string"}}])"));
  EXPECT_EQ(
      at(document, {"components", "pathItems", "GetTavTestV1Items", "get", "operationId"}).text(),
      "GetTavTestV1Items");
}

TEST(TavHostDescribe, ReportsALibraryThatCannotBeLoaded) {
  const ToolRun run = runTool({"describe", "--library", "/nonexistent/libnothing.so"});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find("cannot load /nonexistent/libnothing.so"), std::string::npos) << run.err;
}

} // namespace
} // namespace tav::testtools
