// HostValue conversions: every kind both ways, release without leaks, repeated keys, null
// pointers from the host, unknown kinds and trees far deeper than any thread stack.
#include "binding/host_value_conversion.h"

#include "binding/binding_type_registry.h"
#include "foundation/memory.h"
#include "tests/binding/failing_allocator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Packed record fields are compared as "+field": the unary plus copies them, since gtest binds
// its arguments to references and a reference to a misaligned field is undefined.
namespace tav {
namespace {

using host::HostMapEntry;
using host::HostValue;
using host::HostValueKind;

enum class Tone : int32_t { Low = 1, High = 2 };

uint32_t kindOf(HostValueKind kind) {
  return static_cast<uint32_t>(kind);
}

HostValue zeroed() {
  HostValue value;
  std::memset(&value, 0, sizeof value);
  return value;
}

HostValue borrowedText(const char* text) {
  HostValue value = zeroed();
  value.kind = kindOf(HostValueKind::BorrowedString);
  value.span.data = const_cast<char*>(text);
  value.span.length = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
  return value;
}

HostValue signedHost(int64_t number) {
  HostValue value = zeroed();
  value.kind = kindOf(HostValueKind::Signed);
  value.integer = number;
  return value;
}

template <size_t N> HostValue mapOf(HostMapEntry (&entries)[N]) {
  HostValue value = zeroed();
  value.kind = kindOf(HostValueKind::Map);
  value.span.data = entries;
  value.span.length = N;
  return value;
}

struct HostValueConversion : ::testing::Test {
  void SetUp() override { registry.registerType<Tone>("Tone").addValue("High", Tone::High); }

