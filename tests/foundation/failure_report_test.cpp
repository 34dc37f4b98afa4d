// Failure report text layout and its single log line.
#include "foundation/failure_report.h"

#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>

namespace tav {
namespace {

struct ReportCase {
  const char* what;
  const char* code;
  const char* file;
  int32_t line;
  const char* function;
  const char* description;
  std::string expected;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
  *os << c.what;
}

class FailureReportText : public ::testing::TestWithParam<ReportCase> {};

TEST_P(FailureReportText, IsLaidOutExactly) {
  const ReportCase& c = GetParam();
  EXPECT_EQ(buildFailureReport(c.code, c.file, c.line, c.function, c.description), c.expected)
      << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FailureReportText,
    ::testing::Values(ReportCase{"only a code", "ALE-EECF0606", "", 0, "", "",
                                 "Assertion failed!\n\nExpression: ALE-EECF0606"},
                      ReportCase{"file and line", "", "entry.cpp", 12, "", "",
                                 "Assertion failed!\n\nFile: entry.cpp\nLine: 12\n\n"},
                      ReportCase{"negative line", "", "", -3, "", "",
                                 "Assertion failed!\n\nLine: -3\n\n"},
                      ReportCase{"nothing", "", "", 0, "", "", "Assertion failed!\n\n"},
                      ReportCase{"description without code", "", "", 0, "", "lost",
                                 "Assertion failed!\n\n\n\nDescription: lost"},
                      ReportCase{"every piece", "x != 0", "a.cpp", 7, "run", "broken",
                                 "Assertion failed!\n\nFile: a.cpp\nLine: 7\n\nFunction: run\n\n"
                                 "Expression: x != 0\n\nDescription: broken"}));

TEST(ReportFailure, LogsOneErrorLineInGroupDbg) {
  test::ScopedLogCapture capture;
  reportFailure("ALE-EECF0606");
  auto records = capture.target().records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::Error);
  EXPECT_EQ(records[0].groups, kLogGroupDbg);
  EXPECT_EQ(records[0].message, "Assertion failed!\n\nExpression: ALE-EECF0606");
  EXPECT_EQ(records[0].line, " ERROR| DBG| Assertion failed!\n\nExpression: ALE-EECF0606\n");
}

TEST(ReportFailure, PercentSignsInTheReportAreNotFormatDirectives) {
  test::ScopedLogCapture capture;
  reportFailure("100%s %n");
  ASSERT_EQ(capture.target().count(), 1u);
  EXPECT_EQ(capture.target().records()[0].message, "Assertion failed!\n\nExpression: 100%s %n");
}

} // namespace
} // namespace tav
