// The call path alone, for each of the four routes of libtav_banners.so at a sondar's usual size
// (Call/Ours/<route>): the plugin's call entry, matching, binding, the handler with the peers
// answering from memory, and the response record made and released. Nothing of the host's reading
// of the answer is in it, so the fixed cost of a call shows apart from the readers.
//
// Beside each, its floor (Call/Floor/<route>): the requests that route sends to the peers, taken
// from one real call and replayed through the host's request entry with their answers released.
// The plugin cannot answer without them; everything above the floor is the plugin's own.
#include "binding/host_records.h"
#include "host/call_request.h"
#include "host/function_name.h"
#include "host/host.h"
#include "host/sondar_peers.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tav {
namespace {

struct RouteCall {
  const char* label;
  host::CallRequest request;
};

host::CallRequest requestOf(const char* method, const char* path) {
  host::CallRequest request;
  request.method = method;
  request.path = path;
  return request;
}

std::vector<RouteCall> routeCalls() {
  host::CallRequest put = requestOf("PUT", "/tav-banners/v1/current-sondar/flags/equipped");
  put.contentType = "application/json";
  put.body = R"({"theme":"Tide","level":"2","seasonId":"5","earnedDateIso8601":""})";
  return {
      {"GetFlags", requestOf("GET", "/tav-banners/v1/current-sondar/flags")},
      {"GetEquippedFlag", requestOf("GET", "/tav-banners/v1/current-sondar/flags/equipped")},
      {"PutEquippedFlag", std::move(put)},
      {"GetEquippedFrame", requestOf("GET", "/tav-banners/v1/current-sondar/frames/equipped")},
  };
}

// A sondar of twelve flags over three seasons and three frames, equipped with one of each.
host::SondarData smallSondar() {
  host::SondarData data;
  const char* themes[] = {"Storm", "Tide", "Aurora", "Ember"};
  for (int i = 0; i < 12; ++i) {
    const std::string day = std::to_string(10 + i);
    data.flags.push_back(host::SondarFlag{themes[i % 4], std::to_string(1 + i / 4),
                                          std::to_string(3 + i % 3),
                                          "2024-03-" + day + "T10:00:00Z", "FLAG"});
  }
  data.frames = {{"2", "3", "2024-03-01T10:00:00Z"},
                 {"3", "4", "2024-03-02T10:00:00Z"},
                 {"4", "5", "2024-03-03T10:00:00Z"}};
  data.configuration["Banners"]["IsEquipEnabled"] = true;
  data.configuration["ClientSystemStates"]["currentSeason"] = 5;
  return data;
}

// The plugin running in one host for the whole run, with each route's function record and the
// peer requests one call of it sent.
struct CallsUnderTest {
  host::Host host;
  host::SondarPeers peers{smallSondar()};
  std::string error;
  struct Route {
    const host::HostFunctionRecord* function = nullptr;
    std::unique_ptr<host::RequestRecord> record;
    std::vector<host::CallRequest> peerRequests;
  };
  std::vector<Route> routes;

  CallsUnderTest() {
    peers.install(host);
    if (!host.load(std::string(TAV_BENCH_BUILD_DIR) + "/libtav_banners.so") || !host.start()) {
      error = "the plugin did not start: " + host.lastError();
      return;
    }
    for (const RouteCall& call : routeCalls()) {
      routes.push_back(prepare(call.request));
      if (!error.empty())
        return;
    }
  }

  Route prepare(const host::CallRequest& request) {
    Route route;
    const host::FunctionInfo* function =
        host.description().findFunction(host::functionName(request.method, request.path));
    if (function == nullptr) {
      error = "no function record for " + request.path;
      return route;
    }
    route.function = function->record;
    route.record = std::make_unique<host::RequestRecord>(request);
    route.record->record().functionContext = function->record->description.context;
    const size_t before = host.requests().size();
    const host::CallResult first = host.call(request);
    host.waitForDeliveries();
    if (!first.ok()) {
      error = request.path + " answered " + first.error.value_or("an error");
      return route;
    }
    const std::vector<host::SeenRequest> seen = host.requests();
    for (size_t i = before; i < seen.size(); ++i) {
      host::CallRequest replay;
      replay.method = seen[i].method;
      replay.path = seen[i].path;
      replay.args = seen[i].args;
      replay.headers = seen[i].headers;
      replay.contentType = seen[i].contentType;
      replay.body = seen[i].body;
      replay.callerHandle = seen[i].callerHandle;
      route.peerRequests.push_back(std::move(replay));
    }
    return route;
  }
};

CallsUnderTest& calls() {
  static CallsUnderTest* running = new CallsUnderTest(); // lives until the process ends
  return *running;
}

void BM_CallOurs(benchmark::State& state, size_t routeIndex) {
  CallsUnderTest& under = calls();
  if (!under.error.empty()) {
    state.SkipWithError(under.error.c_str());
    return;
  }
  CallsUnderTest::Route& route = under.routes[routeIndex];
  for (auto _ : state) {
    host::HostResponse response;
    std::memset(&response, 0, sizeof response);
    route.function->call(&response, &route.record->record());
    if (response.error != nullptr) {
      state.SkipWithError(response.error);
      response.release(&response);
      break;
    }
    response.release(&response);
  }
  under.host.waitForDeliveries();
  state.counters["peer_requests"] = static_cast<double>(route.peerRequests.size());
}

void BM_CallFloor(benchmark::State& state, size_t routeIndex) {
  CallsUnderTest& under = calls();
  if (!under.error.empty()) {
    state.SkipWithError(under.error.c_str());
    return;
  }
  std::vector<std::unique_ptr<host::RequestRecord>> records;
  for (const host::CallRequest& request : under.routes[routeIndex].peerRequests)
    records.push_back(std::make_unique<host::RequestRecord>(request));
  const host::HostApi* api = under.host.api();
  for (auto _ : state) {
    for (const auto& record : records) {
      host::HostResponse response;
      std::memset(&response, 0, sizeof response);
      api->sendRequest(api, &response, &record->record());
      if (response.release != nullptr)
        response.release(&response);
    }
  }
  under.host.waitForDeliveries();
}

const bool registered = [] {
  const std::vector<RouteCall> routes = routeCalls();
  for (size_t i = 0; i < routes.size(); ++i) {
    const std::string label = routes[i].label;
    benchmark::RegisterBenchmark(("Call/Ours/" + label).c_str(), BM_CallOurs, i)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Call/Floor/" + label).c_str(), BM_CallFloor, i)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

} // namespace
} // namespace tav
