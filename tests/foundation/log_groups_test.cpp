// Group names and registration. Registration changes process-wide state, so the tests that depend
// on which index comes next run in a child process.
#include "foundation/log_groups.h"

#include "foundation/log_level.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tav {
namespace {

std::string namesOf(uint64_t mask) {
  char buffer[512];
  size_t length = logGroupNames(mask, buffer, sizeof buffer);
  return std::string(buffer, length);
}

TEST(LogGroups, BuiltInNamesHoldTheFirstEightBits) {
  EXPECT_EQ(logGroupBit("DBG"), kLogGroupDbg);
  EXPECT_EQ(logGroupBit("GEN"), kLogGroupGen);
  EXPECT_EQ(logGroupBit("XTR"), kLogGroupXtr);
  EXPECT_EQ(logGroupBit("PRF"), kLogGroupPrf);
  EXPECT_EQ(logGroupBit("MEM"), kLogGroupMem);
  EXPECT_EQ(logGroupBit("DSK"), kLogGroupDsk);
  EXPECT_EQ(logGroupBit("NET"), kLogGroupNet);
  EXPECT_EQ(logGroupBit("TST"), kLogGroupTst);
  EXPECT_EQ(namesOf(0xFF), "DBG;GEN;XTR;PRF;MEM;DSK;NET;TST");
}

TEST(LogGroups, ComparesOnlyTheFirstThreeCharacters) {
  EXPECT_EQ(logGroupBit("NETWORK"), kLogGroupNet);
}

TEST(LogGroups, NullAndEmptyNamesHaveNoBit) {
  EXPECT_EQ(logGroupBit(nullptr), 0u);
  EXPECT_EQ(logGroupBit(""), 0u);
}

TEST(LogGroups, RegisteringAnExistingNewNameReturnsTheSameBit) {
  uint64_t first = logGroupBit("RPT");
  EXPECT_NE(first, 0u);
  EXPECT_EQ(logGroupBit("RPT"), first);
  EXPECT_EQ(namesOf(first), "RPT");
}

TEST(LogGroups, NamesAreCutToTheBuffer) {
  char buffer[6];
  EXPECT_EQ(logGroupNames(kLogGroupDbg | kLogGroupGen, buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "DBG;G");
}

// Exits with the bit index the first new name got.
[[noreturn]] void registerFirstNewName() {
  uint64_t bit = logGroupBit("ZZ1");
  int index = 0;
  while (bit > 1) {
    bit >>= 1;
    ++index;
  }
  std::exit(index);
}

// The child re-executes the test binary, so names registered by other tests of this process do
// not shift the next index.
TEST(LogGroupsDeathTest, NinthNameGetsBitEight) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(registerFirstNewName(), ::testing::ExitedWithCode(8), "");
}

// Fills the table with 56 new names and exits with 0 when the 65th got mask 0, a known name
// still finds its bit, and no bit was handed out twice.
[[noreturn]] void registerPastTheLimit() {
  uint64_t seen = 0xFF;
  for (int i = 0; i < 56; ++i) {
    char name[4] = {'Q', static_cast<char>('A' + i / 26), static_cast<char>('a' + i % 26), '\0'};
    uint64_t bit = logGroupBit(name);
    if (bit == 0 || (seen & bit) != 0)
      std::exit(1);
    seen |= bit;
  }
  if (seen != ~uint64_t{0})
    std::exit(2);
  if (logGroupBit("OVR") != 0)
    std::exit(3);
  if (logGroupBit("QAa") != uint64_t{1} << 8 || logGroupBit("QCd") != uint64_t{1} << 63)
    std::exit(4);
  std::exit(0);
}

TEST(LogGroupsDeathTest, SixtyFifthNameGetsNoBit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(registerPastTheLimit(), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace tav
