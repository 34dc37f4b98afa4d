// References to structs and enums that were not registered when a field or function named them.
#include "binding/unregistered_types.h"

#include "binding/native_binding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav {
namespace {

enum class Shade : int32_t { Light = 0 };

struct Part {
  int32_t size = 0;
};

struct Machine {
  Part part;
  std::vector<Part> spares;
  Shade shade = Shade::Light;
  std::string label;
};

void registerMachine(BindingTypeRegistry& registry) {
  auto machine = registry.registerType<Machine>("Machine");
  machine.field("part", &Machine::part);
  machine.field("spares", &Machine::spares);
  machine.field("shade", &Machine::shade);
  machine.field("label", &Machine::label);
}

void registerParts(BindingTypeRegistry& registry) {
  registry.registerType<Part>("Part").field("size", &Part::size);
  auto shade = registry.registerType<Shade>("Shade");
  shade.addValue("Light", Shade::Light);
}

void addFunction(BindingTypeRegistry& registry) {
  BindingFunctionDescriptor* function = registry.registerFunction("GetMachine", 2);
  function->setArgument(0, nativeTypeRef<std::string>(registry), false);
  function->setArgument(1, nativeTypeRef<Part>(registry), false);
  function->setArgumentName(0, "id");
  function->setArgumentName(1, "part");
  function->returns = nativeTypeRef<std::vector<Shade>>(registry);
}

TEST(UnregisteredTypeReferences, NameTheTypeAndFieldOrTheFunctionAndArgument) {
  BindingTypeRegistry registry;
  registerMachine(registry); // before its parts: every struct or enum field is left unresolved
  addFunction(registry);
  const std::string partId = typeId<Part>().text;
  const std::string sparesId = typeId<std::vector<Part>>().text;
  const std::string shadeId = typeId<Shade>().text;
  EXPECT_EQ(unregisteredTypeReferences(registry),
            (std::vector<std::string>{
                "Type 'Machine' field 'part' has an unregistered struct type (" + partId + ")",
                "Type 'Machine' field 'spares' has an unregistered struct type (" + sparesId + ")",
                "Type 'Machine' field 'shade' has an unregistered enum type (" + shadeId + ")",
                "Function 'GetMachine' argument 'part' has an unregistered struct type",
                "Function 'GetMachine' answer has an unregistered enum type",
            }));
}

TEST(UnregisteredTypeReferences, AreNoneWhenEachTypeIsRegisteredBeforeItsUsers) {
  BindingTypeRegistry registry;
  registerParts(registry);
  registerMachine(registry);
  addFunction(registry);
  EXPECT_EQ(unregisteredTypeReferences(registry), std::vector<std::string>());
}

} // namespace
} // namespace tav
