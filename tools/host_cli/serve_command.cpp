// Running the HTTP bridge until a signal asks it to stop.
#include "tools/host_cli/serve_command.h"

#include "tools/host_cli/event_stream.h"
#include "tools/host_cli/guarded_server.h"
#include "tools/host_cli/http_bridge.h"
#include "tools/host_cli/lockfile.h"
#include "tools/host_cli/safe_text.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace tav::tools {
namespace {

constexpr char kLoopback[] = "127.0.0.1";

// A closed terminal (SIGHUP) stops serve as Ctrl-C does, so the lockfile goes with it.
sigset_t stopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

} // namespace

int runServe(ServeOptions options) {
  // Blocked before any thread starts, so that every thread inherits the mask and the signals
  // wait for the one thread that takes them with sigwait, where stopping the server is safe.
  const sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  if (options.lockfile.empty()) {
    options.lockfile = defaultLockfilePath();
  }
  // Claimed before anything else, so that of two servers given one lockfile the second stops
  // before it binds a port or says anything; removed again on every way out of serve.
  std::string error;
  std::optional<Lockfile> lockfile = Lockfile::claim(options.lockfile, signals, &error);
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
    int signal = 0;
    sigwait(&signals, &signal);
    signalled = true;
    events.close(); // event streams end, so their workers are free when the server stops
    // A signal that comes before the server has begun to listen finds stop doing nothing yet.
    while (listening) {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const bool listened = server.listen_after_bind();
  listening = false;

  // When listening ended by itself, the stopper still waits for a signal: send it one.
  if (!signalled.exchange(true)) {
    pthread_kill(stopper.native_handle(), SIGTERM);
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
