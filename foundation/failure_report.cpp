// Building and logging failure reports.
#include "foundation/failure_report.h"

#include "foundation/log.h"

namespace tav {

std::string buildFailureReport(std::string_view code, std::string_view file, int32_t line,
                               std::string_view function, std::string_view description) {
  std::string report = "Assertion failed!\n\n";
  if (!file.empty())
    report.append("File: ").append(file).append("\n");
  if (line != 0)
    report.append("Line: ").append(std::to_string(line)).append("\n\n");
  if (!function.empty())
    report.append("Function: ").append(function).append("\n\n");
  if (!code.empty())
    report.append("Expression: ").append(code);
  if (!description.empty())
    report.append("\n\n").append("Description: ").append(description);
  return report;
}

void reportFailure(std::string_view code, std::string_view file, int32_t line,
                   std::string_view function, std::string_view description) noexcept {
  try {
    std::string report = buildFailureReport(code, file, line, function, description);
    logMessage(LogLevel::Error, kLogGroupDbg, "%s", report.c_str());
  } catch (...) {
    // Out of memory while building the text: there is nothing left to report it with.
  }
}

} // namespace tav
