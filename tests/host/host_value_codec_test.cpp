// HostValue codec: round trips through the host's own records, and the faults a decode refuses.
#include "host/host_value_codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tav::host {
namespace {

HostValue zeroed() {
  HostValue value;
  std::memset(&value, 0, sizeof value);
  return value;
}

HostValue span(HostValueKind kind, const void* data, uint32_t length) {
  HostValue value = zeroed();
  value.kind = static_cast<uint32_t>(kind);
  value.span.data = const_cast<void*>(data);
  value.span.length = length;
  return value;
}

class HostValueRoundTrip : public ::testing::TestWithParam<ValueTree> {};

TEST_P(HostValueRoundTrip, DecodesWhatItEncoded) {
  HostValue value = encodeHostValue(GetParam());
  std::string error;
  std::optional<ValueTree> decoded = decodeHostValue(value, &error);
  releaseEncodedValue(value);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(*decoded, GetParam());
  const uint32_t kindAfterRelease = value.kind;
  EXPECT_EQ(kindAfterRelease, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, HostValueRoundTrip,
    ::testing::Values(ValueTree(), ValueTree(true), ValueTree(int64_t{-5}), ValueTree(7u),
                      ValueTree(0.25), ValueTree(""), ValueTree("TOURNAMENT_FLAG"),
                      ValueTree::blob(std::string("a\0b", 3)), ValueTree::blob(""),
                      ValueTree::list({}), ValueTree::map({}),
                      ValueTree::map({{"key", "flag"}, {"value", ValueTree::list({1, 2u, "x"})}}),
                      ValueTree::list({ValueTree::map({{"", ValueTree()}})})));

TEST(HostValueCodec, EncodesTextsAsOwnedWithTheirLengthAndMapKeysAsOwned) {
  HostValue value = encodeHostValue(ValueTree::map({{"uri", "/a"}}));
  const uint32_t kind = value.kind;
  const uint32_t count = value.span.length;
  ASSERT_EQ(kind, static_cast<uint32_t>(HostValueKind::Map));
  ASSERT_EQ(count, 1u);
  const auto* entry = static_cast<const HostMapEntry*>(value.span.data);
  const uint8_t keyOwned = entry->keyOwned;
  const uint32_t entryKind = entry->value.kind;
  const uint32_t length = entry->value.span.length;
  EXPECT_STREQ(entry->key, "uri");
  EXPECT_EQ(keyOwned, 1);
  EXPECT_EQ(entryKind, static_cast<uint32_t>(HostValueKind::OwnedString));
  EXPECT_EQ(length, 2u);
  releaseEncodedValue(value);
}

TEST(HostValueCodec, ReadsBorrowedTextsAndNullPointersAsEmpty) {
  const HostValue borrowed = span(HostValueKind::BorrowedString, "Create", 0);
  EXPECT_EQ(decodeHostValue(borrowed), ValueTree("Create"));
  EXPECT_EQ(decodeHostValue(span(HostValueKind::BorrowedString, nullptr, 0)), ValueTree(""));
  EXPECT_EQ(decodeHostValue(span(HostValueKind::List, nullptr, 0)), ValueTree::list({}));

  HostMapEntry entry{};
  entry.key = nullptr;
  entry.value = borrowed;
  EXPECT_EQ(decodeHostValue(span(HostValueKind::Map, &entry, 1)), ValueTree::map({{"", "Create"}}));
}

struct FaultCase {
  std::string label;
  HostValue value;
  std::string error;
};

class HostValueFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HostValueFault, RefusesWithItsMessage) {
  std::string error;
  EXPECT_FALSE(decodeHostValue(GetParam().value, &error));
  EXPECT_EQ(error, GetParam().error);
}

HostValue unknownKind() {
  HostValue value = zeroed();
  value.kind = 11;
  return value;
}

HostValue nestedUnknownKind() {
  static HostValue items[1] = {unknownKind()};
  return span(HostValueKind::List, items, 1);
}

HostValue selfReferencingList() {
  static HostValue items[1];
  items[0] = span(HostValueKind::List, items, 1);
  return items[0];
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HostValueFault,
    ::testing::Values(FaultCase{"UnknownKind", unknownKind(), "unknown value kind 11"},
                      FaultCase{"UnknownKindInsideList", nestedUnknownKind(),
                                "unknown value kind 11"},
                      FaultCase{"OwnedLengthDiffers", span(HostValueKind::OwnedString, "abc", 5),
                                "owned string length 5 differs from its text length 3"},
                      FaultCase{"NullListWithItems", span(HostValueKind::List, nullptr, 2),
                                "null list with 2 items"},
                      FaultCase{"NullMapWithEntries", span(HostValueKind::Map, nullptr, 1),
                                "null map with 1 entries"},
                      FaultCase{"NullBlobWithBytes", span(HostValueKind::OwnedBlob, nullptr, 4),
                                "null blob with 4 bytes"},
                      FaultCase{"CycleStopsAtDepthLimit", selfReferencingList(),
                                "value nested deeper than 256 levels"}),
    [](const auto& info) { return info.param.label; });

} // namespace
} // namespace tav::host
