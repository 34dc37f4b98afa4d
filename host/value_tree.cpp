// ValueTree accessors and its JSON reading and writing through RapidJSON.
#include "host/value_tree.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <ostream>

namespace tav::host {
namespace {

const std::string kNoText;
const std::vector<ValueTree> kNoItems;
const std::vector<ValueEntry> kNoEntries;

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>,
                                     rapidjson::CrtAllocator, rapidjson::kWriteNanAndInfFlag>;

void writeJson(const ValueTree& tree, JsonWriter& writer) {
  switch (tree.kind()) {
  case ValueKind::Empty:
    writer.Null();
    return;
  case ValueKind::Bool:
    writer.Bool(tree.asBool());
    return;
  case ValueKind::Signed:
    writer.Int64(tree.asSigned());
    return;
  case ValueKind::Unsigned:
    writer.Uint64(tree.asUnsigned());
    return;
  case ValueKind::Float:
    writer.Double(tree.asFloat());
    return;
  case ValueKind::String:
  case ValueKind::Blob:
    writer.String(tree.text().data(), static_cast<rapidjson::SizeType>(tree.text().size()));
    return;
  case ValueKind::List:
    writer.StartArray();
    for (const ValueTree& item : tree.items()) {
      writeJson(item, writer);
    }
    writer.EndArray();
    return;
  case ValueKind::Map:
    writer.StartObject();
    for (const ValueEntry& entry : tree.entries()) {
      writer.Key(entry.first.data(), static_cast<rapidjson::SizeType>(entry.first.size()));
      writeJson(entry.second, writer);
    }
    writer.EndObject();
    return;
  }
}

ValueTree fromDocument(const rapidjson::Value& json) {
  if (json.IsNull()) {
    return ValueTree();
  }
  if (json.IsBool()) {
    return ValueTree(json.GetBool());
  }
  if (json.IsInt64()) {
    return ValueTree(json.GetInt64());
  }
  if (json.IsUint64()) {
    return ValueTree(json.GetUint64());
  }
  if (json.IsNumber()) {
    return ValueTree(json.GetDouble());
  }
  if (json.IsString()) {
    return ValueTree(std::string(json.GetString(), json.GetStringLength()));
  }
  if (json.IsArray()) {
    std::vector<ValueTree> items;
    items.reserve(json.Size());
    for (const rapidjson::Value& item : json.GetArray()) {
      items.push_back(fromDocument(item));
    }
    return ValueTree::list(std::move(items));
  }
  std::vector<ValueEntry> entries;
  entries.reserve(json.MemberCount());
  for (const auto& member : json.GetObject()) {
    entries.emplace_back(std::string(member.name.GetString(), member.name.GetStringLength()),
                         fromDocument(member.value));
  }
  return ValueTree::map(std::move(entries));
}

} // namespace

std::string_view valueKindName(ValueKind kind) {
  switch (kind) {
  case ValueKind::Empty:
    return "empty";
  case ValueKind::Bool:
    return "bool";
  case ValueKind::Signed:
    return "signed";
  case ValueKind::Unsigned:
    return "unsigned";
  case ValueKind::Float:
    return "float";
  case ValueKind::String:
    return "string";
  case ValueKind::Blob:
    return "blob";
  case ValueKind::List:
    return "list";
  case ValueKind::Map:
    return "map";
  }
  return "";
}

ValueTree ValueTree::blob(std::string bytes) {
  return ValueTree(Data(std::in_place_type<Blob>, Blob{std::move(bytes)}));
}

ValueTree ValueTree::list(std::vector<ValueTree> items) {
  return ValueTree(Data(std::in_place_type<std::vector<ValueTree>>, std::move(items)));
}

ValueTree ValueTree::map(std::vector<ValueEntry> entries) {
  return ValueTree(Data(std::in_place_type<std::vector<ValueEntry>>, std::move(entries)));
}

std::optional<ValueTree> ValueTree::fromJson(std::string_view text, std::string* error) {
  rapidjson::Document document;
  document.Parse<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseNanAndInfFlag>(text.data(),
                                                                                      text.size());
  if (document.HasParseError()) {
    if (error != nullptr) {
      *error = std::string(rapidjson::GetParseError_En(document.GetParseError())) + " (offset " +
               std::to_string(document.GetErrorOffset()) + ")";
    }
    return std::nullopt;
  }
  return fromDocument(document);
}

bool ValueTree::asBool() const {
  const bool* value = std::get_if<bool>(&data_);
  return value != nullptr && *value;
}

int64_t ValueTree::asSigned() const {
  const int64_t* value = std::get_if<int64_t>(&data_);
  return value != nullptr ? *value : 0;
}

uint64_t ValueTree::asUnsigned() const {
  const uint64_t* value = std::get_if<uint64_t>(&data_);
  return value != nullptr ? *value : 0;
}

double ValueTree::asFloat() const {
  const double* value = std::get_if<double>(&data_);
  return value != nullptr ? *value : 0.0;
}

const std::string& ValueTree::text() const {
  if (const std::string* value = std::get_if<std::string>(&data_)) {
    return *value;
  }
  if (const Blob* value = std::get_if<Blob>(&data_)) {
    return value->bytes;
  }
  return kNoText;
}

const std::vector<ValueTree>& ValueTree::items() const {
  const auto* value = std::get_if<std::vector<ValueTree>>(&data_);
  return value != nullptr ? *value : kNoItems;
}

const std::vector<ValueEntry>& ValueTree::entries() const {
  const auto* value = std::get_if<std::vector<ValueEntry>>(&data_);
  return value != nullptr ? *value : kNoEntries;
}

const ValueTree* ValueTree::find(std::string_view key) const {
  const std::vector<ValueEntry>& all = entries();
  for (auto entry = all.rbegin(); entry != all.rend(); ++entry) {
    if (entry->first == key) {
      return &entry->second;
    }
  }
  return nullptr;
}

std::string ValueTree::toJson() const {
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  writeJson(*this, writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

bool ValueTree::operator==(const ValueTree& other) const {
  return data_ == other.data_;
}

namespace {

bool isInteger(ValueKind kind) {
  return kind == ValueKind::Signed || kind == ValueKind::Unsigned;
}

bool sameInteger(const ValueTree& left, const ValueTree& right) {
  if (left.kind() == right.kind()) {
    return left == right;
  }
  const ValueTree& signedOne = left.kind() == ValueKind::Signed ? left : right;
  const ValueTree& unsignedOne = left.kind() == ValueKind::Signed ? right : left;
  return signedOne.asSigned() >= 0 &&
         static_cast<uint64_t>(signedOne.asSigned()) == unsignedOne.asUnsigned();
}

// The keys of a map with the entry that counts for each, the last of a repeated key.
std::vector<const ValueEntry*> lastEntries(const ValueTree& map) {
  std::vector<const ValueEntry*> kept;
  for (const ValueEntry& entry : map.entries()) {
    if (map.find(entry.first) == &entry.second) {
      kept.push_back(&entry);
    }
  }
  return kept;
}

} // namespace

bool sameJsonValue(const ValueTree& left, const ValueTree& right) {
  if (isInteger(left.kind()) && isInteger(right.kind())) {
    return sameInteger(left, right);
  }
  if (left.kind() != right.kind()) {
    return false;
  }
  if (left.kind() == ValueKind::List) {
    const std::vector<ValueTree>& leftItems = left.items();
    const std::vector<ValueTree>& rightItems = right.items();
    if (leftItems.size() != rightItems.size()) {
      return false;
    }
    for (size_t index = 0; index < leftItems.size(); ++index) {
      if (!sameJsonValue(leftItems[index], rightItems[index])) {
        return false;
      }
    }
    return true;
  }
  if (left.kind() == ValueKind::Map) {
    const std::vector<const ValueEntry*> leftEntries = lastEntries(left);
    if (leftEntries.size() != lastEntries(right).size()) {
      return false;
    }
    for (const ValueEntry* entry : leftEntries) {
      const ValueTree* other = right.find(entry->first);
      if (other == nullptr || !sameJsonValue(entry->second, *other)) {
        return false;
      }
    }
    return true;
  }
  return left == right;
}

void PrintTo(const ValueTree& tree, std::ostream* out) {
  *out << tree.toJson();
}

} // namespace tav::host
