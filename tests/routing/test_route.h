// TestRoute: one registered function with typed, located arguments, and a request to call it.
//
//   TestRoute route(HttpMethod::Get, "/items/{id}", {{"id", BindingTypeCode::String},
//                                                    {"count", BindingTypeCode::Int32}});
//   TestRequest request(HttpMethod::Get, "/items/7?x=1");
//   BindingResult result;
//   std::vector<BindingProperty> values = route.bind(result, request);
#pragma once

#include "binding/binding_type_registry.h"
#include "binding/host_records.h"
#include "routing/argument_binding.h"
#include "routing/call_matching.h"
#include "routing/route_table.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace tav {

struct TestArgument {
  const char* name;
  BindingTypeCode code;
  ArgumentLocation location = ArgumentLocation::Any;
  bool optional = false;
};

// A request record whose texts and arrays it owns.
class TestRequest {
public:
  TestRequest(HttpMethod method, std::string path) : path_(std::move(path)) {
    std::memset(&record_, 0, sizeof record_);
    record_.method = static_cast<uint32_t>(method);
  }

  TestRequest& header(const char* name, const char* value) {
    headers_.push_back({name, value});
    return *this;
  }
  TestRequest& typed(const char* name, host::HostValue value) {
    typed_.push_back({name, value});
    return *this;
  }
  TestRequest& body(std::string contentType, std::string bytes) {
    contentType_ = std::move(contentType);
    body_ = std::move(bytes);
    hasBody_ = true;
    return *this;
  }

  // Valid until the request is changed or destroyed.
  const host::HostRequest& record() {
    record_.path = path_.c_str();
    record_.headers = headers_.empty() ? nullptr : headers_.data();
    record_.headerCount = static_cast<uint32_t>(headers_.size());
    record_.args = typed_.empty() ? nullptr : typed_.data();
    record_.argCount = static_cast<uint32_t>(typed_.size());
    record_.contentType = hasBody_ ? contentType_.c_str() : nullptr;
    record_.body = hasBody_ ? reinterpret_cast<const uint8_t*>(body_.data()) : nullptr;
    record_.bodyLength = static_cast<uint32_t>(body_.size());
    return record_;
  }

private:
  host::HostRequest record_;
  std::string path_;
  std::vector<host::HostHeaderPair> headers_;
  std::vector<host::HostTypedArgument> typed_;
  std::string contentType_;
  std::string body_;
  bool hasBody_ = false;
};

inline host::HostValue hostSigned(int64_t value) {
  host::HostValue out{};
  out.kind = static_cast<uint32_t>(host::HostValueKind::Signed);
  out.integer = value;
  return out;
}

inline host::HostValue hostText(const char* text) {
  host::HostValue out{};
  out.kind = static_cast<uint32_t>(host::HostValueKind::BorrowedString);
  out.span.data = const_cast<char*>(text);
  out.span.length = 0;
  return out;
}

class TestRoute {
public:
  TestRoute(HttpMethod method, const char* templ, std::initializer_list<TestArgument> arguments) {
    RouteBuilder builder = table_.registerRoute(registry_, method, templ, nullptr);
    for (const TestArgument& argument : arguments) {
      builder.argument(argument.name, "", argument.location, BindingTypeRef{argument.code},
                       argument.optional);
    }
    record_ = &builder.record();
  }

  const RouteRecord& record() const { return *record_; }

  // Matches the request against this route alone and binds it; a call that does not match
  // records kInvalidFunctionMessage.
  std::vector<BindingProperty> bind(BindingResult& result, TestRequest& request) const {
    const host::HostRequest& record = request.record();
    CallContext call = callContextFromRequest(record);
    const RoutePattern patterns[] = {RoutePattern::fromRecord(*record_)};
    if (!matchCall(call, patterns)) {
      result.setError(kInvalidFunctionMessage);
      return {};
    }
    return bindArguments(result, call, requestArgumentsFromRequest(record));
  }

private:
  BindingTypeRegistry registry_;
  RouteTable table_;
  RouteRecord* record_ = nullptr;
};

} // namespace tav
