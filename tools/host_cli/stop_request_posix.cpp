// Stop requests as signals, taken by sigwait in the thread that waits for them.
#include "tools/host_cli/stop_request.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace tav::tools {
namespace {

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

StopRequest::StopRequest() {
  const sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

bool StopRequest::arrivedWithin(std::chrono::milliseconds wait) const {
  const sigset_t signals = stopSignals();
  const timespec slice{static_cast<time_t>(wait.count() / 1000),
                       static_cast<long>(wait.count() % 1000) * 1000 * 1000};
  return ::sigtimedwait(&signals, nullptr, &slice) > 0;
}

void StopRequest::wait() const {
  const sigset_t signals = stopSignals();
  int signal = 0;
  sigwait(&signals, &signal);
}

void StopRequest::wake(std::thread& waiting) const {
  pthread_kill(waiting.native_handle(), SIGTERM);
}

} // namespace tav::tools
