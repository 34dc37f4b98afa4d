// Registration of the framework's records and events.
#include "plugin/framework_types.h"

#include "binding/binding_type_registry.h"

namespace tav {

namespace {

void registerEvent(BindingTypeRegistry& registry, const char* name,
                   const BindingTypeDescriptor* payload, const char* description) {
  BindingEventBuilder event = registry.registerEvent(name, payload);
  if (!event.existed()) {
    event.setDescription(description);
    event.addTag(kFrameworkTag);
  }
}

} // namespace

void registerFrameworkTypes(BindingTypeRegistry& registry) {
  if (auto state = registry.registerType<PluginManagerState>("PluginManagerState");
      !state.existed()) {
    state.addTags({kFrameworkTag});
    state.addValue("NotReady", PluginManagerState::NotReady);
    state.addValue("PluginsInitialized", PluginManagerState::PluginsInitialized);
  }
  if (auto resource = registry.registerType<PluginManagerResource>("PluginManagerResource");
      !resource.existed()) {
    resource.addTags({kFrameworkTag});
    resource.field("state", &PluginManagerResource::state);
  }
  if (auto type = registry.registerType<PluginResourceEventType>("PluginResourceEventType");
      !type.existed()) {
    type.addTags({kFrameworkTag});
    type.addValue("Create", PluginResourceEventType::Create);
    type.addValue("Update", PluginResourceEventType::Update);
    type.addValue("Delete", PluginResourceEventType::Delete);
  }
  auto resourceEvent = registry.registerType<PluginResourceEvent>("PluginResourceEvent");
  if (!resourceEvent.existed()) {
    resourceEvent.addTags({kFrameworkTag});
    resourceEvent.field("uri", &PluginResourceEvent::uri);
    resourceEvent.field("eventType", &PluginResourceEvent::eventType);
    resourceEvent.field("data", &PluginResourceEvent::data);
  }
  auto lcdsEvent = registry.registerType<PluginLcdsEvent>("PluginLcdsEvent");
  if (!lcdsEvent.existed()) {
    lcdsEvent.addTags({kFrameworkTag});
    lcdsEvent.field("clientId", &PluginLcdsEvent::clientId);
    lcdsEvent.field("subtopic", &PluginLcdsEvent::subtopic);
    lcdsEvent.field("typeName", &PluginLcdsEvent::typeName);
    lcdsEvent.field("body", &PluginLcdsEvent::body);
  }
  if (auto lcdsResponse = registry.registerType<PluginLcdsResponse>("PluginLcdsResponse");
      !lcdsResponse.existed()) {
    lcdsResponse.addTags({kFrameworkTag});
    lcdsResponse.field("typeName", &PluginLcdsResponse::typeName);
    lcdsResponse.field("body", &PluginLcdsResponse::body);
  }
  auto proxyResponse =
      registry.registerType<PluginServiceProxyResponse>("PluginServiceProxyResponse");
  if (!proxyResponse.existed()) {
    proxyResponse.addTags({kFrameworkTag});
    proxyResponse.field("uuid", &PluginServiceProxyResponse::uuid);
    proxyResponse.field("serviceName", &PluginServiceProxyResponse::serviceName);
    proxyResponse.field("methodName", &PluginServiceProxyResponse::methodName);
    proxyResponse.field("payload", &PluginServiceProxyResponse::payload);
    proxyResponse.field("status", &PluginServiceProxyResponse::status);
    proxyResponse.field("error", &PluginServiceProxyResponse::error);
  }

  registerEvent(registry, kJsonApiEventName, resourceEvent.descriptor(),
                "Fired when a resource is changed.");
  registerEvent(registry, kLcdsEventName, lcdsEvent.descriptor(),
                "Fired when a message is received over the LCDS connection.");
  registerEvent(registry, kServiceProxyUuidEventName, proxyResponse.descriptor(),
                "Fired when a uuid-based service proxy message is received.");
  registerEvent(registry, kServiceProxyMethodEventName, proxyResponse.descriptor(),
                "Fired when a method-based service proxy message is received.");
  registerEvent(registry, kServiceProxyAsyncEventName, proxyResponse.descriptor(),
                "Fired when an async service proxy message is received.");
}

} // namespace tav
