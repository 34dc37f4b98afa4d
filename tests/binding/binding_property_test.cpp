// Behaviour of BindingProperty and BindingResult: kinds, getters, collections, structures,
// interning, copy and move between trees, very deep trees and the memory they leave behind.
#include "binding/binding_property.h"

#include "binding/binding_document.h"
#include "binding/page_pool.h"
#include "foundation/memory.h"
#include "tests/binding/failing_allocator.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <random>
#include <ranges>
#include <string>
#include <vector>

namespace tav {
namespace {

using namespace std::string_literals;

std::vector<std::string> keysOf(const BindingProperty& value) {
  std::vector<std::string> keys;
  for (auto [key, member] : value.members())
    keys.emplace_back(key);
  return keys;
}

size_t internedCount(const BindingProperty& value) {
  return value.document() ? value.document()->strings().size() : 0;
}

TEST(BindingKindName, NamesEveryCodeAndNothingBeyond) {
  const std::pair<int, const char*> cases[] = {
      {0, "empty"}, {1, "bool"}, {2, "signed"},     {3, "unsigned"},  {4, "float"}, {5, "string"},
      {6, "blob"},  {7, "enum"}, {8, "collection"}, {9, "structure"}, {10, ""},     {255, ""},
  };
  for (auto [code, name] : cases)
    EXPECT_STREQ(bindingKindName(static_cast<BindingKind>(code)), name) << code;
}

TEST(BindingProperty, SizeFollowsTheKind) {
  BindingProperty structure;
  structure.member("x") = 1;
  structure.member("y") = 2;
  BindingProperty collection;
  collection.element(2);
  struct Case {
    const char* name;
    std::function<void(BindingProperty&)> fill;
    size_t size;
  };
  const Case cases[] = {
      {"empty", [](BindingProperty&) {}, 0},
      {"bool", [](BindingProperty& v) { v = false; }, 1},
      {"signed", [](BindingProperty& v) { v = -5; }, 1},
      {"unsigned", [](BindingProperty& v) { v = 5u; }, 1},
      {"float", [](BindingProperty& v) { v = 0.0; }, 1},
      {"enum",
       [](BindingProperty& v) {
         v = BindingEnum{3, nullptr};
       },
       1},
      {"string", [](BindingProperty& v) { v = "abc"; }, 3},
      {"string with zero byte", [](BindingProperty& v) { v = "a\0b"s; }, 3},
      {"empty string", [](BindingProperty& v) { v = ""; }, 0},
      {"blob",
       [](BindingProperty& v) {
         v = std::vector<uint8_t>{1, 2, 3, 4};
       },
       4},
      {"collection", [&](BindingProperty& v) { v = collection; }, 3},
      {"structure", [&](BindingProperty& v) { v = structure; }, 2},
  };
  for (const Case& c : cases) {
    BindingProperty value;
    c.fill(value);
    EXPECT_EQ(value.size(), c.size) << c.name;
  }
}

TEST(BindingProperty, EmptyStringOwnsNoRecordAndNeedsNoDocument) {
  BindingProperty value;
  value = "";
  EXPECT_TRUE(value.isString());
  EXPECT_EQ(value.size(), 0u);
  EXPECT_EQ(value.document(), nullptr);
  EXPECT_EQ(value.getString("fallback"), "");
  EXPECT_EQ(*value.getString().data(), '\0');

  BindingProperty nullText;
  nullText = static_cast<const char*>(nullptr);
  EXPECT_TRUE(nullText.isString());
  EXPECT_EQ(nullText.size(), 0u);
}

TEST(BindingProperty, GettersReturnThePayloadOnlyForTheirOwnKind) {
  BindingProperty value;
  value = uint64_t{42};
  EXPECT_EQ(value.getSigned(7), 7);
  EXPECT_EQ(value.getUnsigned(7), 42u);
  EXPECT_EQ(value.getFloat(1.5), 1.5);
  EXPECT_EQ(value.getBool(true), true);
  EXPECT_EQ(value.getString("none"), "none");

  value = int64_t{-3};
  EXPECT_EQ(value.getSigned(7), -3);
  EXPECT_EQ(value.getUnsigned(7), 7u);

  value = true;
  EXPECT_EQ(value.getBool(false), true);
  EXPECT_EQ(value.getSigned(9), 9);

  value = 2.25;
  EXPECT_EQ(value.getFloat(), 2.25);
  EXPECT_EQ(value.getUnsigned(1), 1u);

  int typeTag = 0;
  auto* type = reinterpret_cast<const StaticTypeId*>(&typeTag);
  value = BindingEnum{-4, type};
  EXPECT_EQ(value.getEnum().number, -4);
  EXPECT_EQ(value.getEnum().type, type);
  EXPECT_EQ(value.getSigned(7), 7);

  value = "text";
  EXPECT_EQ(value.getEnum(BindingEnum{5, nullptr}).number, 5);
  const uint8_t fallback[] = {9};
  EXPECT_EQ(value.getBlob(fallback).data(), fallback);
}

TEST(BindingProperty, StringsKeepEveryByteAndEndInAZero) {
  BindingProperty value;
  std::string text("a\0b\xff", 4);
  value = text;
  EXPECT_EQ(value.getString(), text);
  EXPECT_EQ(value.getString().data()[4], '\0');
}

TEST(BindingProperty, BlobTakesTheVectorOverWithoutCopying) {
  std::vector<uint8_t> bytes{1, 2, 3};
  const uint8_t* storage = bytes.data();
  BindingProperty value;
  value = std::move(bytes);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(value.getBlob().data(), storage);
  EXPECT_EQ(value.size(), 3u);

  const uint8_t source[] = {7, 8};
  value.setBlob(std::span<const uint8_t>(source));
  ASSERT_EQ(value.size(), 2u);
  EXPECT_NE(value.getBlob().data(), source);
  EXPECT_EQ(value.getBlob()[1], 8);
}

TEST(BindingProperty, AtReadsWithoutChangingAnything) {
  BindingProperty list;
  list.append() = 1;
  list.append() = 2;
  list.append() = 3;
  EXPECT_TRUE(list.at(5).isEmpty());
  EXPECT_EQ(&list.at(5), &BindingProperty::emptyValue());
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(list.at(2).getSigned(), 3);

  BindingProperty text;
  text = "abc";
  EXPECT_TRUE(text.at(0).isEmpty());
  EXPECT_EQ(text.getString(), "abc");
  EXPECT_TRUE(text.elements().empty());
}

TEST(BindingProperty, ElementGrowsTheCollectionWithEmptyElements) {
  BindingProperty list;
  list.append() = 1;
  list.append() = 2;
  list.append() = 3;
  list.element(5) = "six";
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list.at(0).getSigned(), 1);
  EXPECT_EQ(list.at(2).getSigned(), 3);
  EXPECT_TRUE(list.at(3).isEmpty());
  EXPECT_TRUE(list.at(4).isEmpty());
  EXPECT_EQ(list.at(5).getString(), "six");
  EXPECT_EQ(list.at(3).document(), list.document());
  EXPECT_FALSE(list.at(3).ownsDocument());

