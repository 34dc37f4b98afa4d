// RouteTable: the plugin's registered functions, each with its handler, template, method and the
// location every argument may come from.
//
//   RouteTable routes;
//   routes.registerRoute(registry, HttpMethod::Put,
//   "/tav-banners/v1/current-sondar/flags/equipped",
//                        std::move(handler))
//       .bodyArgument("flag", "", nativeTypeRef<BannerFlag>(registry));
//
// Registration happens during the plugin's initialisation; afterwards records are only read, so
// calls on several host threads may use them at once without the table's lock.
#pragma once

#include "binding/binding_type_descriptor.h"
#include "routing/http_method.h"
#include "routing/url_template.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tav {

class BindingTypeRegistry;

// Where an argument's value may come from; the codes cross the host boundary. Code 3 is unused.
enum class ArgumentLocation : uint32_t {
  Any = 0, // no restriction
  Query = 1,
  Path = 2,
  Header = 4,
  Body = 5,
};

// The handler object a record owns. The plugin runtime derives its route handler from this; the
// routing layer only keeps it alive.
class RouteHandlerBase {
public:
  virtual ~RouteHandlerBase();
};

// One registered function. Created by RouteTable::registerRoute and owned by the table; its
// address stays valid for the table's life, so it can serve as the function's context pointer.
class RouteRecord {
public:
  RouteRecord(BindingFunctionDescriptor* function, std::unique_ptr<RouteHandlerBase> handler);
  RouteRecord(const RouteRecord&) = delete;
  RouteRecord& operator=(const RouteRecord&) = delete;

  BindingFunctionDescriptor* function() const { return function_; }
  RouteHandlerBase* handler() const { return handler_.get(); }

  // The template as stored: one trailing "/" removed when it is longer than one character.
  const std::string& templateText() const { return template_; }
  // The stored template, compiled when it was stored. Shared so a pattern built for a call keeps
  // it alive even if the route is registered again meanwhile.
  const std::shared_ptr<const UrlTemplate>& compiledTemplate() const { return compiled_; }
  void setTemplate(std::string_view templ);

  HttpMethod method() const { return method_; }
  // Meaningful only with HttpMethod::Custom.
  const std::string& customMethod() const { return customMethod_; }
  void setMethod(HttpMethod method, std::string_view customMethod = {});

  // One slot per declared argument, `Any` until declared otherwise. An index beyond the slots
  // (an argument added to the function after the record was made) reads as `Any`.
  const std::vector<ArgumentLocation>& locations() const { return locations_; }
  ArgumentLocation location(size_t index) const;
  // Appends `Any` slots as needed.
  void setLocation(size_t index, ArgumentLocation location);

private:
  BindingFunctionDescriptor* function_;
  std::unique_ptr<RouteHandlerBase> handler_;
  std::string template_;
  std::shared_ptr<const UrlTemplate> compiled_;
  HttpMethod method_ = HttpMethod::Any;
  std::string customMethod_;
  std::vector<ArgumentLocation> locations_;
};

// Returned by registerRoute for the declarations that follow. Declarations name the function's
// arguments in order: the first names argument 0, the next argument 1, and so on; a slot is
// appended to the function (and to the record) when it has fewer.
class RouteBuilder {
public:
  RouteBuilder(RouteRecord& record, BindingFunctionDescriptor& function)
      : record_(&record), function_(&function) {}

  // Names the next argument, gives it its description and restricts it to `location`. Without
  // a type the argument keeps the type and optional flag it already had.
  RouteBuilder& argument(std::string_view name, std::string_view description,
                         ArgumentLocation location);
  RouteBuilder& argument(std::string_view name, std::string_view description,
                         ArgumentLocation location, BindingTypeRef type, bool optional = false);

  // The same with location `Body`: the first such argument receives the request's body.
  RouteBuilder& bodyArgument(std::string_view name, std::string_view description = {});
  RouteBuilder& bodyArgument(std::string_view name, std::string_view description,
                             BindingTypeRef type, bool optional = false);

  RouteRecord& record() const { return *record_; }
  BindingFunctionDescriptor& function() const { return *function_; }

private:
  BindingArgumentDescriptor& declare(std::string_view name, std::string_view description,
                                     ArgumentLocation location);

  RouteRecord* record_;
  BindingFunctionDescriptor* function_;
  size_t next_ = 0;
};

// Function descriptor to record, guarded by one mutex that is held only to look a record up, to
// insert one, or while the records are walked.
class RouteTable {
public:
  RouteTable() = default;
  RouteTable(const RouteTable&) = delete;
  RouteTable& operator=(const RouteTable&) = delete;

  // Names the function from method and template (functionName), finds or creates its
  // descriptor in registry, finds or creates its record (a new record takes `handler`; an
  // existing one keeps its own and `handler` is dropped), then stores the template and the
  // method and clears the custom method name.
  RouteBuilder registerRoute(BindingTypeRegistry& registry, HttpMethod method,
                             std::string_view templ, std::unique_ptr<RouteHandlerBase> handler);

  // The record of a function, or null when it was never registered here.
  RouteRecord* find(const BindingFunctionDescriptor* function) const;

  // Calls visit for every record in registration order, under the table's mutex: visit must not
  // register routes or look records up.
  void forEachRecord(const std::function<void(const RouteRecord&)>& visit) const;

  size_t size() const;

private:
  mutable std::mutex lock_;
  std::unordered_map<const BindingFunctionDescriptor*, RouteRecord*> byFunction_;
  std::vector<std::unique_ptr<RouteRecord>> records_; // registration order
};

} // namespace tav
