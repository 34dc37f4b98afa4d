// StopRequest: how `serve` learns that it is to stop. On POSIX: SIGINT (Ctrl-C), SIGTERM and SIGHUP
// (a closed terminal); on Windows: the console's Ctrl-C, Ctrl-Break and close events.
//
//   StopRequest stop;  // first, before any thread starts
//   std::thread stopper([&] { stop.wait(); /* stop the server */ });
//   ...
//   stop.wake(stopper);  // when the server ended by itself
#pragma once

#include <chrono>
#include <thread>

namespace tav::tools {

class StopRequest {
public:
  // Takes the requests from their default handling, which ends the process, for as long as the
  // process runs. On POSIX the
  // signals are blocked in the calling thread, and every thread started later inherits the
  // mask, so that they wait for the one thread that takes them in wait(): create it before any
  // other thread starts.
  StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  // Whether a stop was asked for, waiting at most `wait`; a request found is taken.
  bool arrivedWithin(std::chrono::milliseconds wait) const;
  // Waits until a stop is asked for, or until wake.
  void wait() const;
  // Ends the wait of `waiting`, which is in wait() or about to be, without a stop request.
  void wake(std::thread& waiting) const;
};

} // namespace tav::tools
