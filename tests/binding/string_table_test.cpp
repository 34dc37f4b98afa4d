// FNV-1a and the interned-string table: sharing, counting, growth and reset.
#include "binding/fnv1a.h"
#include "binding/string_table.h"
#include "foundation/memory.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace tav {
namespace {

TEST(Fnv1a, MatchesPublishedValues) {
  const std::pair<std::string_view, uint32_t> cases[] = {
      {"", 0x811C9DC5u},
      {"a", 0xE40C292Cu},
      {"foobar", 0xBF9CF968u},
      // Bytes are XORed in unsigned: 0xFF must not be sign-extended.
      {"\xff", 0x7A0B824Eu},
  };
  for (auto [text, hash] : cases)
    EXPECT_EQ(fnv1a(text), hash) << text;
}

TEST(StringTable, EqualTextsShareACountedRecord) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  std::string longText(200, 'x');
  for (std::string_view text : {std::string_view("short"), std::string_view(longText)}) {
    InternedString* first = table.intern(text, fnv1a(text));
    InternedString* second = table.intern(text, fnv1a(text));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->references, 2u);
    EXPECT_EQ(first->view(), text);
    EXPECT_EQ(first->text()[text.size()], '\0');
    table.release(first);
    EXPECT_EQ(table.size(), 1u);
    table.release(second);
    EXPECT_EQ(table.size(), 0u);
  }
  EXPECT_EQ(pool.pageCount(), 0u);
}

TEST(StringTable, LongTextsAreHashedInWordsAndStillShareOneRecord) {
  // Short texts keep FNV-1a; past the limit every byte, the tail bytes and the length still
  // change the hash.
  EXPECT_EQ(StringTable::hashOf("foobar"), fnv1a("foobar"));
  const std::string limit(StringTable::kLongTextBytes, 'q');
  EXPECT_EQ(StringTable::hashOf(limit), fnv1a(limit));
  for (size_t length : {StringTable::kLongTextBytes + 1, size_t{1000}, size_t{4099}}) {
    std::string text(length, 'x');
    for (size_t i = 0; i < length; ++i)
      text[i] = static_cast<char>('a' + i * 7 % 26);
    const uint32_t hash = StringTable::hashOf(text);
    EXPECT_EQ(hash, StringTable::longTextHash(text));
    for (size_t at : {size_t{0}, size_t{9}, length / 2, length - 9, length - 1}) {
      std::string changed = text;
      changed[at] ^= 1;
      EXPECT_NE(StringTable::hashOf(changed), hash) << length << " at " << at;
    }
    EXPECT_NE(StringTable::hashOf(text + "a"), hash) << length;

    PagePool pages;
    SlabPool pool(pages);
    StringTable table(pool);
    InternedString* first = table.intern(text);
    InternedString* second = table.intern(std::string(text), StringTable::hashOf(text));
    EXPECT_EQ(first, second) << length;
    EXPECT_EQ(first->hash, hash);
    table.release(first);
    table.release(second);
    EXPECT_EQ(table.size(), 0u);
  }
}

TEST(StringTable, GrowsPastLoadFactorOneAndResetsWhenEmpty) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  std::vector<InternedString*> records;
  std::vector<size_t> bucketsAfter;
  for (int i = 0; i < 17; ++i) {
    std::string text = "s" + std::to_string(i);
    records.push_back(table.intern(text, fnv1a(text)));
    bucketsAfter.push_back(table.bucketCount());
  }
  EXPECT_EQ(bucketsAfter[7], 8u);   // 8 records in 8 buckets
  EXPECT_EQ(bucketsAfter[8], 16u);  // the ninth doubles
  EXPECT_EQ(bucketsAfter[16], 32u); // the seventeenth again
  for (int i = 0; i < 17; ++i) {
    std::string text = "s" + std::to_string(i);
    EXPECT_EQ(table.intern(text, fnv1a(text)), records[i]);
    table.release(records[i]);
  }
  for (size_t i = 0; i + 1 < records.size(); ++i)
    table.release(records[i]);
  EXPECT_EQ(table.bucketCount(), 32u);
  table.release(records.back());
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.bucketCount(), StringTable::kInitialBuckets);
}

TEST(StringTable, ReserveSizesOnceAndKeepsEveryRecord) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  InternedString* before = table.intern("before", fnv1a("before"));
  table.reserve(5);
  EXPECT_EQ(table.bucketCount(), 8u);
  table.reserve(100);
  EXPECT_EQ(table.bucketCount(), 128u);
  std::vector<InternedString*> records;
  for (int i = 0; i < 128; ++i) {
    std::string text = "s" + std::to_string(i);
    records.push_back(table.intern(text, fnv1a(text)));
  }
  EXPECT_EQ(table.bucketCount(), 256u); // the 129th record passes load factor 1.0
  EXPECT_EQ(table.intern("before", fnv1a("before")), before);
  for (int i = 0; i < 128; ++i) {
    std::string text = "s" + std::to_string(i);
    EXPECT_EQ(table.intern(text, fnv1a(text)), records[i]);
    table.release(records[i]);
    table.release(records[i]);
  }
  table.release(before);
  table.release(before);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.bucketCount(), StringTable::kInitialBuckets);
}

