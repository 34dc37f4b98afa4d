// The host's lifecycle, its calls into the plugin's function records and event fan-out.
#include "host/host.h"

#include "host/function_name.h"
#include "host/host_value_codec.h"
#include "host/http_methods.h"
#include "host/plugin_side.h"
#include "host/response_writer.h"

#include <algorithm>
#include <cstring>

namespace tav::host {
namespace {

// Marks a table as one of this library's hosts, so that an entry called with a foreign table
// does nothing instead of following a wild pointer.
constexpr uint32_t kApiBlockMagic = 0x54415648; // "HVAT"

CallResult hostAnswer(std::string message, uint32_t status) {
  CallResult result;
  result.error = std::move(message);
  result.status = status;
  return result;
}

bool answersInvalidFunction(const CallResult& result) {
  return result.error && *result.error == kInvalidFunction;
}

} // namespace

HostOptions harshHostOptions(HostOptions options) {
  options.lockWhileDelivering = true;
  options.unsubscribeWaitsForDeliveries = true;
  options.deliveryThreads = std::max(options.deliveryThreads, 4u);
  options.unmapOnClose = true;
  return options;
}

Host::Host(HostOptions options)
    : options_(options), context_{&block_.api, options.pluginHandle},
      requests_(options.historyLimit), events_(options.historyLimit),
      journal_(options.historyLimit), workers_(options.deliveryThreads) {
  block_.api.sendRequest = &entrySendRequest;
  block_.api.reserved1 = &entryReserved1;
  block_.api.sendEvent = &entrySendEvent;
  block_.api.subscribe = &entrySubscribe;
  block_.api.unsubscribe = &entryUnsubscribe;
  block_.api.reserved5 = &entryReserved5;
  block_.api.yieldToHost = &entryYield;
  block_.api.beginWait = &entryBeginWait;
  block_.api.endWait = &entryEndWait;
  block_.api.writeLog = &entryWriteLog;
  block_.magic = kApiBlockMagic;
  block_.host = this;
}

Host::~Host() {
  unload();
  workers_.drain();
}

Host* Host::fromApi(const HostApi* api) {
  if (api == nullptr) {
    return nullptr;
  }
  const auto* block = reinterpret_cast<const ApiBlock*>(api);
  return block->magic == kApiBlockMagic ? block->host : nullptr;
}

// ---- lifecycle ----

bool Host::load(const std::string& path) {
  if (loadTried_) {
    lastError_ = "this host has loaded a plugin already";
    return false;
  }
  loadTried_ = true;
  std::optional<PluginLibrary> library =
      PluginLibrary::open(path, !options_.unmapOnClose, lastError_);
  if (!library) {
    return false;
  }
  library_ = std::move(library);
  return finishLoad(library_->entry());
}

bool Host::load(LoadPluginFn entry) {
  if (loadTried_) {
    lastError_ = "this host has loaded a plugin already";
    return false;
  }
  loadTried_ = true;
  if (entry == nullptr) {
    lastError_ = "no plugin export given";
    return false;
  }
  return finishLoad(entry);
}

bool Host::finishLoad(LoadPluginFn entry) {
  HostHandshake handshake;
  std::memset(&handshake, 0, sizeof handshake);
  handshake.major = options_.major;
  handshake.minor = options_.minor;
  handshake.patch = options_.patch;
  intoPlugin(entry, &handshake);

  handshake_.major = handshake.major;
  handshake_.minor = handshake.minor;
  handshake_.patch = handshake.patch;
  handshake_.callbacks = handshake.callbacks;
  handshake_.pluginContext = handshake.pluginContext;
  handshake_.fullName = handshake.fullName != nullptr ? handshake.fullName : "";
  handshake_.functionTable = handshake.functionTable;
  if (handshake.callbacks == nullptr || handshake.pluginContext == nullptr) {
    lastError_ = "the plugin left the callbacks or its context null in the handshake";
    return false;
  }
  callbacks_ = *handshake.callbacks;
  description_ = readApiDescription(handshake.functionTable);
  alive_ = true;
  return true;
}

bool Host::start() {
  if (!alive_ || callbacks_.start == nullptr) {
    return false;
  }
  started_ = true;
  return intoPlugin(callbacks_.start, handshake_.pluginContext, &context_) != 0;
}

void Host::stop() {
  if (!alive_) {
    return;
  }
  workers_.drain();
  {
    std::unique_lock<std::shared_mutex> gate(pluginGate_);
    alive_ = false;
    if (callbacks_.stop != nullptr) {
      intoPlugin(callbacks_.stop, handshake_.pluginContext);
    }
  }
  // Deliveries queued while the plugin stopped find it gone and are dropped.
  workers_.drain();
}

void Host::unload() {
  stop();
  if (library_) {
    library_->close();
    library_.reset();
  }
  abandonHandedOut(ledger_);
}

std::array<uint32_t, 14> Host::memoryStatistics() const {
  std::array<uint32_t, 14> words{};
  std::shared_lock<std::shared_mutex> gate(pluginGate_);
  if (alive_ && callbacks_.memoryStatistics != nullptr) {
    intoPlugin(callbacks_.memoryStatistics, handshake_.pluginContext, words.data());
  }
  return words;
}

// ---- calling the plugin ----

CallResult Host::call(std::string method, std::string path, std::vector<TypedArgument> args) {
  CallRequest request;
  request.method = std::move(method);
  request.path = std::move(path);
  request.args = std::move(args);
  return call(request);
}

CallResult Host::call(const CallRequest& request) {
  std::shared_lock<std::shared_mutex> gate(pluginGate_);
  if (!alive_) {
    return hostAnswer(kNoPluginMessage, 503);
  }
  const HttpMethod method = methodFromName(request.method);
  const std::string name = functionName(methodName(static_cast<uint32_t>(method)), request.path);
  RequestRecord record(request);
  if (const FunctionInfo* named = description_.findFunction(name)) {
    return callRecord(*named->record, record);
  }
  CallResult last = hostAnswer(kInvalidFunction, 404);
  unsigned attempts = 0;
  for (const FunctionInfo& function : description_.functions) {
    last = callRecord(*function.record, record);
    last.attempts = ++attempts;
    if (!answersInvalidFunction(last)) {
      break;
    }
  }
  return last;
}

CallResult Host::callFunction(std::string_view name, const CallRequest& request) {
  std::shared_lock<std::shared_mutex> gate(pluginGate_);
  if (!alive_) {
    return hostAnswer(kNoPluginMessage, 503);
  }
  const FunctionInfo* function = description_.findFunction(name);
  if (function == nullptr) {
    return hostAnswer(kInvalidFunction, 404);
  }
  RequestRecord record(request);
  return callRecord(*function->record, record);
}

CallResult Host::callRecord(const HostFunctionRecord& record, RequestRecord& request) const {
  const std::string name =
      record.description.name != nullptr ? record.description.name : std::string();
  if (record.call == nullptr) {
    CallResult result = hostAnswer("function record " + name + " has no call entry", 0);
    result.functionName = name;
    return result;
  }
  request.record().functionContext = record.description.context;
  HostResponse response;
  std::memset(&response, 0, sizeof response);
  intoPlugin(record.call, &response, &request.record());

  CallResult result = readResponse(response);
  readResponseStream(response, result);
  if (response.release != nullptr) {
    intoPlugin(response.release, &response);
    result.released = true;
  }
  result.functionName = name;
  result.attempts = 1;
  return result;
}

// ---- the plugin's requests ----

void Host::addPeer(std::string method, std::string path, Peer peer) {
  peers_.add(std::move(method), std::move(path), std::move(peer));
}

void Host::addPrefixPeer(std::string method, std::string prefix, Peer peer) {
  peers_.addPrefix(std::move(method), std::move(prefix), std::move(peer));
}

void Host::clearPeers() {
  peers_.clear();
}

std::vector<SeenRequest> Host::requests() const {
  std::lock_guard<std::mutex> lock(requestsMutex_);
  return requests_.entries();
}

std::vector<SeenRequest> Host::requestsTo(std::string_view path) const {
  std::lock_guard<std::mutex> lock(requestsMutex_);
  std::vector<SeenRequest> found;
  for (const SeenRequest& request : requests_.kept()) {
    if (request.pathWithoutQuery() == path) {
      found.push_back(request);
    }
  }
  return found;
}

void Host::serveRequest(HostResponse& response, const HostRequest& request) {
  SeenRequest seen = decodeRequest(request);
  {
    std::lock_guard<std::mutex> lock(requestsMutex_);
    requests_.push(seen);
  }
  std::optional<Peer> peer = peers_.find(seen.method, seen.path);
  PeerAnswer answer;
  if (!peer) {
    answer = PeerAnswer::error(404, kNoPeerMessage);
  } else {
    try {
      answer = (*peer)(seen);
    } catch (const std::exception& failure) {
      answer = PeerAnswer::error(500, std::string("peer failed: ") + failure.what());
    } catch (...) {
      answer = PeerAnswer::error(500, "peer failed");
    }
  }
  writePeerAnswer(response, answer, ledger_);
}

// ---- events ----

size_t Host::fireEvent(std::string name, ValueTree payload, uint32_t senderWord) {
  return queueDeliveries(name, payload, senderWord);
}

size_t Host::queueDeliveries(const std::string& name, const ValueTree& payload,
                             uint32_t senderWord) {
  const std::vector<Subscription> subscribers = events_.subscribersOf(name);
  for (const Subscription& subscription : subscribers) {
    workers_.post([this, subscription, name, payload, senderWord] {
      deliver(subscription, name, payload, senderWord);
    });
  }
  return subscribers.size();
}

void Host::deliver(const Subscription& subscription, const std::string& name,
                   const ValueTree& payload, uint32_t senderWord) {
  std::shared_lock<std::shared_mutex> gate(pluginGate_);
  if (!alive_ || subscription.callback == nullptr || !events_.isSubscribed(subscription)) {
    events_.recordDropped();
    return;
  }
  HostValue owned = encodeHostValue(payload);
  HostEvent event;
  std::memset(&event, 0, sizeof event);
  event.name = name.c_str();
  event.payload = owned;
  event.senderWord = senderWord;
  event.context = subscription.context;
  callSubscriber(subscription, name, event);
  // The host frees its own copy: the record was the plugin's to read, not to keep or change.
  releaseEncodedValue(owned);
  events_.recordDelivered(DeliveredEvent{name, subscription.handle, subscription.context, payload});
}

void Host::callSubscriber(const Subscription& subscription, const std::string& name,
                          HostEvent& event) {
  if (!options_.lockWhileDelivering && !options_.unsubscribeWaitsForDeliveries) {
    intoPlugin(subscription.callback, &event);
    return;
  }
  std::unique_lock<std::recursive_mutex> lock(subscriptionLock_, std::defer_lock);
  if (options_.lockWhileDelivering) {
    lock.lock();
  }
  // In flight only once the lock is held: a delivery still waiting for it has not begun, and a
  // handler that unsubscribes while holding it must not wait for one.
  const std::pair<std::string, std::thread::id> entry{name, std::this_thread::get_id()};
  {
    std::lock_guard<std::mutex> guard(inFlightMutex_);
    inFlight_.push_back(entry);
  }
  struct Done {
    Host& host;
    const std::pair<std::string, std::thread::id>& entry;
    ~Done() {
      {
        std::lock_guard<std::mutex> guard(host.inFlightMutex_);
        host.inFlight_.erase(std::find(host.inFlight_.begin(), host.inFlight_.end(), entry));
      }
      host.inFlightDone_.notify_all();
    }
  } done{*this, entry};
  intoPlugin(subscription.callback, &event);
}

void Host::waitForDeliveriesOf(std::string_view name) {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(inFlightMutex_);
  // A delivery on this very thread is the caller's own: waiting for it would wait forever.
  inFlightDone_.wait(lock, [&] {
    return std::none_of(inFlight_.begin(), inFlight_.end(), [&](const auto& entry) {
      return entry.first == name && entry.second != self;
    });
  });
}

void Host::waitForDeliveries() {
  workers_.drain();
}

void Host::setYieldHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(yieldMutex_);
  yieldHandler_ = std::move(handler);
}

void Host::runYieldHandler() {
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> lock(yieldMutex_);
    handler = yieldHandler_;
  }
  if (handler) {
    handler();
  }
}

} // namespace tav::host
