// The ten HostApi entries the plugin calls: each finds its host from the table address, records
// the call and lets nothing be thrown back across the boundary.
#include "host/host.h"

#include "host/host_value_codec.h"
#include "host/plugin_side.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace tav::host {
namespace {

// Static texts: an answer built without the host's help has no release function to free them.
constexpr char kNoRequestMessage[] = "No request record";
constexpr char kHostFailureMessage[] = "The host failed to answer";

std::string textOf(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

} // namespace

template <typename Work> void Host::guarded(Work&& work) noexcept {
  BoundarySide side(false);
  try {
    work();
  } catch (...) {
    entryFailures_.fetch_add(1);
  }
}

void Host::entrySendRequest(const HostApi* api, HostResponse* response,
                            const HostRequest* request) {
  Host* host = fromApi(api);
  if (response == nullptr) {
    return;
  }
  BoundarySide side(false);
  try {
    if (host == nullptr || request == nullptr) {
      std::memset(response, 0, sizeof *response);
      response->error = kNoRequestMessage;
      response->status = 400;
      return;
    }
    host->serveRequest(*response, *request);
  } catch (...) {
    // An answer without a release function owns nothing, so a half-built one is dropped.
    host->entryFailures_.fetch_add(1);
    std::memset(response, 0, sizeof *response);
    response->error = kHostFailureMessage;
    response->status = 500;
  }
}

void Host::entryReserved1(const HostApi* api, uint32_t a, uint32_t b) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] { host->journal_.reserved(ReservedCall{1, {a, b}, 0.0}); });
  }
}

void Host::entrySendEvent(const HostApi* api, const HostEvent* event) {
  Host* host = fromApi(api);
  if (host == nullptr || event == nullptr) {
    return;
  }
  host->guarded([&] {
    SentEvent sent;
    sent.name = textOf(event->name);
    std::string error;
    if (std::optional<ValueTree> payload = decodeHostValue(event->payload, &error)) {
      sent.payload = std::move(*payload);
    } else {
      sent.payloadError = error;
    }
    sent.senderWord = event->senderWord;
    host->events_.recordSent(sent);
    if (!sent.payloadError) {
      host->queueDeliveries(sent.name, sent.payload, sent.senderWord);
    }
  });
}

void Host::entrySubscribe(const HostApi* api, const char* name, uint32_t handle,
                          EventCallback callback, void* context, uint32_t flag) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] {
      std::unique_lock<std::recursive_mutex> lock(host->subscriptionLock_, std::defer_lock);
      if (host->options_.lockWhileDelivering) {
        lock.lock();
      }
      host->events_.subscribe(Subscription{textOf(name), handle, callback, context, flag});
    });
  }
}

void Host::entryUnsubscribe(const HostApi* api, const char* name, uint32_t handle) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] {
      const std::string eventName = textOf(name);
      {
        std::unique_lock<std::recursive_mutex> lock(host->subscriptionLock_, std::defer_lock);
        if (host->options_.lockWhileDelivering) {
          lock.lock();
        }
        host->events_.unsubscribe(eventName, handle);
      }
      // Waited for without the lock, which the deliveries hold.
      if (host->options_.unsubscribeWaitsForDeliveries) {
        host->waitForDeliveriesOf(eventName);
      }
    });
  }
}

void Host::entryReserved5(const HostApi* api, uint32_t a, uint32_t b, uint32_t c, double d,
                          uint32_t e) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] { host->journal_.reserved(ReservedCall{5, {a, b, c, e}, d}); });
  }
}

void Host::entryYield(const HostApi* api) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] {
      host->journal_.wait(WaitCall{6, {}, 0});
      host->runYieldHandler();
    });
  }
}

void Host::entryBeginWait(const HostApi* api, const char* label, uint32_t word) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] { host->journal_.wait(WaitCall{7, textOf(label), word}); });
  }
}

void Host::entryEndWait(const HostApi* api) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] { host->journal_.wait(WaitCall{8, {}, 0}); });
  }
}

void Host::entryWriteLog(const HostApi* api, int32_t level, const char* message) {
  if (Host* host = fromApi(api)) {
    host->guarded([&] {
      host->journal_.log(level, textOf(message));
      if (host->options_.echoLog) {
        std::fprintf(stderr, "[plugin %d] %s\n", level, message != nullptr ? message : "");
      }
    });
  }
}

} // namespace tav::host
