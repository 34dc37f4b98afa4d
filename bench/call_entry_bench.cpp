// One incoming call through the call entry, from request record to released response record.
#include "binding/host_records.h"
#include "plugin/plugin.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace tav {
namespace {

struct BenchItem {
  std::string id;
  int32_t count = 0;
};

class BenchPlugin : public Plugin {
public:
  void onRegistered() override {
    auto item = typeRegistry().registerType<BenchItem>("BenchItem");
    item.field("id", &BenchItem::id);
    item.field("count", &BenchItem::count);
    route(HttpMethod::Get, "/bench/v1/items", &BenchPlugin::list);
    route(HttpMethod::Get, "/bench/v1/items/{id}", &BenchPlugin::get)
        .argument("id", "", ArgumentLocation::Path)
        .argument("count", "", ArgumentLocation::Query);
    route(HttpMethod::Put, "/bench/v1/items/{id}", &BenchPlugin::put)
        .argument("id", "", ArgumentLocation::Path)
        .bodyArgument("item");
  }

  HandlerResponse<std::vector<BenchItem>> list() { return std::vector<BenchItem>(8); }
  HandlerResponse<BenchItem> get(std::string id, int32_t count) {
    return BenchItem{std::move(id), count};
  }
  HandlerResponse<BenchItem> put(const std::string&, const BenchItem& item) { return item; }
};

class RegisteredBenchPlugin {
public:
  RegisteredBenchPlugin() {
    std::memset(&handshake_, 0, sizeof handshake_);
    handshake_.major = 18;
    plugin_.registerWithHost(handshake_, "tav-bench");
  }
  const host::HostFunctionRecord& function(std::string_view name) const {
    for (const host::HostFunctionRecord& record : plugin_.functionTable()->records()) {
      if (name == record.description.name) {
        return record;
      }
    }
    throw std::invalid_argument("no function named " + std::string(name));
  }

private:
  host::HostHandshake handshake_;
  BenchPlugin plugin_;
};

void runCalls(benchmark::State& state, const host::HostFunctionRecord& function,
              host::HostRequest request) {
  request.functionContext = function.description.context;
  for (auto _ : state) {
    host::HostResponse response;
    function.call(&response, &request);
    if (response.error != nullptr) {
      state.SkipWithError(response.error);
      response.release(&response);
      break;
    }
    response.release(&response);
  }
}

host::HostRequest requestOf(HttpMethod method, const char* path) {
  host::HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = static_cast<uint32_t>(method);
  request.path = path;
  return request;
}

void BM_CallLiteralRouteAnsweringAList(benchmark::State& state) {
  static const RegisteredBenchPlugin registered;
  runCalls(state, registered.function("GetBenchV1Items"),
           requestOf(HttpMethod::Get, "/bench/v1/items"));
}
BENCHMARK(BM_CallLiteralRouteAnsweringAList);

void BM_CallPlaceholderRouteWithQueryArgument(benchmark::State& state) {
  static const RegisteredBenchPlugin registered;
  runCalls(state, registered.function("GetBenchV1ItemsById"),
           requestOf(HttpMethod::Get, "/bench/v1/items/abc?count=12"));
}
BENCHMARK(BM_CallPlaceholderRouteWithQueryArgument);

void BM_CallWithJsonBody(benchmark::State& state) {
  static const RegisteredBenchPlugin registered;
  static const char kBody[] = R"({"id": "abc", "count": 12})";
  host::HostRequest request = requestOf(HttpMethod::Put, "/bench/v1/items/abc");
  request.contentType = "application/json";
  request.body = reinterpret_cast<const uint8_t*>(kBody);
  request.bodyLength = sizeof kBody - 1;
  runCalls(state, registered.function("PutBenchV1ItemsById"), request);
}
BENCHMARK(BM_CallWithJsonBody);

} // namespace
} // namespace tav
