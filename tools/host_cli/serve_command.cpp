// Running the HTTP bridge until a stop request (Ctrl-C, a signal) asks it to stop.
#include "tools/host_cli/serve_command.h"

#include "tools/host_cli/event_stream.h"
#include "tools/host_cli/guarded_server.h"
#include "tools/host_cli/http_bridge.h"
#include "tools/host_cli/lockfile.h"
#include "tools/host_cli/safe_text.h"
#include "tools/host_cli/stop_request.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace tav::tools {
namespace {

constexpr char kLoopback[] = "127.0.0.1";

} // namespace

int runServe(ServeOptions options) {
  // Taken before any thread starts, so that a stop request waits for the one thread that takes
  // it, where stopping the server is safe.
  const StopRequest stop;

  if (options.lockfile.empty()) {
    options.lockfile = defaultLockfilePath();
  }
  // Claimed before anything else, so that of two servers given one lockfile the second stops
  // before it binds a port or says anything; removed again on every way out of serve.
  std::string error;
  std::optional<Lockfile> lockfile = Lockfile::claim(options.lockfile, stop, &error);
  if (!lockfile) {
    std::fprintf(stderr, "tav-host: %s\n", error.c_str());
    return exitCode(ExitCode::ServeFailed);
  }

  options.session.echoLog = true;
  SessionOpening opening = Session::open(options.session);
  if (!opening.session) {
    std::fprintf(stderr, "tav-host: %s\n", opening.error.c_str());
    return exitCode(opening.code);
  }
  Session& session = *opening.session;

  const std::string password = randomPassword();
  EventStream events(session.host().events());
  HttpBridge bridge(session, events, basicAuthorization(kUserName, password));
  GuardedServer server;
  bridge.mount(server);
  // Anyone may send the target, escape sequences for the terminal included.
  server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    std::printf("%s %s -> %d\n", printable(request.method).c_str(),
                printable(request.target).c_str(), response.status);
    std::fflush(stdout);
  });

  const int port = server.bindLoopback(options.port, &error);
  if (port <= 0) {
    std::fprintf(stderr, "tav-host: %s\n", error.c_str());
    return exitCode(ExitCode::ServeFailed);
  }
  // Announced before the lockfile is complete, so that whoever waits for it finds it all.
  std::printf("tav-host serving http://%s:%d\n", kLoopback, port);
  std::printf("user: %s, password in the lockfile %s\n", kUserName, options.lockfile.c_str());
  std::printf("stop with Ctrl-C\n");
  std::fflush(stdout);
  if (!lockfile->write(port, password, &error)) {
    std::fprintf(stderr, "tav-host: %s\n", error.c_str());
    return exitCode(ExitCode::ServeFailed);
  }

  std::atomic<bool> signalled{false};
  std::atomic<bool> listening{true};
  std::thread stopper([&] {
    stop.wait();
    signalled = true;
    events.close(); // event streams end, so their workers are free when the server stops
    // A request that comes before the server has begun to listen finds stop doing nothing yet.
    while (listening) {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const bool listened = server.listen_after_bind();
  listening = false;

  // When listening ended by itself, the stopper still waits for a stop request: wake it.
  if (!signalled.exchange(true)) {
    stop.wake(stopper);
  }
  stopper.join();
  const bool saveFailed = session.saveFailed();
  opening.session.reset();
  std::printf("tav-host stopped\n");
  if (!listened) {
    return exitCode(ExitCode::ServeFailed);
  }
  return exitCode(saveFailed ? ExitCode::DataFailed : ExitCode::Ok);
}

} // namespace tav::tools
