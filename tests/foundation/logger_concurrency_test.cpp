// Logging from several threads: whole lines, and no deadlock while targets change meanwhile.
#include "foundation/log.h"
#include "foundation/logger.h"

#include "support/capturing_log_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tav {
namespace {

// Appends each line one character at a time with no lock of its own, yielding in between: only
// the logger's lock keeps the lines of different threads apart.
class CharByCharTarget : public LogTarget {
public:
  CharByCharTarget() { setGroups(kLogGroupTst, 0); }
  ~CharByCharTarget() override { detach(); }
  bool write(const LogRecord& record) override {
    for (const char* p = record.message; *p != '\0'; ++p) {
      text_.push_back(*p);
      if ((p - record.message) % 8 == 0)
        std::this_thread::yield();
    }
    text_.push_back('\n');
    return true;
  }
  std::string text_;
};

TEST(LoggerConcurrency, LinesFromManyThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 300;
  test::ScopedLogCapture quiet;
  CharByCharTarget target;
  target.attach();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kPerThread; ++i)
        logMessage(LogLevel::Warn, kLogGroupTst, "thread-%d message-%04d end", t, i);
    });
  }
  for (auto& thread : threads)
    thread.join();
  target.detach();

  std::istringstream lines(target.text_);
  std::string line;
  std::vector<int> next(kThreads, 0);
  int count = 0;
  while (std::getline(lines, line)) {
    int t = -1;
    int i = -1;
    char tail[8] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "thread-%d message-%d %3s", &t, &i, tail), 3) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(std::string(tail), "end") << line;
    // Each thread's lines arrive in the order it wrote them.
    EXPECT_EQ(i, next[t]) << line;
    next[t] = i + 1;
    ++count;
  }
  EXPECT_EQ(count, kThreads * kPerThread);
}

TEST(LoggerConcurrency, ChangingTargetsWhileLoggingLosesNothingAndDoesNotDeadlock) {
  test::ScopedLogCapture capture;
  std::atomic<bool> stop{false};
  std::atomic<int> logged{0};
  std::vector<std::thread> loggers;
  for (int t = 0; t < 2; ++t) {
    loggers.emplace_back([&] {
      while (!stop.load()) {
        logMessage(LogLevel::Warn, kLogGroupTst, "busy");
        ++logged;
      }
    });
  }
  // Churn until the loggers have demonstrably run alongside it.
  for (int round = 0; round < 300 || logged.load() < 500; ++round) {
    test::CapturingLogTarget churn;
    churn.attach();
    churn.setMinimumLevel(round % 2 ? LogLevel::Warn : LogLevel::Error);
    churn.setGroups(kLogGroupTst, 0);
    loggerApi().setExcludedGroups(kLogGroupXtr);
    churn.detach();
  }
  stop = true;
  for (auto& thread : loggers)
    thread.join();
  EXPECT_EQ(capture.target().count(), static_cast<size_t>(logged.load()));
}

} // namespace
} // namespace tav
