// tav-host describe: the plugin's API description as an OpenAPI 3.1 document.
#include "tools/host_cli/describe_command.h"

#include "host/function_name.h"
#include "host/host.h"
#include "tools/host_cli/banner_routes.h"
#include "tools/host_cli/exit_codes.h"
#include "tools/host_cli/session.h"

#include <CLI/CLI.hpp>
#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>
#include <string_view>

namespace tav::tools {
namespace {

using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;

// The type codes of the records (BindingTypeCode).
enum TypeCode : uint32_t {
  kBool = 1,
  kInt8,
  kUint8,
  kInt16,
  kUint16,
  kInt32,
  kUint32,
  kInt64,
  kUint64,
  kFloat,
  kDouble,
  kString,
  kObject,
  kBlob,
  kVector,
  kEnum,
  kStruct,
  kCallback,
  kMap,
};

// The methods a function's name may begin with, as the naming rule writes them, and their keys
// in a path item.
constexpr std::array<std::pair<std::string_view, const char*>, 7> kMethods{{
    {"Delete", "delete"},
    {"Get", "get"},
    {"Head", "head"},
    {"Options", "options"},
    {"Patch", "patch"},
    {"Post", "post"},
    {"Put", "put"},
}};

class DocumentBuilder {
public:
  DocumentBuilder(const host::ApiDescription& description, rapidjson::Document& document)
      : description_(description), allocator_(document.GetAllocator()) {}

  Value text(std::string_view value) {
    return Value(value.data(), static_cast<rapidjson::SizeType>(value.size()), allocator_);
  }

  Value object() { return Value(rapidjson::kObjectType); }

  void add(Value& target, std::string_view key, Value value) {
    target.AddMember(text(key), value, allocator_);
  }
  void add(Value& target, std::string_view key, std::string_view value) {
    add(target, key, text(value));
  }
  void addIfAny(Value& target, std::string_view key, std::string_view value) {
    if (!value.empty()) {
      add(target, key, value);
    }
  }

  // A reference to a described struct or enum, or any value when the name describes none.
  Value namedType(const std::string& name) {
    if (name.empty() || description_.findType(name) == nullptr) {
      return object();
    }
    Value reference = object();
    add(reference, "$ref", "#/components/schemas/" + name);
    return reference;
  }

  Value integer(const char* format, double minimum, double maximum) {
    Value schema = object();
    add(schema, "type", "integer");
    if (format != nullptr) {
      add(schema, "format", format);
    }
    add(schema, "minimum", Value(minimum));
    add(schema, "maximum", Value(maximum));
    return schema;
  }

  template <typename Number> Value integerOf(const char* format) {
    return integer(format, static_cast<double>(std::numeric_limits<Number>::min()),
                   static_cast<double>(std::numeric_limits<Number>::max()));
  }

  // The JSON Schema of a value of a type code; element and name complete vectors, maps, enums
  // and structs as the records do (the name is the element's for a vector or a map).
  Value typeSchema(uint32_t code, uint32_t element, const std::string& name) {
    Value schema = object();
    switch (code) {
    case kBool:
      add(schema, "type", "boolean");
      return schema;
    case kInt8:
      return integerOf<int8_t>(nullptr);
    case kUint8:
      return integerOf<uint8_t>(nullptr);
    case kInt16:
      return integerOf<int16_t>(nullptr);
    case kUint16:
      return integerOf<uint16_t>(nullptr);
    case kInt32:
      return integerOf<int32_t>("int32");
    case kUint32:
      return integerOf<uint32_t>(nullptr);
    case kInt64:
      return integerOf<int64_t>("int64");
    case kUint64:
      return integerOf<uint64_t>(nullptr);
    case kFloat:
    case kDouble:
      add(schema, "type", "number");
      add(schema, "format", code == kFloat ? "float" : "double");
      return schema;
    case kString:
      add(schema, "type", "string");
      return schema;
    case kBlob:
      // Blobs travel in JSON as their Base64 text.
      add(schema, "type", "string");
      add(schema, "contentEncoding", "base64");
      return schema;
    case kVector:
      add(schema, "type", "array");
      add(schema, "items", typeSchema(element, 0, name));
      return schema;
    case kMap:
      add(schema, "type", "object");
      add(schema, "additionalProperties", typeSchema(element, 0, name));
      return schema;
    case kEnum:
    case kStruct:
      return namedType(name);
    default: // an object holds any JSON value; a callback has no JSON form
      return schema;
    }
  }

