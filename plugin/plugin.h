// Plugin: the base class of every back-end plugin, with its registration, lifecycle and the host
// services it reaches through the HostApi table.
//
//   class BannersPlugin : public Plugin {
//     void onRegistered() override {
//       route(HttpMethod::Put, "/tav-banners/v1/current-sondar/flags/equipped",
//             &BannersPlugin::putEquipped)
//           .bodyArgument("flag");
//     }
//     HandlerResponse<BannerFlag> putEquipped(const BannerFlag& flag);
//   };
//
// Lifecycle: constructed, registered (registerWithHost, called once from the library's export;
// types and routes are fixed from then on), started (the start callback; host context, handle
// and log forwarding exist), stopping (the stop callback sets the flag and runs shutdown) and
// destroyed by the stop callback. The host reaches the plugin only through the callback table,
// the context pointer and the function table written into the handshake.
#pragma once

#include "binding/binding_type_registry.h"
#include "binding/host_records.h"
#include "plugin/event_client.h"
#include "plugin/function_table.h"
#include "plugin/plugin_log_target.h"
#include "plugin/plugin_name.h"
#include "plugin/plugin_version.h"
#include "plugin/telemetry_sink.h"
#include "plugin/typed_route_handler.h"
#include "routing/http_method.h"
#include "routing/route_table.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tav {

inline constexpr char kPluginVersionMismatchCode[] = "ALE-EECF0606";

class Plugin : public EventClient {
public:
  Plugin();
  ~Plugin() override;

  // Unsubscribes every event name at the host and clears the event tables.
  virtual void shutdown();

  // HostApi entries 0 to 8 through the host context stored at start, the table first and the
  // arguments unchanged. Before start, or with a host context without a table, they do nothing,
  // except that hostSendRequest answers with an error text so the caller cannot read success.
  void hostSendRequest(host::HostResponse* response, const host::HostRequest* request) override;
  void hostReserved1(uint32_t a, uint32_t b) override;
  void hostSendEvent(const host::HostEvent* event) override;
  void hostSubscribe(const char* name, uint32_t handle, void (*callback)(host::HostEvent*),
                     void* context, uint32_t flag) override;
  void hostUnsubscribe(const char* name, uint32_t handle) override;
  void hostReserved5(uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e) override;
  void hostYield() override;
  void hostBeginWait(const char* label, uint32_t word) override;
  void hostEndWait() override;

  // Runs at the end of registration; a plugin registers its types and routes here.
  virtual void onRegistered();
  // Runs at the end of start; its result is what start answers the host.
  virtual bool onStarted();

  // Registration, in order: read and check the host's version (an incompatible host is reported
  // as "ALE-EECF0606" and ends the process with abort, writing no handshake word), keep it as the
  // core version, name the plugin, set the tag list and identifier, register the framework types
  // and events, run onRegistered, build the function table, then write the handshake's out words.
  void registerWithHost(host::HostHandshake& handshake, std::string_view shortName,
                        const PluginKind& kind = backendKind());

  // The start callback's work: keeps the host context, routes the log to the host unless a
  // "PluginLogTarget" is attached already, builds the user agent, takes the handle, creates the
  // telemetry sink, subscribes the service-proxy events and answers onStarted. A null context
  // reads as a host without services.
  bool start(host::HostContext* hostContext);
  // The stop callback's work before the plugin is destroyed: sets the stopping flag and runs
  // shutdown.
  void stop();

  // The table handed to the host: start, stop and memory statistics, each with the plugin as
  // context. None of them lets an exception out; stop destroys the plugin.
  const host::HostCallbacks& callbacks() const { return callbacks_; }

  // Registers a function under method and template, with a handler around fn (see
  // typed_route_handler.h for its shapes), and records fn's argument and return types in the
  // function's descriptor. The returned builder names the arguments in order. A function of
  // another shape, or with an argument or answer of an unsupported type, does not compile.
  template <typename Fn> RouteBuilder route(HttpMethod method, std::string_view templ, Fn fn);

  const PluginVersion& coreVersion() const { return coreVersion_; }
  const PluginNameRecord& names() const { return names_; }
  const std::string& fullName() const { return names_.fullName; }
  const std::string& identifier() const { return identifier_; }
  const std::vector<std::string>& tags() const { return tags_; }
  BindingTypeRegistry& typeRegistry() { return registry_; }
  const BindingTypeRegistry& typeRegistry() const { return registry_; }
  RouteTable& routeTable() { return routes_; }
  // Null before registration has built it.
  const FunctionTable* functionTable() const { return functionTable_.get(); }
  const host::HostContext* hostContext() const { return hostContext_; }
  // The target this plugin attached at start, or null.
  const PluginLogTarget* logTarget() const { return logTarget_.get(); }
  const std::string& logPrefix() const { return logPrefix_; }
  const std::string& userAgent() const { return userAgent_; }
  // Null before start.
  const TelemetrySink* telemetry() const { return telemetry_.get(); }
  bool stopping() const { return stopping_.load(); }

private:
  template <typename Fn>
  RouteBuilder routeChecked(HttpMethod method, std::string_view templ, Fn fn);
  const host::HostApi* hostApi() const;
  void forwardLogToHost(const host::HostApi* api);

  PluginVersion coreVersion_;
  PluginNameRecord names_;
  std::string identifier_;
  std::vector<std::string> tags_;
  BindingTypeRegistry registry_;
  RouteTable routes_;
  std::unique_ptr<FunctionTable> functionTable_;
  host::HostContext* hostContext_ = nullptr;
  host::HostCallbacks callbacks_{};
  std::unique_ptr<PluginLogTarget> logTarget_;
  // What the logger looked like before this plugin's target took over, put back when it goes.
  std::vector<LogTargetApi*> detachedConsoles_;
  LogLevel savedMinimumLevel_ = LogLevel::Warn;
  uint64_t savedExcludedGroups_ = 0;
  std::string logPrefix_;
  std::string userAgent_;
  std::unique_ptr<TelemetrySink> telemetry_;
  std::atomic<bool> stopping_{false};
};

template <typename Fn>
RouteBuilder Plugin::route(HttpMethod method, std::string_view templ, Fn fn) {
  // A function that cannot be a route's stops at the one static_assert naming why, not in the
  // handler's templates below.
  if constexpr (!handler_detail::checkRouteFunction<Fn>()) {
    std::abort();
  } else if constexpr (!std::is_base_of_v<Plugin, handler_detail::PluginOf<Fn>>) {
    static_assert(sizeof(Fn) == 0,
                  "a route's function takes the plugin first: a class derived from Plugin");
    std::abort();
  } else {
    return routeChecked(method, templ, std::move(fn));
  }
}

template <typename Fn>
RouteBuilder Plugin::routeChecked(HttpMethod method, std::string_view templ, Fn fn) {
  using Handler = TypedRouteHandler<Fn>;
  using Self = typename handler_detail::CallableSignature<Fn>::Plugin;
  auto* self = dynamic_cast<Self*>(this);
  if (self == nullptr) {
    throw std::invalid_argument("a route's function takes another plugin class");
  }
  RouteBuilder builder = routes_.registerRoute(registry_, method, templ,
                                               std::make_unique<Handler>(*self, registry_, fn));
  Handler::describe(builder.function(), registry_);
  if (auto* handler = dynamic_cast<RouteHandler*>(builder.record().handler())) {
    handler->setFunction(&builder.function());
  }
  return builder;
}

} // namespace tav
