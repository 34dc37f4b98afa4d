// Reading a map of texts straight from the host's record: what it takes must read as the general
// way (a value first, then toNative) reads it, and what it leaves must be left whole.
#include "plugin/native_value.h"

#include "binding/host_value_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace tav {
namespace {

using host::HostMapEntry;
using host::HostValue;
using host::HostValueKind;
using TextMap = std::map<std::string, std::string>;

HostValue hostOf(HostValueKind kind, const char* text = nullptr) {
  HostValue value;
  std::memset(&value, 0, sizeof value);
  value.kind = static_cast<uint32_t>(kind);
  value.span.data = const_cast<char*>(text);
  value.span.length = text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text));
  return value;
}

HostValue mapOf(std::vector<HostMapEntry>& entries) {
  HostValue value = hostOf(HostValueKind::Map);
  value.span.data = entries.empty() ? nullptr : entries.data();
  value.span.length = static_cast<uint32_t>(entries.size());
  return value;
}

// "refused" when the direct reading leaves the record to the general way.
std::string Direct(const HostValue& value) {
  TextMap out{{"stale", "entry"}};
  if (!NativeValue<TextMap>::readHost(out, value)) {
    return "refused";
  }
  std::string text;
  for (const auto& [key, entry] : out) {
    text += key + "=" + entry + ";";
  }
  return text;
}

std::string General(const HostValue& value) {
  BindingResult tree;
  if (!fromHostValue(tree, value, "<result>")) {
    return "not read";
  }
  TextMap out;
  BindingResult result;
  const BindingTypeRegistry registry;
  if (!toNative(result, out, tree.value(), "<result>", registry)) {
    return "not converted";
  }
  std::string text;
  for (const auto& [key, entry] : out) {
    text += key + "=" + entry + ";";
  }
  return text;
}

TEST(NativeValueFromHost, TextMapsReadAsTheGeneralWayReadsThem) {
  const HostValue token = hostOf(HostValueKind::OwnedString, "a.b.c");
  const HostValue borrowed = hostOf(HostValueKind::BorrowedString, "x");
  const HostValue nullText = hostOf(HostValueKind::OwnedString);
  const HostValue empty = hostOf(HostValueKind::Empty);
  std::vector<std::vector<HostMapEntry>> cases = {
      {},
      {{"TOURNAMENT_FLAG", token, 1}, {"TOURNAMENT_FRAME", borrowed, 0}},
      {{"b", token, 1}, {"a", nullText, 1}, {nullptr, borrowed, 0}},
      // Repeated keys: the later entry wins, whichever kinds the two hold.
      {{"k", token, 1}, {"k", borrowed, 1}, {"e", token, 1}, {"e", empty, 1}, {"f", empty, 1}},
  };
  for (std::vector<HostMapEntry>& entries : cases) {
    const HostValue map = mapOf(entries);
    const std::string direct = Direct(map);
    EXPECT_NE(direct, "refused");
    EXPECT_EQ(direct, General(map));
  }
  HostValue nullMap = hostOf(HostValueKind::Map);
  nullMap.span.length = 3;
  EXPECT_EQ(Direct(nullMap), "");
  EXPECT_EQ(Direct(nullMap), General(nullMap));
}

TEST(NativeValueFromHost, AnythingButTextsIsLeftToTheGeneralWay) {
  const HostValue number = hostOf(HostValueKind::Signed);
  const HostValue blob = hostOf(HostValueKind::BorrowedBlob, "b");
  const HostValue text = hostOf(HostValueKind::OwnedString, "t");
  std::vector<HostMapEntry> withNumber = {{"a", text, 1}, {"n", number, 1}};
  std::vector<HostMapEntry> withBlob = {{"b", blob, 1}};
  const HostValue records[] = {mapOf(withNumber), mapOf(withBlob), text,
                               hostOf(HostValueKind::List), hostOf(HostValueKind::Empty)};
  for (const HostValue& record : records) {
    TextMap out{{"kept", "as it was"}};
    EXPECT_FALSE(NativeValue<TextMap>::readHost(out, record)) << +record.kind;
    EXPECT_EQ(out, (TextMap{{"kept", "as it was"}})) << "nothing is read before refusing";
  }
}

} // namespace
} // namespace tav
