// Failure reports: a fixed multi-line text built from a code, a source location and a
// description, written to the log as an error. The caller decides whether the process goes on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

// The report text; an empty piece (or line 0) is left out:
//
//   Assertion failed!
//
//   File: <file>
//   Line: <line>
//
//   Function: <function>
//
//   Expression: <code>
//
//   Description: <description>
//
// with no line feed after the last piece. A report with only a code is "Assertion failed!\n\n"
// followed by "Expression: " and the code.
std::string buildFailureReport(std::string_view code, std::string_view file = {}, int32_t line = 0,
                               std::string_view function = {}, std::string_view description = {});

// Builds the report and logs it as one " ERROR" line in group DBG, then returns. Never throws and
// never ends the process.
void reportFailure(std::string_view code, std::string_view file = {}, int32_t line = 0,
                   std::string_view function = {}, std::string_view description = {}) noexcept;

} // namespace tav
