// Struct, vector, enum and object converters in both directions, with required and
// omit-when-empty fields and unregistered types.
#include "binding/binding_converters.h"

#include "binding/binding_type_registry.h"
#include "binding/host_value_conversion.h"
#include "binding/native_binding.h"
#include "binding_test_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace tav {
namespace {

using namespace tav::test;

enum class Shade : int32_t { Dark = 0, Light = 1, Bright = 2 };

struct Inner {
  int32_t count = 0;
  std::string label;
};

struct Outer {
  bool flag = false;
  int32_t small = 0;
  uint32_t positive = 0;
  int64_t big = 0;
  std::string text;
  BindingProperty any;
  Inner inner;
  Shade shade = Shade::Dark;
  std::vector<Inner> items;
  std::vector<int32_t> numbers;
};

struct Sparse {
  bool flag = false;
  int32_t small = 0;
  uint32_t positive = 0;
  double real = 0.0;
  std::string text;
  std::vector<std::string> names;
  Shade shade = Shade::Dark;
  BindingProperty any;
};

struct Ghost {
  int32_t x = 0;
};

struct Haunted {
  Ghost ghost;
  std::vector<Ghost> ghosts;
};

struct Converters : ::testing::Test {
  void SetUp() override {
    auto shade = registry.registerType<Shade>("Shade");
    shade.addValue("Dark", Shade::Dark);
    shade.addValue("Light", Shade::Light);
    shade.addValue("Bright", Shade::Bright);

    auto inner = registry.registerType<Inner>("Inner");
    inner.field("count", &Inner::count, kBindingFieldRequired);
    inner.field("label", &Inner::label);

    auto outer = registry.registerType<Outer>("Outer");
    outer.field("flag", &Outer::flag);
    outer.field("small", &Outer::small);
    outer.field("positive", &Outer::positive);
    outer.field("big", &Outer::big);
    outer.field("text", &Outer::text);
    outer.field("any", &Outer::any);
    outer.field("inner", &Outer::inner);
    outer.field("shade", &Outer::shade);
    outer.field("items", &Outer::items);
    outer.field("numbers", &Outer::numbers);

    auto haunted = registry.registerType<Haunted>("Haunted");
    haunted.field("ghost", &Haunted::ghost);
    haunted.field("ghosts", &Haunted::ghosts);
  }

  void registerSparse(uint32_t flags) {
    auto b = registry.registerType<Sparse>("Sparse");
    b.field("flag", &Sparse::flag, flags);
    b.field("small", &Sparse::small, flags);
    b.field("positive", &Sparse::positive, flags);
    b.field("real", &Sparse::real, flags);
    b.field("text", &Sparse::text, flags);
    b.field("names", &Sparse::names, flags);
    b.field("shade", &Sparse::shade, flags);
    b.field("any", &Sparse::any, flags);
  }

  template <typename T> std::string failureOf(const BindingProperty& input, T& native) {
    BindingResult result;
    EXPECT_FALSE(fromValue(result, native, input, "<value>", registry));
    return std::string(result.errorMessage());
  }

