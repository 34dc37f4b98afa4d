// Reading and writing the sondar data file.
#include "host/sondar_data.h"

#include "host/atomic_file.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <type_traits>

namespace tav::host {
namespace {

constexpr std::array<std::string_view, 6> kEndpointNames = {
    "inventory", "profileRead", "profileWrite", "loadouts", "configuration", "telemetry"};

// Walks the parsed file and keeps the first problem with the place it was found.
class DataReader {
public:
  bool fail(const std::string& where, const std::string& problem) {
    if (error_.empty()) {
      error_ = where + ": " + problem;
    }
    return false;
  }
  const std::string& error() const { return error_; }

  bool expectMap(const ValueTree& value, const std::string& where) {
    return value.kind() == ValueKind::Map || fail(where, "expected an object");
  }

  // Refuses members outside names, so that a misspelt member is reported, not ignored.
  bool onlyMembers(const ValueTree& map, const std::string& where,
                   std::initializer_list<std::string_view> names) {
    for (const ValueEntry& entry : map.entries()) {
      bool known = false;
      for (std::string_view name : names) {
        known = known || entry.first == name;
      }
      if (!known) {
        return fail(where, "unknown member \"" + entry.first + "\"");
      }
    }
    return true;
  }

  bool readText(const ValueTree& value, const std::string& where, std::string& out) {
    if (value.kind() != ValueKind::String) {
      return fail(where, "expected a text");
    }
    out = value.text();
    return true;
  }

  // Levels and seasons travel as decimal text; a whole number in the file is written as one.
  bool readDecimal(const ValueTree& value, const std::string& where, std::string& out) {
    switch (value.kind()) {
    case ValueKind::String:
      out = value.text();
      return true;
    case ValueKind::Signed:
      out = std::to_string(value.asSigned());
      return true;
    case ValueKind::Unsigned:
      out = std::to_string(value.asUnsigned());
      return true;
    default:
      return fail(where, "expected a text or a whole number");
    }
  }

  bool readFlag(const ValueTree& value, const std::string& where, SondarFlag& flag) {
    if (!expectMap(value, where) ||
        !onlyMembers(value, where, {"theme", "level", "seasonId", "purchaseDate", "rewardType"})) {
      return false;
    }
    const ValueTree* member = nullptr;
    return ((member = value.find("theme")) == nullptr ||
            readText(*member, where + ".theme", flag.theme)) &&
           ((member = value.find("level")) == nullptr ||
            readDecimal(*member, where + ".level", flag.level)) &&
           ((member = value.find("seasonId")) == nullptr ||
            readDecimal(*member, where + ".seasonId", flag.seasonId)) &&
           ((member = value.find("purchaseDate")) == nullptr ||
            readText(*member, where + ".purchaseDate", flag.purchaseDate)) &&
           ((member = value.find("rewardType")) == nullptr ||
            readText(*member, where + ".rewardType", flag.rewardType));
  }

  bool readFrame(const ValueTree& value, const std::string& where, SondarFrame& frame) {
    if (!expectMap(value, where) ||
        !onlyMembers(value, where, {"level", "seasonId", "purchaseDate", "rewardType"})) {
      return false;
    }
    const ValueTree* member = nullptr;
    return ((member = value.find("level")) == nullptr ||
            readDecimal(*member, where + ".level", frame.level)) &&
           ((member = value.find("seasonId")) == nullptr ||
            readDecimal(*member, where + ".seasonId", frame.seasonId)) &&
           ((member = value.find("purchaseDate")) == nullptr ||
            readText(*member, where + ".purchaseDate", frame.purchaseDate)) &&
           ((member = value.find("rewardType")) == nullptr ||
            readText(*member, where + ".rewardType", frame.rewardType));
  }

