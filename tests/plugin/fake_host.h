// FakeHost: a HostApi table that records what a plugin asks of the host, for the plugin tests.
//
//   FakeHost host;
//   plugin.start(host.context(7));           // plugin handle 7
//   EXPECT_EQ(host.subscriptions().size(), 3u);
//
// Requests are answered by `respond` (by default: an empty success). Events sent by the plugin
// are kept with their payload converted back into a BindingProperty.
#pragma once

#include "binding/binding_property.h"
#include "binding/host_records.h"
#include "binding/host_value_conversion.h"

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tav::test {

struct HostSubscription {
  std::string name;
  uint32_t handle = 0;
  void (*callback)(host::HostEvent*) = nullptr;
  void* context = nullptr;
  uint32_t flag = 0;
};

struct HostUnsubscription {
  std::string name;
  uint32_t handle = 0;
};

struct HostSentEvent {
  std::string name;
  BindingProperty payload;
};

struct HostLogLine {
  int32_t level = 0;
  std::string message;
};

class FakeHost {
public:
  FakeHost() {
    api_.sendRequest = [](const host::HostApi* api, host::HostResponse* response,
                          const host::HostRequest* request) {
      FakeHost& self = of(api);
      if (self.respond) {
        self.respond(*response, *request);
      }
    };
    api_.reserved1 = [](const host::HostApi*, uint32_t, uint32_t) {};
    api_.sendEvent = [](const host::HostApi* api, const host::HostEvent* event) {
      HostSentEvent sent;
      sent.name = event->name != nullptr ? event->name : "";
      BindingResult payload;
      fromHostValue(payload, event->payload, "<payload>");
      sent.payload = payload.value();
      std::lock_guard guard(of(api).lock_);
      of(api).events_.push_back(std::move(sent));
    };
    api_.subscribe = [](const host::HostApi* api, const char* name, uint32_t handle,
                        void (*callback)(host::HostEvent*), void* context, uint32_t flag) {
      std::lock_guard guard(of(api).lock_);
      of(api).subscriptions_.push_back({name, handle, callback, context, flag});
    };
    api_.unsubscribe = [](const host::HostApi* api, const char* name, uint32_t handle) {
      std::lock_guard guard(of(api).lock_);
      of(api).unsubscriptions_.push_back({name, handle});
    };
    api_.reserved5 = [](const host::HostApi*, uint32_t, uint32_t, uint32_t, double, uint32_t) {};
    api_.yieldToHost = [](const host::HostApi*) {};
    api_.beginWait = [](const host::HostApi*, const char*, uint32_t) {};
    api_.endWait = [](const host::HostApi*) {};
    api_.writeLog = [](const host::HostApi* api, int32_t level, const char* message) {
      std::lock_guard guard(of(api).lock_);
      of(api).logLines_.push_back({level, message != nullptr ? message : ""});
    };
  }
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The host context to start a plugin with; valid as long as the FakeHost.
  host::HostContext* context(uint32_t pluginHandle) {
    context_.api = &api_;
    context_.pluginHandle = pluginHandle;
    return &context_;
  }
  const host::HostApi* api() const { return &api_; }

  std::function<void(host::HostResponse&, const host::HostRequest&)> respond;

  std::vector<HostSubscription> subscriptions() const {
    std::lock_guard guard(lock_);
    return subscriptions_;
  }
  std::vector<HostUnsubscription> unsubscriptions() const {
    std::lock_guard guard(lock_);
    return unsubscriptions_;
  }
  std::vector<HostSentEvent> events() const {
    std::lock_guard guard(lock_);
    return events_;
  }
  std::vector<HostLogLine> logLines() const {
    std::lock_guard guard(lock_);
    return logLines_;
  }

private:
  // The table first, so that its address leads back to its host.
  struct Table {
    host::HostApi api;
    FakeHost* owner;
  };
  static FakeHost& of(const host::HostApi* api) {
    return *reinterpret_cast<const Table*>(api)->owner;
  }

  Table table_{{}, this};
  host::HostApi& api_ = table_.api;
  host::HostContext context_{};
  mutable std::mutex lock_;
  std::vector<HostSubscription> subscriptions_;
  std::vector<HostUnsubscription> unsubscriptions_;
  std::vector<HostSentEvent> events_;
  std::vector<HostLogLine> logLines_;
};

} // namespace tav::test
