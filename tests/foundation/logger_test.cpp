// The logger: filtering by its level, groups and disabled flag, the target filters, the target
// list, nested logging and the logger's lifecycle.
#include "foundation/log.h"
#include "foundation/logger.h"

#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>

namespace tav {
namespace {

struct FilterCase {
  const char* what;
  LogLevel level;
  uint64_t groups;
  bool delivered;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
  *os << c.what;
}

class LoggerDefaultFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(LoggerDefaultFilter, DecidesDelivery) {
  const FilterCase& c = GetParam();
  test::ScopedLogCapture capture;
  logMessage(c.level, c.groups, "message %d", 1);
  EXPECT_EQ(capture.target().count(), c.delivered ? 1u : 0u) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, LoggerDefaultFilter,
    ::testing::Values(FilterCase{"okay is below the minimum", LogLevel::Okay, kLogGroupDbg, false},
                      FilterCase{"warn passes", LogLevel::Warn, kLogGroupDbg, true},
                      FilterCase{"no groups pass", LogLevel::Error, 0, true},
                      FilterCase{"xtr is excluded", LogLevel::Always, kLogGroupXtr, false},
                      FilterCase{"xtr among others is excluded", LogLevel::Always,
                                 kLogGroupXtr | kLogGroupGen, false},
                      FilterCase{"always with gen", LogLevel::Always, kLogGroupGen, true}));

TEST(Logger, DefaultSettings) {
  EXPECT_EQ(loggerApi().interfaceVersion(), 1);
  EXPECT_EQ(loggerApi().minimumLevel(), LogLevel::Warn);
  EXPECT_EQ(loggerApi().excludedGroups(), kLogGroupXtr);
}

TEST(Logger, LoweredLevelLetsOkayThrough) {
  test::ScopedLogCapture capture;
  capture.setLoggerLevel(LogLevel::Okay);
  logMessage(LogLevel::Okay, kLogGroupGen, "fine");
  ASSERT_EQ(capture.target().count(), 1u);
  EXPECT_EQ(capture.target().records()[0].level, LogLevel::Okay);
}

TEST(Logger, ExcludedGroupsAreReplaced) {
  test::ScopedLogCapture capture;
  capture.setLoggerExcludedGroups(kLogGroupNet);
  logMessage(LogLevel::Warn, kLogGroupXtr, "extra");
  logMessage(LogLevel::Warn, kLogGroupNet, "net");
  auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "extra");
}

TEST(Logger, DisabledDropsEverything) {
  test::ScopedLogCapture capture;
  loggerApi().disable();
  logMessage(LogLevel::Always, 0, "dropped");
  loggerApi().enable();
  logMessage(LogLevel::Always, 0, "kept");
  auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "kept");
}

TEST(Logger, SplitGroupHalvesAreJoinedLowFirst) {
  test::ScopedLogCapture capture;
  logMessage(LogLevel::Warn, 0x2u, 0x80000000u, "halves %s", "joined");
  auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].groups, (uint64_t{1} << 63) | kLogGroupGen);
  EXPECT_EQ(records[0].message, "halves joined");
}

TEST(Logger, MessageLongerThan4095IsCut) {
  test::ScopedLogCapture capture;
  capture.target().setLineTemplate("#M");
  std::string text(6000, 'm');
  logMessage(LogLevel::Warn, 0, "%s", text.c_str());
  auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, std::string(4095, 'm'));
  EXPECT_EQ(records[0].line, std::string(4094, 'm') + "\n");
}

struct TargetFilterCase {
  const char* what;
  LogLevel minimum;
  uint64_t included;
  uint64_t excluded;
  LogLevel level;
  uint64_t groups;
  bool delivered;
};

void PrintTo(const TargetFilterCase& c, std::ostream* os) {
  *os << c.what;
}

class LogTargetFilter : public ::testing::TestWithParam<TargetFilterCase> {};

TEST_P(LogTargetFilter, DecidesDelivery) {
  const TargetFilterCase& c = GetParam();
  test::ScopedLogCapture capture;
  capture.target().setMinimumLevel(c.minimum);
  capture.target().setGroups(c.included, c.excluded);
  logMessage(c.level, c.groups, "x");
  EXPECT_EQ(capture.target().count(), c.delivered ? 1u : 0u) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, LogTargetFilter,
    ::testing::Values(
        TargetFilterCase{"below target level", LogLevel::Error, 0, 0, LogLevel::Warn, 0, false},
        TargetFilterCase{"at target level", LogLevel::Error, 0, 0, LogLevel::Error, 0, true},
        TargetFilterCase{"included group meets", LogLevel::Warn, kLogGroupNet, 0, LogLevel::Warn,
                         kLogGroupNet | kLogGroupDbg, true},
        TargetFilterCase{"included group misses", LogLevel::Warn, kLogGroupNet, 0, LogLevel::Warn,
                         kLogGroupDbg, false},
        TargetFilterCase{"excluded group meets", LogLevel::Warn, 0, kLogGroupDbg, LogLevel::Warn,
                         kLogGroupDbg | kLogGroupNet, false},
        TargetFilterCase{"no groups pass every group test", LogLevel::Warn, kLogGroupNet,
                         kLogGroupDbg, LogLevel::Warn, 0, true},
        TargetFilterCase{"excluded wins over included", LogLevel::Warn, kLogGroupNet, kLogGroupNet,
                         LogLevel::Warn, kLogGroupNet, false}));

