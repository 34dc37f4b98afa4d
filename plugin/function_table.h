// FunctionTable: the records the host calls the plugin's functions through, one per registered
// route, with the API description they are copied from.
//
//   FunctionTable table(registry, routes);          // after registration, once
//   handshake.functionTable = &table.header();
//
// Each record starts with a copy of the description record of the function of the same name (zeros
// when there is none), carries a context pointer that leads the call entry back to the route,
// and the call entry itself. The registry and the route table must outlive the table and must
// not change once it is built.
#pragma once

#include "binding/api_description.h"
#include "binding/host_records.h"

#include <memory>
#include <span>
#include <vector>

namespace tav {

class BindingTypeRegistry;
class RouteRecord;
class RouteTable;

// What a function record's context pointer points at.
struct CallTarget {
  const RouteRecord* record = nullptr;
  const BindingTypeRegistry* registry = nullptr;
};

class FunctionTable {
public:
  FunctionTable(const BindingTypeRegistry& registry, const RouteTable& routes);
  FunctionTable(const FunctionTable&) = delete;
  FunctionTable& operator=(const FunctionTable&) = delete;

  // The description header with its function words pointing at the function records.
  const host::HostApiDescription& header() const { return header_; }
  std::span<const host::HostFunctionRecord> records() const { return records_; }
  const ApiDescription& description() const { return description_; }

private:
  ApiDescription description_;
  // Separate allocations, so the context pointers stay valid whatever happens to the vector.
  std::vector<std::unique_ptr<CallTarget>> targets_;
  std::vector<host::HostFunctionRecord> records_;
  host::HostApiDescription header_{};
};

} // namespace tav
