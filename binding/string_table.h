// The interned strings of a document: one counted record per distinct text.
//
// Records are keyed by (hash, text) in a chained hash table that starts with 8 buckets,
// doubles whenever the count would exceed the bucket count, and goes back to its 8 built-in
// buckets when the last record leaves. A bucket keeps the hash of its first record and whether
// more follow, so that looking up a text not yet held (most values of a large document are
// distinct) usually ends in the bucket without a visit to a record elsewhere in memory. The
// empty text is never interned: every empty string is the one static record returned by empty(),
// which is neither counted nor freed.
//
// Texts up to 32 bytes (names, ids, dates) are hashed with FNV-1a. Longer ones (messages,
// tokens, encoded documents) are hashed eight bytes at a time in four lanes: FNV-1a takes a
// multiplication per byte, one after the other, and hashing a 17 MB token that way cost more
// than reading it.
//
// In front of the table sit two small direct-mapped caches of recent records, chosen by a few
// bytes and the length of the text, so that texts which come back again and again are found
// without hashing them. Member names, which repeat the most, have a cache of their own, so that
// a stream of distinct string values does not push them out.
#pragma once

#include "binding/fnv1a.h"
#include "binding/slab_pool.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tav {

struct InternedString {
  InternedString* next; // next record in the same bucket
  size_t length;
  uint32_t hash;
  uint32_t references;

  // The bytes follow the record and are followed by a zero byte, so text() may be handed to
  // code that wants a zero-terminated string (the text itself may contain zero bytes).
  const char* text() const { return reinterpret_cast<const char*>(this + 1); }
  char* text() { return reinterpret_cast<char*>(this + 1); }
  std::string_view view() const { return {text(), length}; }
};

class StringTable {
public:
  static constexpr size_t kInitialBuckets = 8;
  static constexpr size_t kCacheSlots = 64;
  static constexpr size_t kKeyCacheSlots = 128;

  // Small records are carved from `pool`, which must outlive the table; long ones come from the
  // heap.
  explicit StringTable(SlabPool& pool) noexcept;
  // Frees the heap records still held; records in the pool go with the pool, so a table of short
  // texts only is gone without visiting a record.
  ~StringTable();
  StringTable(const StringTable&) = delete;
  StringTable& operator=(const StringTable&) = delete;

  static constexpr size_t kLongTextBytes = 32;

  static InternedString* empty();

  // The hash the table keys `text` by.
  static uint32_t hashOf(std::string_view text) {
    return text.size() <= kLongTextBytes ? fnv1a(text) : longTextHash(text);
  }
  static uint32_t longTextHash(std::string_view text);

  // The record for `text`, with one more reference. `hash` must be hashOf(text); a wrong hash
  // only costs sharing (the text gets a record of its own).
  InternedString* intern(std::string_view text, uint32_t hash);
  // The same when the caller has no hash: the cache is asked first, the table after hashing.
  InternedString* intern(std::string_view text);
  // The same for a member name, through the cache of member names.
  InternedString* internKey(std::string_view text);
  static void retain(InternedString* record) {
    if (record != empty())
      ++record->references;
  }
  // Drops one reference; the last one erases and frees the record.
  void release(InternedString* record) noexcept;

  // Makes room for `count` records without further growth (load factor 1.0 still holds), so a
  // reader that expects many distinct texts rehashes once instead of at every doubling.
  void reserve(size_t count);

  size_t size() const { return count_; }
  size_t bucketCount() const { return bucketCount_; }

private:
  struct Bucket {
    InternedString* head;
    uint32_t headHash;
    uint32_t chained; // nonzero when records follow the head
  };

  static void link(Bucket& bucket, InternedString* record);
  InternedString* allocateRecord(std::string_view text, uint32_t hash);
  void freeRecord(InternedString* record) noexcept;
  void grow();
  void rehash(size_t count);
  void resetBuckets() noexcept;
  static uint32_t cacheHash(std::string_view text);
  InternedString* internCached(InternedString*& slot, std::string_view text);
  // intern(text, hash) for a text that is not empty.
  InternedString* internHashed(std::string_view text, uint32_t hash);
  // Slot `index` of a cache, cleared if this is its first use.
  static InternedString*& cacheSlot(InternedString** slots, uint64_t* filled, size_t index) {
    const uint64_t bit = uint64_t{1} << (index % 64);
    if ((filled[index / 64] & bit) == 0) {
      filled[index / 64] |= bit;
      slots[index] = nullptr;
    }
    return slots[index];
  }
  // Empties slot `index` of a cache if it holds `record`.
  static void forget(InternedString** slots, const uint64_t* filled, size_t index,
                     const InternedString* record) {
    if ((filled[index / 64] >> (index % 64) & 1) != 0 && slots[index] == record)
      slots[index] = nullptr;
  }

  SlabPool& pool_;
  Bucket* buckets_;
  size_t bucketCount_ = kInitialBuckets;
  size_t count_ = 0;
  // Records on the heap (the long ones), so that a table holding none is destroyed without a
  // walk through every bucket.
  size_t heapRecords_ = 0;
  Bucket initialBuckets_[kInitialBuckets] = {};
  // Not counted: a record leaves the caches when freed. A slot is cleared on its first use, as
  // the masks of filled slots tell, so that a table for a tree of a few strings does not clear
  // all 192 of them.
  InternedString* cache_[kCacheSlots];
  InternedString* keyCache_[kKeyCacheSlots];
  uint64_t cacheFilled_[kCacheSlots / 64] = {};
  uint64_t keyCacheFilled_[kKeyCacheSlots / 64] = {};
};

} // namespace tav
