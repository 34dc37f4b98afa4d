// Building the host's function records from the route table and the API description.
#include "plugin/function_table.h"

#include "binding/binding_type_registry.h"
#include "plugin/call_entry.h"
#include "routing/route_table.h"

#include <cstring>
#include <string_view>

namespace tav {
namespace {

const host::HostFunctionDescription* describedFunction(const ApiDescription& description,
                                                       std::string_view name) {
  for (const host::HostFunctionDescription& function : description.functions()) {
    if (function.name != nullptr && name == function.name) {
      return &function;
    }
  }
  return nullptr;
}

} // namespace

FunctionTable::FunctionTable(const BindingTypeRegistry& registry, const RouteTable& routes)
    : description_(registry) {
  routes.forEachRecord([&](const RouteRecord& route) {
    auto target = std::make_unique<CallTarget>(CallTarget{&route, &registry});
    host::HostFunctionRecord record;
    std::memset(&record, 0, sizeof record);
    if (route.function() != nullptr) {
      if (const host::HostFunctionDescription* described =
              describedFunction(description_, route.function()->name)) {
        record.description = *described;
      }
    }
    record.description.reserved = 0;
    record.description.context = target.get();
    record.call = &callEntry;
    targets_.push_back(std::move(target));
    records_.push_back(record);
  });

  header_ = description_.header();
  header_.functions = records_.empty()
                          ? nullptr
                          : reinterpret_cast<host::HostFunctionDescription*>(records_.data());
  header_.functionCount = static_cast<uint32_t>(records_.size());
}

} // namespace tav
