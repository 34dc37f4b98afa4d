// HostValue decoding with its fault checks, and the host's own allocation of value records.
#include "host/host_value_codec.h"

#include <cstring>

namespace tav::host {
namespace {

struct Decoder {
  std::string error;

  bool fail(std::string message) {
    error = std::move(message);
    return false;
  }

  bool decode(const HostValue& value, unsigned depth, ValueTree& out) {
    if (depth > kMaxValueDepth) {
      return fail("value nested deeper than " + std::to_string(kMaxValueDepth) + " levels");
    }
    switch (static_cast<HostValueKind>(value.kind)) {
    case HostValueKind::Empty:
      out = ValueTree();
      return true;
    case HostValueKind::Bool:
      out = ValueTree(value.boolean != 0);
      return true;
    case HostValueKind::Signed:
      out = ValueTree(value.integer);
      return true;
    case HostValueKind::Unsigned:
      out = ValueTree(value.unsignedInteger);
      return true;
    case HostValueKind::Float:
      out = ValueTree(value.number);
      return true;
    case HostValueKind::BorrowedString:
      out = ValueTree(value.span.data != nullptr ? static_cast<const char*>(value.span.data) : "");
      return true;
    case HostValueKind::OwnedString:
      return decodeOwnedString(value, out);
    case HostValueKind::BorrowedBlob:
    case HostValueKind::OwnedBlob:
      if (value.span.data == nullptr && value.span.length != 0) {
        return fail("null blob with " + std::to_string(value.span.length) + " bytes");
      }
      out = ValueTree::blob(
          value.span.length == 0
              ? std::string()
              : std::string(static_cast<const char*>(value.span.data), value.span.length));
      return true;
    case HostValueKind::List:
      return decodeList(value, depth, out);
    case HostValueKind::Map:
      return decodeMap(value, depth, out);
    }
    return fail("unknown value kind " + std::to_string(value.kind));
  }

  bool decodeOwnedString(const HostValue& value, ValueTree& out) {
    const char* text = value.span.data != nullptr ? static_cast<const char*>(value.span.data) : "";
    const size_t length = std::strlen(text);
    if (length != value.span.length) {
      return fail("owned string length " + std::to_string(value.span.length) +
                  " differs from its text length " + std::to_string(length));
    }
    out = ValueTree(std::string(text, length));
    return true;
  }

  bool decodeList(const HostValue& value, unsigned depth, ValueTree& out) {
    if (value.span.data == nullptr && value.span.length != 0) {
      return fail("null list with " + std::to_string(value.span.length) + " items");
    }
    const auto* items = static_cast<const HostValue*>(value.span.data);
    std::vector<ValueTree> copies(value.span.length);
    for (uint32_t index = 0; index < value.span.length; ++index) {
      if (!decode(items[index], depth + 1, copies[index])) {
        return false;
      }
    }
    out = ValueTree::list(std::move(copies));
    return true;
  }

