// Named-placeholder templates.
#include "foundation/message_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tav {
namespace {

struct NamedCase {
  const char* what;
  std::string templ;
  std::vector<FormatArg> args;
  std::string expected;
};

void PrintTo(const NamedCase& c, std::ostream* os) {
  *os << c.what;
}

class NamedTemplate : public ::testing::TestWithParam<NamedCase> {};

TEST_P(NamedTemplate, WritesExactText) {
  const NamedCase& c = GetParam();
  EXPECT_EQ(formatNamedList(c.templ, c.args), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Named, NamedTemplate,
    ::testing::Values(
        NamedCase{"arguments in order of appearance",
                  "Error response for {method} {url}: {error}",
                  {"GET", "/tav-inventory/v1/signedInventory", "timeout"},
                  "Error response for GET /tav-inventory/v1/signedInventory: timeout"},
        NamedCase{"doubled and lone braces", "{{x}} } {{", {}, "{x} } {"},
        NamedCase{"str of bool, integers and double",
                  "{a:str} {b:str} {c:str} {d:str}",
                  {true, false, -5, 1.5},
                  "true false -5 1.500000"},
        NamedCase{"str of unsigned 64-bit", "{v:str}", {UINT64_MAX}, "18446744073709551615"},
        NamedCase{"hex of unsigned", "{v:hex}", {uint64_t{0xABC}}, "0000000000000ABC"},
        NamedCase{"hex of negative", "{v:hex}", {-1}, "FFFFFFFFFFFFFFFF"},
        NamedCase{"hex of text falls back to the text", "{v:hex}", {"t"}, "t"},
        NamedCase{"bool without a format spec is an int", "{flag}", {true}, "1"},
        NamedCase{"leading hash is a flag", "[{#secret}]", {"s"}, "[s]"},
        NamedCase{"escaped closing brace stays in the name", "[{na\\}me}]", {"v"}, "[v]"},
        NamedCase{"name parts and suffixes are skipped", "{count_int?a@b!} items", {3}, "3 items"},
        NamedCase{"printf placeholders share the sequence", "100%% {p} %s", {"a", "b"}, "100% a b"},
        NamedCase{"unknown format spec uses the default", "{v:wide}", {2.5}, "2.5"},
        NamedCase{"empty braces", "<{}>", {7}, "<7>"},
        NamedCase{"missing argument stops", "{a} and {b}", {"A"}, "A and "},
        NamedCase{"unterminated brace stops", "x{open", {"v"}, "x"},
        NamedCase{"unterminated format spec stops", "x{v:str", {"v"}, "x"}));

TEST(NamedTemplate, VariadicFormForwards) {
  EXPECT_EQ(formatNamed("{method} {url}", "PUT", std::string("/a")), "PUT /a");
}

} // namespace
} // namespace tav
