// BannersHarness: a registered and started BannersPlugin, the peers it talks to, and the inventory
// tokens they hand out, for the tests of the banners service.
//
//   test::BannersHarness harness;                 // registered, started, equipping off
//   harness.serveFlags({test::FlagItem("T", "2", "5", "2024-01-01T00:00:00Z")});
//   test::HostCall call(harness.function(test::kGetOwnedFlags), request);
//
// The peers answer by method and path. A request nobody answers gets 404 "Not found" (so the
// configuration values start unset unless a test serves them before start). Every request is
// recorded with its typed argument read back into a value.
#pragma once

#include "banners/banners_plugin.h"
#include "binding/host_value_conversion.h"
#include "foundation/base64.h"
#include "routing/json_reader.h"
#include "support/capturing_log_target.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/host_call.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tav::test {

inline constexpr char kGetOwnedFlags[] = "GetTavBannersV1CurrentSondarFlags";
inline constexpr char kGetEquippedFlag[] = "GetTavBannersV1CurrentSondarFlagsEquipped";
inline constexpr char kPutEquippedFlag[] = "PutTavBannersV1CurrentSondarFlagsEquipped";
inline constexpr char kGetEquippedFrame[] = "GetTavBannersV1CurrentSondarFramesEquipped";

inline BindingProperty Json(std::string_view text) {
  BindingResult value = readJson(text);
  EXPECT_TRUE(value.ok()) << value.errorMessage() << " in " << text;
  return value.value();
}

// Unpadded URL-safe Base64, as the inventory plugin writes token segments.
inline std::string Base64Url(std::string_view bytes) {
  std::string text = encodeBase64(bytes);
  while (!text.empty() && text.back() == '=') {
    text.pop_back();
  }
  for (char& c : text) {
    c = c == '+' ? '-' : c == '/' ? '_' : c;
  }
  return text;
}

// A signed token whose payload segment holds payloadJson.
inline std::string Token(std::string_view payloadJson) {
  return Base64Url(R"({"alg":"RS256","typ":"JWT"})") + "." + Base64Url(payloadJson) + "." +
         Base64Url("signature");
}

// One flag entitlement of the inventory, as JSON.
inline std::string FlagItem(std::string_view theme, std::string_view level,
                            std::string_view seasonId, std::string_view purchaseDate,
                            std::string_view rewardType = "FLAG") {
  return std::string(R"({"payload":{"rewardSpec":{"theme":")") + std::string(theme) +
         R"(","level":")" + std::string(level) + R"(","seasonId":")" + std::string(seasonId) +
         R"("},"rewardType":")" + std::string(rewardType) + R"("},"purchaseDate":")" +
         std::string(purchaseDate) + R"("})";
}

// One frame entitlement of the inventory, as JSON.
inline std::string FrameItem(std::string_view level, std::string_view seasonId,
                             std::string_view rewardType = "FRAME") {
  return std::string(R"({"payload":{"rewardSpec":{"level":")") + std::string(level) +
         R"(","seasonId":")" + std::string(seasonId) + R"("},"rewardType":")" +
         std::string(rewardType) + R"("},"purchaseDate":""})";
}

// The token payload {"items": {type: [items...]}}.
inline std::string ItemsPayload(std::string_view type, const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) {
    list += (list.empty() ? "" : ",") + item;
  }
  return std::string(R"({"items":{")") + std::string(type) + R"(":[)" + list + "]}}";
}

// A request as a peer received it.
struct PeerRequest {
  HttpMethod method = HttpMethod::Any;
  std::string path;
  uint32_t argumentCount = 0;
  bool argumentNamed = false;
  BindingProperty argument;
  uint32_t callerHandle = 0;
};

class FakePeers {
public:
  explicit FakePeers(FakeHost& host) : host_(host) {
    host_.respond = [this](host::HostResponse& response, const host::HostRequest& request) {
      answerRequest(response, request);
    };
  }
  ~FakePeers() { host_.respond = nullptr; }
  FakePeers(const FakePeers&) = delete;
  FakePeers& operator=(const FakePeers&) = delete;

  // Answers method path with value (success, status 0).
  void answer(HttpMethod method, std::string_view path, BindingProperty value) {
    std::lock_guard guard(lock_);
    answers_[key(method, path)] = Answer{std::move(value), false, 0, {}};
  }
  // Answers method path with an error text and status.
  void fail(HttpMethod method, std::string_view path, uint32_t status, std::string error) {
    std::lock_guard guard(lock_);
    answers_[key(method, path)] = Answer{{}, true, status, std::move(error)};
  }

  std::vector<PeerRequest> requests() const {
    std::lock_guard guard(lock_);
    return requests_;
  }
  std::vector<PeerRequest> requestsTo(HttpMethod method, std::string_view path) const {
    std::vector<PeerRequest> matching;
    for (PeerRequest& request : requests()) {
      if (request.method == method && request.path == path) {
        matching.push_back(std::move(request));
      }
    }
    return matching;
  }
  void clearRequests() {
    std::lock_guard guard(lock_);
    requests_.clear();
  }

private:
  struct Answer {
    BindingProperty value;
    bool failed = false;
    uint32_t status = 0;
    std::string error;
  };

  static std::string key(HttpMethod method, std::string_view path) {
    return std::string(httpMethodName(method)) + " " + std::string(path);
  }

