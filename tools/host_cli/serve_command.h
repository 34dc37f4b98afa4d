// `tav-host serve`: the plugin behind an HTTP server on the loopback interface.
#pragma once

#include "tools/host_cli/session.h"

#include <string>

namespace tav::tools {

struct ServeOptions {
  SessionOptions session;
  int port = 0;         // 0: a free port the system chooses
  std::string lockfile; // empty: defaultLockfilePath()
};

// Serves until a stop request (StopRequest), then removes the lockfile and returns the exit code.
int runServe(ServeOptions options);

} // namespace tav::tools