  list.element(1) = 20;
  EXPECT_EQ(list.size(), 6u);
  EXPECT_EQ(list.at(1).getSigned(), 20);
}

TEST(BindingProperty, ElementBeyondAddressableMemoryFailsCleanly) {
  BindingProperty list;
  list.append() = 1;
  EXPECT_THROW(list.element(std::numeric_limits<size_t>::max()), std::bad_alloc);
  EXPECT_THROW(list.element(std::numeric_limits<size_t>::max() / 2), std::bad_alloc);
  EXPECT_THROW(list.reserve(std::numeric_limits<size_t>::max() / 4), std::bad_alloc);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.at(0).getSigned(), 1);
}

TEST(BindingProperty, CollectionCallsTurnOtherKindsIntoCollections) {
  BindingProperty value;
  value.member("a") = 1;
  value.reserve(10); // not a collection yet: nothing happens
  EXPECT_TRUE(value.isStructure());
  value.makeCollection();
  EXPECT_TRUE(value.isCollection());
  EXPECT_EQ(value.size(), 0u);

  BindingProperty scalar;
  scalar = 5;
  scalar.append() = "x";
  ASSERT_TRUE(scalar.isCollection());
  EXPECT_EQ(scalar.at(0).getString(), "x");
}

// Whatever the value held goes (its strings with it), and the elements are children of its
// document, whether the array is a pool block (up to three) or on the heap.
TEST(BindingProperty, MakeCollectionOfReplacesAnyValueWithEmptyElements) {
  for (size_t count : {0, 1, 3, 4, 16}) {
    BindingProperty fresh, text, record, list;
    text = "old";
    record.member("k") = "v";
    list.append() = 1;
    for (BindingProperty* value : {&fresh, &text, &record, &list}) {
      BindingProperty* first = value->makeCollectionOf(count);
      ASSERT_TRUE(value->isCollection());
      ASSERT_EQ(value->size(), count);
      EXPECT_EQ(first, count == 0 ? nullptr : value->elements().data());
      EXPECT_EQ(internedCount(*value), 0u);
      for (const BindingProperty& element : value->elements()) {
        EXPECT_TRUE(element.isEmpty());
        EXPECT_EQ(element.document(), value->document());
        EXPECT_FALSE(element.ownsDocument());
      }
      value->append() = "next";
      EXPECT_EQ(value->at(count).getString(), "next") << count;
    }
  }
}

