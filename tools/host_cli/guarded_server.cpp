// Connections of the HTTP server: their threads, their limits and their sockets.
#include "tools/host_cli/guarded_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tav::tools {
namespace {

using Clock = std::chrono::steady_clock;

// How often a connection waiting for its next request looks whether the server is stopping.
constexpr int kStopCheckMs = 100;
// What a connection closed before its request was read may still drain, and for how long.
constexpr size_t kDrainBytes = 64 * 1024;
constexpr int kDrainMs = 500;

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

// Polls one socket; answers the returned events, 0 on timeout or error.
short pollSocket(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    return ready > 0 ? entry.revents : 0;
  }
}

void describe(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  }
  ip = text;
}

// A thread for every connection up to a limit; threads are made as connections need them and
// kept for the next ones.
class ConnectionWorkers : public httplib::TaskQueue {
public:
  explicit ConnectionWorkers(size_t limit) : limit_(std::max<size_t>(1, limit)) {}
  ~ConnectionWorkers() override { shutdown(); }

  void enqueue(std::function<void()> job) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
      if (jobs_.size() > idle_ && threads_.size() < limit_) {
        try {
          threads_.emplace_back([this] { run(); });
        } catch (const std::system_error&) {
          // No thread to be had: the connection waits for one of those there are.
        }
      }
    }
    wake_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
      if (thread.joinable()) {
        thread.join();
      }
    }
  }

private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      while (jobs_.empty() && !stopping_) {
        ++idle_;
        wake_.wait(lock);
        --idle_;
      }
      if (jobs_.empty()) {
        return;
      }
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
};

// One connection's socket as the library reads and writes it, with the head of each request
// held to the limits.
class ConnectionStream final : public httplib::Stream, public Connection {
public:
  // stopping tells whether the server is stopping, when every wait ends early.
  ConnectionStream(int fd, const ServerLimits& limits, std::function<bool()> stopping)
      : fd_(fd), limits_(limits), stopping_(std::move(stopping)) {}

  // Waits for the next request's first byte; false when the connection stays idle for the
  // keep-alive time or the server stops first.
  bool waitForRequest() {
    if (start_ < end_) {
      return true;
    }
    const auto deadline = Clock::now() + limits_.keepAlive;
    while (!stopping_()) {
      const int left = millisecondsUntil(deadline);
      if (left == 0) {
        return false;
      }
      if (pollSocket(fd_, POLLIN, std::min(left, kStopCheckMs)) != 0) {
        return true;
      }
    }
    return false;
  }

  void beginRequest() {
    inHead_ = true;
    headBudget_ = limits_.maxHeaderBytes;
    headDeadline_ = Clock::now() + limits_.headerDeadline;
    failure_ = Failure::None;
  }
  void endHead() { inHead_ = false; }
  // Whether the connection ends after this answer, with what the client still sends unread.
  bool closing() const { return closing_ || failure_ != Failure::None; }

  // ---- httplib::Stream ----

  bool is_readable() const override {
    return start_ < end_ || (pollSocket(fd_, POLLIN, waitMs()) & (POLLIN | POLLHUP)) != 0;
  }

  bool is_writable() const override {
    const short events = pollSocket(fd_, POLLOUT, timeoutMs(limits_.ioTimeout));
    return (events & POLLOUT) != 0 && (events & (POLLERR | POLLHUP)) == 0;
  }

  ssize_t read(char* data, size_t size) override {
    if (inHead_) {
      if (headBudget_ == 0) {
        failure_ = Failure::HeadersTooLarge;
        return -1;
      }
      size = std::min(size, headBudget_);
    }
    if (start_ == end_) {
      const ssize_t filled = fill();
      if (filled <= 0) {
        return filled;
      }
    }
    const size_t count = std::min(size, end_ - start_);
    std::memcpy(data, buffer_ + start_, count);
    start_ += count;
    if (inHead_) {
      headBudget_ -= count;
    }
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* data, size_t size) override {
    if (!is_writable()) {
      return -1;
    }
    for (;;) {
      const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) {
        continue;
      }
      return sent;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      describe(address, ip, port);
    }
  }

  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      describe(address, ip, port);
    }
  }

  socket_t socket() const override { return fd_; }

  // ---- Connection ----

  void closeAfterAnswer() override { closing_ = true; }

  bool peerClosed() const override {
    char byte = 0;
    const ssize_t peeked = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  }

  Failure failure() const override { return failure_; }

