// Host: a substitute for the desktop client's host that loads one plugin, drives it through its
// handshake, callbacks and function records, and answers its HostApi calls from C++ tables.
//
//   Host host;                                   // plugin interface 18.0.0, plugin handle 1
//   host.addPeer("GET", "/tav-inventory/v1/signedInventory",
//                [](const SeenRequest&) { return PeerAnswer::value(...); });
//   ASSERT_TRUE(host.load(pathOfLibrary)) << host.lastError();
//   ASSERT_TRUE(host.start());
//   CallResult flags = host.call("GET", "/tav-banners/v1/current-sondar/flags");
//   host.fireEvent("OnJsonApiEvent", payload);
//   host.waitForDeliveries();
//   host.stop();                                 // unload() or the destructor close the library
//
// The host uses the plugin only through its export and the records of binding/host_records.h.
// Calls, the plugin's requests and event deliveries may run on several threads at once; every
// table is guarded. Deliveries run on the host's own threads.
#pragma once

#include "binding/host_records.h"
#include "host/api_description_reader.h"
#include "host/call_request.h"
#include "host/call_result.h"
#include "host/delivery_workers.h"
#include "host/event_hub.h"
#include "host/history_ring.h"
#include "host/host_journal.h"
#include "host/ownership_ledger.h"
#include "host/peer_table.h"
#include "host/plugin_library.h"
#include "host/seen_request.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tav::host {

// The answer to a call whose path no function record takes.
inline constexpr char kInvalidFunction[] = "Invalid function";
// The host's answer to a plugin request that no peer takes, with status 404.
inline constexpr char kNoPeerMessage[] = "Not found";
// The host's answer to a call made while no plugin runs, with status 503.
inline constexpr char kNoPluginMessage[] = "No plugin is running";

struct HostOptions {
  // The plugin interface version the host announces in the handshake.
  uint32_t major = 18;
  uint32_t minor = 0;
  uint32_t patch = 0;
  uint32_t pluginHandle = 1;
  unsigned deliveryThreads = 2;
  // How many entries each record keeps (the plugin's requests, the events it sent, deliveries,
  // subscription calls, log lines, waits, reserved calls): the newest, so that a host serving
  // for days holds a bounded amount of them.
  size_t historyLimit = kDefaultHistoryLimit;
  bool echoLog = false; // also write the plugin's log lines to standard error
  // Unmap the library when it is closed. Off by default: see PluginLibrary::open. A library kept
  // mapped keeps its globals, so loading it again in the same process reuses them.
  bool unmapOnClose = false;
  // What a desktop client's host may do that a kind one does not. Each delivery runs while the
  // host holds its own recursive subscription lock, which subscribe and unsubscribe take too, so
  // a handler may subscribe on its own thread while another thread waits for that lock.
  bool lockWhileDelivering = false;
  // Unsubscribe returns only once the name's deliveries running on other threads have returned,
  // so that the plugin may free what their callbacks use as soon as it returns.
  bool unsubscribeWaitsForDeliveries = false;
};

// Every harsh behaviour at once: both of the above, four delivery threads, and the library
// unmapped at unload, so that the next host in the process loads it afresh.
HostOptions harshHostOptions(HostOptions options = {});

// The out words of the handshake as the plugin left them.
struct HandshakeWords {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t patch = 0;
  const HostCallbacks* callbacks = nullptr;
  void* pluginContext = nullptr;
  std::string fullName; // empty when the word was null
  const HostApiDescription* functionTable = nullptr;
};

class Host {
public:
  explicit Host(HostOptions options = {});
  // Stops a plugin still running, waits for deliveries and closes the library.
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- lifecycle ----

  // Opens the library at path and runs the handshake. False, with lastError(), when the library
  // cannot be opened, has no export, or leaves the callbacks or the context word null. A host
  // loads one plugin in its lifetime.
  bool load(const std::string& path);
  // The same with an export already in the process, for plugins written inside a test.
  bool load(LoadPluginFn entry);
  const std::string& lastError() const { return lastError_; }

  const HandshakeWords& handshake() const { return handshake_; }
  // The API description read right after the handshake.
  const ApiDescription& description() const { return description_; }

  // Calls start with the host context {this host's HostApi, the plugin handle}; answers what the
  // plugin answers, false when no plugin is loaded.
  bool start();
  // Waits for queued deliveries and calls in progress, then calls stop; after it the plugin
  // context is invalid and no call or delivery reaches the plugin any more. Does nothing when
  // nothing runs. Must not be called from inside a call or a delivery.
  void stop();
  // Stops a plugin still running, then closes the library. Records and streams the plugin never
  // released are freed and stay outstanding in ownership().
  void unload();

  bool isLoaded() const { return alive_.load(); }
  bool isStarted() const { return started_; }

  // The plugin's fourteen memory statistics words; all zero when no plugin runs.
  std::array<uint32_t, 14> memoryStatistics() const;

  // ---- calling the plugin ----

