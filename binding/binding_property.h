// BindingProperty, the dynamic value of the framework, and BindingResult, its checked form.
//
// Every native record that crosses the plugin boundary becomes a tree of BindingProperty nodes.
// A tree shares one BindingDocument (a slab pool and an interned-string table) owned by its root,
// so building large trees costs few heap allocations.
//
//   BindingProperty root;                        // empty, no document yet
//   root.member("items").append() = "first";     // becomes a structure, then a collection
//   root.member("count") = uint64_t{1};
//   for (auto [key, value] : root.members()) ... // members iterate in byte-wise key order
//
// Ownership: a value constructed on its own is a root and owns its document. Elements and
// members are children: they live in the root's document and never outlive it. Copying always
// deep-copies into the target's document; moving exchanges documents only between two roots.
// A tree is used by one thread at a time.
//
// Every walk over a tree (release, deep copy) is iterative, so trees deeper than a thread's
// stack are safe to build, copy and destroy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

struct StaticTypeId;
class BindingDocument;
struct InternedString;
struct BindingCollection;
struct BindingStructure;
struct BindingStructureNode;

// The kind of a value; the codes are fixed and the names appear in conversion messages.
enum class BindingKind : uint8_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  String = 5,
  Blob = 6,
  Enum = 7,
  Collection = 8,
  Structure = 9,
};

// "empty", "bool", ..., "structure"; "" for a code outside the table.
const char* bindingKindName(BindingKind kind);

// An enum value: its number and the StaticTypeId of its enum type. The enumerator's name is not
// stored; the type registry finds it when needed.
struct BindingEnum {
  int32_t number = 0;
  const StaticTypeId* type = nullptr;
};

class BindingProperty {
public:
  BindingProperty() noexcept = default;
  ~BindingProperty();

  // Deep copy into this value's own document. Self-assignment does nothing.
  BindingProperty(const BindingProperty& other);
  BindingProperty& operator=(const BindingProperty& other);

  // Between two roots the documents are exchanged (no copy) and the source is cleared;
  // from or into a child the value is deep-copied and the source cleared. Within one tree the
  // payload is handed over instead of copied; moving a value into a part of itself only clears
  // it (the target goes with the source). Not noexcept: the deep copy allocates, and running
  // out of memory there throws std::bad_alloc with the source left whole.
  BindingProperty(BindingProperty&& other);
  BindingProperty& operator=(BindingProperty&& other);

  // Scalar assignment: clear, then set kind and payload. Inline, because readers and converters
  // store scalars by the million and a value without out-of-line data needs no release.
  BindingProperty& operator=(bool value) {
    Payload payload{.unsignedInteger = 0};
    payload.boolean = value;
    return setScalar(payload, BindingKind::Bool);
  }
  BindingProperty& operator=(int value) { return setSigned(value); }
  BindingProperty& operator=(long value) { return setSigned(value); }
  BindingProperty& operator=(long long value) { return setSigned(value); }
  BindingProperty& operator=(unsigned value) { return setUnsigned(value); }
  BindingProperty& operator=(unsigned long value) { return setUnsigned(value); }
  BindingProperty& operator=(unsigned long long value) { return setUnsigned(value); }
  BindingProperty& operator=(double value) {
    return setScalar(Payload{.number = value}, BindingKind::Float);
  }
  // Text is interned into the document byte for byte (no UTF-8 validation).
  BindingProperty& operator=(const char* text) { return setString(text ? text : ""); }
  BindingProperty& operator=(std::string_view text) { return setString(text); }
  BindingProperty& operator=(const std::string& text) { return setString(text); }
  // The bytes are taken over; the source vector is left empty.
  BindingProperty& operator=(std::vector<uint8_t>&& bytes) { return setBlob(std::move(bytes)); }
  BindingProperty& operator=(BindingEnum value) { return setEnum(value); }

