// ValueTree: the host's own C++ copy of a value that crossed the boundary, with JSON text in and
// out.
//
//   ValueTree flag = ValueTree::map({{"key", "TOURNAMENT_FLAG"}, {"count", 2}});
//   flag.toJson();                       // {"key":"TOURNAMENT_FLAG","count":2}
//   ValueTree::fromJson(R"([1, "a"])");  // a list of the signed 1 and the string "a"
//
// The kinds are those of the host's value record with borrowed and owned texts (and blobs) folded
// together, since a receiver cannot tell them apart once copied. Maps keep their entries in order,
// repeated keys included, because the order is part of what a test may want to check.
#pragma once

#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tav::host {

enum class ValueKind : uint8_t { Empty, Bool, Signed, Unsigned, Float, String, Blob, List, Map };

// "empty", "bool", "signed", "unsigned", "float", "string", "blob", "list", "map".
std::string_view valueKindName(ValueKind kind);

class ValueTree;
using ValueEntry = std::pair<std::string, ValueTree>;

class ValueTree {
public:
  // Bytes, kept apart from texts so that a blob never compares equal to a string.
  struct Blob {
    std::string bytes;
    bool operator==(const Blob&) const = default;
  };

  ValueTree() = default;
  ValueTree(bool value) : data_(value) {}
  template <std::signed_integral T> ValueTree(T value) : data_(static_cast<int64_t>(value)) {}
  template <std::unsigned_integral T>
  requires(!std::same_as<T, bool>) ValueTree(T value) : data_(static_cast<uint64_t>(value)) {}
  ValueTree(double value) : data_(value) {}
  ValueTree(const char* text) : data_(std::string(text)) {}
  ValueTree(std::string text) : data_(std::move(text)) {}
  ValueTree(std::string_view text) : data_(std::string(text)) {}

  static ValueTree blob(std::string bytes);
  static ValueTree list(std::vector<ValueTree> items);
  static ValueTree map(std::vector<ValueEntry> entries);

  // Parses JSON text: null is empty, integers that fit are signed, larger ones unsigned, other
  // numbers float. Text that is not UTF-8 is refused, and so is nesting deeper than the plugin's
  // readers take (kMaxDocumentDepth, 512 levels), so every tree read from outside is at most
  // that deep and the walks below, which recurse, stay shallow. On failure returns nothing and,
  // when error is given, sets it to RapidJSON's English text (or "Nested deeper than 512
  // levels.") followed by " (offset N)".
  static std::optional<ValueTree> fromJson(std::string_view text, std::string* error = nullptr);

  ValueKind kind() const { return static_cast<ValueKind>(data_.index()); }
  bool isEmpty() const { return kind() == ValueKind::Empty; }

  // Each accessor answers its kind's value, or false, 0, 0.0 or an empty text or array when the
  // tree holds another kind; a test then fails on the comparison that follows.
  bool asBool() const;
  int64_t asSigned() const;
  uint64_t asUnsigned() const;
  double asFloat() const;
  const std::string& text() const; // the string or the blob's bytes
  const std::vector<ValueTree>& items() const;
  const std::vector<ValueEntry>& entries() const;

  // The value of the last entry named key, as the plugin reads repeated keys; null when there is
  // none or the tree is not a map.
  const ValueTree* find(std::string_view key) const;

  // Compact JSON. Empty is null; a blob is written as a string of its bytes; NaN and infinities
  // are written as NaN, Infinity and -Infinity.
  std::string toJson() const;

  bool operator==(const ValueTree& other) const;

private:
  using Data = std::variant<std::monostate, bool, int64_t, uint64_t, double, std::string, Blob,
                            std::vector<ValueTree>, std::vector<ValueEntry>>;
  explicit ValueTree(Data data) : data_(std::move(data)) {}

  Data data_;
};

// Equal as a JSON reader would see them: maps by key whatever their order (the last entry of a
// repeated key counts), signed and unsigned numbers by value, everything else as operator==.
// Plugins write maps in their own key order and choose their own integer kinds.
bool sameJsonValue(const ValueTree& left, const ValueTree& right);

// Lets GoogleTest print trees as their JSON text.
void PrintTo(const ValueTree& tree, std::ostream* out);

} // namespace tav::host