  // Calls the function record whose name the method and path give (see function_name.h); when no
  // record has that name, tries the records in table order until one answers anything but the
  // error "Invalid function". Every response is read, its stream read and released, and the
  // record released, before the next try.
  CallResult call(const CallRequest& request);
  CallResult call(std::string method, std::string path, std::vector<TypedArgument> args = {});
  // Calls the record named name and no other; "Invalid function" with status 404 when none is.
  CallResult callFunction(std::string_view name, const CallRequest& request);

  // ---- the plugin's requests ----

  void addPeer(std::string method, std::string path, Peer peer);
  void addPrefixPeer(std::string method, std::string prefix, Peer peer);
  void clearPeers();
  // The requests the plugin sent, in arrival order: the last HostOptions::historyLimit of them.
  std::vector<SeenRequest> requests() const;
  // Those of them whose path up to any "?" is path.
  std::vector<SeenRequest> requestsTo(std::string_view path) const;

  // ---- events ----

  // Queues one delivery of name with payload to each current subscriber of name, on the host's
  // threads; answers how many were queued. Each delivery builds an event record with the
  // subscription's context and a payload the host owns and frees after the callback.
  size_t fireEvent(std::string name, ValueTree payload, uint32_t senderWord = 0);
  // Returns once every queued delivery has run, those queued by deliveries included.
  void waitForDeliveries();
  const EventHub& events() const { return events_; }

  // ---- records ----

  const HostJournal& journal() const { return journal_; }
  const OwnershipLedger& ownership() const { return ledger_; }

  // HostApi calls that failed inside the host (out of memory, a throwing yield handler); each
  // such call returned to the plugin without effect.
  size_t entryFailures() const { return entryFailures_.load(); }

  // Runs on the plugin's thread each time it yields to the host (entry 6).
  void setYieldHandler(std::function<void()> handler);

  // The table handed to the plugin, for tests that act as the plugin themselves.
  const HostApi* api() const { return &block_.api; }
  uint32_t pluginHandle() const { return options_.pluginHandle; }

private:
  // The HostApi first, so that an entry finds its host from the table address alone.
  struct ApiBlock {
    HostApi api;
    uint32_t magic;
    Host* host;
  };
  static Host* fromApi(const HostApi* api);

  static void entrySendRequest(const HostApi* api, HostResponse* response,
                               const HostRequest* request);
  static void entryReserved1(const HostApi* api, uint32_t a, uint32_t b);
  static void entrySendEvent(const HostApi* api, const HostEvent* event);
  static void entrySubscribe(const HostApi* api, const char* name, uint32_t handle,
                             EventCallback callback, void* context, uint32_t flag);
  static void entryUnsubscribe(const HostApi* api, const char* name, uint32_t handle);
  static void entryReserved5(const HostApi* api, uint32_t a, uint32_t b, uint32_t c, double d,
                             uint32_t e);
  static void entryYield(const HostApi* api);
  static void entryBeginWait(const HostApi* api, const char* label, uint32_t word);
  static void entryEndWait(const HostApi* api);
  static void entryWriteLog(const HostApi* api, int32_t level, const char* message);

  template <typename Work> void guarded(Work&& work) noexcept;

  bool finishLoad(LoadPluginFn entry);
  void serveRequest(HostResponse& response, const HostRequest& request);
  size_t queueDeliveries(const std::string& name, const ValueTree& payload, uint32_t senderWord);
  void deliver(const Subscription& subscription, const std::string& name, const ValueTree& payload,
               uint32_t senderWord);
  void callSubscriber(const Subscription& subscription, const std::string& name, HostEvent& event);
  void waitForDeliveriesOf(std::string_view name);
  CallResult callRecord(const HostFunctionRecord& record, RequestRecord& request) const;
  void runYieldHandler();

  HostOptions options_;
  ApiBlock block_;
  HostContext context_;
  std::string lastError_;

  std::optional<PluginLibrary> library_;
  bool loadTried_ = false;
  HandshakeWords handshake_;
  HostCallbacks callbacks_{};
  ApiDescription description_;
  std::atomic<bool> alive_{false}; // handshake done and stop not yet called
  bool started_ = false;

  // Calls and deliveries hold it shared while they are in the plugin; stop holds it alone, so
  // that it waits for them and none starts after it.
  mutable std::shared_mutex pluginGate_;

  // The harsh options' subscription lock, and the deliveries running now: name and thread.
  std::recursive_mutex subscriptionLock_;
  std::mutex inFlightMutex_;
  std::condition_variable inFlightDone_;
  std::vector<std::pair<std::string, std::thread::id>> inFlight_;

  PeerTable peers_;
  mutable std::mutex requestsMutex_;
  HistoryRing<SeenRequest> requests_;
  EventHub events_;
  HostJournal journal_;
  OwnershipLedger ledger_;
  std::atomic<size_t> entryFailures_{0};
  std::mutex yieldMutex_;
  std::function<void()> yieldHandler_;

  // Last, so that its threads stop before anything they use goes away.
  DeliveryWorkers workers_;
};

} // namespace tav::host
