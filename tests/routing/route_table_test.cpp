// RouteTable registration: naming, find-or-create, stored templates and argument declarations.
#include "routing/route_table.h"

#include "binding/binding_type_registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tav {
namespace {

// Counts its own destruction so a test can tell which handler a record kept.
class CountingHandler : public RouteHandlerBase {
public:
  explicit CountingHandler(int* destroyed) : destroyed_(destroyed) {}
  ~CountingHandler() override { ++*destroyed_; }

private:
  int* destroyed_;
};

TEST(RouteTable, NamesEachMethodAndTemplateAsItsOwnFunction) {
  BindingTypeRegistry registry;
  RouteTable table;
  const char* path = "/tav-banners/v1/current-sondar/flags/equipped";
  RouteRecord& get = table.registerRoute(registry, HttpMethod::Get, path, nullptr).record();
  RouteRecord& put = table.registerRoute(registry, HttpMethod::Put, path, nullptr).record();
  EXPECT_NE(&get, &put);
  EXPECT_EQ(put.function()->name, "PutTavBannersV1CurrentSondarFlagsEquipped");
  EXPECT_EQ(registry.findFunction("PutTavBannersV1CurrentSondarFlagsEquipped"), put.function());
  EXPECT_EQ(table.find(put.function()), &put);
  EXPECT_EQ(put.method(), HttpMethod::Put);
}

TEST(RouteTable, StoresTemplateWithoutOneTrailingSlash) {
  const struct {
    const char* given;
    const char* stored;
  } cases[] = {
      {"/flags/", "/flags"}, {"/flags//", "/flags/"}, {"/", "/"}, {"", ""}, {"/a/{id}/", "/a/{id}"},
  };
  for (const auto& c : cases) {
    BindingTypeRegistry registry;
    RouteTable table;
    const RouteRecord& record =
        table.registerRoute(registry, HttpMethod::Get, c.given, nullptr).record();
    EXPECT_EQ(record.templateText(), c.stored) << c.given;
    EXPECT_EQ(record.compiledTemplate()->text(), c.stored) << c.given;
  }
}

TEST(RouteTable, RegisteringAgainKeepsRecordAndHandler) {
  BindingTypeRegistry registry;
  RouteTable table;
  int firstDestroyed = 0;
  int secondDestroyed = 0;
  RouteRecord& first = table
                           .registerRoute(registry, HttpMethod::Get, "/items/",
                                          std::make_unique<CountingHandler>(&firstDestroyed))
                           .record();
  RouteHandlerBase* handler = first.handler();
  first.setMethod(HttpMethod::Custom, "PURGE");

  RouteRecord& second = table
                            .registerRoute(registry, HttpMethod::Get, "/items",
                                           std::make_unique<CountingHandler>(&secondDestroyed))
                            .record();
  EXPECT_EQ(&second, &first);
  EXPECT_EQ(second.handler(), handler);
  EXPECT_EQ(secondDestroyed, 1) << "the handler offered for an existing record is dropped";
  EXPECT_EQ(firstDestroyed, 0);
  EXPECT_EQ(second.method(), HttpMethod::Get);
  EXPECT_EQ(second.customMethod(), "") << "registration clears the custom method name";

  std::vector<std::string> templates;
  table.forEachRecord([&](const RouteRecord& r) { templates.push_back(r.templateText()); });
  EXPECT_EQ(templates, (std::vector<std::string>{"/items"}));
}

TEST(RouteTable, DeclarationsNameArgumentsInOrderAndAppendSlots) {
  BindingTypeRegistry registry;
  // A function that already has one typed argument keeps its descriptor and its type.
  BindingFunctionDescriptor* function = registry.registerFunction("PutItems", 1);
  function->setArgument(0, BindingTypeRef{BindingTypeCode::Struct}, false);
  RouteTable table;
  RouteBuilder builder = table.registerRoute(registry, HttpMethod::Put, "/items", nullptr);
  ASSERT_EQ(&builder.function(), function);
  EXPECT_EQ(builder.record().locations(), std::vector<ArgumentLocation>{ArgumentLocation::Any});

  builder.bodyArgument("flag", "the flag")
      .argument("count", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::Int32}, true);
  ASSERT_EQ(function->arguments.size(), 2u);
  EXPECT_EQ(function->arguments[0].name, "flag");
  EXPECT_EQ(function->arguments[0].description, "the flag");
  EXPECT_EQ(function->arguments[0].type.code, BindingTypeCode::Struct);
  EXPECT_EQ(function->arguments[1].name, "count");
  EXPECT_EQ(function->arguments[1].type.code, BindingTypeCode::Int32);
  EXPECT_TRUE(function->arguments[1].optional);
  EXPECT_EQ(builder.record().locations(),
            (std::vector<ArgumentLocation>{ArgumentLocation::Body, ArgumentLocation::Query}));
  // A slot the function gains later, outside the builder, reads as unrestricted.
  function->setArgumentName(3, "late");
  EXPECT_EQ(builder.record().location(3), ArgumentLocation::Any);
}

} // namespace
} // namespace tav