  Value structSchema(const host::TypeInfo& type) {
    Value schema = object();
    add(schema, "type", "object");
    addIfAny(schema, "description", type.description);
    // Every field may be left out: the plugin gives it its default then.
    Value properties = object();
    for (const host::FieldInfo& field : type.fields) {
      Value property = typeSchema(field.typeCode, field.elementCode, field.typeName);
      if (!field.description.empty() && !property.HasMember("$ref")) {
        add(property, "description", field.description);
      }
      add(properties, field.name, std::move(property));
    }
    add(schema, "properties", std::move(properties));
    return schema;
  }

  // The plugin writes an enumerator by its name and reads the name or the number.
  Value enumSchema(const host::TypeInfo& type) {
    Value names(rapidjson::kArrayType);
    Value numbers(rapidjson::kArrayType);
    for (const host::EnumeratorInfo& enumerator : type.enumerators) {
      names.PushBack(text(enumerator.name), allocator_);
      numbers.PushBack(Value(enumerator.number), allocator_);
    }
    Value byName = object();
    add(byName, "type", "string");
    add(byName, "enum", std::move(names));
    Value byNumber = object();
    add(byNumber, "type", "integer");
    add(byNumber, "enum", std::move(numbers));
    Value either(rapidjson::kArrayType);
    either.PushBack(byName, allocator_);
    either.PushBack(byNumber, allocator_);
    Value schema = object();
    addIfAny(schema, "description", type.description);
    add(schema, "anyOf", std::move(either));
    return schema;
  }

  Value schemas() {
    Value all = object();
    for (const host::TypeInfo& type : description_.types) {
      // A type without fields or enumerators tells nothing more than an object would.
      add(all, type.name, type.enumerators.empty() ? structSchema(type) : enumSchema(type));
    }
    return all;
  }

  Value jsonContent(Value schema) {
    Value media = object();
    add(media, "schema", std::move(schema));
    Value content = object();
    add(content, "application/json", std::move(media));
    return content;
  }

  Value tagList(const std::vector<std::string>& tags) {
    Value list(rapidjson::kArrayType);
    for (const std::string& tag : tags) {
      list.PushBack(text(tag), allocator_);
      usedTags_.insert(tag);
    }
    return list;
  }

  // The function's operation; the arguments that pathNames names are path parameters.
  Value operation(const host::FunctionInfo& function, std::string_view operationId,
                  const std::set<std::string>& pathNames = {}) {
    Value operation = object();
    add(operation, "operationId", operationId);
    add(operation, "summary", function.name);
    addIfAny(operation, "description", function.description);
    if (!function.tags.empty()) {
      add(operation, "tags", tagList(function.tags));
    }
    Value parameters(rapidjson::kArrayType);
    Value arguments(rapidjson::kArrayType);
    for (const host::ArgumentInfo& argument : function.arguments) {
      if (pathNames.contains(argument.name)) {
        Value parameter = object();
        add(parameter, "name", argument.name);
        add(parameter, "in", "path");
        add(parameter, "required", Value(true));
        addIfAny(parameter, "description", argument.description);
        add(parameter, "schema",
            typeSchema(argument.typeCode, argument.elementCode, argument.typeName));
        parameters.PushBack(parameter, allocator_);
        continue;
      }
      Value entry = object();
      add(entry, "name", argument.name);
      addIfAny(entry, "description", argument.description);
      add(entry, "required", Value(!argument.optional));
      add(entry, "schema", typeSchema(argument.typeCode, argument.elementCode, argument.typeName));
      arguments.PushBack(entry, allocator_);
    }
    if (!parameters.Empty()) {
      add(operation, "parameters", std::move(parameters));
    }
    add(operation, "x-arguments", std::move(arguments));

    Value answer = object();
    add(answer, "description", "The function's answer");
    if (function.returnCode != 0) {
      add(answer, "content",
          jsonContent(typeSchema(function.returnCode, function.returnElementCode,
                                 function.returnTypeName)));
    }
    Value failure = object();
    add(failure, "description",
        "The argument could not be bound, or the function failed: its "
        "status and message");
    Value responses = object();
    add(responses, "200", std::move(answer));
    add(responses, "4XX", std::move(failure));
    Value serverFailure = object();
    add(serverFailure, "description", "The function failed inside the plugin");
    add(responses, "5XX", std::move(serverFailure));
    add(operation, "responses", std::move(responses));
    return operation;
  }