TEST(LogTarget, SetGroupsDropsExcludedFromIncluded) {
  test::CapturingLogTarget target;
  target.setGroups(kLogGroupDbg | kLogGroupNet, kLogGroupNet | kLogGroupMem);
  EXPECT_EQ(target.includedGroups(), kLogGroupDbg);
  EXPECT_EQ(target.excludedGroups(), kLogGroupNet | kLogGroupMem);
}

TEST(LogTarget, BaseTargetWritesNothing) {
  LogTarget target;
  LogRecord record;
  EXPECT_FALSE(target.api()->write(target.api(), &record));
  EXPECT_STREQ(target.lineTemplate(), "#D| #L| #G| #M");
}

TEST(LogTarget, AttachTwiceIsOneEntryAndDetachRemovesIt) {
  test::ScopedLogCapture capture;
  test::CapturingLogTarget second;
  second.attach();
  second.attach();
  EXPECT_TRUE(second.isAttached());
  logMessage(LogLevel::Warn, 0, "once");
  EXPECT_EQ(second.count(), 1u);
  second.detach();
  EXPECT_FALSE(second.isAttached());
  logMessage(LogLevel::Warn, 0, "gone");
  EXPECT_EQ(second.count(), 1u);
  EXPECT_EQ(capture.target().count(), 2u);
}

TEST(LogTarget, DestroyedTargetLeavesTheList) {
  test::ScopedLogCapture capture;
  {
    test::CapturingLogTarget shortLived;
    shortLived.attach();
  }
  EXPECT_EQ(loggerApi().findTarget("CapturingLogTarget"), capture.target().api());
  logMessage(LogLevel::Warn, 0, "after");
  EXPECT_EQ(capture.target().count(), 1u);
}

TEST(LoggerTargets, AddAndRemoveDoNotTouchTheFlag) {
  test::ScopedLogCapture capture;
  test::CapturingLogTarget extra;
  loggerApi().addTarget(extra.api());
  loggerApi().addTarget(extra.api());
  EXPECT_FALSE(extra.isAttached());
  logMessage(LogLevel::Warn, 0, "twice");
  EXPECT_EQ(extra.count(), 2u);
  loggerApi().removeTarget(extra.api());
  logMessage(LogLevel::Warn, 0, "none");
  EXPECT_EQ(extra.count(), 2u);
}

TEST(LoggerTargets, FindsAttachedTargetByExactName) {
  test::ScopedLogCapture capture;
  EXPECT_EQ(loggerApi().findTarget("CapturingLogTarget"), capture.target().api());
  EXPECT_EQ(loggerApi().findTarget("CapturingLog"), nullptr);
  EXPECT_EQ(loggerApi().findTarget("StdErrLogTarget"), nullptr); // quieted by the capture
  EXPECT_EQ(loggerApi().findTarget(nullptr), nullptr);
}

// A target that logs from inside its write, as a forwarding target might on failure.
class EchoingTarget : public LogTarget {
public:
  EchoingTarget() { setGroups(kLogGroupTst, 0); }
  ~EchoingTarget() override { detach(); }
  bool write(const LogRecord&) override {
    ++writes;
    logMessage(LogLevel::Error, kLogGroupTst, "echo %d", writes);
    return true;
  }
  int writes = 0;
};

TEST(Logger, NestedLoggingFromATargetIsBounded) {
  test::ScopedLogCapture capture;
  EchoingTarget echo;
  echo.attach();
  logMessage(LogLevel::Error, kLogGroupTst, "start");
  echo.detach();
  EXPECT_EQ(echo.writes, 4);
  EXPECT_EQ(capture.target().count(), 4u);
}

TEST(LoggerLifecycle, LastReleaseDestroysAndTheNextUseRebuildsWithDefaults) {
  // Works without the scoped capture: the built-in targets it would restore die with the logger.
  test::CapturingLogTarget target;
  target.attach();
  loggerApi().addRef();
  loggerApi().addRef();
  loggerApi().setMinimumLevel(LogLevel::Always);
  loggerApi().release();
  EXPECT_TRUE(target.isAttached());
  EXPECT_EQ(loggerApi().minimumLevel(), LogLevel::Always);
  loggerApi().release();
  EXPECT_FALSE(target.isAttached());

  // A release without a reference outstanding changes nothing.
  loggerApi().release();
  EXPECT_EQ(loggerApi().minimumLevel(), LogLevel::Warn);
  LogTargetApi* stdErr = loggerApi().stdErrTarget();
  EXPECT_TRUE(stdErr->isAttached(stdErr));
  loggerApi().release();
  EXPECT_TRUE(stdErr->isAttached(stdErr));
}

} // namespace
} // namespace tav
