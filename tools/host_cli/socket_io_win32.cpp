// Winsock: WSAPoll, a look before every read that must not wait, and a loopback datagram socket
// to wake WSAPoll, which waits on sockets alone.
#include "tools/host_cli/socket_io.h"

#include "host/windows_support.h"

#include <ws2tcpip.h>

namespace tav::tools {

short pollSocket(Socket socket, short events, int timeoutMs) {
  pollfd entry{socket, events, 0};
  return ::WSAPoll(&entry, 1, timeoutMs) > 0 ? entry.revents : 0;
}

bool pollSockets(std::vector<pollfd>& entries, int timeoutMs) {
  return ::WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeoutMs) >= 0;
}

ssize_t receiveNow(Socket socket, char* data, size_t size, bool peek) {
  // Something to read, the end or an error: the read then returns at once.
  if ((pollSocket(socket, POLLIN, 0) & (POLLIN | POLLHUP | POLLERR)) == 0) {
    return kNothingYet;
  }
  return ::recv(socket, data, static_cast<int>(size), peek ? MSG_PEEK : 0);
}

ssize_t receive(Socket socket, char* data, size_t size) {
  return ::recv(socket, data, static_cast<int>(size), 0);
}

ssize_t send(Socket socket, const char* data, size_t size) {
  return ::send(socket, data, static_cast<int>(size), 0);
}

void sendNow(Socket socket, const char* data, size_t size) {
  if ((pollSocket(socket, POLLOUT, 0) & POLLOUT) != 0) {
    ::send(socket, data, static_cast<int>(size), 0);
  }
}

void shutdownSending(Socket socket) {
  ::shutdown(socket, SD_SEND);
}

void shutdownBoth(Socket socket) {
  ::shutdown(socket, SD_BOTH);
}

void closeSocket(Socket socket) {
  ::closesocket(socket);
}

void setNoDelay(Socket socket) {
  const BOOL on = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

void setListenerOptions(Socket socket) {
  // Windows lets a port whose earlier connections linger be bound again anyway; SO_REUSEADDR
  // would let another socket take the port from under a listening one.
  const BOOL on = TRUE;
  ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
  setNoDelay(socket);
}

void clearSocketError() {
  ::WSASetLastError(0);
}

std::string socketErrorText() {
  const int cause = ::WSAGetLastError();
  if (cause == 0) {
    return {};
  }
  ::SetLastError(static_cast<DWORD>(cause));
  return host::lastWindowsErrorText();
}

PollWakeup::PollWakeup() : socket_(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
  // Bound to a loopback port of its own and connected to it, so that what it sends comes back
  // to it alone; reading never waits.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  u_long nonBlocking = 1;
  ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
  ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::ioctlsocket(socket_, FIONBIO, &nonBlocking);
}

PollWakeup::~PollWakeup() {
  ::closesocket(socket_);
}

void PollWakeup::signal() {
  const char one = 1;
  ::send(socket_, &one, 1, 0);
}

void PollWakeup::drain() {
  char datagrams[64];
  while (::recv(socket_, datagrams, sizeof datagrams, 0) > 0) {
  }
}

} // namespace tav::tools