  template <typename Item, typename ReadOne>
  bool readList(const ValueTree& value, const std::string& where, std::vector<Item>& out,
                ReadOne readOne) {
    if (value.kind() != ValueKind::List) {
      return fail(where, "expected a list");
    }
    for (size_t index = 0; index < value.items().size(); ++index) {
      Item item;
      if (!(this->*readOne)(value.items()[index], where + "[" + std::to_string(index) + "]",
                            item)) {
        return false;
      }
      out.push_back(std::move(item));
    }
    return true;
  }

  bool readConfiguration(const ValueTree& value, ConfigurationValues& out) {
    if (!expectMap(value, "configuration")) {
      return false;
    }
    for (const auto& [ns, names] : value.entries()) {
      const std::string where = "configuration." + ns;
      if (!expectMap(names, where)) {
        return false;
      }
      std::map<std::string, ValueTree>& values = out[ns];
      for (const auto& [name, setting] : names.entries()) {
        values[name] = setting;
      }
    }
    return true;
  }

  bool readInventory(const ValueTree& value, InventoryOverrides& out) {
    if (!expectMap(value, "inventory") ||
        !onlyMembers(value, "inventory", {"omitTypes", "tokens", "payloads"})) {
      return false;
    }
    if (const ValueTree* omitted = value.find("omitTypes")) {
      if (omitted->kind() != ValueKind::List) {
        return fail("inventory.omitTypes", "expected a list");
      }
      for (size_t index = 0; index < omitted->items().size(); ++index) {
        std::string type;
        if (!readText(omitted->items()[index], "inventory.omitTypes[" + std::to_string(index) + "]",
                      type)) {
          return false;
        }
        out.omittedTypes.insert(std::move(type));
      }
    }
    if (const ValueTree* tokens = value.find("tokens")) {
      if (!expectMap(*tokens, "inventory.tokens")) {
        return false;
      }
      for (const auto& [type, token] : tokens->entries()) {
        if (!readText(token, "inventory.tokens." + type, out.tokens[type])) {
          return false;
        }
      }
    }
    if (const ValueTree* payloads = value.find("payloads")) {
      if (!expectMap(*payloads, "inventory.payloads")) {
        return false;
      }
      for (const auto& [type, payload] : payloads->entries()) {
        out.payloads[type] = payload;
      }
    }
    return true;
  }

  bool readFailures(const ValueTree& value, std::map<SondarEndpoint, SondarFailure>& out) {
    if (!expectMap(value, "failures")) {
      return false;
    }
    for (const auto& [name, failure] : value.entries()) {
      const std::string where = "failures." + name;
      const std::optional<SondarEndpoint> endpoint = sondarEndpointFromName(name);
      if (!endpoint) {
        return fail(where, "unknown endpoint");
      }
      if (!expectMap(failure, where) || !onlyMembers(failure, where, {"status", "message"})) {
        return false;
      }
      SondarFailure read;
      if (const ValueTree* status = failure.find("status")) {
        const bool fits = (status->kind() == ValueKind::Signed && status->asSigned() >= 100 &&
                           status->asSigned() <= 999);
        if (!fits) {
          return fail(where + ".status", "expected a status code from 100 to 999");
        }
        read.status = static_cast<uint32_t>(status->asSigned());
      }
      if (const ValueTree* message = failure.find("message")) {
        if (!readText(*message, where + ".message", read.message)) {
          return false;
        }
      }
      out[*endpoint] = std::move(read);
    }
    return true;
  }

