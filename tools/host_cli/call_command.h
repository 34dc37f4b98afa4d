// `tav-host call` and `tav-host tour`: calls made in-process, answers printed.
#pragma once

#include "tools/host_cli/session.h"

#include <optional>
#include <string>

namespace tav::tools {

struct CallOptions {
  SessionOptions session;
  std::string method;
  std::string path;                // may carry a query
  std::optional<std::string> body; // the text, or "@" and the name of a file holding it
  std::string contentType;         // empty: application/json when there is a body
};

// One call; prints the answer (answer_output.h) and returns the exit code.
int runCall(const CallOptions& options);

// The four routes and an equip, each call shown with its answer, then the event the equip sent
// and what a configuration change does to the next equip.
int runTour(const SessionOptions& options);

} // namespace tav::tools
