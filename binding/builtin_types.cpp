// Registration of the built-in types and the event "OnCallback".
#include "binding/builtin_types.h"

#include "binding/binding_type_registry.h"

namespace tav {
namespace {

constexpr std::string_view kBuiltin = "$builtin";
constexpr std::string_view kHelp = "help";
constexpr std::string_view kAsync = "async";

void registerHelpTypes(BindingTypeRegistry& registry) {
  if (auto b = registry.registerType<BindingHelpFormat>("BindingHelpFormat"); !b.existed()) {
    b.setDescription("Help format for binding functions and types.");
    b.addTags({kBuiltin, kHelp});
    b.addValue("Full", BindingHelpFormat::Full, "Native help format");
    b.addValue("Epytext", BindingHelpFormat::Epytext, "Python epytext format");
  }
  if (auto b = registry.registerType<BindingFullTypeIdentifier>("BindingFullTypeIdentifier");
      !b.existed()) {
    b.setDescription("Describes the type of a value.");
    b.addTags({kBuiltin, kHelp});
    b.field("type", &BindingFullTypeIdentifier::type);
    b.field("elementType", &BindingFullTypeIdentifier::elementType);
  }
  if (auto b = registry.registerType<BindingFullArgumentHelp>("BindingFullArgumentHelp");
      !b.existed()) {
    b.setDescription("Describes a function parameter.");
    b.addTags({kBuiltin, kHelp});
    b.field("name", &BindingFullArgumentHelp::name);
    b.field("description", &BindingFullArgumentHelp::description);
    b.field("type", &BindingFullArgumentHelp::type);
    b.field("optional", &BindingFullArgumentHelp::optional);
  }
  if (auto b = registry.registerType<BindingFullFunctionHelp>("BindingFullFunctionHelp");
      !b.existed()) {
    b.setDescription("Describes a function.");
    b.addTags({kBuiltin, kHelp});
    b.field("name", &BindingFullFunctionHelp::name);
    b.field("nameSpace", &BindingFullFunctionHelp::nameSpace);
    b.field("arguments", &BindingFullFunctionHelp::arguments);
    b.field("returns", &BindingFullFunctionHelp::returns);
    b.field("description", &BindingFullFunctionHelp::description);
    b.field("help", &BindingFullFunctionHelp::help);
    b.field("threadSafe", &BindingFullFunctionHelp::threadSafe);
    b.field("async", &BindingFullFunctionHelp::async);
    b.field("tags", &BindingFullFunctionHelp::tags);
  }
  if (auto b = registry.registerType<BindingFullEnumValueHelp>("BindingFullEnumValueHelp");
      !b.existed()) {
    b.setDescription("Describes an enumerator.");
    b.addTags({kBuiltin, kHelp});
    b.field("name", &BindingFullEnumValueHelp::name);
    b.field("description", &BindingFullEnumValueHelp::description);
    b.field("value", &BindingFullEnumValueHelp::value);
  }
  if (auto b = registry.registerType<BindingFullFieldHelp>("BindingFullFieldHelp"); !b.existed()) {
    b.setDescription("Describes a member of a struct.");
    b.addTags({kBuiltin, kHelp});
    b.field("name", &BindingFullFieldHelp::name);
    b.field("description", &BindingFullFieldHelp::description);
    b.field("offset", &BindingFullFieldHelp::offset);
    b.field("type", &BindingFullFieldHelp::type);
    b.field("optional", &BindingFullFieldHelp::optional);
  }
  if (auto b = registry.registerType<BindingFullTypeHelp>("BindingFullTypeHelp"); !b.existed()) {
    b.setDescription("Describes a struct or enum type.");
    b.addTags({kBuiltin, kHelp});
    b.field("name", &BindingFullTypeHelp::name);
    b.field("nameSpace", &BindingFullTypeHelp::nameSpace);
    b.field("size", &BindingFullTypeHelp::size);
    b.field("description", &BindingFullTypeHelp::description);
    b.field("tags", &BindingFullTypeHelp::tags);
    b.field("fields", &BindingFullTypeHelp::fields);
    b.field("values", &BindingFullTypeHelp::values);
  }
  if (auto b = registry.registerType<BindingFullEventHelp>("BindingFullEventHelp"); !b.existed()) {
    b.setDescription("Describes an event.");
    b.addTags({kBuiltin, kHelp});
    b.field("name", &BindingFullEventHelp::name);
    b.field("nameSpace", &BindingFullEventHelp::nameSpace);
    b.field("type", &BindingFullEventHelp::type);
    b.field("description", &BindingFullEventHelp::description);
    b.field("tags", &BindingFullEventHelp::tags);
  }
  if (auto b = registry.registerType<BindingFullApiHelp>("BindingFullApiHelp"); !b.existed()) {
    b.setDescription("Describes the exposed native API.");
    b.addTags({kBuiltin, kHelp});
    b.field("functions", &BindingFullApiHelp::functions);
    b.field("types", &BindingFullApiHelp::types);
    b.field("events", &BindingFullApiHelp::events);
  }
}

void registerAsyncAndEventTypes(BindingTypeRegistry& registry) {
  if (auto b = registry.registerType<BindingAsyncState>("BindingAsyncState"); !b.existed()) {
    b.setDescription("Possible states of an asynchronous operation.");
    b.addTags({kBuiltin, kAsync});
    b.addValue("None", BindingAsyncState::None, "Invalid state");
    b.addValue("Running", BindingAsyncState::Running, "The operation is in flight");
    b.addValue("Cancelling", BindingAsyncState::Cancelling,
               "A request to cancel the operation has been made");
    b.addValue("Cancelled", BindingAsyncState::Cancelled, "The operation was cancelled");
    b.addValue("Succeeded", BindingAsyncState::Succeeded, "The operation completed successfully");
    b.addValue("Failed", BindingAsyncState::Failed, "The operation encountered an error");
  }
  if (auto b = registry.registerType<BindingGenericEvent>("BindingGenericEvent"); !b.existed()) {
    b.setDescription("Represents generic data for an event.");
    b.addTags({kBuiltin});
    b.field("data", &BindingGenericEvent::data, 0, "Event data");
  }
  if (auto b = registry.registerType<BindingCallbackEvent>("BindingCallbackEvent"); !b.existed()) {
    b.setDescription("Represents the parameters of a call to a provided callback.");
    b.addTags({kBuiltin});
    b.field("id", &BindingCallbackEvent::id, 0, "ID of the callback being invoked");
    b.field("parameters", &BindingCallbackEvent::parameters, 0, "Callback parameters");
  }
  if (auto b = registry.registerType<BindingGenericAsyncEvent>("BindingGenericAsyncEvent");
      !b.existed()) {
    b.setDescription("Represents generic data for an asynchronous event.");
    b.addTags({kBuiltin, kAsync});
    b.field("asyncToken", &BindingGenericAsyncEvent::asyncToken, 0, "Asynchronous operation token");
    b.field("data", &BindingGenericAsyncEvent::data, 0, "Event data");
  }
  if (auto b = registry.registerType<BindingAsyncFailureEvent>("BindingAsyncFailureEvent");
      !b.existed()) {
    b.setDescription("Represents a failed asynchronous operation.");
    b.addTags({kBuiltin, kAsync});
    b.field("asyncToken", &BindingAsyncFailureEvent::asyncToken, 0, "Asynchronous operation token");
    b.field("error", &BindingAsyncFailureEvent::error, 0, "Error message");
  }
  if (auto b = registry.registerType<BindingAsyncCancelEvent>("BindingAsyncCancelEvent");
      !b.existed()) {
    b.setDescription("Represents a cancelled asynchronous operation.");
    b.addTags({kBuiltin, kAsync});
    b.field("asyncToken", &BindingAsyncCancelEvent::asyncToken, 0, "Asynchronous operation token");
  }
}

} // namespace

void registerBuiltinTypes(BindingTypeRegistry& registry) {
  registerHelpTypes(registry);
  registerAsyncAndEventTypes(registry);
  if (auto event = registry.registerEvent("OnCallback",
                                          registry.findTypeById(&typeId<BindingCallbackEvent>()));
      !event.existed()) {
    event.setDescription("Fired when a callback is invoked.");
    event.addTag(kBuiltin);
  }
}

} // namespace tav
