// BindingProperty and BindingResult: assignment, getters, collections and structures.
#include "binding/binding_property.h"

#include "binding/binding_collection.h"
#include "binding/binding_document.h"
#include "binding/binding_structure.h"

#include <cassert>
#include <limits>
#include <new>
#include <utility>

namespace tav {
namespace {

constinit const BindingProperty kEmptyValue;

bool isContainer(BindingKind kind) {
  return kind == BindingKind::Collection || kind == BindingKind::Structure;
}

} // namespace

const char* bindingKindName(BindingKind kind) {
  static constexpr const char* kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                           "string", "blob", "enum",   "collection", "structure"};
  auto code = static_cast<size_t>(kind);
  return code < std::size(kNames) ? kNames[code] : "";
}

// Children are released by their parent's walk and never destroyed on their own; only a root
// frees its tree, which goes whole with the document.
BindingProperty::~BindingProperty() {
  if (ownsDocument_)
    delete document_;
}

BindingProperty::BindingProperty(const BindingProperty& other) {
  copyIntoNew(other);
}

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
  copyFrom(other);
  return *this;
}

BindingProperty::BindingProperty(BindingProperty&& other) {
  if (other.ownsDocument_) {
    payload_ = other.payload_;
    document_ = other.document_;
    kind_ = other.kind_;
    other.payload_.unsignedInteger = 0;
    other.document_ = nullptr;
    other.kind_ = BindingKind::Empty;
    return;
  }
  copyIntoNew(other);
  other.clear();
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
  if (this == &other)
    return *this;
  if (ownsDocument_ && other.ownsDocument_) {
    std::swap(payload_, other.payload_);
    std::swap(document_, other.document_);
    std::swap(kind_, other.kind_);
    other.clear();
    return *this;
  }
  if (other.document_ && other.document_ == document_) {
    // One tree: the payload already lives in this document, so it changes hands as it is. A
    // target inside the source would end up holding itself; the source is cleared instead and
    // the target goes with it.
    if (!ownsDocument_ && isContainer(other.kind_) && BindingDocument::holds(other, this)) {
      other.clear();
      return *this;
    }
    Payload payload = other.payload_;
    BindingKind kind = other.kind_;
    other.payload_.unsignedInteger = 0;
    other.kind_ = BindingKind::Empty;
    installPayload(payload, kind);
    return *this;
  }
  copyFrom(other);
  other.clear();
  return *this;
}

void BindingProperty::replaceWithPart(BindingProperty& part) noexcept {
  if (&part == this)
    return;
  assert(part.document_ == document_ || part.kind_ <= BindingKind::Float);
  Payload payload = part.payload_;
  BindingKind kind = part.kind_;
  part.payload_.unsignedInteger = 0;
  part.kind_ = BindingKind::Empty;
  installPayload(payload, kind);
}

BindingDocument& BindingProperty::createDocument() {
  assert(!document_ && ownsDocument_);
  document_ = new BindingDocument();
  return *document_;
}

void BindingProperty::releasePayload() noexcept {
  if (kind_ > BindingKind::Float) {
    BindingDocument::releaseValue(*this);
    return;
  }
  kind_ = BindingKind::Empty;
  payload_.unsignedInteger = 0;
}

// A constructor that throws never reaches the destructor, so the document made for the copy is
// deleted here when the copy fails.
void BindingProperty::copyIntoNew(const BindingProperty& source) {
  try {
    copyFrom(source);
  } catch (...) {
    delete document_;
    document_ = nullptr;
    throw;
  }
}

void BindingProperty::copyFrom(const BindingProperty& source) {
  if (this == &source)
    return;
  if (source.kind_ <= BindingKind::Float ||
      (source.kind_ == BindingKind::String && source.payload_.string == StringTable::empty())) {
    installPayload(source.payload_, source.kind_);
    return;
  }
  BindingDocument& document = ensureDocument();
  BindingProperty staged(&document);
  try {
    document.copyInto(source, staged);
  } catch (...) {
    BindingDocument::releaseValue(staged);
    throw;
  }
  installPayload(staged.payload_, staged.kind_);
}

// The new record is interned before the old value goes, because `text` may lie inside it.
BindingProperty& BindingProperty::setString(std::string_view text) {
  Payload payload{.unsignedInteger = 0};
  payload.string = text.empty() ? StringTable::empty() : ensureDocument().strings().intern(text);
  installPayload(payload, BindingKind::String);
  return *this;
}

