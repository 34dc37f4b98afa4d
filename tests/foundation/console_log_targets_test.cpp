// The built-in console targets: their defaults and the lines they write.
#include "foundation/console_log_targets.h"
#include "foundation/executable_name.h"
#include "foundation/log.h"
#include "foundation/logger.h"

#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdint>
#include <cstdio>
#include <string>

namespace tav {
namespace {

struct Defaults {
  LogTargetApi* (*get)();
  const char* name;
  const char* lineTemplate;
  uint64_t included;
  uint64_t excluded;
  bool attached;
};

void PrintTo(const Defaults& d, std::ostream* os) {
  *os << d.name;
}

class ConsoleTargetDefaults : public ::testing::TestWithParam<Defaults> {};

TEST_P(ConsoleTargetDefaults, Hold) {
  const Defaults& d = GetParam();
  LogTargetApi* target = d.get();
  ASSERT_NE(target, nullptr);
  EXPECT_STREQ(target->name(target), d.name);
  EXPECT_STREQ(target->lineTemplate(target), d.lineTemplate);
  EXPECT_EQ(target->minimumLevel(target), LogLevel::Warn);
  EXPECT_EQ(target->includedGroups(target), d.included);
  EXPECT_EQ(target->excludedGroups(target), d.excluded);
  EXPECT_EQ(target->isAttached(target), d.attached);
}

INSTANTIATE_TEST_SUITE_P(
    BuiltIn, ConsoleTargetDefaults,
    ::testing::Values(Defaults{[] { return loggerApi().stdErrTarget(); }, "StdErrLogTarget",
                               "#E(#T): #L| #M", kLogGroupDbg, kLogGroupGen, true},
                      Defaults{[] { return loggerApi().stdOutTarget(); }, "StdOutLogTarget", "#M",
                               kLogGroupGen, kLogGroupDbg, false},
                      Defaults{[] { return loggerApi().debuggerConsoleTarget(); },
                               "DebuggerConsoleLogTarget", "#E(#T): #L| #M", kLogGroupDbg, 0,
                               true}));

std::string threadIdText() {
  char text[32];
  std::snprintf(text, sizeof text, "%p",
                reinterpret_cast<void*>(static_cast<uintptr_t>(platform::currentThreadId())));
  return text;
}

TEST(StdErrLogTarget, WritesWarnDbgLineWithExecutableAndThread) {
  ::testing::internal::CaptureStderr();
  logMessage(LogLevel::Okay, kLogGroupDbg, "not shown");
  logMessage(LogLevel::Warn, kLogGroupGen, "excluded group");
  logMessage(LogLevel::Warn, kLogGroupDbg, "disk %s is full\n", "C:");
  std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(written, std::string(executableFileName()) + "(" + threadIdText() +
                         "):   WARN| disk C: is full\n");
}

TEST(StdOutLogTarget, WritesGenMessagesOnlyWhenAttached) {
  test::ScopedLogCapture quiet;
  LogTargetApi* api = loggerApi().stdOutTarget();
  auto* stdOut = static_cast<StdOutLogTarget*>(LogTarget::fromApi(api));
  ASSERT_NE(stdOut, nullptr);
  stdOut->attach();
  stdOut->setFlushAfterWrite(true);
  ::testing::internal::CaptureStdout();
  logMessage(LogLevel::Warn, kLogGroupGen, "general %d", 7);
  logMessage(LogLevel::Warn, kLogGroupDbg, "debug only");
  std::string written = ::testing::internal::GetCapturedStdout();
  stdOut->setFlushAfterWrite(false);
  stdOut->detach();
  EXPECT_EQ(written, "general 7\n");
}

} // namespace
} // namespace tav
