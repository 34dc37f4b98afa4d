// Reading JSON and YAML documents into value trees, beside RapidJSON, nlohmann, libyaml, yaml-cpp.
#include "routing/json_reader.h"
#include "routing/yaml_reader.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <yaml-cpp/yaml.h>
#include <yaml.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

namespace tav {
namespace {

constexpr const char* kDocumentNames[] = {"canada", "citm_catalog", "twitter"};

// A small request body of the kind the plugin reads most often.
constexpr std::string_view kSmallJson =
    R"({"flag": {"itemId": 1042, "theme": "tournament", "level": 3, "seasonId": 7,)"
    R"( "earnedDateIso8601": "2024-05-01T12:00:00Z", "tags": ["gold", "limited"]},)"
    R"( "equipped": true, "ratio": 0.75, "note": null})";

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

const std::string& jsonText(const std::string& name) {
  static std::map<std::string, std::string> texts;
  auto found = texts.find(name);
  if (found == texts.end()) {
    std::string text = name == "small"
                           ? std::string(kSmallJson)
                           : readFile(std::string(TAV_BENCH_DATA_DIR) + "/" + name + ".json");
    found = texts.emplace(name, std::move(text)).first;
  }
  return found->second;
}

// YAML rendition of a JSON document: block mappings and sequences, sequences of scalars in flow
// style, plain scalars where they read back as the same string, double quotes elsewhere.
class YamlRendition {
public:
  static std::string of(const std::string& json) {
    rapidjson::Document document;
    document.Parse(json.c_str());
    YamlRendition rendition;
    rendition.node(document, 0);
    return std::move(rendition.out_);
  }

private:
  static bool isScalarOnly(const rapidjson::Value& value) {
    if (value.IsObject()) {
      return value.MemberCount() == 0;
    }
    if (value.IsArray()) {
      for (const auto& element : value.GetArray()) {
        if (element.IsObject() || element.IsArray()) {
          return false;
        }
      }
    }
    return true;
  }

  static bool isPlainSafe(std::string_view text) {
    if (text.empty() || text.size() > 80 ||
        !((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
      return false;
    }
    for (char c : text) {
      const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '.' || c == '/' || c == '-' || c == ' ';
      if (!ok) {
        return false;
      }
    }
    static const char* const kWords[] = {"y",     "Y",    "n",    "N",    "yes",  "Yes",   "YES",
                                         "no",    "No",   "NO",   "on",   "On",   "ON",    "off",
                                         "Off",   "OFF",  "true", "True", "TRUE", "false", "False",
                                         "FALSE", "null", "Null", "NULL"};
    for (const char* word : kWords) {
      if (text == word) {
        return false;
      }
    }
    return text.back() != ' ';
  }

  void text(std::string_view value) {
    if (isPlainSafe(value)) {
      out_ += value;
      return;
    }
    out_ += '"';
    for (unsigned char c : value) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7F) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        out_ += escape;
      } else {
        out_ += static_cast<char>(c);
      }
    }
    out_ += '"';
  }

  void scalar(const rapidjson::Value& value) {
    if (value.IsString()) {
      text(std::string_view(value.GetString(), value.GetStringLength()));
    } else if (value.IsNull()) {
      out_ += "~";
    } else if (value.IsArray()) {
      out_ += '[';
      bool first = true;
      for (const auto& element : value.GetArray()) {
        out_ += first ? "" : ", ";
        first = false;
        scalar(element);
      }
      out_ += ']';
    } else if (value.IsObject()) {
      out_ += "{}";
    } else {
      rapidjson::StringBuffer buffer;
      rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
      value.Accept(writer);
      out_ += buffer.GetString();
    }
  }

  void node(const rapidjson::Value& value, int indent) {
    const std::string pad(static_cast<size_t>(indent), ' ');
    if (isScalarOnly(value)) {
      scalar(value);
      out_ += '\n';
      return;
    }
    if (value.IsObject()) {
      for (const auto& member : value.GetObject()) {
        out_ += pad;
        text(std::string_view(member.name.GetString(), member.name.GetStringLength()));
        child(member.value, indent, ":");
      }
    } else {
      for (const auto& element : value.GetArray()) {
        out_ += pad;
        child(element, indent, "-");
      }
    }
  }

  void child(const rapidjson::Value& value, int indent, const char* indicator) {
    out_ += indicator;
    if (isScalarOnly(value)) {
      out_ += ' ';
      scalar(value);
      out_ += '\n';
    } else {
      out_ += '\n';
      node(value, indent + 2);
    }
  }

  std::string out_;
};

const std::string& yamlText(const std::string& name) {
  static std::map<std::string, std::string> texts;
  auto found = texts.find(name);
  if (found == texts.end()) {
    found = texts.emplace(name, YamlRendition::of(jsonText(name))).first;
  }
  return found->second;
}

void jsonOurs(benchmark::State& state, const std::string& name) {
  const std::string& text = jsonText(name);
  if (!readJson(text).ok()) {
    state.SkipWithError("document does not read");
    return;
  }
  for (auto _ : state) {
    BindingResult result = readJson(text);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void jsonRapidJsonDom(benchmark::State& state, const std::string& name) {
  const std::string& text = jsonText(name);
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void jsonNlohmann(benchmark::State& state, const std::string& name) {
  const std::string& text = jsonText(name);
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void yamlOurs(benchmark::State& state, const std::string& name) {
  const std::string& text = yamlText(name);
  const BindingResult check = readYaml(text);
  if (!check.ok()) {
    state.SkipWithError(std::string(check.errorMessage()).c_str());
    return;
  }
  for (auto _ : state) {
    BindingResult result = readYaml(text);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The floor: libyaml's parser producing and releasing every event, with nothing built.
void yamlLibyamlEvents(benchmark::State& state, const std::string& name) {
  const std::string& text = yamlText(name);
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
    size_t events = 0;
    while (true) {
      yaml_event_t event;
      if (!yaml_parser_parse(&parser, &event)) {
        state.SkipWithError("libyaml failed");
        break;
      }
      const bool end = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
      ++events;
      if (end) {
        break;
      }
    }
    yaml_parser_delete(&parser);
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void yamlYamlCpp(benchmark::State& state, const std::string& name) {
  const std::string& text = yamlText(name);
  for (auto _ : state) {
    YAML::Node document = YAML::Load(text);
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Benchmarks are registered per document, named Json/<reader>/<document> and
// Yaml/<reader>/<document>.
const bool kRegistered = [] {
  const auto add = [](const std::string& family, const std::string& name,
                      void (*run)(benchmark::State&, const std::string&)) {
    benchmark::RegisterBenchmark((family + "/" + name).c_str(), run, name)
        ->Unit(benchmark::kMicrosecond);
  };
  std::vector<std::string> jsonNames(std::begin(kDocumentNames), std::end(kDocumentNames));
  jsonNames.push_back("small");
  for (const std::string& name : jsonNames) {
    add("Json/Ours", name, jsonOurs);
    add("Json/RapidJsonDom", name, jsonRapidJsonDom);
    add("Json/Nlohmann", name, jsonNlohmann);
  }
  for (const char* name : kDocumentNames) {
    add("Yaml/Ours", name, yamlOurs);
    add("Yaml/LibyamlEvents", name, yamlLibyamlEvents);
    add("Yaml/YamlCpp", name, yamlYamlCpp);
  }
  return true;
}();

} // namespace
} // namespace tav