BindingProperty& BindingProperty::setString(std::string_view text, uint32_t hash) {
  Payload payload{.unsignedInteger = 0};
  payload.string =
      text.empty() ? StringTable::empty() : ensureDocument().strings().intern(text, hash);
  installPayload(payload, BindingKind::String);
  return *this;
}

BindingProperty& BindingProperty::setBlob(std::vector<uint8_t>&& bytes) {
  Payload payload{.unsignedInteger = 0};
  payload.pointer = ensureDocument().newBlob(std::move(bytes));
  bytes.clear();
  installPayload(payload, BindingKind::Blob);
  return *this;
}

BindingProperty& BindingProperty::setBlob(std::span<const uint8_t> bytes) {
  Payload payload{.unsignedInteger = 0};
  payload.pointer = ensureDocument().newBlob(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  installPayload(payload, BindingKind::Blob);
  return *this;
}

BindingProperty& BindingProperty::setEnum(BindingEnum value) {
  Payload payload{.unsignedInteger = 0};
  payload.enumRecord = ensureDocument().pool().create<BindingEnum>(value);
  installPayload(payload, BindingKind::Enum);
  return *this;
}

bool BindingProperty::getBool(bool fallback) const {
  return kind_ == BindingKind::Bool ? payload_.boolean : fallback;
}

int64_t BindingProperty::getSigned(int64_t fallback) const {
  return kind_ == BindingKind::Signed ? payload_.integer : fallback;
}

uint64_t BindingProperty::getUnsigned(uint64_t fallback) const {
  return kind_ == BindingKind::Unsigned ? payload_.unsignedInteger : fallback;
}

double BindingProperty::getFloat(double fallback) const {
  return kind_ == BindingKind::Float ? payload_.number : fallback;
}

std::string_view BindingProperty::getString(std::string_view fallback) const {
  return kind_ == BindingKind::String ? payload_.string->view() : fallback;
}

std::span<const uint8_t> BindingProperty::getBlob(std::span<const uint8_t> fallback) const {
  if (kind_ != BindingKind::Blob)
    return fallback;
  const auto& bytes = static_cast<const BindingBlob*>(payload_.pointer)->bytes;
  return {bytes.data(), bytes.size()};
}

BindingEnum BindingProperty::getEnum(BindingEnum fallback) const {
  return kind_ == BindingKind::Enum ? *payload_.enumRecord : fallback;
}

size_t BindingProperty::size() const {
  switch (kind_) {
  case BindingKind::Empty:
    return 0;
  case BindingKind::String:
    return payload_.string->length;
  case BindingKind::Blob:
    return static_cast<const BindingBlob*>(payload_.pointer)->bytes.size();
  case BindingKind::Collection:
    return payload_.collection->size;
  case BindingKind::Structure:
    return payload_.structure->size;
  default:
    return 1;
  }
}

void BindingProperty::makeCollection() {
  if (kind_ == BindingKind::Collection)
    return;
  Payload payload{.unsignedInteger = 0};
  payload.collection = ensureDocument().newCollection();
  installPayload(payload, BindingKind::Collection);
}

// makeCollection(), reserve() and element() in one, without their checks: the header is new, so
// its array is allocated at the exact size and only the new elements are written.
BindingProperty* BindingProperty::makeCollectionOf(size_t count) {
  BindingDocument& document = ensureDocument();
  Payload payload{.unsignedInteger = 0};
  payload.collection = document.newCollection();
  installPayload(payload, BindingKind::Collection);
  BindingCollection& collection = *payload.collection;
  if (count == 0)
    return nullptr;
  if (count <= BindingCollection::kPooledElements) {
    collection.data =
        static_cast<BindingProperty*>(document.pool().allocate(count * sizeof(BindingProperty)));
    collection.capacity = count;
  } else {
    collection.reserve(&document, count);
  }
  for (size_t i = 0; i < count; ++i)
    new (collection.data + i) BindingProperty(&document);
  collection.size = count;
  return collection.data;
}

void BindingProperty::reserve(size_t capacity) {
  if (kind_ == BindingKind::Collection)
    payload_.collection->reserve(document_, capacity);
}

BindingProperty& BindingProperty::append() {
  if (kind_ != BindingKind::Collection)
    makeCollection();
  // The growth is out of line; adding to an array with room is not.
  BindingCollection& collection = *payload_.collection;
  if (collection.size == collection.capacity)
    return collection.append(document_);
  return *new (collection.data + collection.size++) BindingProperty(document_);
}

BindingProperty& BindingProperty::element(size_t index) {
  makeCollection();
  BindingCollection& collection = *payload_.collection;
  if (index >= collection.size) {
    // index + 1 must not wrap around to an empty collection.
    if (index == std::numeric_limits<size_t>::max())
      throw std::bad_alloc();
    collection.resize(document_, index + 1);
  }
  return collection.data[index];
}

const BindingProperty& BindingProperty::at(size_t index) const {
  if (kind_ == BindingKind::Collection && index < payload_.collection->size)
    return payload_.collection->data[index];
  return kEmptyValue;
}

std::span<BindingProperty> BindingProperty::elements() {
  if (kind_ != BindingKind::Collection)
    return {};
  return {payload_.collection->data, payload_.collection->size};
}

std::span<const BindingProperty> BindingProperty::elements() const {
  if (kind_ != BindingKind::Collection)
    return {};
  return {payload_.collection->data, payload_.collection->size};
}

void BindingProperty::makeStructure() {
  if (kind_ == BindingKind::Structure)
    return;
  Payload payload{.unsignedInteger = 0};
  payload.structure = ensureDocument().pool().create<BindingStructure>();
  installPayload(payload, BindingKind::Structure);
}

BindingProperty& BindingProperty::member(std::string_view key) {
  if (kind_ == BindingKind::Structure)
    return payload_.structure->findOrInsert(key, *document_)->value;
  return firstMember(key);
}

// Apart from member(), so that a lookup in a structure, by far the most frequent, does not pay
// for this path's registers and handlers.
BindingProperty& BindingProperty::firstMember(std::string_view key) {
  // The key is interned before the old value goes, because it may point into that value.
  BindingDocument& document = ensureDocument();
  InternedString* record = document.strings().internKey(key);
  Payload payload{.unsignedInteger = 0};
  try {
    payload.structure = document.pool().create<BindingStructure>();
  } catch (...) {
    document.strings().release(record);
    throw;
  }
  installPayload(payload, BindingKind::Structure);
  return payload_.structure
      ->insert({nullptr, nullptr, true, keyPrefix(record->view())}, record, document)
      ->value;
}

const BindingProperty& BindingProperty::find(std::string_view key) const {
  if (kind_ == BindingKind::Structure) {
    if (BindingStructureNode* node = payload_.structure->find(key))
      return node->value;
  }
  return kEmptyValue;
}

bool BindingProperty::contains(std::string_view key) const {
  return kind_ == BindingKind::Structure && payload_.structure->find(key) != nullptr;
}

BindingProperty::MemberRange BindingProperty::members() {
  return MemberRange(kind_ == BindingKind::Structure ? payload_.structure : nullptr);
}

BindingProperty::ConstMemberRange BindingProperty::members() const {
  return ConstMemberRange(kind_ == BindingKind::Structure ? payload_.structure : nullptr);
}

const BindingProperty& BindingProperty::emptyValue() {
  return kEmptyValue;
}

BindingProperty::Member BindingProperty::MemberRange::iterator::operator*() const {
  return {node_->key->view(), node_->value};
}

BindingProperty::MemberRange::iterator& BindingProperty::MemberRange::iterator::operator++() {
  node_ = BindingStructure::next(node_);
  return *this;
}

BindingProperty::MemberRange::iterator BindingProperty::MemberRange::begin() const {
  return iterator(structure_ ? structure_->first : nullptr);
}

size_t BindingProperty::MemberRange::size() const {
  return structure_ ? structure_->size : 0;
}

BindingProperty::ConstMember BindingProperty::ConstMemberRange::iterator::operator*() const {
  return {node_->key->view(), node_->value};
}

BindingProperty::ConstMemberRange::iterator&
BindingProperty::ConstMemberRange::iterator::operator++() {
  node_ = BindingStructure::next(node_);
  return *this;
}

BindingProperty::ConstMemberRange::iterator BindingProperty::ConstMemberRange::begin() const {
  return iterator(structure_ ? structure_->first : nullptr);
}

size_t BindingProperty::ConstMemberRange::size() const {
  return structure_ ? structure_->size : 0;
}

void BindingResult::setError(std::string_view message) {
  // The message may point into this very value, which is about to be released.
  std::string kept;
  if (!isEmpty()) {
    kept.assign(message);
    message = kept;
  }
  clear();
  ok_ = false;
  member("error") = message;
}

std::string_view BindingResult::errorMessage() const {
  return ok_ ? std::string_view() : find("error").getString();
}

} // namespace tav
