// Foundation costs: message templates, a dropped versus a delivered log message, UTC times and
// Base64 of a token-sized payload.
#include "foundation/base64.h"
#include "foundation/log.h"
#include "foundation/log_target.h"
#include "foundation/logger.h"
#include "foundation/message_format.h"
#include "foundation/utc_time.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace tav {
namespace {

void BM_FormatMessageNumbered(benchmark::State& state) {
  std::string name = "earnedDateIso8601";
  for (auto _ : state) {
    std::string text = formatMessage(
        "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.",
        name, "String", "Int64");
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FormatMessageNumbered);

void BM_FormatMessagePrintfStyle(benchmark::State& state) {
  for (auto _ : state) {
    std::string text = formatMessage("Invalid MessagePack data at position %1$08x (%2$.3f).",
                                     uint32_t{4242}, 0.25);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FormatMessagePrintfStyle);

// Counts what reaches it; writes nothing anywhere.
class CountingTarget : public LogTarget {
public:
  CountingTarget() { setGroups(0, 0); }
  ~CountingTarget() override { detach(); }
  bool write(const LogRecord&) override {
    ++written;
    return true;
  }
  size_t written = 0;
};

// With the console targets detached so that only the counting target is reached.
class QuietLogger {
public:
  QuietLogger() {
    for (LogTargetApi* t : {loggerApi().stdErrTarget(), loggerApi().debuggerConsoleTarget()}) {
      if (t->isAttached(t)) {
        t->detach(t);
        detached_.push_back(t);
      }
    }
    target.attach();
  }
  ~QuietLogger() {
    target.detach();
    for (LogTargetApi* t : detached_)
      t->attach(t);
  }
  CountingTarget target;

private:
  std::vector<LogTargetApi*> detached_;
};

// The logger's level test drops this before formatting and before reading the clock.
void BM_LogMessageDropped(benchmark::State& state) {
  QuietLogger quiet;
  std::string payload(200, 'p');
  for (auto _ : state)
    logMessage(LogLevel::Okay, kLogGroupNet, "%s: request %s took %f ms", "vmf-be-tav-banners",
               payload.c_str(), 12.5);
  benchmark::DoNotOptimize(quiet.target.written);
}
BENCHMARK(BM_LogMessageDropped);

void BM_LogMessageDelivered(benchmark::State& state) {
  QuietLogger quiet;
  std::string payload(200, 'p');
  for (auto _ : state)
    logMessage(LogLevel::Warn, kLogGroupNet, "%s: request %s took %f ms", "vmf-be-tav-banners",
               payload.c_str(), 12.5);
  benchmark::DoNotOptimize(quiet.target.written);
}
BENCHMARK(BM_LogMessageDelivered);

void BM_ParseUtcTime(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(parseUtcTime("2023-11-14T22:13:20.123Z"));
}
BENCHMARK(BM_ParseUtcTime);

void BM_FormatUtcTime(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(formatUtcTime(1700000000));
}
BENCHMARK(BM_FormatUtcTime);

void BM_DecodeBase64Url(benchmark::State& state) {
  std::string bytes(static_cast<size_t>(state.range(0)), '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 31);
  std::string text = encodeBase64(bytes);
  for (char& c : text) {
    if (c == '+')
      c = '-';
    else if (c == '/')
      c = '_';
  }
  while (!text.empty() && text.back() == '=')
    text.pop_back();
  for (auto _ : state)
    benchmark::DoNotOptimize(decodeBase64Url(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeBase64Url)->Arg(64)->Arg(4096);

} // namespace
} // namespace tav
