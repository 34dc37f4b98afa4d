// EventClient: resource events and subscriptions, service-proxy events and the requests of the
// runtime, on top of the host services of HostBridge.
//
// Resource URIs map to host event names (eventNameOf). observe() stores a handler under a URI (in
// the pattern table when the URI holds "*", else the exact table), counts a subscription of the
// URI's event name and, for an exact URI, delivers the current value as a Create event. The host
// delivers events to resourceEventCallback / serviceProxyEventCallback with this object as
// context.
//
// Threads: the host may deliver events on its own threads while observe/unsubscribe run. The
// event tables are guarded by a shared mutex; handlers are copied out and run with no lock held,
// so a handler may observe, unsubscribe or send. No lock is held across a call into the host:
// subscriptions are counted under the tables lock, and the host subscribe and unsubscribe calls
// that counting causes are made afterwards, per event name in count order (see HostCalls). The
// service-proxy tables have their own mutex; their handlers also run unlocked.
// No callback lets an exception reach the host: a failing event is dropped.
#pragma once

#include "binding/binding_property.h"
#include "binding/binding_type_registry.h"
#include "plugin/framework_types.h"
#include "plugin/host_bridge.h"
#include "plugin/outgoing_request.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tav {

// A resource event whose data has been converted to the observer's native type (left default for
// Delete).
template <typename T> struct ResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  T data{};
};

template <typename T> using ResourceEventHandler = std::function<void(const ResourceEvent<T>&)>;

// Success, or the error message of a failed send.
class EventSendResult {
public:
  EventSendResult() = default;
  explicit EventSendResult(std::string error) : ok_(false), error_(std::move(error)) {}
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

private:
  bool ok_ = true;
  std::string error_;
};

class EventClient : public HostBridge {
public:
  using ResourceHandler = std::function<void(const PluginResourceEvent&)>;
  using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse&)>;

  EventClient();
  ~EventClient() override;
  EventClient(const EventClient&) = delete;
  EventClient& operator=(const EventClient&) = delete;

  // "OnJsonApiEvent" joined by "_" with the URI's non-empty "/"-pieces: at most 6 parts in all
  // when the first piece is "tav-platform-config", otherwise at most 4.
  static std::string eventNameOf(std::string_view uri);

  // A "*" in the pattern matches the run of URI characters up to the next "/"; the run may be
  // empty only when a "/" follows it. Every other character must match exactly, and both texts
  // must end together.
  static bool uriMatches(std::string_view pattern, std::string_view uri);

  // Counts a subscription to the URI's event name; the first one installs the JSON-API handler
  // under the name and subscribes at the host (flag 0, this object as context).
  virtual void subscribeEvent(std::string_view uri);
  // Uncounts one; the last one unsubscribes at the host and removes the name's handler. Without
  // an active subscription it does nothing. Handlers stored by observe stay until shutdown.
  virtual void unsubscribeEvent(std::string_view uri);

  // Stores handler under uri (replacing an older one), subscribes, and for an exact URI fetches
  // the current value with a GET and hands it to the handler as a Create event; a failed fetch
  // delivers nothing. The handler receives every later event of the URI whose data converts to T
  // (named "<value>"); events whose data does not convert are dropped. Exceptions thrown by the
  // handler during the first fetch reach the caller.
  template <typename T> void observe(std::string_view uri, ResourceEventHandler<T> handler) {
    observeResource(uri, [this, handler = std::move(handler)](const PluginResourceEvent& event) {
      ResourceEvent<T> typed;
      typed.uri = event.uri;
      typed.eventType = event.eventType;
      if (event.eventType != PluginResourceEventType::Delete) {
        BindingResult conversion;
        if (!toNative(conversion, typed.data, event.data, "<value>", registryRef())) {
          return;
        }
      }
      handler(typed);
    });
  }

  // The untyped form of observe: the handler receives the PluginResourceEvent as delivered.
  void observeResource(std::string_view uri, ResourceHandler handler);

  // Publishes event under the event name of its uri and, when that differs, under genericName
  // too. Enumerators travel by name. Conversion failures come back as the error.
  EventSendResult sendResourceEvent(std::string_view genericName, const PluginResourceEvent& event);

  // Service-proxy bookkeeping. A pending handler waits for the response stored under key (a uuid
  // or "service.method"); an async handler answers every async event of "service.method".
  void expectServiceProxyResponse(std::string key, ServiceProxyHandler handler);
  void setAsyncServiceProxyHandler(std::string key, ServiceProxyHandler handler);
  // Handles a service-proxy response delivered under eventName (one of the three names).
  void handleServiceProxyEvent(std::string_view eventName,
                               const PluginServiceProxyResponse& response);

  // The host callbacks. The event's context is the EventClient; its name and payload are read,
  // null texts as empty. Nothing is thrown; an event that cannot be handled is dropped.
  static void resourceEventCallback(host::HostEvent* event);
  static void serviceProxyEventCallback(host::HostEvent* event);

  // Requests through this client's bridge, handle and registry.
  OutgoingRequests requests() { return OutgoingRequests(*this, pluginHandle(), registryRef()); }

  uint32_t pluginHandle() const { return pluginHandle_.load(std::memory_order_acquire); }
  const std::string& pluginName() const { return pluginName_; }
  BindingTypeRegistry* registry() const { return registry_; }

  // Introspection: the subscription count of an event name, whether the name has a handler, and
  // the number of received service-proxy responses still waiting for a request.
  uint32_t subscriptionCount(std::string_view eventName) const;
  bool hasEventHandler(std::string_view eventName) const;
  size_t receivedServiceProxyCount() const;