TEST(BindingProperty, MemberOnASignedValueMakesAStructureWithOneEmptyMember) {
  BindingProperty value;
  value = int64_t{12};
  BindingProperty& member = value.member("k");
  EXPECT_TRUE(member.isEmpty());
  EXPECT_TRUE(value.isStructure());
  EXPECT_EQ(value.size(), 1u);
  EXPECT_EQ(value.getSigned(-1), -1);
  EXPECT_EQ(keysOf(value), std::vector<std::string>{"k"});
}

TEST(BindingProperty, FindAndContainsOnlyReadStructures) {
  BindingProperty value;
  EXPECT_TRUE(value.find("a").isEmpty());
  EXPECT_FALSE(value.contains("a"));
  value.member("a") = 1;
  EXPECT_TRUE(value.contains("a"));
  EXPECT_FALSE(value.contains("b"));
  EXPECT_EQ(&value.find("b"), &BindingProperty::emptyValue());
  EXPECT_EQ(value.size(), 1u);
  EXPECT_EQ(value.find("a").getSigned(), 1);
}

TEST(BindingProperty, MembersIterateInUnsignedByteOrder) {
  struct Case {
    std::vector<std::string> inserted;
    std::vector<std::string> iterated;
  };
  const Case cases[] = {
      {{"b", "A", "a"}, {"A", "a", "b"}},
      {{"a", "B"}, {"B", "a"}},
      {{"ab", "a", "", "b"}, {"", "a", "ab", "b"}},
      // Bytes above 0x7F sort after ASCII, as unsigned bytes do.
      {{"\xc3\xa9", "z", "Z"}, {"Z", "z", "\xc3\xa9"}},
      // Keys with zero bytes stay distinct and sort by all their bytes.
      {{"a\0b"s, "a", "a\0"s, "a\0a"s}, {"a", "a\0"s, "a\0a"s, "a\0b"s}},
  };
  for (const Case& c : cases) {
    BindingProperty value;
    for (const std::string& key : c.inserted)
      value.member(key) = key;
    EXPECT_EQ(keysOf(value), c.iterated);
    for (auto [key, member] : value.members())
      EXPECT_EQ(member.getString(), key);
  }
}

// Keys sharing their first bytes are told apart by comparing words: every length across the
// word steps, bytes on both sides of 0x7F and zero bytes must still sort as unsigned bytes do.
TEST(BindingProperty, KeysSharingAPrefixSortAsUnsignedBytesAtEveryLength) {
  const char bytes[] = {'\0', 'a', 'b', '\x7f', '\x80', '\xff'};
  std::mt19937 random(7);
  std::vector<std::string> keys;
  for (int i = 0; i < 400; ++i) {
    std::string key = i % 2 == 0 ? "prefix" : "pref";
    const size_t tail = random() % 21;
    for (size_t j = 0; j < tail; ++j)
      key += bytes[random() % sizeof bytes];
    keys.push_back(key);
  }
  BindingProperty value;
  for (const std::string& key : keys)
    value.member(key) = key;
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  EXPECT_EQ(keysOf(value), keys);
  for (const std::string& key : keys)
    EXPECT_EQ(value.find(key).getString(), key);
}