  // The routes under which functions are registered, each with their operations; those
  // functions are left out of pathItems().
  Value paths(const std::vector<std::string>& routes) {
    Value paths = object();
    for (const std::string& route : routes) {
      Value item = object();
      for (const host::FunctionInfo& function : description_.functions) {
        for (const auto& [prefix, key] : kMethods) {
          if (host::functionName(prefix, route) == function.name &&
              routed_.insert(function.name).second) {
            add(item, key, operation(function, function.name, placeholders(route)));
          }
        }
      }
      if (!item.ObjectEmpty()) {
        add(paths, route, std::move(item));
      }
    }
    return paths;
  }

  Value pathItems() {
    Value items = object();
    for (const host::FunctionInfo& function : description_.functions) {
      if (routed_.contains(function.name)) {
        continue;
      }
      Value item = object();
      const std::string_view name = function.name;
      for (const auto& [prefix, key] : kMethods) {
        const bool named = name.starts_with(prefix) &&
                           (name.size() == prefix.size() ||
                            !(name[prefix.size()] >= 'a' && name[prefix.size()] <= 'z'));
        if (named) {
          add(item, key, operation(function, function.name));
        }
      }
      if (item.ObjectEmpty()) {
        // A function of any method: the same operation under every one of them.
        for (const auto& [prefix, key] : kMethods) {
          add(item, key, operation(function, function.name + std::string(prefix)));
        }
      }
      add(items, function.name, std::move(item));
    }
    return items;
  }

  Value webhooks() {
    Value hooks = object();
    for (const host::EventInfo& event : description_.events) {
      Value delivery = object();
      add(delivery, "operationId", event.name);
      add(delivery, "summary", event.name);
      addIfAny(delivery, "description", event.description);
      if (!event.tags.empty()) {
        add(delivery, "tags", tagList(event.tags));
      }
      Value body = object();
      add(body, "content", jsonContent(namedType(event.payloadTypeName)));
      add(delivery, "requestBody", std::move(body));
      Value delivered = object();
      add(delivered, "description", "Delivered to every subscriber");
      Value responses = object();
      add(responses, "200", std::move(delivered));
      add(delivery, "responses", std::move(responses));
      Value item = object();
      add(item, "post", std::move(delivery));
      add(hooks, event.name, std::move(item));
    }
    return hooks;
  }

  Value tags() {
    Value list(rapidjson::kArrayType);
    for (const std::string& tag : usedTags_) {
      Value entry = object();
      add(entry, "name", tag);
      list.PushBack(entry, allocator_);
    }
    return list;
  }

private:
  // The names between braces in a URL template.
  static std::set<std::string> placeholders(std::string_view route) {
    std::set<std::string> names;
    for (size_t open = route.find('{'); open != std::string_view::npos;
         open = route.find('{', open + 1)) {
      const size_t close = route.find('}', open);
      if (close == std::string_view::npos) {
        break;
      }
      names.emplace(route.substr(open + 1, close - open - 1));
    }
    return names;
  }