  static void releaseResponse(host::HostResponse* response) {
    releaseHostValue(response->value);
    if (response->errorOwned != 0) {
      std::free(const_cast<char*>(response->error));
    }
    std::memset(response, 0, sizeof *response);
  }

  void answerRequest(host::HostResponse& response, const host::HostRequest& request) {
    PeerRequest received;
    received.method = httpMethodFromCode(request.method);
    received.path = request.path != nullptr ? request.path : "";
    received.argumentCount = request.argCount;
    received.callerHandle = request.callerHandle;
    if (request.argCount > 0 && request.args != nullptr) {
      received.argumentNamed = request.args[0].name != nullptr;
      BindingResult argument;
      fromHostValue(argument, request.args[0].value, "<argument>");
      received.argument = argument.value();
    }
    std::lock_guard guard(lock_);
    const std::string wanted = key(received.method, received.path);
    requests_.push_back(std::move(received));
    response.release = &releaseResponse;
    auto found = answers_.find(wanted);
    if (found == answers_.end()) {
      response.error = "Not found";
      response.status = 404;
      return;
    }
    if (found->second.failed) {
      response.error = strdup(found->second.error.c_str());
      response.errorOwned = 1;
      response.status = found->second.status;
      return;
    }
    toHostValue(response.value, found->second.value, nullptr);
  }

  FakeHost& host_;
  mutable std::mutex lock_;
  std::map<std::string, Answer> answers_;
  std::vector<PeerRequest> requests_;
};

class BannersHarness {
public:
  static constexpr uint32_t kPluginHandle = 31;

  // Registered with a host of version 18.0.0; started unless told otherwise, so that tests can
  // serve the configuration values its start fetches.
  explicit BannersHarness(bool started = true) {
    std::memset(&handshake_, 0, sizeof handshake_);
    handshake_.major = 18;
    plugin_.registerWithHost(handshake_, banners::kBannersShortName);
    if (started) {
      start();
      // Tests of a started plugin look at the requests of their own calls only.
      peers_.clearRequests();
    }
  }

  void start() { EXPECT_TRUE(plugin_.start(host_.context(kPluginHandle))); }

  banners::BannersPlugin& plugin() { return plugin_; }
  FakeHost& host() { return host_; }
  FakePeers& peers() { return peers_; }
  CapturingLogTarget& log() { return capture_.target(); }

  const host::HostFunctionRecord& function(std::string_view name) {
    return functionRecord(*plugin_.functionTable(), name);
  }

  // The inventory answers every request with one token per type holding the given items.
  void serveInventory(const std::vector<std::string>& flags,
                      const std::vector<std::string>& frames = {}) {
    BindingProperty tokens;
    tokens.member("TOURNAMENT_FLAG") = Token(ItemsPayload("TOURNAMENT_FLAG", flags));
    tokens.member("TOURNAMENT_FRAME") = Token(ItemsPayload("TOURNAMENT_FRAME", frames));
    peers_.answer(HttpMethod::Get, kInventoryUrl, std::move(tokens));
  }
  // The inventory answers with these tokens by type.
  void serveTokens(const std::map<std::string, std::string>& tokens) {
    BindingProperty answer;
    answer.makeStructure();
    for (const auto& [type, token] : tokens) {
      answer.member(type) = token;
    }
    peers_.answer(HttpMethod::Get, kInventoryUrl, std::move(answer));
  }
  // The profile as the sondar plugin answers it.
  void serveProfile(std::string_view json) {
    peers_.answer(HttpMethod::Get, kProfileUrl, Json(json));
  }
  // Loadouts and profile writes succeed.
  void acceptWrites() {
    peers_.answer(HttpMethod::Post, kLoadoutsUrl, BindingProperty());
    peers_.answer(HttpMethod::Post, kProfileUrl, BindingProperty());
  }

  // Delivers a resource event for uri as the host does: under the URI's event name, through the
  // callback and context the plugin subscribed with. False when the name was not subscribed.
  bool deliver(std::string_view uri, std::string_view eventType,
               const BindingProperty& data = BindingProperty()) {
    const std::string name = EventClient::eventNameOf(uri);
    for (const HostSubscription& subscription : host_.subscriptions()) {
      if (subscription.name != name) {
        continue;
      }
      BindingProperty payload;
      payload.member("uri") = uri;
      payload.member("eventType") = eventType;
      payload.member("data") = data;
      host::HostEvent event{};
      event.name = name.c_str();
      EXPECT_TRUE(toHostValue(event.payload, payload, nullptr));
      event.context = subscription.context;
      subscription.callback(&event);
      releaseHostValue(event.payload);
      return true;
    }
    return false;
  }

  // Log lines the plugin wrote with exactly this message.
  std::vector<CapturedRecord> linesSaying(std::string_view message) const {
    std::vector<CapturedRecord> lines;
    for (const CapturedRecord& record : capture_.target().records()) {
      if (record.message == message) {
        lines.push_back(record);
      }
    }
    return lines;
  }

  static constexpr std::string_view kInventoryUrl = "/tav-inventory/v1/signedInventory";
  static constexpr std::string_view kProfileUrl = "/tav-sondar/v1/current-sondar/sondar-profile";
  static constexpr std::string_view kLoadoutsUrl = "/tav-loadouts/v2/items/1";

private:
  // Declared first so the plugin's log target goes before the capture restores the logger.
  ScopedLogCapture capture_;
  FakeHost host_;
  FakePeers peers_{host_};
  host::HostHandshake handshake_;
  banners::BannersPlugin plugin_;
};

} // namespace tav::test
