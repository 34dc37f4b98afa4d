// The socket calls of tav-host's server, in one file per platform: Winsock has no MSG_DONTWAIT,
// MSG_NOSIGNAL or eventfd, reports errors apart from errno and closes sockets with closesocket.
#pragma once

#include <httplib.h> // socket_t, and on Windows winsock2.h with pollfd and the POLL flags

#ifndef _WIN32
#include <poll.h>
#endif

#include <cstddef>
#include <string>
#include <vector>

namespace tav::tools {

// What receiveNow answers when nothing has arrived yet.
inline constexpr ssize_t kNothingYet = -2;

// Polls one socket; answers the returned events, 0 on timeout or error.
short pollSocket(socket_t socket, short events, int timeoutMs);
// Polls entries; false when polling failed for another reason than a signal.
bool pollSockets(std::vector<pollfd>& entries, int timeoutMs);

// Reads what the socket holds without waiting: the count, 0 when the peer has closed its end,
// kNothingYet, or -1 on failure. With peek, what is read stays to be read again.
ssize_t receiveNow(socket_t socket, char* data, size_t size, bool peek = false);
// Reads, waiting as the socket waits; a signal does not end the wait. -1 on failure.
ssize_t receive(socket_t socket, char* data, size_t size);
// Writes, waiting as the socket waits, without a SIGPIPE for a closed peer. -1 on failure.
ssize_t send(socket_t socket, const char* data, size_t size);
// Writes what the socket takes at once, never waiting.
void sendNow(socket_t socket, const char* data, size_t size);

void shutdownSending(socket_t socket);
void shutdownBoth(socket_t socket);
void closeSocket(socket_t socket);
void setNoDelay(socket_t socket);
// For the listening socket: its address may be bound again at once after the server ends, but
// no second socket may listen on it while it listens; TCP_NODELAY for what it accepts.
void setListenerOptions(socket_t socket);

// The system's reason for the last failed socket call, empty when it gave none; cleared by
// clearSocketError.
void clearSocketError();
std::string socketErrorText();

// Wakes a thread that polls it among its sockets: readable once signalled, until drained.
class PollWakeup {
public:
  PollWakeup();
  ~PollWakeup();
  PollWakeup(const PollWakeup&) = delete;
  PollWakeup& operator=(const PollWakeup&) = delete;

  socket_t socket() const { return socket_; }
  void signal();
  void drain();

private:
  socket_t socket_;
};

} // namespace tav::tools
