// GET "/tav-banners/v1/current-sondar/flags" through the whole boundary — host, libtav_banners.so,
// the sondar peers and back — for 10, 1,000 and 100,000 owned flags (Flags/Ours/<n>), beside the
// floor of the same run: Base64-decoding the same token and parsing it with RapidJSON's DOM
// (Flags/Floor/<n>). Between them, the plugin's part (Flags/Plugin/<n>): the call entry with the
// peers answering from memory and the answer released unread, so that the host's reading of the
// answer into its own tree, of which the floor has no share, shows apart.
#include "foundation/base64.h"
#include "host/call_request.h"
#include "host/host.h"
#include "host/sondar_inventory.h"
#include "host/sondar_peers.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace tav {
namespace {

// n distinct flags over ten seasons, a hundred themes and rising levels, acquired an hour apart
// and listed in a scrambled order, so that the plugin sorts and groups for real.
host::SondarData ownedFlags(int64_t count) {
  host::SondarData data;
  data.flags.reserve(static_cast<size_t>(count));
  for (int64_t step = 0; step < count; ++step) {
    // 7919 is prime, so the multiples walk every index once for any count it does not divide.
    const int64_t index = count % 7919 == 0 ? step : (step * 7919) % count;
    const std::time_t acquired = 1700000000 + static_cast<std::time_t>(index) * 3600;
    std::tm parts{};
    gmtime_r(&acquired, &parts);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &parts);
    data.flags.push_back(host::SondarFlag{"Theme" + std::to_string(index / 10 % 100),
                                          std::to_string(1 + index / 1000),
                                          std::to_string(1 + index % 10), date, "FLAG"});
  }
  data.configuration["Banners"]["IsEquipEnabled"] = true;
  data.configuration["ClientSystemStates"]["currentSeason"] = 10;
  return data;
}

// One host running the built plugin for the whole run; each benchmark puts its own flags in.
struct PluginUnderTest {
  host::Host host;
  host::SondarPeers peers;
  std::string error;

  PluginUnderTest() {
    const std::string path = std::string(TAV_BENCH_BUILD_DIR) + "/libtav_banners.so";
    peers.install(host);
    if (!host.load(path)) {
      error = host.lastError();
    } else if (!host.start()) {
      error = "the plugin did not start";
    } else if (host.description().findFunction("GetTavBannersV1CurrentSondarFlags") == nullptr) {
      error = "libtav_banners.so serves no flags route";
    }
  }
};

PluginUnderTest& plugin() {
  static PluginUnderTest* running = new PluginUnderTest(); // lives until the process ends
  return *running;
}

host::CallRequest flagsRequest() {
  host::CallRequest request;
  request.method = "GET";
  request.path = "/tav-banners/v1/current-sondar/flags";
  return request;
}

// The running plugin with the benchmark's flags in, after one call: the first call signs the
// token, which the peer then keeps, so that the loop measures the plugin. Null, with the state
// skipped, when that call goes wrong.
PluginUnderTest* preparedPlugin(benchmark::State& state) {
  PluginUnderTest& under = plugin();
  if (!under.error.empty()) {
    state.SkipWithError(under.error.c_str());
    return nullptr;
  }
  under.peers.replace(ownedFlags(state.range(0)));
  const host::CallResult first = under.host.call(flagsRequest());
  if (!first.ok() || first.value.items().size() != static_cast<size_t>(state.range(0))) {
    state.SkipWithError(first.error.value_or("wrong number of flags").c_str());
    return nullptr;
  }
  return &under;
}

void BM_FlagsOurs(benchmark::State& state) {
  PluginUnderTest* under = preparedPlugin(state);
  if (under == nullptr)
    return;
  const host::CallRequest request = flagsRequest();
  for (auto _ : state) {
    host::CallResult answer = under->host.call(request);
    benchmark::DoNotOptimize(answer);
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FlagsPlugin(benchmark::State& state) {
  PluginUnderTest* under = preparedPlugin(state);
  if (under == nullptr)
    return;
  const host::HostFunctionRecord* function =
      under->host.description().findFunction("GetTavBannersV1CurrentSondarFlags")->record;
  host::RequestRecord record(flagsRequest());
  record.record().functionContext = function->description.context;
  for (auto _ : state) {
    host::HostResponse response;
    std::memset(&response, 0, sizeof response);
    function->call(&response, &record.record());
    if (response.error != nullptr) {
      state.SkipWithError(response.error);
      response.release(&response);
      break;
    }
    response.release(&response);
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FlagsFloor(benchmark::State& state) {
  const std::string token =
      *host::inventoryToken(ownedFlags(state.range(0)), host::kFlagInventoryType);
  for (auto _ : state) {
    const size_t first = token.find('.');
    const size_t second = token.find('.', first + 1);
    const std::string header = decodeBase64UrlToString(std::string_view(token).substr(0, first));
    const std::string payload =
        decodeBase64UrlToString(std::string_view(token).substr(first + 1, second - first - 1));
    const std::string signature =
        decodeBase64UrlToString(std::string_view(token).substr(second + 1));
    rapidjson::Document headerDocument;
    headerDocument.Parse(header.data(), header.size());
    rapidjson::Document payloadDocument;
    payloadDocument.Parse(payload.data(), payload.size());
    benchmark::DoNotOptimize(headerDocument);
    benchmark::DoNotOptimize(payloadDocument);
    benchmark::DoNotOptimize(signature);
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
// Each family at 10, 1,000 and 100,000 flags.
void flagCounts(benchmark::internal::Benchmark* family) {
  family->Arg(10)
      ->Arg(1000)
      ->Arg(100000)
      ->Unit(benchmark::kMicrosecond)
      ->Complexity(benchmark::oNLogN);
}
BENCHMARK(BM_FlagsOurs)->Name("Flags/Ours")->Apply(flagCounts);
BENCHMARK(BM_FlagsPlugin)->Name("Flags/Plugin")->Apply(flagCounts);
BENCHMARK(BM_FlagsFloor)->Name("Flags/Floor")->Apply(flagCounts);

} // namespace
} // namespace tav
