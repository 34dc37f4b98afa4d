// ApiDescription: the packed records that describe a registry's functions, types and events to
// the host.
//
//   ApiDescription api(registry);            // built once, after registration
//   handshake.functionTable = &api.header(); // (the runtime points functions at its own records)
//
// The records' texts point into the registry's descriptors, so the registry must outlive this
// object and its descriptors must not change after it is built. Each array is also a linked list
// through its records' next words.
#pragma once

#include "binding/host_records.h"

#include <span>
#include <vector>

namespace tav {

class BindingTypeRegistry;
struct BindingTypeRef;

class ApiDescription {
public:
  explicit ApiDescription(const BindingTypeRegistry& registry);
  ApiDescription(const ApiDescription&) = delete;
  ApiDescription& operator=(const ApiDescription&) = delete;

  const host::HostApiDescription& header() const { return header_; }
  std::span<const host::HostFunctionDescription> functions() const { return functions_; }
  std::span<const host::HostTypeDescription> types() const { return types_; }
  std::span<const host::HostEventDescription> events() const { return events_; }

  // The code written for a type reference: 1 to 19 as is, anything else 0.
  static uint32_t hostTypeCode(int32_t code);

private:
  std::vector<host::HostFunctionDescription> functions_;
  std::vector<host::HostArgumentDescription> arguments_;
  std::vector<host::HostTypeDescription> types_;
  std::vector<host::HostFieldDescription> fields_;
  std::vector<host::HostEnumeratorDescription> enumerators_;
  std::vector<host::HostEventDescription> events_;
  // One array of text pointers per tagged record; inner arrays never move once filled.
  std::vector<std::vector<const char*>> tags_;
  host::HostApiDescription header_{};
};

} // namespace tav