TEST(BindingProperty, ManyMembersStayOrderedAndFindable) {
  BindingProperty value;
  std::vector<std::string> keys;
  for (int i = 0; i < 2000; ++i) {
    // A scrambled insertion order exercises every rebalancing case.
    std::string key = std::to_string((i * 7919) % 2000);
    keys.push_back(key);
    value.member(key) = i;
  }
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keysOf(value), keys);
  EXPECT_EQ(value.size(), 2000u);
  for (int i = 0; i < 2000; ++i)
    EXPECT_EQ(value.find(std::to_string((i * 7919) % 2000)).getSigned(), i);
}

// A key met again finds its node and takes no further reference to its text, whatever the order
// the keys came in: once the structure goes, no record is left.
TEST(BindingProperty, MemberLookupsOfPresentKeysTakeNoReference) {
  for (int step : {1, 1999, 7919}) {
    BindingProperty value;
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < 2000; ++i)
        value.member("member-" + std::to_string(i * step % 2000)) = i;
    }
    EXPECT_EQ(value.size(), 2000u) << step;
    EXPECT_EQ(internedCount(value), 2000u) << step;
    value.clear();
    EXPECT_EQ(internedCount(value), 0u) << step;
  }
}

static_assert(std::ranges::forward_range<BindingProperty::MemberRange>);
static_assert(std::ranges::forward_range<BindingProperty::ConstMemberRange>);

TEST(BindingProperty, MemberValuesCanBeWrittenThroughTheRange) {
  BindingProperty value;
  value.member("a") = 1;
  value.member("b") = 2;
  for (auto [key, member] : value.members())
    member = std::string(key) + "!";
  EXPECT_EQ(value.find("a").getString(), "a!");
  EXPECT_EQ(value.find("b").getString(), "b!");
  const BindingProperty& constant = value;
  size_t seen = 0;
  for (auto [key, member] : constant.members())
    seen += member.size();
  EXPECT_EQ(seen, 4u);
  EXPECT_EQ(constant.members().size(), 2u);
}

TEST(BindingProperty, EqualTextsShareOneRecordUntilTheLastIsCleared) {
  BindingProperty value;
  value.member("x") = "shared text";
  value.member("y") = "shared text";
  // Two keys and one text.
  EXPECT_EQ(internedCount(value), 3u);
  EXPECT_EQ(value.find("x").getString().data(), value.find("y").getString().data());

  value.member("x").clear();
  EXPECT_EQ(value.find("y").getString(), "shared text");
  EXPECT_EQ(internedCount(value), 3u);

  value.member("y").clear();
  EXPECT_EQ(internedCount(value), 2u);
}

TEST(BindingProperty, StringTableResetsWhenItsLastRecordGoes) {
  BindingProperty list;
  for (int i = 0; i < 20; ++i)
    list.append() = "text " + std::to_string(i);
  const StringTable& table = list.document()->strings();
  EXPECT_EQ(table.size(), 20u);
  EXPECT_EQ(table.bucketCount(), 32u);
  list.clear();
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.bucketCount(), StringTable::kInitialBuckets);
  list.append() = "again";
  EXPECT_EQ(list.at(0).getString(), "again");
}

TEST(BindingProperty, SettingATextFromTheValueItselfIsSafe) {
  BindingProperty value;
  value = "a longer text that outlives nothing";
  value = value.getString().substr(2);
  EXPECT_EQ(value.getString(), "longer text that outlives nothing");

  BindingProperty holder;
  holder.member("key") = "inner text";
  holder = holder.find("key").getString();
  EXPECT_EQ(holder.getString(), "inner text");

  BindingProperty keyed;
  keyed = "name";
  keyed.member(keyed.getString()) = 1;
  EXPECT_EQ(keysOf(keyed), std::vector<std::string>{"name"});
}

TEST(BindingProperty, CopyIsDeepAndIndependent) {
  BindingProperty original;
  original.member("list").append() = "one";
  original.member("list").append() = std::vector<uint8_t>{1, 2};
  original.member("enum") = BindingEnum{3, nullptr};
  original.member("n") = 2.5;

  BindingProperty copy(original);
  EXPECT_NE(copy.document(), original.document());
  copy.member("list").element(0) = "changed";
  copy.member("enum") = BindingEnum{4, nullptr};
  EXPECT_EQ(original.find("list").at(0).getString(), "one");
  EXPECT_EQ(original.find("enum").getEnum().number, 3);
  EXPECT_EQ(copy.find("list").at(1).getBlob().size(), 2u);
  EXPECT_EQ(copy.find("n").getFloat(), 2.5);
  EXPECT_EQ(keysOf(copy), keysOf(original));

  BindingProperty& self = original;
  original = self;
  EXPECT_EQ(original.find("list").size(), 2u);
}