  bool decodeMap(const HostValue& value, unsigned depth, ValueTree& out) {
    if (value.span.data == nullptr && value.span.length != 0) {
      return fail("null map with " + std::to_string(value.span.length) + " entries");
    }
    const auto* entries = static_cast<const HostMapEntry*>(value.span.data);
    std::vector<ValueEntry> copies(value.span.length);
    for (uint32_t index = 0; index < value.span.length; ++index) {
      const HostMapEntry& entry = entries[index];
      copies[index].first = entry.key != nullptr ? entry.key : "";
      if (!decode(entry.value, depth + 1, copies[index].second)) {
        return false;
      }
    }
    out = ValueTree::map(std::move(copies));
    return true;
  }
};

char* copyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

HostValue zeroedValue() {
  HostValue value;
  std::memset(&value, 0, sizeof value);
  return value;
}

void setSpan(HostValue& value, HostValueKind kind, void* data, size_t length) {
  value.kind = static_cast<uint32_t>(kind);
  value.span.data = data;
  value.span.length = static_cast<uint32_t>(length);
}

} // namespace

std::optional<ValueTree> decodeHostValue(const HostValue& value, std::string* error) {
  Decoder decoder;
  ValueTree out;
  if (!decoder.decode(value, 0, out)) {
    if (error != nullptr) {
      *error = decoder.error;
    }
    return std::nullopt;
  }
  return out;
}

HostValue encodeHostValue(const ValueTree& tree) {
  HostValue value = zeroedValue();
  switch (tree.kind()) {
  case ValueKind::Empty:
    break;
  case ValueKind::Bool:
    value.kind = static_cast<uint32_t>(HostValueKind::Bool);
    value.boolean = tree.asBool() ? 1 : 0;
    break;
  case ValueKind::Signed:
    value.kind = static_cast<uint32_t>(HostValueKind::Signed);
    value.integer = tree.asSigned();
    break;
  case ValueKind::Unsigned:
    value.kind = static_cast<uint32_t>(HostValueKind::Unsigned);
    value.unsignedInteger = tree.asUnsigned();
    break;
  case ValueKind::Float:
    value.kind = static_cast<uint32_t>(HostValueKind::Float);
    value.number = tree.asFloat();
    break;
  case ValueKind::String:
    setSpan(value, HostValueKind::OwnedString, copyText(tree.text()), tree.text().size());
    break;
  case ValueKind::Blob: {
    const std::string& bytes = tree.text();
    uint8_t* copy = nullptr;
    if (!bytes.empty()) {
      copy = new uint8_t[bytes.size()];
      std::memcpy(copy, bytes.data(), bytes.size());
    }
    setSpan(value, HostValueKind::OwnedBlob, copy, bytes.size());
    break;
  }
  case ValueKind::List: {
    const std::vector<ValueTree>& items = tree.items();
    HostValue* array = items.empty() ? nullptr : new HostValue[items.size()]();
    for (size_t index = 0; index < items.size(); ++index) {
      array[index] = encodeHostValue(items[index]);
    }
    setSpan(value, HostValueKind::List, array, items.size());
    break;
  }
  case ValueKind::Map: {
    const std::vector<ValueEntry>& entries = tree.entries();
    HostMapEntry* array = entries.empty() ? nullptr : new HostMapEntry[entries.size()]();
    for (size_t index = 0; index < entries.size(); ++index) {
      array[index].key = copyText(entries[index].first);
      array[index].value = encodeHostValue(entries[index].second);
      array[index].keyOwned = 1;
    }
    setSpan(value, HostValueKind::Map, array, entries.size());
    break;
  }
  }
  return value;
}

HostValue encodeBorrowedTextMap(
    const std::vector<std::pair<std::string, std::shared_ptr<const std::string>>>& texts) {
  size_t count = 0;
  for (const auto& text : texts) {
    count += text.second != nullptr ? 1 : 0;
  }
  HostValue value = zeroedValue();
  HostMapEntry* array = count == 0 ? nullptr : new HostMapEntry[count]();
  size_t index = 0;
  for (const auto& [key, text] : texts) {
    if (text == nullptr) {
      continue;
    }
    array[index].key = copyText(key);
    array[index].keyOwned = 1;
    setSpan(array[index].value, HostValueKind::BorrowedString, const_cast<char*>(text->c_str()),
            text->size());
    ++index;
  }
  setSpan(value, HostValueKind::Map, array, count);
  return value;
}

void releaseEncodedValue(HostValue& value) {
  switch (static_cast<HostValueKind>(value.kind)) {
  case HostValueKind::OwnedString:
    delete[] static_cast<char*>(value.span.data);
    break;
  case HostValueKind::OwnedBlob:
    delete[] static_cast<uint8_t*>(value.span.data);
    break;
  case HostValueKind::List: {
    auto* items = static_cast<HostValue*>(value.span.data);
    for (uint32_t index = 0; index < value.span.length; ++index) {
      releaseEncodedValue(items[index]);
    }
    delete[] items;
    break;
  }
  case HostValueKind::Map: {
    auto* entries = static_cast<HostMapEntry*>(value.span.data);
    for (uint32_t index = 0; index < value.span.length; ++index) {
      if (entries[index].keyOwned != 0) {
        delete[] entries[index].key;
      }
      releaseEncodedValue(entries[index].value);
    }
    delete[] entries;
    break;
  }
  default:
    break;
  }
  value = zeroedValue();
}

} // namespace tav::host