  BindingTypeRegistry registry;
};

BindingProperty innerValue(int64_t count, std::string_view label) {
  BindingProperty value;
  value.member("count").setSigned(count);
  value.member("label") = label;
  return value;
}

TEST_F(Converters, StructRoundTripsThroughValue) {
  Outer native;
  native.flag = true;
  native.small = -3;
  native.positive = 4000000000u;
  native.big = -(int64_t{1} << 40);
  native.text = "hello";
  native.any.member("nested").append() = "deep";
  native.inner = {7, "seven"};
  native.shade = Shade::Bright;
  native.items = {{1, "one"}, {2, "two"}};
  native.numbers = {5, 6};

  const BindingResult value = toValue(native, registry);
  ASSERT_TRUE(value.ok()) << value.errorMessage();
  EXPECT_EQ(value.size(), 10u);
  EXPECT_EQ(value.find("small").getSigned(), -3);
  EXPECT_EQ(value.find("positive").getUnsigned(), 4000000000u);
  EXPECT_EQ(value.find("inner").find("label").getString(), "seven");
  EXPECT_EQ(value.find("items").at(1).find("count").getSigned(), 2);
  ASSERT_EQ(value.find("shade").kind(), BindingKind::Enum);
  EXPECT_EQ(value.find("shade").getEnum().number, 2);
  EXPECT_EQ(value.find("shade").getEnum().type, &typeId<Shade>());

  Outer back;
  BindingResult result;
  ASSERT_TRUE(fromValue(result, back, value, "<value>", registry)) << result.errorMessage();
  EXPECT_TRUE(back.flag);
  EXPECT_EQ(back.small, -3);
  EXPECT_EQ(back.positive, 4000000000u);
  EXPECT_EQ(back.big, native.big);
  EXPECT_EQ(back.text, "hello");
  EXPECT_EQ(back.any.find("nested").at(0).getString(), "deep");
  EXPECT_EQ(back.inner.count, 7);
  EXPECT_EQ(back.inner.label, "seven");
  EXPECT_EQ(back.shade, Shade::Bright);
  ASSERT_EQ(back.items.size(), 2u);
  EXPECT_EQ(back.items[1].label, "two");
  EXPECT_EQ(back.numbers, (std::vector<int32_t>{5, 6}));
}

TEST_F(Converters, EnumFieldAcceptsNamesAndCoercedNumbers) {
  Outer native;
  BindingResult result;
  BindingProperty input;
  input.member("shade") = "Light";
  ASSERT_TRUE(fromValue(result, native, input, "<value>", registry));
  EXPECT_EQ(native.shade, Shade::Light);
  input.member("shade").setUnsigned(4294967298u); // low 32 bits: 2
  ASSERT_TRUE(fromValue(result, native, input, "<value>", registry));
  EXPECT_EQ(native.shade, Shade::Bright);
  input.member("shade") = "7";
  EXPECT_EQ(failureOf(input, native), "7 is not a valid Shade enumeration value for 'shade'.");
}

TEST_F(Converters, RequiredFieldMissingOrEmptyFails) {
  Inner native{5, "kept"};
  EXPECT_EQ(failureOf(structureValue(), native),
            "Couldn't assign value to '<value>' of type Inner because the input structure "
            "doesn't have required field 'count'.");
  BindingProperty emptyMember;
  emptyMember.member("count");
  EXPECT_EQ(failureOf(emptyMember, native),
            "Couldn't assign value to '<value>' of type Inner because the input structure "
            "doesn't have required field 'count'.");
}

TEST_F(Converters, MissingOptionalFieldsKeepTheirValuesAndExtraMembersAreIgnored) {
  Inner native{5, "kept"};
  BindingProperty input;
  input.member("count").setSigned(9);
  input.member("unknown") = "ignored";
  BindingResult result;
  ASSERT_TRUE(fromValue(result, native, input, "<value>", registry));
  EXPECT_EQ(native.count, 9);
  EXPECT_EQ(native.label, "kept");
}

TEST_F(Converters, StructMessages) {
  Inner inner;
  EXPECT_EQ(failureOf(emptyValue(), inner), "A value for '<value>' is required.");
  EXPECT_EQ(failureOf(collectionValue(), inner),
            "Couldn't assign value to '<value>' of type Inner because the input not a "
            "structure.");
  Outer outer;
  BindingProperty input;
  input.member("inner") = "text";
  EXPECT_EQ(failureOf(input, outer),
            "Couldn't assign value to 'inner' of type Inner because the input not a structure.");
}

TEST_F(Converters, FirstFailingFieldInRegistrationOrderWins) {
  Outer outer;
  BindingProperty input;
  input.member("text").setSigned(1); // registered after "small"
  input.member("small") = "x";
  EXPECT_EQ(failureOf(input, outer), "Value x for 'small' of type int32 is in an incorrect format");
}

TEST_F(Converters, VectorRules) {
  Outer outer;
  outer.numbers = {9, 9, 9};
  BindingProperty input;
  input.member("numbers").makeStructure();
  input.member("numbers").member("a").setSigned(1);
  EXPECT_EQ(failureOf(input, outer),
            "Couldn't assign value to 'numbers' of type vector because the input not a "
            "collection.");
  EXPECT_TRUE(outer.numbers.empty()) << "the vector is emptied first";

  BindingProperty gaps;
  gaps.member("numbers").element(1).setSigned(3); // element 0 stays empty
  BindingResult result;
  ASSERT_TRUE(fromValue(result, outer, gaps, "<value>", registry));
  EXPECT_EQ(outer.numbers, (std::vector<int32_t>{0, 3}));

  BindingProperty bad;
  bad.member("numbers").append().setSigned(1);
  bad.member("numbers").append() = "z";
  EXPECT_EQ(failureOf(bad, outer), "Value z for 'numbers' of type int32 is in an incorrect format");

  BindingProperty items;
  items.member("items").append() = innerValue(1, "a");
  items.member("items").append().member("label") = "no count";
  EXPECT_EQ(failureOf(items, outer),
            "Couldn't assign value to 'items' of type Inner because the input structure "
            "doesn't have required field 'count'.");
}

TEST_F(Converters, TopLevelVectorOfStructs) {
  BindingProperty input;
  input.append() = innerValue(1, "a");
  input.append();
  input.append() = innerValue(3, "c");
  std::vector<Inner> native;
  BindingResult result;
  ASSERT_TRUE(fromValue(result, native, input, "<result>", registry));
  ASSERT_EQ(native.size(), 3u);
  EXPECT_EQ(native[1].count, 0);
  EXPECT_EQ(native[2].label, "c");

  const BindingResult value = toValue(native, registry);
  ASSERT_TRUE(value.ok());
  ASSERT_EQ(value.size(), 3u);
  EXPECT_EQ(value.at(1).find("count").getSigned(), 0);
  EXPECT_EQ(value.at(1).find("label").getString(), "");
}

// Records are written straight into the member or element they fill; the tree must be the one
// a result of their own gives, and a failure deep inside must reach the caller's status.
TEST_F(Converters, InPlaceConversionGivesTheValueOfItsOwnResult) {
  Outer native;
  native.flag = true;
  native.small = -3;
  native.big = -(int64_t{1} << 40);
  native.text = "hello";
  native.any.member("nested").append() = "deep";
  native.inner = {7, "seven"};
  native.shade = Shade::Light;
  native.items = {{1, "one"}, {2, ""}, {3, "hello"}};
  native.numbers = {5, -6};
  const std::vector<Outer> list = {native, Outer{}, native};
  const BindingResult own = toValue(list, registry);
  ASSERT_TRUE(own.ok());

  // Into a part of another tree that already holds a structure: replaced, not merged.
  BindingResult status;
  status.member("stale").member("items") = "old";
  NativeBinding<std::vector<Outer>>::Converter converter;
  EXPECT_TRUE(converter.toValueInPlace(status, status.member("stale"), &list,
                                       nativeDescriptor<std::vector<Outer>>(registry), registry));
  EXPECT_EQ(describeValue(status.find("stale")), describeValue(own));
  EXPECT_EQ(describeValue(own.at(1).find("any")), describeValue(emptyValue()));

  BindingProperty structure;
  structure.member("extra") = "old";
  StructConverter single;
  EXPECT_TRUE(single.toValueInPlace(status, structure, &native, nativeDescriptor<Outer>(registry),
                                    registry));
  EXPECT_EQ(describeValue(structure), describeValue(own.at(0)));

  // The general path of the interface, a result of its own copied over, agrees.
  BindingResult general;
  EXPECT_TRUE(converter.BindingConverter::toValueInPlace(
      general, general.member("copy"), &list, nativeDescriptor<std::vector<Outer>>(registry),
      registry));
  EXPECT_EQ(describeValue(general.find("copy")), describeValue(own));
}

TEST_F(Converters, InPlaceFailureDeepInsideReplacesTheStatusWithTheError) {
  Haunted haunted;
  haunted.ghosts.resize(2);
  const std::vector<Haunted> list = {haunted};
  BindingResult status;
  status.member("kept") = "gone after the failure";
  NativeBinding<std::vector<Haunted>>::Converter converter;
  EXPECT_FALSE(converter.toValueInPlace(status, status.member("target"), &list,
                                        nativeDescriptor<std::vector<Haunted>>(registry),
                                        registry));
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.size(), 1u);
  EXPECT_EQ(status.errorMessage(),
            "Couldn't convert native value because it's an unregistered structure.");