TEST(BindingProperty, CopyBetweenAValueAndItsOwnParts) {
  BindingProperty root;
  root.member("a").member("b") = "leaf";
  // An ancestor copied into its descendant is read whole before the descendant changes.
  root.member("a").member("b") = root;
  EXPECT_EQ(root.find("a").find("b").find("a").find("b").getString(), "leaf");

  // A descendant copied over its ancestor survives the ancestor's release.
  BindingProperty tree;
  tree.member("x").append() = "kept";
  tree = tree.find("x");
  ASSERT_TRUE(tree.isCollection());
  EXPECT_EQ(tree.at(0).getString(), "kept");

  BindingProperty list;
  list.append() = "s";
  list.element(0) = list;
  EXPECT_EQ(list.at(0).at(0).getString(), "s");
}

TEST(BindingProperty, MoveBetweenRootsExchangesDocumentsWithoutCopying) {
  BindingProperty source;
  source.member("big").append() = "payload";
  BindingProperty target;
  target = "old";
  BindingDocument* sourceDocument = source.document();
  BindingDocument* targetDocument = target.document();

  uint64_t allocationsBefore = memory::snapshot().totalAllocations;
  target = std::move(source);
  EXPECT_EQ(memory::snapshot().totalAllocations, allocationsBefore);

  EXPECT_EQ(target.document(), sourceDocument);
  EXPECT_EQ(source.document(), targetDocument);
  EXPECT_TRUE(source.isEmpty());
  EXPECT_EQ(internedCount(source), 0u);
  EXPECT_EQ(target.find("big").at(0).getString(), "payload");

  BindingProperty constructed(std::move(target));
  EXPECT_EQ(constructed.document(), sourceDocument);
  EXPECT_TRUE(target.isEmpty());
}

TEST(BindingProperty, MoveFromOrIntoAChildDeepCopies) {
  BindingProperty tree;
  tree.member("child").member("k") = "v";
  BindingProperty root;
  root = std::move(tree.member("child"));
  EXPECT_NE(root.document(), tree.document());
  EXPECT_EQ(root.find("k").getString(), "v");
  EXPECT_TRUE(tree.find("child").isEmpty());
  EXPECT_TRUE(tree.contains("child"));

  BindingProperty other;
  other.member("slot") = std::move(root);
  EXPECT_TRUE(root.isEmpty());
  EXPECT_EQ(other.find("slot").find("k").getString(), "v");
  EXPECT_EQ(other.find("slot").document(), other.document());

  BindingProperty built(std::move(other.member("slot")));
  EXPECT_TRUE(built.ownsDocument());
  EXPECT_NE(built.document(), other.document());
  EXPECT_EQ(built.find("k").getString(), "v");
  EXPECT_TRUE(other.find("slot").isEmpty());
}

TEST(BindingProperty, MoveWithinOneTreeHandsThePayloadOver) {
  BindingProperty root;
  root.member("a").member("b").append() = "deep";
  root.member("c") = 1;
  // A child over its own root: the root becomes the child's value.
  root = std::move(root.member("a"));
  EXPECT_EQ(keysOf(root), std::vector<std::string>{"b"});
  EXPECT_EQ(root.find("b").at(0).getString(), "deep");

  // Between siblings.
  root.member("z") = std::move(root.member("b"));
  EXPECT_TRUE(root.find("b").isEmpty());
  EXPECT_EQ(root.find("z").at(0).getString(), "deep");

  // A child over its own parent inside the tree.
  root.member("z") = std::move(root.member("z").element(0));
  EXPECT_EQ(root.find("z").getString(), "deep");

  // Into a part of itself: the source is cleared and the target goes with it.
  root.member("w").member("inner") = 5;
  root.member("w").member("inner") = std::move(root.member("w"));
  EXPECT_TRUE(root.find("w").isEmpty());
  EXPECT_EQ(root.find("z").getString(), "deep");
}

