// POSIX sockets, as Linux has them: MSG_DONTWAIT, MSG_NOSIGNAL and an eventfd to wake poll.
#include "tools/host_cli/socket_io.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tav::tools {

short pollSocket(Socket socket, short events, int timeoutMs) {
  pollfd entry{socket, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    return ready > 0 ? entry.revents : 0;
  }
}

bool pollSockets(std::vector<pollfd>& entries, int timeoutMs) {
  return ::poll(entries.data(), entries.size(), timeoutMs) >= 0 || errno == EINTR;
}

ssize_t receiveNow(Socket socket, char* data, size_t size, bool peek) {
  const ssize_t received = ::recv(socket, data, size, MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
  if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    return kNothingYet;
  }
  return received;
}

ssize_t receive(Socket socket, char* data, size_t size) {
  for (;;) {
    const ssize_t received = ::recv(socket, data, size, 0);
    if (received < 0 && errno == EINTR) {
      continue;
    }
    return received;
  }
}

ssize_t send(Socket socket, const char* data, size_t size) {
  for (;;) {
    const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    return sent;
  }
}

void sendNow(Socket socket, const char* data, size_t size) {
  [[maybe_unused]] const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

void shutdownSending(Socket socket) {
  ::shutdown(socket, SHUT_WR);
}

void shutdownBoth(Socket socket) {
  ::shutdown(socket, SHUT_RDWR);
}

void closeSocket(Socket socket) {
  ::close(socket);
}

void setNoDelay(Socket socket) {
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void setListenerOptions(Socket socket) {
  // Unlike the library's default, SO_REUSEPORT, this lets no second server listen on the port.
  const int on = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  setNoDelay(socket);
}

void clearSocketError() {
  errno = 0;
}

std::string socketErrorText() {
  const int cause = errno;
  return cause != 0 ? std::strerror(cause) : std::string();
}

PollWakeup::PollWakeup() : socket_(::eventfd(0, EFD_CLOEXEC)) {}

PollWakeup::~PollWakeup() {
  ::close(socket_);
}

void PollWakeup::signal() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(socket_, &one, sizeof one);
}

void PollWakeup::drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(socket_, &count, sizeof count);
}

} // namespace tav::tools
