// ValueTree accessors and its JSON reading and writing through RapidJSON.
#include "host/value_tree.h"

#include "binding/document_limits.h"

#include <rapidjson/encodedstream.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <limits>
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

// Builds a tree from the reader's events with a stack of its own, so that nesting costs heap, not
// the thread's stack, and stops at the depth the plugin's own readers stop at.
class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
public:
  bool Null() { return add(ValueTree()); }
  bool Bool(bool value) { return add(ValueTree(value)); }
  bool Int(int value) { return add(ValueTree(value)); }
  bool Int64(int64_t value) { return add(ValueTree(value)); }
  bool Uint(unsigned value) { return add(ValueTree(static_cast<int64_t>(value))); }
  // Integers that fit are signed, as a document would answer IsInt64.
  bool Uint64(uint64_t value) {
    return value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? add(ValueTree(static_cast<int64_t>(value)))
               : add(ValueTree(value));
  }
  bool Double(double value) { return add(ValueTree(value)); }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    return add(ValueTree(std::string(text, length)));
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    stack_.back().key.assign(text, length);
    return true;
  }
  bool StartObject() { return open(true); }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool StartArray() { return open(false); }
  bool EndArray(rapidjson::SizeType) { return close(); }

  bool tooDeep() const { return tooDeep_; }
  ValueTree take() { return std::move(root_); }

private:
  struct Frame {
    bool isMap;
    std::vector<ValueTree> items;
    std::vector<ValueEntry> entries;
    std::string key; // the key read for the next member
  };

  bool add(ValueTree value) {
    if (stack_.empty()) {
      root_ = std::move(value);
    } else if (Frame& top = stack_.back(); top.isMap) {
      top.entries.emplace_back(std::move(top.key), std::move(value));
    } else {
      top.items.push_back(std::move(value));
    }
    return true;
  }

  bool open(bool isMap) {
    if (stack_.size() == kMaxDocumentDepth) {
      tooDeep_ = true;
      return false;
    }
    stack_.push_back(Frame{isMap, {}, {}, {}});
    return true;
  }

  bool close() {
    Frame top = std::move(stack_.back());
    stack_.pop_back();
    return add(top.isMap ? ValueTree::map(std::move(top.entries))
                         : ValueTree::list(std::move(top.items)));
  }

  std::vector<Frame> stack_;
  ValueTree root_;
  bool tooDeep_ = false;
};

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
  rapidjson::MemoryStream memory(text.data(), text.size());
  rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> input(memory);
  TreeBuilder builder;
  rapidjson::Reader reader;
  constexpr unsigned kFlags = rapidjson::kParseFullPrecisionFlag | rapidjson::kParseNanAndInfFlag |
                              rapidjson::kParseValidateEncodingFlag |
                              rapidjson::kParseIterativeFlag;
  if (!reader.Parse<kFlags>(input, builder)) {
    if (error != nullptr) {
      const std::string what =
          builder.tooDeep() ? "Nested deeper than " + std::to_string(kMaxDocumentDepth) + " levels."
                            : std::string(rapidjson::GetParseError_En(reader.GetParseErrorCode()));
      *error = what + " (offset " + std::to_string(reader.GetErrorOffset()) + ")";
    }
    return std::nullopt;
  }
  return builder.take();
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
