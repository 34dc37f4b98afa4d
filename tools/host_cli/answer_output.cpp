// Printing the plugin's answers.
#include "tools/host_cli/answer_output.h"

#include "tools/host_cli/exit_codes.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>

#include <cstdio>

namespace tav::tools {

std::string indentedJson(const host::ValueTree& value) {
  // The compact text read straight into a pretty writer: one walk, and the same texts and number
  // forms as ValueTree writes.
  const std::string compact = value.toJson();
  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', 2);
  rapidjson::Reader reader;
  rapidjson::StringStream stream(compact.c_str());
  if (!reader.Parse<rapidjson::kParseFullPrecisionFlag>(stream, writer)) {
    return compact; // NaN and infinities, which JSON has no words for
  }
  return std::string(buffer.GetString(), buffer.GetSize());
}

uint32_t answerStatus(const host::CallResult& result) {
  if (result.status != 0) {
    return result.status;
  }
  if (result.ok()) {
    return 200;
  }
  // The plugin gives every error of its own a status; one it answered without is a request it
  // could not bind to its function (an unknown argument, a body it cannot read).
  return result.attempts > 0 ? 400 : 500;
}

std::string answerError(const host::CallResult& result) {
  if (result.ok()) {
    return "";
  }
  return result.error->empty() ? "(no message)" : *result.error;
}

int printAnswer(const host::CallResult& result) {
  if (!result.ok()) {
    std::fprintf(stderr, "%u %s\n", answerStatus(result), answerError(result).c_str());
    return exitCode(ExitCode::ErrorAnswer);
  }
  std::printf("%u\n%s\n", answerStatus(result), indentedJson(result.value).c_str());
  std::fflush(stdout);
  return exitCode(ExitCode::Ok);
}

} // namespace tav::tools