  BindingProperty& setSigned(int64_t value) {
    return setScalar(Payload{.integer = value}, BindingKind::Signed);
  }
  BindingProperty& setUnsigned(uint64_t value) {
    return setScalar(Payload{.unsignedInteger = value}, BindingKind::Unsigned);
  }
  BindingProperty& setString(std::string_view text);
  // A string whose FNV-1a hash the caller already knows (readers hash while they scan).
  BindingProperty& setString(std::string_view text, uint32_t hash);
  BindingProperty& setBlob(std::vector<uint8_t>&& bytes);
  BindingProperty& setBlob(std::span<const uint8_t> bytes);
  BindingProperty& setEnum(BindingEnum value);

  // Releases the out-of-line data and becomes empty; the document stays.
  void clear() { releasePayload(); }
  // Replaces this value with `part`, a value inside it (same tree), handing the part's payload
  // over without a copy; the rest of the old value is released and `part` goes with it.
  void replaceWithPart(BindingProperty& part) noexcept;

  BindingKind kind() const { return kind_; }
  bool isEmpty() const { return kind_ == BindingKind::Empty; }
  bool isString() const { return kind_ == BindingKind::String; }
  bool isCollection() const { return kind_ == BindingKind::Collection; }
  bool isStructure() const { return kind_ == BindingKind::Structure; }

  // Typed getters: the payload when the kind is exactly the getter's, else the default.
  // There is no coercion between kinds here (conversions with coercion live in the converters).
  // A string's bytes are followed by a zero byte, so getString().data() is zero-terminated; the
  // view is valid until the value is changed or released.
  bool getBool(bool fallback = false) const;
  int64_t getSigned(int64_t fallback = 0) const;
  uint64_t getUnsigned(uint64_t fallback = 0) const;
  double getFloat(double fallback = 0.0) const;
  std::string_view getString(std::string_view fallback = {}) const;
  std::span<const uint8_t> getBlob(std::span<const uint8_t> fallback = {}) const;
  BindingEnum getEnum(BindingEnum fallback = {}) const;

  // empty 0; string its byte length; blob its byte count; collection its elements; structure its
  // members; every other kind 1.
  size_t size() const;

  // Collections. makeCollection() clears a value of another kind. reserve() acts only on a
  // collection. element(i) grows the collection with empty elements up to i. at(i) returns the
  // shared empty value for any other kind or an index out of range.
  void makeCollection();
  // Replaces this value with a new collection of `count` empty elements and room for exactly
  // those, and returns the first, so that a reader that knows a collection's length fills it in
  // place. Null when count is 0.
  BindingProperty* makeCollectionOf(size_t count);
  void reserve(size_t capacity);
  BindingProperty& append();
  BindingProperty& element(size_t index);
  const BindingProperty& at(size_t index) const;
  std::span<BindingProperty> elements();
  std::span<const BindingProperty> elements() const;

  // Structures, ordered by unsigned byte-wise comparison of the keys ("B" before "a").
  // member(key) turns any other kind into a structure and inserts the key when absent.
  // find(key) returns the shared empty value when the key or the structure is missing.
  void makeStructure();
  BindingProperty& member(std::string_view key);
  const BindingProperty& find(std::string_view key) const;
  bool contains(std::string_view key) const;

  // Members in key order. Both forms are invalidated by inserting into the structure.
  struct Member {
    std::string_view key;
    BindingProperty& value;
  };
  struct ConstMember {
    std::string_view key;
    const BindingProperty& value;
  };
  class MemberRange;
  class ConstMemberRange;
  MemberRange members();
  ConstMemberRange members() const;

  // The shared empty value returned by reads that find nothing.
  static const BindingProperty& emptyValue();

  BindingDocument* document() const { return document_; }
  bool ownsDocument() const { return ownsDocument_; }

private:
  friend class BindingDocument;
  friend struct BindingCollection;
  friend struct BindingStructure;
  friend class PendingElements;

  union Payload {
    bool boolean;
    int64_t integer;
    uint64_t unsignedInteger;
    double number;
    InternedString* string;
    void* pointer;
    BindingEnum* enumRecord;
    BindingCollection* collection;
    BindingStructure* structure;
  };

