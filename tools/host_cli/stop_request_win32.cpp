// Stop requests as console control events, which Windows delivers on a thread of their own.
#include "tools/host_cli/stop_request.h"

#include <windows.h>

namespace tav::tools {
namespace {

// The handler is a plain function, so what it signals lives here, made by the first StopRequest.
HANDLE requested = nullptr; // auto-reset: a request is taken by the wait that sees it
HANDLE woken = nullptr;

BOOL WINAPI onControl(DWORD event) {
  SetEvent(requested);
  // Windows ends the process once the handler returns from a close, logoff or shutdown event:
  // the handler waits instead, so that serve stops and removes its lockfile in the time Windows
  // gives it, and the process ends when serve returns.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    Sleep(INFINITE);
  }
  return TRUE;
}

} // namespace

StopRequest::StopRequest() {
  if (requested == nullptr) {
    requested = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    woken = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  SetConsoleCtrlHandler(onControl, TRUE);
}

bool StopRequest::arrivedWithin(std::chrono::milliseconds wait) const {
  return WaitForSingleObject(requested, static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0;
}

void StopRequest::wait() const {
  const HANDLE events[] = {requested, woken};
  WaitForMultipleObjects(2, events, FALSE, INFINITE);
}

void StopRequest::wake(std::thread&) const {
  SetEvent(woken);
}

} // namespace tav::tools
