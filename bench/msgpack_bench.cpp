// MessagePack decoding of the three reference documents: our reader beside msgpack-cxx's unpack.
//
// The MessagePack renditions are made here from the JSON files: RapidJSON parses each document
// and msgpack-cxx's packer writes it, using the smallest code for every value as encoders do.
#define MSGPACK_NO_BOOST
#include <msgpack.hpp>

#include "binding/message_pack_reader.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tav {
namespace {

std::string readFile(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      text.append(buffer, read);
    }
    std::fclose(file);
  }
  return text;
}

void packJson(const rapidjson::Value& value, msgpack::packer<msgpack::sbuffer>& packer) {
  switch (value.GetType()) {
  case rapidjson::kNullType:
    packer.pack_nil();
    break;
  case rapidjson::kFalseType:
    packer.pack_false();
    break;
  case rapidjson::kTrueType:
    packer.pack_true();
    break;
  case rapidjson::kNumberType:
    if (value.IsUint64()) {
      packer.pack_uint64(value.GetUint64());
    } else if (value.IsInt64()) {
      packer.pack_int64(value.GetInt64());
    } else {
      packer.pack_double(value.GetDouble());
    }
    break;
  case rapidjson::kStringType:
    packer.pack_str(value.GetStringLength());
    packer.pack_str_body(value.GetString(), value.GetStringLength());
    break;
  case rapidjson::kArrayType:
    packer.pack_array(value.Size());
    for (const rapidjson::Value& element : value.GetArray()) {
      packJson(element, packer);
    }
    break;
  case rapidjson::kObjectType:
    packer.pack_map(value.MemberCount());
    for (const auto& member : value.GetObject()) {
      packJson(member.name, packer);
      packJson(member.value, packer);
    }
    break;
  }
}

// The MessagePack rendition of one JSON document of the benchmark data, made once per run.
const std::vector<uint8_t>& document(const std::string& name) {
  static std::vector<std::pair<std::string, std::vector<uint8_t>>> cache;
  for (const auto& [cached, bytes] : cache) {
    if (cached == name) {
      return bytes;
    }
  }
  const std::string json = readFile(std::string(TAV_BENCH_DATA_DIR) + "/" + name + ".json");
  rapidjson::Document dom;
  dom.Parse(json.data(), json.size());
  if (json.empty() || dom.HasParseError()) {
    std::fprintf(stderr, "cannot read %s.json from %s\n", name.c_str(), TAV_BENCH_DATA_DIR);
    std::abort();
  }
  msgpack::sbuffer buffer;
  msgpack::packer<msgpack::sbuffer> packer(buffer);
  packJson(dom, packer);
  const auto* begin = reinterpret_cast<const uint8_t*>(buffer.data());
  cache.emplace_back(name, std::vector<uint8_t>(begin, begin + buffer.size()));
  return cache.back().second;
}

void decodeOurs(benchmark::State& state, const std::string& name) {
  const std::vector<uint8_t>& bytes = document(name);
  for (auto _ : state) {
    BindingResult result;
    uint32_t consumed = 0;
    decodeMessagePack(result, consumed, bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (!result.ok() || consumed != bytes.size()) {
      state.SkipWithError("decoding failed");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void decodeMsgpackCxx(benchmark::State& state, const std::string& name) {
  const std::vector<uint8_t>& bytes = document(name);
  for (auto _ : state) {
    msgpack::object_handle handle =
        msgpack::unpack(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    benchmark::DoNotOptimize(handle.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

[[maybe_unused]] const bool registered = [] {
  for (const char* name : {"canada", "citm_catalog", "twitter"}) {
    benchmark::RegisterBenchmark((std::string("MsgPack/Ours/") + name).c_str(), decodeOurs,
                                 std::string(name))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("MsgPack/MsgpackCxx/") + name).c_str(),
                                 decodeMsgpackCxx, std::string(name))
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

} // namespace
} // namespace tav
