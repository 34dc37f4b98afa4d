// Subscriptions, delivery and sending of resource events, and the service-proxy tables.
#include "plugin/event_client.h"

#include "binding/host_value_conversion.h"
#include "binding/native_binding.h"
#include "foundation/log.h"
#include "foundation/message_format.h"

#include <cstring>
#include <exception>
#include <new>

namespace tav {

namespace {

constexpr std::string_view kPlatformConfigPiece = "tav-platform-config";
constexpr size_t kEventNameParts = 4;
constexpr size_t kPlatformConfigEventNameParts = 6;

constexpr uint32_t kResourceSubscriptionFlag = 0;
constexpr uint32_t kServiceProxySubscriptionFlag = 1;

// Used when no registry was set, so conversions of the framework records still find them.
const BindingTypeRegistry& fallbackRegistry() {
  static const BindingTypeRegistry* const registry = [] {
    auto* created = new BindingTypeRegistry();
    registerFrameworkTypes(*created);
    return created;
  }();
  return *registry;
}

std::string serviceProxyMethodKey(const PluginServiceProxyResponse& response) {
  return formatMessage("%1.%2", response.serviceName, response.methodName);
}

// Reads an event payload into a native record; false drops the event.
template <typename T>
bool readPayload(const host::HostEvent& event, T& out, const BindingTypeRegistry& registry) {
  BindingResult payload;
  if (!fromHostValue(payload, event.payload, "<result>")) {
    return false;
  }
  BindingResult conversion;
  return fromValue(conversion, out, payload.value(), "<result>", registry);
}

} // namespace

EventClient::EventClient() = default;
EventClient::~EventClient() = default;

std::string EventClient::eventNameOf(std::string_view uri) {
  std::string name(kJsonApiEventName);
  size_t parts = 1;
  size_t limit = kEventNameParts;
  bool firstPiece = true;
  size_t start = 0;
  while (start <= uri.size() && parts < limit) {
    size_t end = uri.find('/', start);
    if (end == std::string_view::npos) {
      end = uri.size();
    }
    const std::string_view piece = uri.substr(start, end - start);
    if (!piece.empty()) {
      if (firstPiece && piece == kPlatformConfigPiece) {
        limit = kPlatformConfigEventNameParts;
      }
      firstPiece = false;
      name += '_';
      name += piece;
      ++parts;
    }
    start = end + 1;
  }
  return name;
}

bool EventClient::uriMatches(std::string_view pattern, std::string_view uri) {
  size_t p = 0;
  size_t u = 0;
  while (p < pattern.size() && u < uri.size()) {
    if (pattern[p] == '*') {
      if (uri[u] == '/') {
        ++p;
      } else if (++u == uri.size()) {
        ++p;
      }
      continue;
    }
    if (pattern[p] != uri[u]) {
      return false;
    }
    ++p;
    ++u;
  }
  return p == pattern.size() && u == uri.size();
}

void EventClient::subscribeEvent(std::string_view uri) {
  std::string name = eventNameOf(uri);
  // Made before the lock is taken; only the first subscription of a name installs it.
  auto handler = std::make_shared<NamedHandler>();
  handler->onResource = [this](const PluginResourceEvent& event) { dispatchResourceEvent(event); };
  bool drain = false;
  {
    std::unique_lock tables(tablesLock_);
    uint32_t& count = subscriptionCounts_[name];
    if (count++ != 0) {
      return;
    }
    try {
      namedHandlers_[name] = std::move(handler);
      drain = queueHostCall(name, true);
    } catch (...) {
      // Memory ran out: the subscription is not counted, as it was never made.
      subscriptionCounts_.erase(name);
      throw;
    }
  }
  if (drain) {
    drainHostCalls(name);
  }
}

void EventClient::unsubscribeEvent(std::string_view uri) {
  const std::string name = eventNameOf(uri);
  bool drain = false;
  {
    std::unique_lock tables(tablesLock_);
    const auto found = subscriptionCounts_.find(name);
    // Nothing to undo: the count stays at zero and the host hears nothing.
    if (found == subscriptionCounts_.end() || found->second == 0) {
      return;
    }
    if (--found->second != 0) {
      return;
    }
    subscriptionCounts_.erase(found);
    drain = queueHostCall(name, false);
  }
  if (drain) {
    drainHostCalls(name);
  }
}

bool EventClient::queueHostCall(const std::string& name, bool subscribe) {
  HostCalls& calls = hostCalls_[name];
  calls.queued.push_back(subscribe);
  if (calls.draining) {
    return false;
  }
  calls.draining = true;
  return true;
}

void EventClient::drainHostCalls(const std::string& name) {
  for (;;) {
    bool subscribe = false;
    {
      std::unique_lock tables(tablesLock_);
      const auto calls = hostCalls_.find(name);
      if (calls == hostCalls_.end()) {
        return; // shut down meanwhile
      }
      if (calls->second.queued.empty()) {
        hostCalls_.erase(calls);
        return;
      }
      subscribe = calls->second.queued.front();
      calls->second.queued.pop_front();
    }
    // No lock of ours is held while the host runs: it may deliver on this thread, wait for its
    // deliveries in flight or hold its own lock while a handler of ours subscribes.
    if (subscribe) {
      hostSubscribe(name.c_str(), pluginHandle(), &EventClient::resourceEventCallback, this,
                    kResourceSubscriptionFlag);
    } else {
      hostUnsubscribe(name.c_str(), pluginHandle());
      std::unique_lock tables(tablesLock_);
      // A subscription counted meanwhile has installed its own handler.
      if (!subscriptionCounts_.contains(name)) {
        namedHandlers_.erase(name);
      }
    }
  }
}

void EventClient::observeResource(std::string_view uri, ResourceHandler handler) {
  auto shared = std::make_shared<const ResourceHandler>(std::move(handler));
  const bool isPattern = uri.find('*') != std::string_view::npos;
  {
    std::unique_lock tables(tablesLock_);
    (isPattern ? patternHandlers_ : exactHandlers_)[std::string(uri)] = shared;
  }
  subscribeEvent(uri);
  if (isPattern) {
    return;
  }
  RequestResult<BindingProperty> current =
      requests().requestValue<BindingProperty>(HttpMethod::Get, uri);
  if (!current.ok()) {
    return;
  }
  PluginResourceEvent created;
  created.uri.assign(uri);
  created.eventType = PluginResourceEventType::Create;
  created.data = std::move(current.value());
  (*shared)(created);
}

void EventClient::dispatchResourceEvent(const PluginResourceEvent& event) {
  std::string uri = event.uri;
  if (uri.empty() || uri.front() != '/') {
    uri.insert(uri.begin(), '/');
  }
  std::vector<SharedResourceHandler> targets;
  {
    std::shared_lock tables(tablesLock_);
    if (const auto exact = exactHandlers_.find(uri); exact != exactHandlers_.end()) {
      targets.push_back(exact->second);
    }
    for (const auto& [pattern, handler] : patternHandlers_) {
      if (uriMatches(pattern, uri)) {
        targets.push_back(handler);
      }
    }
  }
  for (const SharedResourceHandler& handler : targets) {
    // One failing handler must not keep the event from the others.
    try {
      (*handler)(event);
    } catch (...) {
    }
  }
}

EventSendResult EventClient::sendResourceEvent(std::string_view genericName,
                                               const PluginResourceEvent& event) {
  try {
    const BindingTypeRegistry& registry = registryRef();
    const BindingResult payload = toValue(event, registry);
    if (!payload.ok()) {
      return EventSendResult(std::string(payload.errorMessage()));
    }
    const std::string name = eventNameOf(event.uri);
    host::HostEvent record;
    std::memset(&record, 0, sizeof record);
    // toHostValue fails only when memory runs out.
    if (!toHostValue(record.payload, payload.value(), &registry)) {
      return EventSendResult(std::string(kOutOfMemoryError));
    }
    struct Release {
      host::HostValue& value;
      ~Release() { releaseHostValue(value); }
    } release{record.payload};
    record.name = name.c_str();
    record.senderWord = 0;
    hostSendEvent(&record);
    if (name != genericName) {
      const std::string generic(genericName);
      record.name = generic.c_str();
      hostSendEvent(&record);
    }
    return EventSendResult();
  } catch (const std::bad_alloc&) {
    return EventSendResult(std::string(kOutOfMemoryError));
  } catch (const std::exception& failure) {
    return EventSendResult(failure.what());
  } catch (...) {
    return EventSendResult("Unknown error");
  }
}

EventClient::SharedNamedHandler EventClient::findNamedHandler(std::string_view eventName) const {
  std::shared_lock tables(tablesLock_);
  const auto found = namedHandlers_.find(std::string(eventName));
  return found == namedHandlers_.end() ? nullptr : found->second;
}

template <typename Record>
void EventClient::deliverEvent(host::HostEvent* event,
                               std::function<void(const Record&)> NamedHandler::*slot) {
  try {
    if (event == nullptr || event->context == nullptr) {
      return;
    }
    EventClient& client = *static_cast<EventClient*>(event->context);
    const SharedNamedHandler handler =
        client.findNamedHandler(event->name != nullptr ? event->name : "");
    if (!handler || !((*handler).*slot)) {
      return;
    }
    Record native;
    if (!readPayload(*event, native, client.registryRef())) {
      return;
    }
    ((*handler).*slot)(native);
  } catch (...) {
    // Nothing may reach the host; the event is dropped.
  }
}

void EventClient::resourceEventCallback(host::HostEvent* event) {
  deliverEvent<PluginResourceEvent>(event, &NamedHandler::onResource);
}

void EventClient::serviceProxyEventCallback(host::HostEvent* event) {
  deliverEvent<PluginServiceProxyResponse>(event, &NamedHandler::onServiceProxy);
}

void EventClient::expectServiceProxyResponse(std::string key, ServiceProxyHandler handler) {
  {
    std::lock_guard guard(serviceProxyLock_);
    pendingServiceProxy_[std::move(key)] = std::move(handler);
  }
  // The response may have come first.
  fulfilServiceProxyRequest();
}

void EventClient::setAsyncServiceProxyHandler(std::string key, ServiceProxyHandler handler) {
  std::lock_guard guard(serviceProxyLock_);
  asyncServiceProxy_[std::move(key)] = std::move(handler);
}

void EventClient::handleServiceProxyEvent(std::string_view eventName,
                                          const PluginServiceProxyResponse& response) {
  if (eventName == kServiceProxyUuidEventName || eventName == kServiceProxyMethodEventName) {
    std::string key =
        eventName == kServiceProxyUuidEventName ? response.uuid : serviceProxyMethodKey(response);
    {
      std::lock_guard guard(serviceProxyLock_);
      receivedServiceProxy_[std::move(key)] = response;
    }
    fulfilServiceProxyRequest();
    return;
  }
  if (eventName == kServiceProxyAsyncEventName) {
    const std::string key = serviceProxyMethodKey(response);
    ServiceProxyHandler handler;
    {
      std::lock_guard guard(serviceProxyLock_);
      if (const auto found = asyncServiceProxy_.find(key); found != asyncServiceProxy_.end()) {
        handler = found->second;
      }
    }
    if (handler) {
      handler(response);
    } else {
      logMessage(LogLevel::Error, kLogGroupDbg,
                 "%s: Could not find registered handler for async service proxy event %s",
                 pluginName_.c_str(), key.c_str());
    }
  }
}

void EventClient::fulfilServiceProxyRequest() {
  ServiceProxyHandler handler;
  PluginServiceProxyResponse response;
  std::string key;
  {
    std::lock_guard guard(serviceProxyLock_);
    for (auto received = receivedServiceProxy_.begin(); received != receivedServiceProxy_.end();
         ++received) {
      const auto pending = pendingServiceProxy_.find(received->first);
      if (pending == pendingServiceProxy_.end()) {
        continue;
      }
      key = received->first;
      handler = std::move(pending->second);
      response = std::move(received->second);
      pendingServiceProxy_.erase(pending);
      receivedServiceProxy_.erase(received);
      break;
    }
  }
  if (!handler) {
    return;
  }
  handler(response);
  logMessage(LogLevel::Always, kLogGroupDbg, "%s: Fulfilled service proxy request: %s",
             pluginName_.c_str(), key.c_str());
}

uint32_t EventClient::subscriptionCount(std::string_view eventName) const {
  std::shared_lock tables(tablesLock_);
  const auto found = subscriptionCounts_.find(std::string(eventName));
  return found == subscriptionCounts_.end() ? 0 : found->second;
}

bool EventClient::hasEventHandler(std::string_view eventName) const {
  return findNamedHandler(eventName) != nullptr;
}

size_t EventClient::receivedServiceProxyCount() const {
  std::lock_guard guard(serviceProxyLock_);
  return receivedServiceProxy_.size();
}

void EventClient::registerFrameworkEvents() {
  if (registry_ != nullptr) {
    registerFrameworkTypes(*registry_);
  }
}

void EventClient::subscribeServiceProxyEvents() {
  for (const char* name :
       {kServiceProxyUuidEventName, kServiceProxyMethodEventName, kServiceProxyAsyncEventName}) {
    auto handler = std::make_shared<NamedHandler>();
    handler->onServiceProxy = [this, name](const PluginServiceProxyResponse& response) {
      handleServiceProxyEvent(name, response);
    };
    {
      std::unique_lock tables(tablesLock_);
      namedHandlers_[name] = std::move(handler);
    }
    hostSubscribe(name, pluginHandle(), &EventClient::serviceProxyEventCallback, this,
                  kServiceProxySubscriptionFlag);
  }
}

void EventClient::shutdownEvents() {
  std::vector<std::string> names;
  {
    std::unique_lock tables(tablesLock_);
    names.reserve(namedHandlers_.size());
    for (const auto& entry : namedHandlers_) {
      names.push_back(entry.first);
    }
    namedHandlers_.clear();
    subscriptionCounts_.clear();
    // Host calls still queued are superseded by the unsubscriptions below.
    hostCalls_.clear();
  }
  for (const std::string& name : names) {
    hostUnsubscribe(name.c_str(), pluginHandle());
  }
  {
    std::lock_guard guard(serviceProxyLock_);
    pendingServiceProxy_.clear();
    asyncServiceProxy_.clear();
    receivedServiceProxy_.clear();
  }
  std::unique_lock tables(tablesLock_);
  exactHandlers_.clear();
  patternHandlers_.clear();
}

const BindingTypeRegistry& EventClient::registryRef() const {
  return registry_ != nullptr ? *registry_ : fallbackRegistry();
}

} // namespace tav
