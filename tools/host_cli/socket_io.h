// The socket calls of tav-host's server, in one file per platform: Winsock has no MSG_DONTWAIT,
// MSG_NOSIGNAL or eventfd, reports errors apart from errno and closes sockets with closesocket.
#pragma once

#ifdef _WIN32
#include <winsock2.h> // pollfd and the POLL flags too
#else
#include <poll.h>
#include <sys/types.h>
#endif

#include <cstddef>
#include <string>
#include <vector>

namespace tav::tools {

// A socket as the system hands it out: the type cpp-httplib calls Socket.
#ifdef _WIN32
using Socket = SOCKET;
#else
using Socket = int;
#endif

// What receiveNow answers when nothing has arrived yet.
inline constexpr ssize_t kNothingYet = -2;

// Polls one socket; answers the returned events, 0 on timeout or error.
short pollSocket(Socket socket, short events, int timeoutMs);
// Polls entries; false when polling failed for another reason than a signal.
bool pollSockets(std::vector<pollfd>& entries, int timeoutMs);

// Reads what the socket holds without waiting: the count, 0 when the peer has closed its end,
// kNothingYet, or -1 on failure. With peek, what is read stays to be read again.
ssize_t receiveNow(Socket socket, char* data, size_t size, bool peek = false);
// Reads, waiting as the socket waits; a signal does not end the wait. -1 on failure.
ssize_t receive(Socket socket, char* data, size_t size);
// Writes, waiting as the socket waits, without a SIGPIPE for a closed peer. -1 on failure.
ssize_t send(Socket socket, const char* data, size_t size);
// Writes what the socket takes at once, never waiting.
void sendNow(Socket socket, const char* data, size_t size);

void shutdownSending(Socket socket);
void shutdownBoth(Socket socket);
void closeSocket(Socket socket);
void setNoDelay(Socket socket);
// For the listening socket: its address may be bound again at once after the server ends, but
// no second socket may listen on it while it listens; TCP_NODELAY for what it accepts.
void setListenerOptions(Socket socket);

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

  Socket socket() const { return socket_; }
  void signal();
  void drain();

private:
  Socket socket_;
};

} // namespace tav::tools
