// The framework's own records and events: plugin-manager state, resource events, LCDS messages and
// service-proxy responses, all registered with the tag "kclient".
#pragma once

#include "binding/binding_property.h"

#include <cstdint>
#include <string>

namespace tav {

class BindingTypeRegistry;

// Described to the host and never set by the plugin.
enum class PluginManagerState : int32_t {
  NotReady = 0,
  PluginsInitialized = 1,
};

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : int32_t {
  Create = 0,
  Update = 1,
  Delete = 2,
};

// What plugins announce when a resource under `uri` changes; `data` is empty for Delete.
struct PluginResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  BindingProperty data;
};

struct PluginLcdsEvent {
  std::string clientId;
  std::string subtopic;
  std::string typeName;
  BindingProperty body;
};

struct PluginLcdsResponse {
  std::string typeName;
  BindingProperty body;
};

// A service-proxy answer as the host delivers it; every member arrives as text.
struct PluginServiceProxyResponse {
  std::string uuid;
  std::string serviceName;
  std::string methodName;
  std::string payload;
  std::string status;
  std::string error;
};

// Names of the framework events.
inline constexpr const char* kJsonApiEventName = "OnJsonApiEvent";
inline constexpr const char* kLcdsEventName = "OnLcdsEvent";
inline constexpr const char* kServiceProxyUuidEventName = "OnServiceProxyUuidEvent";
inline constexpr const char* kServiceProxyMethodEventName = "OnServiceProxyMethodEvent";
inline constexpr const char* kServiceProxyAsyncEventName = "OnServiceProxyAsyncEvent";

// The tag every framework type and event carries.
inline constexpr const char* kFrameworkTag = "kclient";

// Registers the seven records (enums before the structs that use them) and the five events with
// their payload types and descriptions. Registration is find-or-create, so a second call changes
// nothing.
void registerFrameworkTypes(BindingTypeRegistry& registry);

} // namespace tav
