// An in-process plugin written against the host records alone, for the host's own tests.
//
// Its export, loadFakePlugin, fills the handshake with five function records that share one call
// entry and find their route through the function context word, as a real plugin does:
//   GetFakeV1Items      GET  /fake/v1/items        the list ["a", "b"]
//   GetFakeV1ItemsById  GET  /fake/v1/items/{id}   the map {"id": <the id>}
//   PostFakeV1Echo      any  /fake/v1/echo         what it was sent (see echo in the .cpp)
//   GetFakeV1Stream     GET  /fake/v1/stream       a stream of "bytes" (query) times 'x'
//   GetFakeV1Missing    GET  /fake/v1/missing      the owned error "Not found", status 404
// A path or method its route does not take answers the static error "Invalid function", 404.
// Start subscribes "OnFakeEvent" (flag 0) and "OnFakeProxyEvent" (flag 1), writes one log line,
// asks GET /peer/v1/config and waits once (entries 7, 6, 8); stop unsubscribes both.
#pragma once

#include "binding/host_records.h"
#include "host/value_tree.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tav::testhost {

inline constexpr char kFakeFullName[] = "vmf-be-fake";
inline constexpr uint32_t kFakeFunctionCount = 5;

struct FakeReceivedEvent {
  std::string name;
  void* context = nullptr;
  host::ValueTree payload;
};

// What the fake was told to do and what it saw. One process-wide instance, reset per test.
struct FakePluginState {
  // Behaviour.
  bool startAnswer = true;
  bool streamReadFails = false; // every read of the fake's streams fails

  // The handshake's in-words.
  uint32_t hostMajor = 0;
  uint32_t hostMinor = 0;
  uint32_t hostPatch = 0;

  // Counts.
  std::atomic<int> calls{0};
  std::atomic<int> responseReleases{0};
  std::atomic<int> streamReads{0};
  std::atomic<int> streamReleases{0};
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};

  const host::HostContext* hostContext = nullptr;
  // What start's request to /peer/v1/config came back with.
  std::optional<std::string> configError;
  uint32_t configStatus = 0;
  std::string configJson;

  std::mutex mutex;
  std::vector<const void*> contextsSeen; // the function context word of each call
  std::vector<FakeReceivedEvent> events;
};

FakePluginState& fakePlugin();
void resetFakePlugin();

// The fake's export.
void loadFakePlugin(host::HostHandshake* handshake);

// The fake's description records, for tests that compare what the host read.
const host::HostApiDescription& fakeDescription();

} // namespace tav::testhost