  // A failed status stops the conversion before anything is written.
  BindingProperty untouched;
  EXPECT_FALSE(converter.toValueInPlace(
      status, untouched, &list, nativeDescriptor<std::vector<Haunted>>(registry), registry));
  EXPECT_TRUE(untouched.isEmpty());
  EXPECT_EQ(toValue(list, registry).errorMessage(), status.errorMessage());
}

TEST_F(Converters, UnregisteredStructsFailBothWays) {
  Haunted haunted;
  BindingProperty input;
  input.member("ghost").member("x").setSigned(1);
  EXPECT_EQ(failureOf(input, haunted),
            "Couldn't assign value to 'ghost' because the input is an unregistered structure or "
            "not a structure at all.");
  BindingProperty many;
  many.member("ghosts").append().member("x").setSigned(1);
  EXPECT_EQ(failureOf(many, haunted),
            "Couldn't assign value to 'ghosts' because the input is an unregistered structure "
            "or not a structure at all.");

  const BindingResult value = toValue(haunted, registry);
  EXPECT_FALSE(value.ok());
  EXPECT_EQ(value.errorMessage(),
            "Couldn't convert native value because it's an unregistered structure.");
  Ghost ghost;
  EXPECT_EQ(toValue(ghost, registry).errorMessage(),
            "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(Converters, OmitWhenEmptyLeavesOutEveryEmptyForm) {
  registerSparse(kBindingFieldOmitWhenEmpty);
  Sparse native;
  const BindingResult value = toValue(native, registry);
  ASSERT_TRUE(value.ok());
  EXPECT_TRUE(value.isStructure());
  EXPECT_EQ(value.size(), 0u);

  native.real = std::numeric_limits<double>::quiet_NaN();
  native.shade = Shade::Light;
  native.names = {""};
  const BindingResult kept = toValue(native, registry);
  EXPECT_EQ(kept.size(), 3u);
  EXPECT_TRUE(std::isnan(kept.find("real").getFloat())) << "a NaN is not empty";
  EXPECT_EQ(kept.find("shade").getEnum().number, 1);
  EXPECT_EQ(kept.find("names").size(), 1u);
}

TEST_F(Converters, FieldsWithoutOmitAreAlwaysWritten) {
  registerSparse(0);
  const BindingResult value = toValue(Sparse{}, registry);
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(value.size(), 8u);
  EXPECT_EQ(value.find("flag").kind(), BindingKind::Bool);
  EXPECT_EQ(value.find("small").kind(), BindingKind::Signed);
  EXPECT_EQ(value.find("positive").kind(), BindingKind::Unsigned);
  EXPECT_EQ(value.find("real").kind(), BindingKind::Float);
  EXPECT_EQ(value.find("text").kind(), BindingKind::String);
  EXPECT_EQ(value.find("names").kind(), BindingKind::Collection);
  EXPECT_EQ(value.find("shade").kind(), BindingKind::Enum);
  EXPECT_TRUE(value.contains("any"));
  EXPECT_TRUE(value.find("any").isEmpty());
}

TEST_F(Converters, ObjectFieldCopiesAnyKindAndReplacesTheOldValue) {
  Outer native;
  native.any.member("old") = "value";
  BindingProperty input;
  input.member("any").setUnsigned(12);
  BindingResult result;
  ASSERT_TRUE(fromValue(result, native, input, "<value>", registry));
  EXPECT_EQ(native.any.kind(), BindingKind::Unsigned);
  EXPECT_EQ(native.any.getUnsigned(), 12u);
}

TEST_F(Converters, ScalarHelpers) {
  int32_t number = 0;
  BindingResult result;
  EXPECT_TRUE(fromValue(result, number, textValue("-12"), "n", registry));
  EXPECT_EQ(number, -12);
  uint8_t byte = 0;
  EXPECT_FALSE(fromValue(result, byte, signedValue(256), "b", registry));
  EXPECT_EQ(result.errorMessage(), "Value 256 for 'b' of type uint8 is out of range");
  EXPECT_EQ(toValue(std::string("s"), registry).getString(), "s");
  EXPECT_EQ(toValue(uint32_t{7}, registry).kind(), BindingKind::Unsigned);
  EXPECT_EQ(toValue(int32_t{-7}, registry).getSigned(), -7);
}

// A host record rendered as text, byte for byte: kinds, lengths, keys with their owned flag.
void describeHost(const host::HostValue& value, std::string& out) {
  out += std::to_string(value.kind);
  switch (static_cast<host::HostValueKind>(value.kind)) {
  case host::HostValueKind::Bool:
    out += value.boolean != 0 ? " true" : " false";
    break;
  case host::HostValueKind::Signed:
    out += " " + std::to_string(value.integer);
    break;
  case host::HostValueKind::Unsigned:
    out += " " + std::to_string(value.unsignedInteger);
    break;
  case host::HostValueKind::Float:
    out += " " + std::to_string(value.number);
    break;
  case host::HostValueKind::OwnedString:
  case host::HostValueKind::OwnedBlob: {
    const auto* bytes = static_cast<const char*>(value.span.data);
    out += " [" + std::to_string(value.span.length) + "]";
    out.append(bytes == nullptr ? "" : bytes, bytes == nullptr ? 0 : value.span.length);
    break;
  }
  case host::HostValueKind::List: {
    const auto* items = static_cast<const host::HostValue*>(value.span.data);
    out += " (" + std::to_string(value.span.length) + ")";
    for (uint32_t i = 0; items != nullptr && i < value.span.length; ++i) {
      out += ' ';
      describeHost(items[i], out);
    }
    break;
  }
  case host::HostValueKind::Map: {
    const auto* entries = static_cast<const host::HostMapEntry*>(value.span.data);
    out += " {" + std::to_string(value.span.length) + "}";
    for (uint32_t i = 0; entries != nullptr && i < value.span.length; ++i) {
      out += std::string(" ") + entries[i].key + (entries[i].keyOwned != 0 ? "=" : "~");
      describeHost(entries[i].value, out);
    }
    break;
  }
  default:
    break;
  }
}

// Lays native out straight into a packed record and through the value tree, and answers both
// renderings; the first is "refused" when the direct form is not taken.
template <typename T>
std::pair<std::string, std::string> bothLayouts(const T& native,
                                                const BindingTypeRegistry& registry) {
  std::pair<std::string, std::string> renderings;
  host::HostValue direct;
  if (toPackedHostValue(direct, native, registry)) {
    describeHost(direct, renderings.first);
    releasePackedHostValue(direct);
  } else {
    renderings.first = "refused";
    EXPECT_EQ(+direct.kind, 0u);
  }
  const BindingResult tree = toValue(native, registry);
  host::HostValue throughTree;
  if (tree.ok() && toPackedHostValue(throughTree, tree, &registry)) {
    describeHost(throughTree, renderings.second);
    releasePackedHostValue(throughTree);
  }
  return renderings;
}

struct Twice {
  int32_t first = 0;
  int32_t second = 0;
};

TEST_F(Converters, NativeLaidOutForTheHostMatchesTheTreePath) {
  Outer full;
  full.flag = true;
  full.small = -3;
  full.positive = 4000000000u;
  full.big = -(int64_t{1} << 40);
  full.text = std::string("nul\0inside", 10);
  full.any.member("nested").append() = "deep";
  full.any.member("shade") = BindingEnum{1, &typeId<Shade>()};
  full.inner = {7, "seven"};
  full.shade = Shade::Bright;
  full.items = {{1, "one"}, {2, ""}};
  full.numbers = {5, -6};
  Outer unnamed;
  unnamed.shade = static_cast<Shade>(7);

  const std::pair<std::string, std::string> cases[] = {
      bothLayouts(full, registry),
      bothLayouts(Outer{}, registry),
      bothLayouts(unnamed, registry),
      bothLayouts(std::vector<Outer>{full, Outer{}, full}, registry),
      bothLayouts(std::vector<Outer>{}, registry),
      bothLayouts(std::vector<std::string>{"a", "", "b"}, registry),
      bothLayouts(std::string("plain"), registry),
      bothLayouts(int64_t{-9}, registry),
      bothLayouts(2.5, registry),
      bothLayouts(Shade::Light, registry),
  };
  for (const auto& [direct, throughTree] : cases) {
    EXPECT_NE(direct, "refused");
    EXPECT_EQ(direct, throughTree);
  }
}

TEST_F(Converters, NativeLayoutIsRefusedWhereOnlyTheTreeKnowsTheAnswer) {
  // A field that may be left out, and an unregistered struct, go through the tree.
  registerSparse(kBindingFieldOmitWhenEmpty);
  EXPECT_EQ(bothLayouts(Sparse{}, registry).first, "refused");
  Haunted haunted;
  EXPECT_EQ(bothLayouts(haunted, registry).first, "refused");
  EXPECT_EQ(bothLayouts(std::vector<Haunted>{haunted}, registry).first, "refused");

  // Two fields under one name make one member, whichever the tree keeps.
  auto twice = registry.registerType<Twice>("Twice");
  twice.field("same", &Twice::first);
  twice.field("same", &Twice::second);
  const auto [direct, throughTree] = bothLayouts(Twice{1, 2}, registry);
  EXPECT_EQ(direct, "refused");
  EXPECT_EQ(throughTree, "10 {1} same=2 2");
}

} // namespace
} // namespace tav
