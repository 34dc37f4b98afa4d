// RouteTable registration, route records and the route builder's argument declarations.
#include "routing/route_table.h"

#include "binding/binding_type_registry.h"
#include "routing/function_name.h"

namespace tav {

RouteHandlerBase::~RouteHandlerBase() = default;

RouteRecord::RouteRecord(BindingFunctionDescriptor* function,
                         std::unique_ptr<RouteHandlerBase> handler)
    : function_(function), handler_(std::move(handler)),
      compiled_(std::make_shared<const UrlTemplate>(UrlTemplate::compile(""))),
      locations_(function ? function->arguments.size() : 0, ArgumentLocation::Any) {}

void RouteRecord::setTemplate(std::string_view templ) {
  if (templ.size() > 1 && templ.back() == '/') {
    templ.remove_suffix(1);
  }
  template_.assign(templ);
  compiled_ = std::make_shared<const UrlTemplate>(UrlTemplate::compile(template_));
}

void RouteRecord::setMethod(HttpMethod method, std::string_view customMethod) {
  method_ = method;
  customMethod_.assign(customMethod);
}

ArgumentLocation RouteRecord::location(size_t index) const {
  return index < locations_.size() ? locations_[index] : ArgumentLocation::Any;
}

void RouteRecord::setLocation(size_t index, ArgumentLocation location) {
  if (locations_.size() <= index) {
    locations_.resize(index + 1, ArgumentLocation::Any);
  }
  locations_[index] = location;
}

BindingArgumentDescriptor& RouteBuilder::declare(std::string_view name,
                                                 std::string_view description,
                                                 ArgumentLocation location) {
  const size_t index = next_++;
  function_->setArgumentName(index, name);
  BindingArgumentDescriptor& argument = function_->arguments[index];
  argument.description.assign(description);
  // Keep one location slot per argument even for slots the function gained elsewhere.
  if (record_->locations().size() < function_->arguments.size()) {
    record_->setLocation(function_->arguments.size() - 1, ArgumentLocation::Any);
  }
  record_->setLocation(index, location);
  return argument;
}

RouteBuilder& RouteBuilder::argument(std::string_view name, std::string_view description,
                                     ArgumentLocation location) {
  declare(name, description, location);
  return *this;
}

RouteBuilder& RouteBuilder::argument(std::string_view name, std::string_view description,
                                     ArgumentLocation location, BindingTypeRef type,
                                     bool optional) {
  const size_t index = next_;
  declare(name, description, location);
  function_->setArgument(index, type, optional);
  return *this;
}

RouteBuilder& RouteBuilder::bodyArgument(std::string_view name, std::string_view description) {
  return argument(name, description, ArgumentLocation::Body);
}

RouteBuilder& RouteBuilder::bodyArgument(std::string_view name, std::string_view description,
                                         BindingTypeRef type, bool optional) {
  return argument(name, description, ArgumentLocation::Body, type, optional);
}

RouteBuilder RouteTable::registerRoute(BindingTypeRegistry& registry, HttpMethod method,
                                       std::string_view templ,
                                       std::unique_ptr<RouteHandlerBase> handler) {
  const std::string name = functionName(method, templ);
  BindingFunctionDescriptor* function = registry.findFunction(name);
  if (function == nullptr) {
    function = registry.registerFunction(name, 0);
  }

  RouteRecord* record = nullptr;
  {
    std::lock_guard guard(lock_);
    auto found = byFunction_.find(function);
    if (found != byFunction_.end()) {
      record = found->second;
    } else {
      records_.push_back(std::make_unique<RouteRecord>(function, std::move(handler)));
      record = records_.back().get();
      byFunction_.emplace(function, record);
    }
  }
  record->setTemplate(templ);
  record->setMethod(method);
  return RouteBuilder(*record, *function);
}

RouteRecord* RouteTable::find(const BindingFunctionDescriptor* function) const {
  std::lock_guard guard(lock_);
  auto found = byFunction_.find(function);
  return found == byFunction_.end() ? nullptr : found->second;
}

void RouteTable::forEachRecord(const std::function<void(const RouteRecord&)>& visit) const {
  std::lock_guard guard(lock_);
  for (const std::unique_ptr<RouteRecord>& record : records_) {
    visit(*record);
  }
}

size_t RouteTable::size() const {
  std::lock_guard guard(lock_);
  return records_.size();
}

} // namespace tav
