// Matching and binding one incoming call, as the call entry does it for every request.
#include "binding/binding_type_registry.h"
#include "binding/host_records.h"
#include "routing/argument_binding.h"
#include "routing/call_matching.h"
#include "routing/route_table.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace tav {
namespace {

host::HostRequest requestOf(HttpMethod method, const char* path) {
  host::HostRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = static_cast<uint32_t>(method);
  request.path = path;
  return request;
}

// One call from request record to bound argument values.
void runCall(benchmark::State& state, const RouteRecord& record, const host::HostRequest& request) {
  for (auto _ : state) {
    CallContext call = callContextFromRequest(request);
    const RoutePattern patterns[] = {RoutePattern::fromRecord(record)};
    if (!matchCall(call, patterns)) {
      state.SkipWithError("the call did not match");
      return;
    }
    BindingResult result;
    std::vector<BindingProperty> values =
        bindArguments(result, call, requestArgumentsFromRequest(request));
    if (!result.ok()) {
      state.SkipWithError("binding failed");
      return;
    }
    benchmark::DoNotOptimize(values.data());
  }
}

void literal(benchmark::State& state) {
  BindingTypeRegistry registry;
  RouteTable table;
  const RouteRecord& record =
      table
          .registerRoute(registry, HttpMethod::Get, "/tav-banners/v1/current-sondar/flags/equipped",
                         nullptr)
          .record();
  const host::HostRequest request =
      requestOf(HttpMethod::Get, "/tav-banners/v1/current-sondar/flags/equipped");
  runCall(state, record, request);
}

void placeholders(benchmark::State& state) {
  BindingTypeRegistry registry;
  RouteTable table;
  RouteBuilder builder = table.registerRoute(
      registry, HttpMethod::Get, "/tav-banners/v1/sondars/{sondarId}/flags/{flagId}", nullptr);
  builder.argument("sondarId", "", ArgumentLocation::Path, BindingTypeRef{BindingTypeCode::Uint64})
      .argument("flagId", "", ArgumentLocation::Path, BindingTypeRef{BindingTypeCode::String})
      .argument("theme", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::String})
      .argument("level", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::Int32})
      .argument("season", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::Int32})
      .argument("owned", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::Bool})
      .argument("sort", "", ArgumentLocation::Query, BindingTypeRef{BindingTypeCode::String});
  const host::HostRequest request =
      requestOf(HttpMethod::Get, "/tav-banners/v1/sondars/2271908/flags/tournament-flag-7"
                                 "?theme=gold&level=3&season=12&owned&sort=acquired%20desc");
  runCall(state, builder.record(), request);
}

BENCHMARK(literal)->Name("Route/Ours/literal");
BENCHMARK(placeholders)->Name("Route/Ours/placeholders");

} // namespace
} // namespace tav