  bool readData(const ValueTree& root, SondarData& data) {
    if (root.kind() != ValueKind::Map) {
      return fail("sondar data", "expected an object");
    }
    if (!onlyMembers(
            root, "sondar data",
            {"flags", "frames", "profile", "loadouts", "configuration", "inventory", "failures"})) {
      return false;
    }
    const ValueTree* member = nullptr;
    if ((member = root.find("flags")) != nullptr &&
        !readList(*member, "flags", data.flags, &DataReader::readFlag)) {
      return false;
    }
    if ((member = root.find("frames")) != nullptr &&
        !readList(*member, "frames", data.frames, &DataReader::readFrame)) {
      return false;
    }
    if ((member = root.find("profile")) != nullptr) {
      if (!expectMap(*member, "profile")) {
        return false;
      }
      data.profile = *member;
    }
    if ((member = root.find("loadouts")) != nullptr) {
      data.loadouts = *member;
    }
    return ((member = root.find("configuration")) == nullptr ||
            readConfiguration(*member, data.configuration)) &&
           ((member = root.find("inventory")) == nullptr ||
            readInventory(*member, data.inventory)) &&
           ((member = root.find("failures")) == nullptr || readFailures(*member, data.failures));
  }

private:
  std::string error_;
};

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;
using CompactWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// Values nested deeper than this in the file are written on one line. Each indented line is as
// long as its depth, so a deep value written line by line would take room growing with the
// square of its depth; on one line it takes room in step with its content.
constexpr int kIndentedLevels = 8;

template <typename AnyWriter> void writeText(AnyWriter& writer, std::string_view text) {
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

template <typename AnyWriter> void writeTree(AnyWriter& writer, const ValueTree& tree, int level);

std::string compactJson(const ValueTree& tree) {
  rapidjson::StringBuffer buffer;
  CompactWriter writer(buffer);
  writeTree(writer, tree, 0);
  return std::string(buffer.GetString(), buffer.GetSize());
}

// level is how deep tree sits in the file, the top object's members being at level 1.
template <typename AnyWriter> void writeTree(AnyWriter& writer, const ValueTree& tree, int level) {
  if constexpr (std::is_same_v<AnyWriter, Writer>) {
    const bool nested = !tree.items().empty() || !tree.entries().empty();
    if (nested && level >= kIndentedLevels) {
      const std::string text = compactJson(tree);
      writer.RawValue(text.data(), text.size(),
                      tree.kind() == ValueKind::List ? rapidjson::kArrayType
                                                     : rapidjson::kObjectType);
      return;
    }
  }
  switch (tree.kind()) {
  case ValueKind::Empty:
    writer.Null();
    break;
  case ValueKind::Bool:
    writer.Bool(tree.asBool());
    break;
  case ValueKind::Signed:
    writer.Int64(tree.asSigned());
    break;
  case ValueKind::Unsigned:
    writer.Uint64(tree.asUnsigned());
    break;
  case ValueKind::Float:
    // JSON has no NaN or infinity; a data file holds null in their place.
    if (std::isfinite(tree.asFloat())) {
      writer.Double(tree.asFloat());
    } else {
      writer.Null();
    }
    break;
  case ValueKind::String:
  case ValueKind::Blob:
    writeText(writer, tree.text());
    break;
  case ValueKind::List:
    writer.StartArray();
    for (const ValueTree& item : tree.items()) {
      writeTree(writer, item, level + 1);
    }
    writer.EndArray();
    break;
  case ValueKind::Map:
    writer.StartObject();
    for (const auto& [key, value] : tree.entries()) {
      writeText(writer, key);
      writeTree(writer, value, level + 1);
    }
    writer.EndObject();
    break;
  }
}

void writeMember(Writer& writer, std::string_view name, std::string_view text) {
  writeText(writer, name);
  writeText(writer, text);
}

void writeFlag(Writer& writer, const SondarFlag& flag) {
  writer.StartObject();
  writeMember(writer, "theme", flag.theme);
  writeMember(writer, "level", flag.level);
  writeMember(writer, "seasonId", flag.seasonId);
  writeMember(writer, "purchaseDate", flag.purchaseDate);
  writeMember(writer, "rewardType", flag.rewardType);
  writer.EndObject();
}

void writeFrame(Writer& writer, const SondarFrame& frame) {
  writer.StartObject();
  writeMember(writer, "level", frame.level);
  writeMember(writer, "seasonId", frame.seasonId);
  writeMember(writer, "purchaseDate", frame.purchaseDate);
  writeMember(writer, "rewardType", frame.rewardType);
  writer.EndObject();
}

void writeInventory(Writer& writer, const InventoryOverrides& inventory) {
  writer.StartObject();
  writeText(writer, "omitTypes");
  writer.StartArray();
  for (const std::string& type : inventory.omittedTypes) {
    writeText(writer, type);
  }
  writer.EndArray();
  writeText(writer, "tokens");
  writer.StartObject();
  for (const auto& [type, token] : inventory.tokens) {
    writeMember(writer, type, token);
  }
  writer.EndObject();
  writeText(writer, "payloads");
  writer.StartObject();
  for (const auto& [type, payload] : inventory.payloads) {
    writeText(writer, type);
    writeTree(writer, payload, 3);
  }
  writer.EndObject();
  writer.EndObject();
}

} // namespace

std::string_view sondarEndpointName(SondarEndpoint endpoint) {
  const auto index = static_cast<size_t>(endpoint);
  return index < kEndpointNames.size() ? kEndpointNames[index] : std::string_view();
}

std::optional<SondarEndpoint> sondarEndpointFromName(std::string_view name) {
  for (SondarEndpoint endpoint : kSondarEndpoints) {
    if (sondarEndpointName(endpoint) == name) {
      return endpoint;
    }
  }
  return std::nullopt;
}

std::optional<SondarData> SondarData::fromJson(std::string_view text, std::string* error) {
  std::string parseError;
  std::optional<ValueTree> root = ValueTree::fromJson(text, &parseError);
  if (!root) {
    if (error != nullptr) {
      *error = "sondar data is not JSON: " + parseError;
    }
    return std::nullopt;
  }
  SondarData data;
  DataReader reader;
  if (!reader.readData(*root, data)) {
    if (error != nullptr) {
      *error = reader.error();
    }
    return std::nullopt;
  }
  return data;
}

std::optional<SondarData> SondarData::fromFile(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error != nullptr) {
      *error = "cannot open " + path + ": " + std::strerror(errno);
    }
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::string readError;
  std::optional<SondarData> data = fromJson(text.str(), &readError);
  if (!data && error != nullptr) {
    *error = path + ": " + readError;
  }
  return data;
}

std::string SondarData::toJson() const {
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  writer.SetIndent(' ', 2);
  writer.StartObject();
  writeText(writer, "flags");
  writer.StartArray();
  for (const SondarFlag& flag : flags) {
    writeFlag(writer, flag);
  }
  writer.EndArray();
  writeText(writer, "frames");
  writer.StartArray();
  for (const SondarFrame& frame : frames) {
    writeFrame(writer, frame);
  }
  writer.EndArray();
  writeText(writer, "profile");
  writeTree(writer, profile, 1);
  if (!loadouts.isEmpty()) {
    writeText(writer, "loadouts");
    writeTree(writer, loadouts, 1);
  }
  writeText(writer, "configuration");
  writer.StartObject();
  for (const auto& [ns, values] : configuration) {
    writeText(writer, ns);
    writer.StartObject();
    for (const auto& [name, value] : values) {
      writeText(writer, name);
      writeTree(writer, value, 3);
    }
    writer.EndObject();
  }
  writer.EndObject();
  if (!inventory.empty()) {
    writeText(writer, "inventory");
    writeInventory(writer, inventory);
  }
  if (!failures.empty()) {
    writeText(writer, "failures");
    writer.StartObject();
    for (const auto& [endpoint, failure] : failures) {
      writeText(writer, sondarEndpointName(endpoint));
      writer.StartObject();
      writeText(writer, "status");
      writer.Uint(failure.status);
      writeMember(writer, "message", failure.message);
      writer.EndObject();
    }
    writer.EndObject();
  }
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

bool SondarData::saveFile(const std::string& path, std::string* error) const {
  return replaceFileAtomically(path, toJson(), error);
}

} // namespace tav::host
