// How tav-host shows the plugin's answers: indented JSON, and a status for every answer.
#pragma once

#include "host/call_result.h"
#include "host/value_tree.h"

#include <cstdint>
#include <string>

namespace tav::tools {

// The value as JSON indented by two spaces, without a final line feed.
std::string indentedJson(const host::ValueTree& value);

// The HTTP status of an answer: the plugin's own, or else 200 for a success, 400 for an error
// the plugin answered (a request it could not bind) and 500 for one of the host.
uint32_t answerStatus(const host::CallResult& result);

// The error text of an answer; empty for a success.
std::string answerError(const host::CallResult& result);

// Prints a success as its status line and indented value on standard output and answers
// ExitCode::Ok, or an error as "<status> <message>" on standard error and answers
// ExitCode::ErrorAnswer.
int printAnswer(const host::CallResult& result);

} // namespace tav::tools