  // A child created inside a parent's document.
  explicit BindingProperty(BindingDocument* document) noexcept
      : document_(document), ownsDocument_(false) {}

  // member() on a value that is not a structure yet.
  [[gnu::noinline]] BindingProperty& firstMember(std::string_view key);
  // The tree's document, created for a root on first need (out of line: it happens once a tree).
  BindingDocument& ensureDocument() { return document_ ? *document_ : createDocument(); }
  BindingDocument& createDocument();
  // Releases the out-of-line data (and the whole subtree below it) and leaves the value empty.
  void releasePayload() noexcept;
  // Builds the copy beside the old value and swaps it in, so a source inside the target (or a
  // target inside the source) is read whole before anything of the target is released.
  void copyFrom(const BindingProperty& source);
  // copyFrom() for a value under construction.
  void copyIntoNew(const BindingProperty& source);
  // Releases the old payload, then takes `payload` of `kind` (already owned by this document).
  // Inline, because readers and converters store values by the million and a value without
  // out-of-line data needs no release.
  void installPayload(Payload payload, BindingKind kind) noexcept {
    if (kind_ > BindingKind::Float)
      releasePayload();
    payload_ = payload;
    kind_ = kind;
  }
  BindingProperty& setScalar(Payload payload, BindingKind kind) noexcept {
    installPayload(payload, kind);
    return *this;
  }

  Payload payload_{.unsignedInteger = 0};
  BindingDocument* document_ = nullptr;
  BindingKind kind_ = BindingKind::Empty;
  bool ownsDocument_ = true;
};

// Members of a structure in key order. The iterators read a tree node each step; inserting into
// the structure invalidates them.
class BindingProperty::MemberRange {
public:
  class iterator {
  public:
    using iterator_concept = std::forward_iterator_tag;
    using iterator_category = std::input_iterator_tag;
    using value_type = Member;
    using difference_type = std::ptrdiff_t;

    iterator() = default;
    Member operator*() const;
    iterator& operator++();
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator&) const = default;

  private:
    friend class MemberRange;
    explicit iterator(BindingStructureNode* node) : node_(node) {}
    BindingStructureNode* node_ = nullptr;
  };

  iterator begin() const;
  iterator end() const { return iterator(); }
  size_t size() const;
  bool empty() const { return size() == 0; }

private:
  friend class BindingProperty;
  explicit MemberRange(BindingStructure* structure) : structure_(structure) {}
  BindingStructure* structure_;
};

class BindingProperty::ConstMemberRange {
public:
  class iterator {
  public:
    using iterator_concept = std::forward_iterator_tag;
    using iterator_category = std::input_iterator_tag;
    using value_type = ConstMember;
    using difference_type = std::ptrdiff_t;

    iterator() = default;
    ConstMember operator*() const;
    iterator& operator++();
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator&) const = default;

  private:
    friend class ConstMemberRange;
    explicit iterator(const BindingStructureNode* node) : node_(node) {}
    const BindingStructureNode* node_ = nullptr;
  };

  iterator begin() const;
  iterator end() const { return iterator(); }
  size_t size() const;
  bool empty() const { return size() == 0; }

private:
  friend class BindingProperty;
  explicit ConstMemberRange(const BindingStructure* structure) : structure_(structure) {}
  const BindingStructure* structure_;
};

// The result of every conversion and reader: a value plus an ok flag. A failed result is the
// structure {"error": message} with ok false; the first error recorded by a conversion step wins
// because every step checks ok() before it runs.
class BindingResult : public BindingProperty {
public:
  BindingResult() = default;
  using BindingProperty::operator=;

  bool ok() const { return ok_; }
  // Clears the value, sets ok false and stores the message under "error".
  void setError(std::string_view message);
  // "" when ok; otherwise the "error" member's text ("" when it is not a string).
  std::string_view errorMessage() const;

  BindingProperty& value() { return *this; }
  const BindingProperty& value() const { return *this; }

private:
  bool ok_ = true;
};

} // namespace tav