  const host::ApiDescription& description_;
  Allocator& allocator_;
  std::set<std::string> usedTags_;
  std::set<std::string> routed_; // functions found under a route
};

} // namespace

CLI::App* addDescribeCommand(CLI::App& app, DescribeOptions& options) {
  CLI::App* command = app.add_subcommand(
      "describe", "Print the plugin's API description (its types, functions and events) as an "
                  "OpenAPI 3.1 document");
  command->add_option("--library", options.library,
                      std::string("Plugin library to load (default: ") + kLibraryFileName +
                          " beside tav-host)");
  command->add_option("--route", options.routes,
                      "URL template of one of the plugin's routes, e.g. /tav-test/v1/items/{id} "
                      "(repeatable; the banners plugin's are known)");
  command->footer(kExitCodesHelp);
  return command;
}

std::string openApiDocument(const host::ApiDescription& description, const DescribedPlugin& plugin,
                            const std::vector<std::string>& routes) {
  rapidjson::Document document(rapidjson::kObjectType);
  DocumentBuilder builder(description, document);

  Value info = builder.object();
  builder.add(info, "title", plugin.fullName);
  builder.add(info, "version", plugin.version);
  builder.add(info, "summary", "The API description " + plugin.fullName + " hands its host");
  // Where the functions and events can be tried: tav-host serve, behind basic authentication.
  Value port = builder.object();
  builder.add(port, "default", "8520");
  builder.add(port, "description", "tav-host serve --port");
  Value variables = builder.object();
  builder.add(variables, "port", std::move(port));
  Value server = builder.object();
  builder.add(server, "url", "http://127.0.0.1:{port}");
  builder.add(server, "description", "tav-host serve");
  builder.add(server, "variables", std::move(variables));
  Value servers(rapidjson::kArrayType);
  servers.PushBack(server, document.GetAllocator());
  Value basic = builder.object();
  builder.add(basic, "type", "http");
  builder.add(basic, "scheme", "basic");
  builder.add(basic, "description",
              "User tav and the password tav-host serve writes to its "
              "lockfile");
  Value schemes = builder.object();
  builder.add(schemes, "lockfilePassword", std::move(basic));
  Value requirement = builder.object();
  builder.add(requirement, "lockfilePassword", Value(rapidjson::kArrayType));
  Value security(rapidjson::kArrayType);
  security.PushBack(requirement, document.GetAllocator());

  Value components = builder.object();
  builder.add(components, "securitySchemes", std::move(schemes));
  builder.add(components, "schemas", builder.schemas());
  Value paths = builder.paths(routes);
  builder.add(components, "pathItems", builder.pathItems());
  Value webhooks = builder.webhooks();

  builder.add(document, "openapi", "3.1.0");
  builder.add(document, "info", std::move(info));
  builder.add(document, "servers", std::move(servers));
  builder.add(document, "security", std::move(security));
  builder.add(document, "paths", std::move(paths));
  builder.add(document, "tags", builder.tags());
  builder.add(document, "webhooks", std::move(webhooks));
  builder.add(document, "components", std::move(components));

  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', 2);
  document.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

int runDescribe(const DescribeOptions& options) {
  const std::string library = options.library.empty() ? defaultLibraryPath() : options.library;
  host::Host host;
  if (!host.load(library)) {
    std::fprintf(stderr, "cannot load %s: %s\n", library.c_str(), host.lastError().c_str());
    return exitCode(ExitCode::PluginFailed);
  }
  const host::HandshakeWords& handshake = host.handshake();
  const DescribedPlugin plugin{handshake.fullName, std::to_string(handshake.major) + "." +
                                                       std::to_string(handshake.minor) + "." +
                                                       std::to_string(handshake.patch)};
  std::vector<std::string> routes = options.routes;
  if (options.library.empty()) {
    routes.insert(routes.end(), std::begin(kBannersRoutes), std::end(kBannersRoutes));
  }
  const std::string document = openApiDocument(host.description(), plugin, routes);
  std::fputs(document.c_str(), stdout);
  host.unload();
  return exitCode(ExitCode::Ok);
}

} // namespace tav::tools
