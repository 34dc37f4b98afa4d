// Building a value tree from a parsed document: BindingProperty beside nlohmann::json.
//
// twitter.json is parsed once with RapidJSON's DOM outside the timing; each iteration walks that
// DOM into a fresh tree through the ordinary building calls and destroys the tree again. Our
// tree's heap allocations are counted by the library itself; the benchmark program does not
// count its own, so nlohmann's tree is given an allocator here that counts every allocation of
// its objects, arrays and strings.
#include "binding/binding_property.h"
#include "foundation/memory.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tav {
namespace {

uint64_t gComparisonAllocations = 0;

// std::allocator with a count of its allocations, for the comparison library's tree.
template <class T> struct CountingAllocator {
  using value_type = T;
  CountingAllocator() noexcept = default;
  template <class U> CountingAllocator(const CountingAllocator<U>&) noexcept {}
  T* allocate(size_t count) {
    ++gComparisonAllocations;
    return std::allocator<T>().allocate(count);
  }
  void deallocate(T* pointer, size_t count) noexcept {
    std::allocator<T>().deallocate(pointer, count);
  }
  template <class U> bool operator==(const CountingAllocator<U>&) const noexcept { return true; }
};

using CountedString = std::basic_string<char, std::char_traits<char>, CountingAllocator<char>>;
using CountedJson = nlohmann::basic_json<std::map, std::vector, CountedString, bool, int64_t,
                                         uint64_t, double, CountingAllocator>;

// Allocations so far by the tree under test: the library's own count for ours, the counting
// allocator's for the comparison.
template <class Tree> uint64_t allocationsSoFar() {
  if constexpr (std::is_same_v<Tree, CountedJson>)
    return gComparisonAllocations;
  else
    return memory::snapshot().totalAllocations;
}

std::string readFile(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0)
      text.append(buffer, read);
    std::fclose(file);
  }
  return text;
}

const rapidjson::Document& twitter() {
  static const rapidjson::Document document = [] {
    rapidjson::Document parsed;
    parsed.Parse(readFile(std::string(TAV_BENCH_DATA_DIR) + "/twitter.json").c_str());
    return parsed;
  }();
  return document;
}

size_t countNodes(const rapidjson::Value& value) {
  size_t count = 1;
  if (value.IsArray()) {
    for (const rapidjson::Value& element : value.GetArray())
      count += countNodes(element);
  } else if (value.IsObject()) {
    for (const auto& member : value.GetObject())
      count += countNodes(member.value);
  }
  return count;
}

void build(const rapidjson::Value& from, BindingProperty& to) {
  switch (from.GetType()) {
  case rapidjson::kNullType:
    break;
  case rapidjson::kFalseType:
  case rapidjson::kTrueType:
    to = from.GetBool();
    break;
  case rapidjson::kNumberType:
    if (from.IsUint64())
      to = uint64_t{from.GetUint64()};
    else if (from.IsInt64())
      to = int64_t{from.GetInt64()};
    else
      to = from.GetDouble();
    break;
  case rapidjson::kStringType:
    to = std::string_view(from.GetString(), from.GetStringLength());
    break;
  case rapidjson::kArrayType:
    to.makeCollection();
    for (const rapidjson::Value& element : from.GetArray())
      build(element, to.append());
    break;
  case rapidjson::kObjectType:
    to.makeStructure();
    for (const auto& member : from.GetObject())
      build(member.value,
            to.member(std::string_view(member.name.GetString(), member.name.GetStringLength())));
    break;
  }
}

void build(const rapidjson::Value& from, CountedJson& to) {
  switch (from.GetType()) {
  case rapidjson::kNullType:
    to = nullptr;
    break;
  case rapidjson::kFalseType:
  case rapidjson::kTrueType:
    to = from.GetBool();
    break;
  case rapidjson::kNumberType:
    if (from.IsUint64())
      to = from.GetUint64();
    else if (from.IsInt64())
      to = from.GetInt64();
    else
      to = from.GetDouble();
    break;
  case rapidjson::kStringType:
    to = CountedString(from.GetString(), from.GetStringLength());
    break;
  case rapidjson::kArrayType:
    to = CountedJson::array();
    for (const rapidjson::Value& element : from.GetArray()) {
      to.push_back(nullptr);
      build(element, to.back());
    }
    break;
  case rapidjson::kObjectType:
    to = CountedJson::object();
    for (const auto& member : from.GetObject())
      build(member.value,
            to[CountedString(member.name.GetString(), member.name.GetStringLength())]);
    break;
  }
}

template <class Tree> void treeFromTwitter(benchmark::State& state) {
  const rapidjson::Document& document = twitter();
  if (!document.IsObject()) {
    state.SkipWithError("twitter.json could not be read");
    return;
  }
  const size_t nodes = countNodes(document);
  uint64_t allocationsBefore = allocationsSoFar<Tree>();
  for (auto _ : state) {
    Tree tree;
    build(document, tree);
    benchmark::DoNotOptimize(tree);
  }
  uint64_t allocations = allocationsSoFar<Tree>() - allocationsBefore;
  double totalNodes = static_cast<double>(nodes) * static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(totalNodes));
  state.counters["nodes_per_second"] = benchmark::Counter(totalNodes, benchmark::Counter::kIsRate);
  state.counters["allocs_per_node"] = static_cast<double>(allocations) / totalNodes;
}

BENCHMARK(treeFromTwitter<BindingProperty>)
    ->Name("Tree/Ours/twitter")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(treeFromTwitter<CountedJson>)
    ->Name("Tree/Nlohmann/twitter")
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tav