// A move that has to copy (from or into a part of a tree) can run out of memory. That must reach
// the caller as std::bad_alloc with the source still whole, not end the process.
TEST(BindingPropertyDeathTest, MoveThatCopiesReportsRunningOutOfMemory) {
  using Move = void (*)(BindingProperty & tree, BindingProperty & root);
  const Move moves[] = {
      [](BindingProperty& tree, BindingProperty&) {
        BindingProperty moved(std::move(tree.member("child")));
      },
      [](BindingProperty& tree, BindingProperty&) {
        BindingProperty moved;
        moved = std::move(tree.member("child"));
      },
      [](BindingProperty& tree, BindingProperty& root) { tree.member("slot") = std::move(root); },
  };
  for (const Move move : moves) {
    EXPECT_EXIT(
        {
          // Too long for the pool: each text's record is on the heap, so copying either tree
          // into the other's document allocates.
          const std::string text(100, 't');
          const std::string rootText(100, 'r');
          BindingProperty tree;
          tree.member("child").member("k") = text;
          tree.member("slot");
          BindingProperty root;
          root.member("k") = rootText;
          test::FailingAllocator::install();
          test::FailingAllocator::countdown = 0;
          try {
            move(tree, root);
          } catch (const std::bad_alloc&) {
            const bool whole = tree.find("child").find("k").getString() == text &&
                               root.find("k").getString() == rootText;
            std::_Exit(whole ? 0 : 2);
          }
          std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

TEST(BindingProperty, ReplaceWithPartKeepsOnlyThePartAndItsStrings) {
  BindingProperty root;
  root.member("outer").member("items").append() = "kept";
  root.member("outer").member("dropped") = "gone";
  BindingProperty& outer = root.member("outer");
  BindingProperty& items = outer.member("items");
  outer.replaceWithPart(items);
  ASSERT_TRUE(root.find("outer").isCollection());
  EXPECT_EQ(root.find("outer").at(0).getString(), "kept");
  EXPECT_EQ(keysOf(root), std::vector<std::string>{"outer"});
  // The released member names and value are gone from the table: "outer" and "kept" remain.
  EXPECT_EQ(root.document()->strings().size(), 2u);

  // A scalar part, and the value itself, which stays as it is.
  root.member("n").member("m") = 7;
  root.member("n").replaceWithPart(root.member("n").member("m"));
  EXPECT_EQ(root.find("n").getSigned(), 7);
  root.replaceWithPart(root);
  EXPECT_EQ(root.size(), 2u);
}

TEST(BindingResult, StartsOkWithoutMessage) {
  BindingResult result;
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.errorMessage(), "");
  result.member("error") = "not an error while ok";
  EXPECT_EQ(result.errorMessage(), "");
}

TEST(BindingResult, SetErrorReplacesTheValueWithTheErrorStructure) {
  BindingResult result;
  result.append() = 1;
  result.append() = 2;
  result.setError("bad input");
  EXPECT_FALSE(result.ok());
  EXPECT_TRUE(result.isStructure());
  EXPECT_EQ(keysOf(result), std::vector<std::string>{"error"});
  EXPECT_EQ(result.find("error").getString(), "bad input");
  EXPECT_EQ(result.errorMessage(), "bad input");

  result.member("error") = 5;
  EXPECT_EQ(result.errorMessage(), "");
}

TEST(BindingResult, SetErrorAcceptsAMessageFromItsOwnValue) {
  BindingResult result;
  result.member("detail") = "a message long enough to live on the heap, not in the pool";
  result.setError(result.find("detail").getString());
  EXPECT_EQ(result.errorMessage(), "a message long enough to live on the heap, not in the pool");
}

// Builds a chain `depth` levels deep, alternating structures and collections, through the public
// interface only.
void buildChain(BindingProperty& root, size_t depth) {
  BindingProperty* node = &root;
  for (size_t i = 0; i < depth; ++i)
    node = i % 2 ? &node->append() : &node->member("next");
  *node = "bottom";
}

size_t chainDepth(const BindingProperty& root) {
  const BindingProperty* node = &root;
  size_t depth = 0;
  while (node->isStructure() || node->isCollection()) {
    node = node->isStructure() ? &node->find("next") : &node->at(0);
    ++depth;
  }
  return node->getString() == "bottom" ? depth : 0;
}

void deepTreeRoundTrip() {
  constexpr size_t kDepth = 100000;
  BindingProperty tree;
  buildChain(tree, kDepth);
  EXPECT_EQ(chainDepth(tree), kDepth);

  BindingProperty copy(tree);
  EXPECT_EQ(chainDepth(copy), kDepth);

  BindingProperty holder;
  holder.member("slot") = copy;
  EXPECT_EQ(chainDepth(holder.find("slot")), kDepth);

  BindingProperty moved;
  moved = std::move(tree);
  EXPECT_EQ(chainDepth(moved), kDepth);
  BindingProperty fromChild(std::move(holder.member("slot")));
  EXPECT_EQ(chainDepth(fromChild), kDepth);

  copy.clear();
  holder.member("slot") = std::move(fromChild);
  EXPECT_EQ(chainDepth(holder.find("slot")), kDepth);
}

// Runs `body` on a thread with the given stack size and waits for it.
void runOnStack(size_t stackBytes, void (*body)()) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void* argument) -> void* {
                  reinterpret_cast<void (*)()>(argument)();
                  return nullptr;
                },
                reinterpret_cast<void*>(body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST(BindingProperty, TreeOfAHundredThousandLevelsOnTheDefaultStack) {
  runOnStack(8u << 20, deepTreeRoundTrip);
}

TEST(BindingProperty, TreeOfAHundredThousandLevelsOnASmallStack) {
  runOnStack(128u << 10, deepTreeRoundTrip);
}

void buildMixedTree(BindingProperty& root, int seed) {
  for (int i = 0; i < 300; ++i) {
    BindingProperty& item = root.member("item " + std::to_string(i % 97)).append();
    item.member("name") = "a name that is long enough to need the heap " + std::to_string(seed);
    item.member("short") = "s";
    item.member("count") = i;
    item.member("bytes") = std::vector<uint8_t>(static_cast<size_t>(i % 5), 1);
    item.member("kind") = BindingEnum{i, nullptr};
    item.member("list").element(static_cast<size_t>(i % 4)) = 1.5;
  }
}

TEST(BindingProperty, BuildingAndDestroyingLeavesTheHeapAndPagePoolAsTheyWere) {
  auto buildCopyMoveAndDestroy = [] {
    BindingProperty tree;
    buildMixedTree(tree, 1);
    EXPECT_GT(PagePool::shared().stats().pagesInUse, 0u);
    BindingProperty copy(tree);
    BindingProperty other;
    buildMixedTree(other, 2);
    other.member("item 3") = std::move(copy);
    tree.member("item 5").clear();
    other = std::move(tree);
  };
  // The first round lets the page pool's own bookkeeping reach its size.
  buildCopyMoveAndDestroy();
  uint64_t bytesBefore = memory::snapshot().bytesInUse();
  // Cached pages keep their regions; emptied, the regions left are those of pages in use.
  PagePool::shared().emptyCache();
  PagePool::Stats pagesBefore = PagePool::shared().stats();
  buildCopyMoveAndDestroy();
  EXPECT_EQ(memory::snapshot().bytesInUse(), bytesBefore);
  PagePool::shared().emptyCache();
  PagePool::Stats pagesAfter = PagePool::shared().stats();
  EXPECT_EQ(pagesAfter.pagesInUse, pagesBefore.pagesInUse);
  EXPECT_EQ(pagesAfter.regions - pagesAfter.spareRegions,
            pagesBefore.regions - pagesBefore.spareRegions);
  EXPECT_LE(pagesAfter.spareRegions, PagePool::kSharedSpareRegions);
}

TEST(BindingProperty, ClearingPartsReturnsTheirPages) {
  BindingProperty tree;
  tree.member("keep") = 1;
  tree.member("part") = 0;
  PagePool::Stats before = PagePool::shared().stats();
  for (int i = 0; i < 2000; ++i)
    tree.member("part").member("k" + std::to_string(i)) = i;
  EXPECT_GT(PagePool::shared().stats().pagesInUse, before.pagesInUse);
  tree.member("part").clear();
  EXPECT_EQ(PagePool::shared().stats().pagesInUse, before.pagesInUse);
  EXPECT_EQ(tree.find("keep").getSigned(), 1);
}

} // namespace
} // namespace tav