  BindingTypeRegistry registry;
};

// The two ways of building an owned record: an allocation per text and array, or one block.
struct Layout {
  const char* name;
  bool (*write)(HostValue&, const BindingProperty&, const BindingTypeRegistry*);
  void (*release)(HostValue&);
};

const Layout kLayouts[] = {{"Separate", &toHostValue, &releaseHostValue},
                           {"Packed", &toPackedHostValue, &releasePackedHostValue}};

struct HostValueLayout : HostValueConversion, ::testing::WithParamInterface<Layout> {
  bool write(HostValue& out, const BindingProperty& input, const BindingTypeRegistry* types) {
    return GetParam().write(out, input, types);
  }
  void release(HostValue& value) { GetParam().release(value); }
};

INSTANTIATE_TEST_SUITE_P(BothLayouts, HostValueLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs body twice and checks that the second run gives back every byte it took. The first run
// lets the shared page pool grow its own bookkeeping, which it keeps for the process.
template <typename Body> void expectNoLeak(Body body) {
  body();
  const uint64_t before = memory::snapshot().bytesInUse();
  body();
  EXPECT_EQ(memory::snapshot().bytesInUse(), before);
}

BindingProperty everyKind() {
  BindingProperty root;
  root.member("empty");
  root.member("bool") = true;
  root.member("signed").setSigned(-42);
  root.member("unsigned").setUnsigned(1ull << 63);
  root.member("float") = 2.5;
  root.member("string") = "text";
  root.member("blob").setBlob(std::vector<uint8_t>{0, 1, 2, 255});
  BindingProperty& list = root.member("list");
  list.append().setSigned(1);
  list.append() = "two";
  list.append().member("three") = false;
  root.member("emptyList").makeCollection();
  root.member("emptyMap").makeStructure();
  root.member("emptyText") = "";
  root.member("emptyBlob").setBlob(std::vector<uint8_t>{});
  return root;
}

TEST_P(HostValueLayout, EveryKindRoundTripsAndReleasesWithoutLeaks) {
  expectNoLeak([&] {
    const BindingProperty source = everyKind();
    HostValue host;
    ASSERT_TRUE(write(host, source, &registry));
    ASSERT_EQ(+host.kind, kindOf(HostValueKind::Map));
    ASSERT_EQ(+host.span.length, source.size());
    const auto* entries = static_cast<const HostMapEntry*>(host.span.data);
    for (uint32_t i = 0; i < host.span.length; ++i) {
      EXPECT_EQ(+entries[i].keyOwned, 1);
    }

    BindingProperty back;
    host::HostResponse errors{};
    ASSERT_TRUE(fromHostValue(errors, back, host, "<result>"));
    EXPECT_EQ(+errors.error, nullptr);
    EXPECT_TRUE(back.find("empty").isEmpty());
    EXPECT_TRUE(back.contains("empty"));
    EXPECT_TRUE(back.find("bool").getBool());
    EXPECT_EQ(back.find("signed").getSigned(), -42);
    EXPECT_EQ(back.find("unsigned").getUnsigned(), 1ull << 63);
    EXPECT_EQ(back.find("float").getFloat(), 2.5);
    EXPECT_EQ(back.find("string").getString(), "text");
    const auto blob = back.find("blob").getBlob();
    EXPECT_EQ(std::vector<uint8_t>(blob.begin(), blob.end()), (std::vector<uint8_t>{0, 1, 2, 255}));
    EXPECT_EQ(back.find("list").size(), 3u);
    EXPECT_EQ(back.find("list").at(1).getString(), "two");
    EXPECT_EQ(back.find("list").at(2).find("three").kind(), BindingKind::Bool);
    EXPECT_TRUE(back.find("emptyList").isCollection());
    EXPECT_TRUE(back.find("emptyMap").isStructure());
    EXPECT_TRUE(back.find("emptyText").isString());
    EXPECT_EQ(back.find("emptyBlob").kind(), BindingKind::Blob);

    release(host);
    EXPECT_EQ(+host.kind, 0u);
    EXPECT_EQ(+host.span.data, nullptr);
  });
}

// Memory running out at any allocation of a separate record answers false with the record zeroed
// and every piece taken so far given back; nothing is thrown, and releasing takes no memory.
TEST_F(HostValueConversion, SeparateRecordThatRunsOutOfMemoryLeavesNothingBehind) {
  const BindingProperty source = everyKind();
  EXPECT_EXIT(
      {
        test::FailingAllocator::install();
        const std::string refused = test::FailingAllocator::sweep(
            [&]() -> std::string {
              HostValue out = zeroed();
              const int64_t before = test::FailingAllocator::live;
              const bool written = toHostValue(out, source, &registry);
              const bool isZero = +out.kind == 0 && +out.span.data == nullptr;
              releaseHostValue(out);
              const int64_t left = test::FailingAllocator::live - before;
              if (!written && !isZero) {
                return "failed without zeroing the record";
              }
              return left == 0 ? "" : std::to_string(left) + " blocks left";
            },
            [](const std::string&) { return false; });
        std::fprintf(stderr, "%s", refused.c_str());
        std::_Exit(refused.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_P(HostValueLayout, ScalarsAndTextsUseTheirKindsAndOwnedCopies) {
  BindingProperty text;
  text = "abc";
  HostValue host;
  ASSERT_TRUE(write(host, text, nullptr));
  EXPECT_EQ(+host.kind, kindOf(HostValueKind::OwnedString));
  EXPECT_EQ(+host.span.length, 3u);
  EXPECT_STREQ(static_cast<const char*>(host.span.data), "abc");
  EXPECT_NE(+host.span.data, text.getString().data());
  release(host);

  BindingProperty blob;
  blob.setBlob(std::vector<uint8_t>{9, 8});
  ASSERT_TRUE(write(host, blob, nullptr));
  EXPECT_EQ(+host.kind, kindOf(HostValueKind::OwnedBlob));
  EXPECT_EQ(+host.span.length, 2u);
  release(host);

  BindingProperty number;
  number.setUnsigned(5);
  ASSERT_TRUE(write(host, number, nullptr));
  EXPECT_EQ(+host.kind, kindOf(HostValueKind::Unsigned));
  EXPECT_EQ(+host.unsignedInteger, 5u);
}

TEST_P(HostValueLayout, EnumsTravelByNameWhenTheRegistryKnowsThem) {
  BindingProperty known;
  known.setEnum({2, &typeId<Tone>()});
  HostValue host;
  ASSERT_TRUE(write(host, known, &registry));
  EXPECT_EQ(+host.kind, kindOf(HostValueKind::OwnedString));
  EXPECT_STREQ(static_cast<const char*>(host.span.data), "High");
  release(host);

  ASSERT_TRUE(write(host, known, nullptr));
  EXPECT_EQ(+host.kind, kindOf(HostValueKind::Signed));
  EXPECT_EQ(+host.integer, 2);

  BindingProperty unnamed;
  unnamed.setEnum({-3, &typeId<Tone>()});
  ASSERT_TRUE(write(host, unnamed, &registry));
  EXPECT_EQ(+host.kind, kindOf(HostValueKind::Signed));
  EXPECT_EQ(+host.integer, -3) << "sign-extended";
}

TEST_P(HostValueLayout, StructureEntriesFollowKeyOrder) {
  BindingProperty value;
  value.member("b").setSigned(1);
  value.member("A").setSigned(2);
  value.member("a").setSigned(3);
  HostValue host;
  ASSERT_TRUE(write(host, value, nullptr));
  const auto* entries = static_cast<const HostMapEntry*>(host.span.data);
  ASSERT_EQ(+host.span.length, 3u);
  EXPECT_STREQ(entries[0].key, "A");
  EXPECT_STREQ(entries[1].key, "a");
  EXPECT_STREQ(entries[2].key, "b");
  EXPECT_EQ(+entries[2].value.integer, 1);
  release(host);
}

// Every array, key and text of a packed record lies in the one block that starts at the root's
// data, so a record of any shape is one live allocation and its release gives all of it back.
TEST_F(HostValueConversion, PackedRecordIsOneBlockStartingAtTheRoot) {
  BindingProperty text;
  text = "only";
  BindingProperty blob;
  blob.setBlob(std::vector<uint8_t>{1, 2, 3});
  BindingProperty named;
  named.setEnum({2, &typeId<Tone>()});
  BindingProperty number;
  number = 1.5;
  BindingProperty emptyList;
  emptyList.makeCollection();
  const struct {
    BindingProperty source;
    bool hasPayload; // whether anything needs a block
  } cases[] = {{everyKind(), true}, {text, true},    {blob, true},
               {named, true},       {number, false}, {emptyList, false}};
  for (const auto& [source, hasPayload] : cases) {
    const memory::MemoryCounters before = memory::snapshot();
    HostValue host;
    ASSERT_TRUE(toPackedHostValue(host, source, &registry));
    const memory::MemoryCounters built = memory::snapshot();
    EXPECT_EQ(built.liveAllocations() - before.liveAllocations(), hasPayload ? 1u : 0u)
        << static_cast<int>(source.kind());

    { // the walk's own vector is gone before the counts are compared again
      // Walk the record: every pointer it holds must fall inside the block.
      const auto* first = static_cast<const char*>(hasPayload ? host.span.data : nullptr);
      const size_t size = first == nullptr ? 0 : memory::usableSize(host.span.data);
      std::vector<const HostValue*> pending{&host};
      const auto inBlock = [&](const void* pointer) {
        const auto* at = static_cast<const char*>(pointer);
        return pointer == nullptr || (at >= first && at < first + size);
      };
      while (!pending.empty()) {
        const HostValue* value = pending.back();
        pending.pop_back();
        switch (static_cast<HostValueKind>(value->kind)) {
        case HostValueKind::OwnedString:
        case HostValueKind::OwnedBlob:
          EXPECT_TRUE(inBlock(value->span.data));
          break;
        case HostValueKind::List:
          EXPECT_TRUE(inBlock(value->span.data));
          for (uint32_t i = 0; i < value->span.length; ++i) {
            pending.push_back(&static_cast<const HostValue*>(value->span.data)[i]);
          }
          break;
        case HostValueKind::Map:
          EXPECT_TRUE(inBlock(value->span.data));
          for (uint32_t i = 0; i < value->span.length; ++i) {
            const HostMapEntry& entry = static_cast<const HostMapEntry*>(value->span.data)[i];
            EXPECT_TRUE(inBlock(entry.key)) << entry.key;
            pending.push_back(&entry.value);
          }
          break;
        default:
          break;
        }
      }
    }

    releasePackedHostValue(host);
    EXPECT_EQ(+host.kind, 0u);
    EXPECT_EQ(memory::snapshot().liveAllocations(), before.liveAllocations());
  }
}

TEST_F(HostValueConversion, BorrowedKindsAreReadAndRepeatedKeysKeepTheLaterValue) {
  static const uint8_t bytes[] = {7, 0, 7};
  HostValue blob = zeroed();
  blob.kind = kindOf(HostValueKind::BorrowedBlob);
  blob.span.data = const_cast<uint8_t*>(bytes);
  blob.span.length = 3;

  HostMapEntry inner[] = {{"x", signedHost(1), 0}};
  HostMapEntry entries[] = {
      {"same", signedHost(1), 0},  {"blob", blob, 0},          {"same", borrowedText("later"), 0},
      {"deep", mapOf(inner), 0},   {"deep", signedHost(5), 0}, {"scalar", signedHost(6), 0},
      {"scalar", mapOf(inner), 0},
  };
  const HostValue map = mapOf(entries);
  BindingProperty out;
  host::HostResponse errors{};
  ASSERT_TRUE(fromHostValue(errors, out, map, "<value>"));
  EXPECT_EQ(out.size(), 4u);
  EXPECT_EQ(out.find("same").getString(), "later");
  EXPECT_EQ(out.find("blob").size(), 3u);
  EXPECT_EQ(out.find("deep").getSigned(), 5);
  EXPECT_TRUE(out.find("scalar").isStructure());
  EXPECT_EQ(out.find("scalar").find("x").getSigned(), 1);
}

TEST_F(HostValueConversion, NullPointersReadAsEmpty) {
  HostValue text = borrowedText(nullptr);
  text.kind = kindOf(HostValueKind::OwnedString);
  text.span.length = 12;
  HostValue blob = zeroed();
  blob.kind = kindOf(HostValueKind::OwnedBlob);
  blob.span.length = 5;
  HostValue list = zeroed();
  list.kind = kindOf(HostValueKind::List);
  list.span.length = 3;
  HostValue map = zeroed();
  map.kind = kindOf(HostValueKind::Map);
  map.span.length = 2;
  HostMapEntry entries[] = {{nullptr, text, 0}, {"b", blob, 0}, {"l", list, 0}, {"m", map, 0}};

  BindingProperty out;
  host::HostResponse errors{};
  ASSERT_TRUE(fromHostValue(errors, out, mapOf(entries), "<value>"));
  ASSERT_TRUE(out.contains(""));
  EXPECT_TRUE(out.find("").isString());
  EXPECT_EQ(out.find("").size(), 0u);
  EXPECT_EQ(out.find("b").kind(), BindingKind::Blob);
  EXPECT_EQ(out.find("b").size(), 0u);
  EXPECT_TRUE(out.find("l").isCollection());
  EXPECT_EQ(out.find("l").size(), 0u);
  EXPECT_TRUE(out.find("m").isStructure());
  EXPECT_EQ(out.find("m").size(), 0u);
}

TEST_F(HostValueConversion, UnknownKindFillsTheErrorRecord) {
  expectNoLeak([] {
    HostValue unknown = zeroed();
    unknown.kind = 11;
    HostValue items[] = {signedHost(1), unknown};
    HostValue list = zeroed();
    list.kind = kindOf(HostValueKind::List);
    list.span.data = items;
    list.span.length = 2;

    host::HostResponse response{};
    BindingProperty previous;
    previous.member("old") = "value";
    ASSERT_TRUE(toHostValue(response.value, previous, nullptr));
    response.error = memory::duplicateString("earlier error");
    response.errorOwned = 1;

    BindingProperty out;
    out = "stale";
    EXPECT_FALSE(fromHostValue(response, out, list, "arg"));
    EXPECT_STREQ(response.error,
                 "Couldn't assign value to 'arg' of type object because the input is of an "
                 "incompatible type ''.");
    EXPECT_EQ(+response.errorOwned, 1);
    EXPECT_EQ(+response.value.kind, 0u) << "the value part is released first";
    EXPECT_EQ(+response.value.span.data, nullptr);
    EXPECT_TRUE(out.isEmpty());
    memory::release(const_cast<char*>(response.error));

    BindingResult result;
    EXPECT_FALSE(fromHostValue(result, unknown, "<value>"));
    EXPECT_EQ(result.errorMessage(), "Couldn't assign value to '<value>' of type object because "
                                     "the input is of an incompatible type ''.");
  });
}

TEST_P(HostValueLayout, HundredThousandLevelsConvertBothWaysAndRelease) {
  expectNoLeak([&] {
    constexpr size_t kDepth = 100000;
    BindingProperty root;
    BindingProperty* node = &root;
    for (size_t i = 0; i < kDepth; ++i) {
      node = (i % 2 == 0) ? &node->append() : &node->member("next");
    }
    *node = "bottom";

    HostValue host;
    ASSERT_TRUE(write(host, root, nullptr));
    BindingResult back;
    ASSERT_TRUE(fromHostValue(back, host, "<value>"));
    release(host);
    EXPECT_EQ(+host.kind, 0u);

    const BindingProperty* walk = &back;
    size_t depth = 0;
    while (walk->isCollection() || walk->isStructure()) {
      walk = walk->isCollection() ? &walk->at(0) : &walk->find("next");
      ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(walk->getString(), "bottom");
  });
}

} // namespace
} // namespace tav
