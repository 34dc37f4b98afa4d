// RecordingEventClient: an EventClient whose host services record every call, with scripted
// answers to requests, and the response and stream fakes the request tests hand back.
#pragma once

#include "binding/binding_type_registry.h"
#include "binding/host_value_conversion.h"
#include "plugin/event_client.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tav::test {

struct RecordedSubscribe {
  std::string name;
  uint32_t handle = 0;
  void (*callback)(host::HostEvent*) = nullptr;
  void* context = nullptr;
  uint32_t flag = 0;
};

struct RecordedUnsubscribe {
  std::string name;
  uint32_t handle = 0;
};

struct RecordedEvent {
  std::string name;
  BindingProperty payload;
  uint32_t senderWord = 0;
};

// A request as the host saw it, with the typed argument read back into a value.
struct RecordedRequest {
  host::HostRequest record{};
  std::string path;
  bool argumentNamed = false;
  BindingProperty argument;
  bool responseWasZero = false;
};

class RecordingEventClient : public EventClient {
public:
  static constexpr uint32_t kHandle = 0x5A17;
  static constexpr const char* kName = "vmf-be-tav-banners";

  // With a registry that knows the framework types, the handle and the name set.
  RecordingEventClient() {
    setRegistry(&registry_);
    registerFrameworkEvents();
    setPluginHandle(kHandle);
    setPluginName(kName);
  }

  using EventClient::registerFrameworkEvents;
  using EventClient::setPluginHandle;
  using EventClient::setPluginName;
  using EventClient::setRegistry;
  using EventClient::shutdownEvents;
  using EventClient::subscribeServiceProxyEvents;

  // Answers every request; by default the response stays zeroed (success, empty value).
  std::function<void(host::HostResponse*, const host::HostRequest*)> respond;

  void hostSendRequest(host::HostResponse* response, const host::HostRequest* request) override {
    RecordedRequest recorded;
    std::memcpy(&recorded.record, request, sizeof recorded.record);
    recorded.path = request->path != nullptr ? request->path : "";
    if (request->argCount == 1 && request->args != nullptr) {
      recorded.argumentNamed = request->args[0].name != nullptr;
      BindingResult value;
      fromHostValue(value, request->args[0].value, "<argument>");
      recorded.argument = value.value();
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(response);
    recorded.responseWasZero =
        std::all_of(bytes, bytes + sizeof(host::HostResponse), [](auto b) { return b == 0; });
    {
      std::lock_guard guard(lock_);
      requests_.push_back(std::move(recorded));
      calls_.push_back("request");
    }
    if (respond) {
      respond(response, request);
    }
  }
  void hostReserved1(uint32_t, uint32_t) override { note("reserved1"); }
  void hostSendEvent(const host::HostEvent* event) override {
    RecordedEvent recorded;
    recorded.name = event->name != nullptr ? event->name : "";
    BindingResult payload;
    fromHostValue(payload, event->payload, "<payload>");
    recorded.payload = payload.value();
    recorded.senderWord = event->senderWord;
    std::lock_guard guard(lock_);
    events_.push_back(std::move(recorded));
    calls_.push_back("sendEvent");
  }
  void hostSubscribe(const char* name, uint32_t handle, void (*callback)(host::HostEvent*),
                     void* context, uint32_t flag) override {
    std::lock_guard guard(lock_);
    subscribes_.push_back(RecordedSubscribe{name, handle, callback, context, flag});
    calls_.push_back("subscribe");
  }
  void hostUnsubscribe(const char* name, uint32_t handle) override {
    std::lock_guard guard(lock_);
    unsubscribes_.push_back(RecordedUnsubscribe{name, handle});
    calls_.push_back("unsubscribe");
  }
  void hostReserved5(uint32_t, uint32_t, uint32_t, double, uint32_t) override { note("reserved5"); }
  void hostYield() override { note("yield"); }
  void hostBeginWait(const char* label, uint32_t word) override {
    note(std::string("beginWait ") + label + " " + std::to_string(word));
  }
  void hostEndWait() override { note("endWait"); }

  std::vector<RecordedRequest> sentRequests() const { return locked(requests_); }
  std::vector<RecordedEvent> events() const { return locked(events_); }
  std::vector<RecordedSubscribe> subscribes() const { return locked(subscribes_); }
  std::vector<RecordedUnsubscribe> unsubscribes() const { return locked(unsubscribes_); }
  std::vector<std::string> calls() const { return locked(calls_); }
  void clearCalls() {
    std::lock_guard guard(lock_);
    requests_.clear();
    events_.clear();
    subscribes_.clear();
    unsubscribes_.clear();
    calls_.clear();
  }

  BindingTypeRegistry& typeRegistry() { return registry_; }

  // The plain request operations, for tests that exercise them through this bridge.
  OutgoingRequests outgoing() { return EventClient::requests(); }

private:
  void note(std::string call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
  }
  template <typename T> T locked(const T& table) const {
    std::lock_guard guard(lock_);
    return table;
  }

  BindingTypeRegistry registry_;
  mutable std::mutex lock_;
  std::vector<RecordedRequest> requests_;
  std::vector<RecordedEvent> events_;
  std::vector<RecordedSubscribe> subscribes_;
  std::vector<RecordedUnsubscribe> unsubscribes_;
  std::vector<std::string> calls_;
};

// Counts how often a response record's release function ran; reset per test.
inline std::atomic<int> responseReleases{0};

inline void countingResponseRelease(host::HostResponse* response) {
  responseReleases.fetch_add(1);
  releaseHostValue(response->value);
  std::memset(response, 0, sizeof *response);
}

// A response carrying value (owned, released by the record's release function).
inline void answerWithValue(host::HostResponse* response, const BindingProperty& value) {
  toHostValue(response->value, value, nullptr);
  response->release = &countingResponseRelease;
}

// One scripted read of a FakeStream.
struct StreamChunk {
  std::string bytes;
  bool more = false;
  bool fail = false;
};

// A stream that hands out its chunks in order and records each read and the release.
struct FakeStream {
  std::vector<StreamChunk> chunks;
  size_t reads = 0;
  int releases = 0;

  static uint8_t read(void* stream, void* buffer, uint32_t* count, uint8_t* more) {
    auto& self = *static_cast<FakeStream*>(stream);
    if (self.reads >= self.chunks.size()) {
      *count = 0;
      *more = 0;
      return 1;
    }
    const StreamChunk& chunk = self.chunks[self.reads++];
    if (chunk.fail) {
      return 0;
    }
    const size_t size = std::min<size_t>(chunk.bytes.size(), *count);
    std::memcpy(buffer, chunk.bytes.data(), size);
    *count = static_cast<uint32_t>(size);
    *more = chunk.more ? 1 : 0;
    return 1;
  }
  static void release(void* stream) { ++static_cast<FakeStream*>(stream)->releases; }

  // Puts this stream into response, with the given size hint.
  void attach(host::HostResponse* response, uint32_t sizeHint = 0) {
    response->streamRead = &FakeStream::read;
    response->streamRelease = &FakeStream::release;
    response->stream = this;
    response->streamSizeHint = sizeHint;
    response->release = &countingResponseRelease;
  }
};

} // namespace tav::test
