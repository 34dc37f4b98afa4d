// HostCall: one call of a plugin function made the way the host makes it, and its answer.
//
//   test::TestRequest request(HttpMethod::Get, "/tav-test/v1/items/7");
//   test::HostCall call(plugin.function("GetTavTestV1ItemsById"), request);
//   EXPECT_EQ(call.status(), 0u);
//   EXPECT_EQ(call.value().find("id").getString(), "7");
#pragma once

#include "binding/binding_property.h"
#include "binding/host_records.h"
#include "binding/host_value_conversion.h"
#include "plugin/function_table.h"
#include "plugin/plugin.h"
#include "tests/routing/test_route.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tav::test {

// The function record of the given name in a function table.
inline const host::HostFunctionRecord& functionRecord(const FunctionTable& table,
                                                      std::string_view name) {
  for (const host::HostFunctionRecord& record : table.records()) {
    if (record.description.name != nullptr && name == record.description.name) {
      return record;
    }
  }
  throw std::invalid_argument("no function record named " + std::string(name));
}

class HostCall {
public:
  HostCall(const host::HostFunctionRecord& function, TestRequest& request,
           uint32_t callerHandle = 0) {
    host::HostRequest record = request.record();
    record.functionContext = function.description.context;
    record.callerHandle = callerHandle;
    std::memset(&response_, 0, sizeof response_);
    function.call(&response_, &record);
  }
  HostCall(const HostCall&) = delete;
  HostCall& operator=(const HostCall&) = delete;
  ~HostCall() { release(); }

  // Calls the record's release function, as the host does once it has read the answer.
  void release() {
    if (response_.release != nullptr) {
      response_.release(&response_);
    }
  }

  const host::HostResponse& response() const { return response_; }
  host::HostResponse& response() { return response_; }
  bool failed() const { return response_.error != nullptr; }
  std::string error() const { return response_.error != nullptr ? response_.error : ""; }
  uint32_t status() const { return response_.status; }
  BindingProperty value() const {
    BindingResult value;
    fromHostValue(value, response_.value, "<result>");
    return value.value();
  }

private:
  host::HostResponse response_;
};

} // namespace tav::test