private:
  static int timeoutMs(std::chrono::seconds timeout) {
    return static_cast<int>(std::chrono::milliseconds(timeout).count());
  }

  // The longest the next wait for data may take: the I/O timeout, and no later than the head's
  // deadline while the head is read.
  int waitMs() const {
    const int io = timeoutMs(limits_.ioTimeout);
    return inHead_ ? std::min(io, millisecondsUntil(headDeadline_)) : io;
  }

  // Waits for data in short slices, so that a client in the middle of a request does not hold
  // up a stopping server.
  ssize_t fill() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs());
    for (;;) {
      const int left = millisecondsUntil(deadline);
      if (left == 0 || stopping_()) {
        if (inHead_ && Clock::now() >= headDeadline_) {
          failure_ = Failure::HeadersTooSlow;
        }
        return -1;
      }
      if ((pollSocket(fd_, POLLIN, std::min(left, kStopCheckMs)) & (POLLIN | POLLHUP | POLLERR)) !=
          0) {
        break;
      }
    }
    for (;;) {
      const ssize_t received = ::recv(fd_, buffer_, sizeof buffer_, 0);
      if (received < 0 && errno == EINTR) {
        continue;
      }
      start_ = 0;
      end_ = received > 0 ? static_cast<size_t>(received) : 0;
      return received;
    }
  }

  const int fd_;
  const ServerLimits& limits_;
  const std::function<bool()> stopping_;
  char buffer_[4096];
  size_t start_ = 0;
  size_t end_ = 0;
  bool inHead_ = false;
  size_t headBudget_ = 0;
  Clock::time_point headDeadline_;
  Failure failure_ = Failure::None;
  bool closing_ = false;
};

thread_local Connection* currentConnection = nullptr;

// Closes a socket whose client may still be sending a request body nobody read: closing with
// unread data would reset the connection and could destroy the answer before the client reads
// it, so the sending side is shut first and a little of the rest is read away.
void drainAndClose(int fd) {
  ::shutdown(fd, SHUT_WR);
  const auto deadline = Clock::now() + std::chrono::milliseconds(kDrainMs);
  char sink[4096];
  for (size_t drained = 0; drained < kDrainBytes;) {
    const int left = millisecondsUntil(deadline);
    if (left == 0 || pollSocket(fd, POLLIN, left) == 0) {
      break;
    }
    const ssize_t received = ::recv(fd, sink, sizeof sink, 0);
    if (received <= 0) {
      break;
    }
    drained += static_cast<size_t>(received);
  }
  ::close(fd);
}

} // namespace

Connection* Connection::current() {
  return currentConnection;
}

GuardedServer::GuardedServer(ServerLimits limits) : limits_(limits) {
  new_task_queue = [this] { return new ConnectionWorkers(limits_.maxConnections); };
  set_payload_max_length(limits_.maxBodyBytes);
  set_keep_alive_timeout(limits_.keepAlive.count());
  set_keep_alive_max_count(limits_.maxRequestsPerConnection);
  set_read_timeout(limits_.ioTimeout.count());
  set_write_timeout(limits_.ioTimeout.count());
  set_tcp_nodelay(true);
  // Address reuse lets a server start again at once on the port it just left, but unlike the
  // library's default it does not let two servers listen on one port.
  set_socket_options([this](socket_t fd) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    listener_ = fd;
  });
}

int GuardedServer::bindLoopback(int port, std::string* error) {
  errno = 0;
  const int bound =
      port == 0 ? bind_to_any_port("127.0.0.1") : (bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    const int cause = errno;
    *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
             (cause != 0 ? std::strerror(cause) : "the port is taken or not allowed");
    return -1;
  }
  // The library listens with a backlog of 5, which a few clients connecting at once overflow.
  ::listen(listener_, SOMAXCONN);
  return bound;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const auto stopping = [this] { return svr_sock_ == INVALID_SOCKET; };
  ConnectionStream stream(sock, limits_, stopping);
  currentConnection = &stream;
  for (size_t left = limits_.maxRequestsPerConnection; left > 0 && stream.waitForRequest();
       --left) {
    stream.beginRequest();
    bool clientCloses = false;
    const bool answered = process_request(stream, stopping() || left == 1, clientCloses,
                                          [&](httplib::Request&) { stream.endHead(); });
    if (!answered || clientCloses || stream.closing() || stopping()) {
      break;
    }
  }
  currentConnection = nullptr;
  if (stream.closing()) {
    drainAndClose(sock);
  } else {
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
  }
  return true;
}

} // namespace tav::tools