protected:
  // Set by the plugin during registration and start, before any event can arrive.
  void setPluginHandle(uint32_t handle) { pluginHandle_.store(handle, std::memory_order_release); }
  void setPluginName(std::string name) { pluginName_ = std::move(name); }
  void setRegistry(BindingTypeRegistry* registry) { registry_ = registry; }

  // Registers the framework types and events in the registry (tag "kclient").
  void registerFrameworkEvents();
  // Installs the handlers of the three service-proxy events and subscribes each at the host with
  // flag 1, outside the subscription counts.
  void subscribeServiceProxyEvents();
  // Unsubscribes every name of the event-name table at the host whatever its count, clears the
  // event tables and, under the service-proxy lock, the pending, async and received tables.
  void shutdownEvents();

  // The registry, or an empty fallback when none was set.
  const BindingTypeRegistry& registryRef() const;

private:
  // What the host callbacks call for an event name: a JSON-API handler, or a service-proxy one.
  struct NamedHandler {
    ResourceHandler onResource;
    ServiceProxyHandler onServiceProxy;
  };
  using SharedResourceHandler = std::shared_ptr<const ResourceHandler>;
  using SharedNamedHandler = std::shared_ptr<const NamedHandler>;

  // What both host callbacks do: find the handler of the event's name, read the payload into the
  // record that slot takes, and call it. Nothing is thrown; an event that cannot be handled is
  // dropped.
  template <typename Record>
  static void deliverEvent(host::HostEvent* event,
                           std::function<void(const Record&)> NamedHandler::*slot);

  // The handler installed under every counted event name: the exact handler of the event's URI
  // (with a leading "/"), then the handler of every matching pattern.
  void dispatchResourceEvent(const PluginResourceEvent& event);
  SharedNamedHandler findNamedHandler(std::string_view eventName) const;
  void fulfilServiceProxyRequest();

  std::atomic<uint32_t> pluginHandle_{0};
  std::string pluginName_;
  BindingTypeRegistry* registry_ = nullptr;

  // The host subscribe and unsubscribe calls that count transitions of one name caused, in
  // count order, and whether a thread is making them. Counting happens under the tables lock;
  // the host calls do not, so that no lock of ours is held while the host runs. The first thread
  // to queue a call for an idle name makes that name's calls, those queued meanwhile included,
  // so the host sees them in count order without any thread waiting for another.
  struct HostCalls {
    std::deque<bool> queued; // true subscribes, false unsubscribes
    bool draining = false;
  };
  // Under the tables lock: queues a call; true when the caller is to make the name's calls.
  bool queueHostCall(const std::string& name, bool subscribe);
  void drainHostCalls(const std::string& name);

  mutable std::shared_mutex tablesLock_;
  std::unordered_map<std::string, HostCalls> hostCalls_;
  std::unordered_map<std::string, SharedResourceHandler> exactHandlers_;
  std::unordered_map<std::string, SharedResourceHandler> patternHandlers_;
  std::unordered_map<std::string, SharedNamedHandler> namedHandlers_;
  std::unordered_map<std::string, uint32_t> subscriptionCounts_;

  mutable std::mutex serviceProxyLock_;
  std::unordered_map<std::string, ServiceProxyHandler> pendingServiceProxy_;
  std::unordered_map<std::string, ServiceProxyHandler> asyncServiceProxy_;
  std::unordered_map<std::string, PluginServiceProxyResponse> receivedServiceProxy_;
};

} // namespace tav
