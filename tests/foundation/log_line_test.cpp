// Rendering of log lines: every token, the cut, and the single trailing line feed.
#include "foundation/log_line.h"

#include "foundation/executable_name.h"
#include "foundation/log_level.h"
#include "foundation/platform.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>

namespace tav {
namespace {

LogRecord sampleRecord(const char* message) {
  LogRecord record;
  record.time = LogTime{2024, 5, 1, 13, 2, 3, 45};
  record.level = LogLevel::Warn;
  record.groups = kLogGroupDbg | kLogGroupNet;
  record.message = message;
  return record;
}

std::string render(const char* lineTemplate, const LogRecord& record) {
  char buffer[kLogLineCapacity];
  size_t length = renderLogLine(lineTemplate, record, buffer, sizeof buffer);
  return std::string(buffer, length);
}

std::string threadIdText() {
  char text[32];
  std::snprintf(text, sizeof text, "%p",
                reinterpret_cast<void*>(static_cast<uintptr_t>(platform::currentThreadId())));
  return text;
}

struct TokenCase {
  const char* templ;
  std::string expected;
};

void PrintTo(const TokenCase& c, std::ostream* os) {
  *os << '"' << c.templ << '"';
}

class LogLineToken : public ::testing::TestWithParam<TokenCase> {};

TEST_P(LogLineToken, Renders) {
  EXPECT_EQ(render(GetParam().templ, sampleRecord("hello")), GetParam().expected)
      << GetParam().templ;
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, LogLineToken,
    ::testing::Values(TokenCase{"#D", "2024-05-01T13:02:03.045\n"}, TokenCase{"#G", "DBG;NET\n"},
                      TokenCase{"#L", "  WARN\n"}, TokenCase{"#M", "hello\n"},
                      TokenCase{"##", "#\n"}, TokenCase{"#Q", "Q\n"}, TokenCase{"a#", "a#\n"},
                      TokenCase{"#D| #L| #G| #M", "2024-05-01T13:02:03.045|   WARN| DBG;NET| "
                                                  "hello\n"},
                      TokenCase{"", "\n"}));

TEST(LogLine, ExecutableAndThreadTokens) {
  std::string expected = std::string(executableFileName()) + "(" + threadIdText() + "):";
  EXPECT_EQ(render("#E(#T):", sampleRecord("")), expected + "\n");
#ifdef _WIN32
  EXPECT_EQ(std::string(executableFileName()), "tav_foundation_tests.exe");
#else
  EXPECT_EQ(std::string(executableFileName()), "tav_foundation_tests");
#endif
}

TEST(LogLine, ElapsedSecondsToken) {
  std::string line = render("#H", sampleRecord(""));
  EXPECT_TRUE(std::regex_match(line, std::regex("[0-9]{6}\\.[0-9]{3}\n"))) << line;
}

TEST(LogLine, NoGroupsRenderEmptyAndUnnamedBitsAsQuestionMarks) {
  LogRecord record = sampleRecord("m");
  record.groups = 0;
  EXPECT_EQ(render("[#G]", record), "[]\n");
  record.groups = uint64_t{1} << 63 | kLogGroupTst;
  EXPECT_EQ(render("[#G]", record), "[TST;???]\n");
}

TEST(LogLine, MessageEndingInLineFeedGetsNoSecond) {
  EXPECT_EQ(render("#M", sampleRecord("done\n")), "done\n");
}

TEST(LogLine, LongTextIsCutAndStillEndsWithOneLineFeed) {
  std::string message(5000, 'x');
  std::string line = render("#M", sampleRecord(message.c_str()));
  ASSERT_EQ(line.size(), kLogLineCapacity - 1);
  EXPECT_EQ(line.substr(0, kLogLineCapacity - 2), std::string(kLogLineCapacity - 2, 'x'));
  EXPECT_EQ(line.back(), '\n');
}

TEST(LogLine, SmallBuffersStayTerminated) {
  char buffer[4] = {'?', '?', '?', '?'};
  EXPECT_EQ(renderLogLine("#M", sampleRecord("abcdef"), buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "ab\n");
  EXPECT_EQ(renderLogLine("#M", sampleRecord("abcdef"), buffer, 1), 0u);
  EXPECT_STREQ(buffer, "");
}

TEST(LogLine, TimeLayouts) {
  LogTime time{2024, 12, 31, 23, 59, 58, 7};
  char buffer[64];
  EXPECT_EQ(formatLogTime(time, buffer, sizeof buffer), 23u);
  EXPECT_STREQ(buffer, "2024-12-31T23:59:58.007");
  EXPECT_EQ(formatLogFileTime(time, buffer, sizeof buffer), 19u);
  EXPECT_STREQ(buffer, "2024-12-31T23-59-58");
}

TEST(LogLevelName, SixCharactersRightAligned) {
  EXPECT_STREQ(logLevelName(LogLevel::Okay), "  OKAY");
  EXPECT_STREQ(logLevelName(LogLevel::Warn), "  WARN");
  EXPECT_STREQ(logLevelName(LogLevel::Error), " ERROR");
  EXPECT_STREQ(logLevelName(LogLevel::Always), "ALWAYS");
  EXPECT_STREQ(logLevelName(static_cast<LogLevel>(9)), "  ????");
}

} // namespace
} // namespace tav
