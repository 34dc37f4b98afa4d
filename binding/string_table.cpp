// Lookup, insertion, growth and release of interned strings.
#include "binding/string_table.h"

#include "foundation/memory.h"
#include "foundation/short_bytes.h"

#include <cstring>
#include <new>

namespace tav {
namespace {

// The static record of "", with the zero byte that text() points at right behind it.
struct EmptyRecord {
  InternedString record{nullptr, 0, kFnv1aOffsetBasis, 0};
  char terminator = 0;
};
static_assert(offsetof(EmptyRecord, terminator) == sizeof(InternedString));
constinit EmptyRecord gEmptyRecord;

// Pool blocks hold records whose bytes and terminator fit; sizes stay multiples of the record's
// alignment so the records after a block boundary stay aligned.
size_t recordBytes(size_t length) {
  size_t bytes = sizeof(InternedString) + length + 1;
  return (bytes + alignof(InternedString) - 1) & ~(alignof(InternedString) - 1);
}

bool inPool(size_t length) {
  return recordBytes(length) <= SlabPool::kMaxBlockSize;
}

} // namespace

StringTable::StringTable(SlabPool& pool) noexcept : pool_(pool), buckets_(initialBuckets_) {}

StringTable::~StringTable() {
  // The walk ends with the last heap record: a large document of short texts (dates, ids) would
  // otherwise touch every one of its records, mostly missing the cache, only to free none.
  for (size_t i = 0; i < bucketCount_ && heapRecords_ != 0; ++i) {
    for (InternedString* record = buckets_[i].head; record;) {
      InternedString* next = record->next;
      if (!inPool(record->length)) {
        memory::release(record);
        --heapRecords_;
      }
      record = next;
    }
  }
  if (buckets_ != initialBuckets_)
    memory::release(buckets_);
}

InternedString* StringTable::empty() {
  return &gEmptyRecord.record;
}

InternedString* StringTable::allocateRecord(std::string_view text, uint32_t hash) {
  void* memory;
  if (inPool(text.size())) {
    memory = pool_.allocate(recordBytes(text.size()));
  } else {
    memory = memory::allocate(sizeof(InternedString) + text.size() + 1);
    if (!memory)
      throw std::bad_alloc();
    ++heapRecords_;
  }
  auto* record = new (memory) InternedString{nullptr, text.size(), hash, 1};
  std::memcpy(record->text(), text.data(), text.size());
  record->text()[text.size()] = '\0';
  return record;
}

void StringTable::freeRecord(InternedString* record) noexcept {
  if (inPool(record->length)) {
    pool_.release(record, recordBytes(record->length));
  } else {
    memory::release(record);
    --heapRecords_;
  }
}

uint32_t StringTable::longTextHash(std::string_view text) {
  // The rounds and final mix of XXH64: four independent lanes keep the multipliers busy.
  constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
  constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
  constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
  auto rotate = [](uint64_t value, int bits) { return value << bits | value >> (64 - bits); };
  auto round = [&](uint64_t lane, uint64_t word) {
    return rotate(lane + word * kPrime2, 31) * kPrime1;
  };
  auto word = [&](size_t at) {
    uint64_t value;
    std::memcpy(&value, text.data() + at, 8);
    return value;
  };
  uint64_t lanes[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
  size_t at = 0;
  for (; at + 32 <= text.size(); at += 32)
    for (size_t lane = 0; lane < 4; ++lane)
      lanes[lane] = round(lanes[lane], word(at + 8 * lane));
  uint64_t hash = rotate(lanes[0], 1) + rotate(lanes[1], 7) + rotate(lanes[2], 12) +
                  rotate(lanes[3], 18) + text.size();
  for (; at + 8 <= text.size(); at += 8)
    hash = rotate(hash ^ round(0, word(at)), 27) * kPrime1 + kPrime3;
  for (; at < text.size(); ++at)
    hash = rotate(hash ^ static_cast<uint8_t>(text[at]) * kPrime3, 11) * kPrime1;
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  hash ^= hash >> 32;
  return static_cast<uint32_t>(hash);
}

[[gnu::always_inline]] inline uint32_t StringTable::cacheHash(std::string_view text) {
  // The first four bytes, the middle and last byte and the length: enough to keep apart the
  // member names of one record type, which often share a prefix and a length.
  uint32_t head = 0;
  if (text.size() >= 4)
    std::memcpy(&head, text.data(), 4);
  else
    std::memcpy(&head, text.data(), text.size());
  uint32_t mixed = head ^ static_cast<uint32_t>(text.size()) << 24 ^ uint32_t {
    static_cast<uint8_t>(text[text.size() / 2])
  } << 16 ^ uint32_t { static_cast<uint8_t>(text.back()) } << 8;
  return mixed * 0x9E3779B1u;
}

void StringTable::link(Bucket& bucket, InternedString* record) {
  record->next = bucket.head;
  bucket.chained = bucket.head != nullptr;
  bucket.head = record;
  bucket.headHash = record->hash;
}

[[gnu::always_inline]] inline InternedString* StringTable::internHashed(std::string_view text,
                                                                        uint32_t hash) {
  auto matches = [&](const InternedString* record) {
    return record->length == text.size() && sameBytes(record->text(), text.data(), text.size());
  };
  Bucket* bucket = &buckets_[hash & (bucketCount_ - 1)];
  if (InternedString* head = bucket->head) {
    if (bucket->headHash == hash && matches(head)) {
      ++head->references;
      return head;
    }
    if (bucket->chained) {
      for (InternedString* record = head->next; record; record = record->next) {
        if (record->hash == hash && matches(record)) {
          ++record->references;
          return record;
        }
      }
    }
  }
  InternedString* record = allocateRecord(text, hash);
  if (count_ + 1 > bucketCount_) {
    try {
      grow();
    } catch (...) {
      freeRecord(record);
      throw;
    }
    bucket = &buckets_[hash & (bucketCount_ - 1)];
  }
  link(*bucket, record);
  ++count_;
  return record;
}

// The top bits of cacheHash() pick the slot in each cache.
constexpr unsigned kCacheShift = 26;
constexpr unsigned kKeyCacheShift = 25;
static_assert(StringTable::kCacheSlots == 1u << (32 - kCacheShift));
static_assert(StringTable::kKeyCacheSlots == 1u << (32 - kKeyCacheShift));

[[gnu::always_inline]] inline InternedString* StringTable::internCached(InternedString*& slot,
                                                                        std::string_view text) {
  if (slot && slot->length == text.size() && sameBytes(slot->text(), text.data(), text.size())) {
    ++slot->references;
    return slot;
  }
  InternedString* record = internHashed(text, hashOf(text));
  slot = record;
  return record;
}

InternedString* StringTable::intern(std::string_view text) {
  if (text.empty())
    return empty();
  return internCached(cacheSlot(cache_, cacheFilled_, cacheHash(text) >> kCacheShift), text);
}

InternedString* StringTable::internKey(std::string_view text) {
  if (text.empty())
    return empty();
  return internCached(cacheSlot(keyCache_, keyCacheFilled_, cacheHash(text) >> kKeyCacheShift),
                      text);
}

InternedString* StringTable::intern(std::string_view text, uint32_t hash) {
  if (text.empty())
    return empty();
  return internHashed(text, hash);
}

void StringTable::grow() {
  rehash(bucketCount_ * 2);
}

void StringTable::reserve(size_t count) {
  size_t buckets = bucketCount_;
  while (buckets < count)
    buckets *= 2;
  if (buckets != bucketCount_)
    rehash(buckets);
}

void StringTable::rehash(size_t count) {
  auto* buckets = static_cast<Bucket*>(memory::allocate(count * sizeof(Bucket)));
  if (!buckets)
    throw std::bad_alloc();
  std::memset(buckets, 0, count * sizeof(Bucket));
  for (size_t i = 0; i < bucketCount_; ++i) {
    for (InternedString* record = buckets_[i].head; record;) {
      InternedString* next = record->next;
      link(buckets[record->hash & (count - 1)], record);
      record = next;
    }
  }
  if (buckets_ != initialBuckets_)
    memory::release(buckets_);
  buckets_ = buckets;
  bucketCount_ = count;
}

void StringTable::resetBuckets() noexcept {
  if (buckets_ != initialBuckets_)
    memory::release(buckets_);
  std::memset(initialBuckets_, 0, sizeof initialBuckets_);
  buckets_ = initialBuckets_;
  bucketCount_ = kInitialBuckets;
}

void StringTable::release(InternedString* record) noexcept {
  if (record == empty() || --record->references != 0)
    return;
  Bucket& bucket = buckets_[record->hash & (bucketCount_ - 1)];
  if (bucket.head == record) {
    bucket.head = record->next;
    if (bucket.head)
      bucket.headHash = bucket.head->hash;
  } else {
    InternedString** at = &bucket.head->next;
    while (*at != record)
      at = &(*at)->next;
    *at = record->next;
  }
  bucket.chained = bucket.head && bucket.head->next;
  uint32_t cached = cacheHash(record->view());
  forget(cache_, cacheFilled_, cached >> kCacheShift, record);
  forget(keyCache_, keyCacheFilled_, cached >> kKeyCacheShift, record);
  freeRecord(record);
  if (--count_ == 0)
    resetBuckets();
}

} // namespace tav