TEST(StringTable, AFreedRecordLeavesTheRecentTextCache) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  InternedString* first = table.intern("abc");
  table.release(first);
  EXPECT_EQ(table.size(), 0u);
  // A record still cached after being freed would come back here with a stale count.
  InternedString* again = table.intern("abc");
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(again->references, 1u);
  EXPECT_EQ(again->view(), "abc");
}

TEST(StringTable, CachedAndHashedLookupsAgree) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  // Names of one record type: same prefix, same length, often the same last byte.
  const char* names[] = {"profile_text_color",
                         "profile_link_color",
                         "profile_fill_color",
                         "profile_image_url",
                         "profile_image_urx",
                         "a",
                         "b",
                         "ab"};
  std::vector<InternedString*> records;
  for (const char* name : names)
    records.push_back(table.intern(name));
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(table.intern(names[i]), records[i]) << names[i];
    EXPECT_EQ(table.intern(names[i], fnv1a(names[i])), records[i]) << names[i];
    for (size_t j = 0; j < i; ++j)
      EXPECT_NE(records[i], records[j]);
  }
  EXPECT_EQ(table.size(), records.size());
}

TEST(StringTable, TextsWithTheSameHashStayApart) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  // A wrong hash given on purpose puts two texts in one chain with one hash value.
  InternedString* a = table.intern("alpha", fnv1a("alpha"));
  InternedString* b = table.intern("beta", fnv1a("alpha"));
  EXPECT_NE(a, b);
  EXPECT_EQ(table.intern("alpha", fnv1a("alpha")), a);
  EXPECT_EQ(b->view(), "beta");
}

// Texts of every length up to past the word-sized comparisons, each differing from a base text
// of its length in exactly one byte, at every position: through the cache and through the
// chains (one wrong hash shared by all), each must find its own record and no other.
TEST(StringTable, TextsDifferingInOneByteAnywhereStayApart) {
  PagePool pages;
  SlabPool pool(pages);
  StringTable table(pool);
  for (size_t length = 1; length <= 40; ++length) {
    const std::string base(length, 'k');
    std::vector<std::string> texts = {base};
    for (size_t at = 0; at < length; ++at) {
      std::string changed = base;
      changed[at] = 'q';
      texts.push_back(changed);
    }
    std::vector<InternedString*> cached;
    std::vector<InternedString*> chained;
    for (const std::string& text : texts) {
      cached.push_back(table.intern(text));
      chained.push_back(table.intern(text, 12345u));
    }
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(cached[i]->view(), texts[i]);
      EXPECT_EQ(chained[i]->view(), texts[i]);
      EXPECT_EQ(table.intern(texts[i]), cached[i]);
      EXPECT_EQ(table.intern(texts[i], 12345u), chained[i]);
      for (size_t j = 0; j < i; ++j) {
        EXPECT_NE(cached[i], cached[j]) << texts[i];
        EXPECT_NE(chained[i], chained[j]) << texts[i];
      }
    }
  }
}

// Long texts live on the heap and short ones in the pool; a table is destroyed without visiting
// its records once no long one is left, so the count of heap records must stay exact through
// every intern and release.
TEST(StringTable, DestroyingFreesExactlyTheLongRecordsStillHeld) {
  const std::string longTexts[] = {std::string(200, 'a'), std::string(200, 'b'),
                                   std::string(300, 'c'), std::string(1000, 'd')};
  for (size_t kept = 0; kept <= std::size(longTexts); ++kept) {
    const memory::MemoryCounters before = memory::snapshot();
    {
      PagePool pages;
      SlabPool pool(pages);
      StringTable table(pool);
      std::vector<InternedString*> records;
      for (int i = 0; i < 100; ++i)
        table.intern("short " + std::to_string(i));
      for (const std::string& text : longTexts) {
        records.push_back(table.intern(text));
        // A second reference to the same record, so one release leaves it held.
        EXPECT_EQ(table.intern(text, StringTable::hashOf(text)), records.back());
      }
      const uint64_t heldAtPeak = memory::snapshot().liveAllocations();
      // The records past `kept` go for good before the table does; the others stay held.
      for (size_t i = kept; i < records.size(); ++i) {
        table.release(records[i]);
        table.release(records[i]);
      }
      EXPECT_EQ(memory::snapshot().liveAllocations(), heldAtPeak - (std::size(longTexts) - kept));
      EXPECT_EQ(table.size(), 100 + kept);
    }
    const memory::MemoryCounters after = memory::snapshot();
    EXPECT_EQ(after.bytesInUse(), before.bytesInUse()) << kept << " long records kept";
    EXPECT_EQ(after.liveAllocations(), before.liveAllocations()) << kept << " long records kept";
  }
}

} // namespace
} // namespace tav
