// Connections of the HTTP server: where they wait, their threads, their limits and their sockets.
#include "tools/host_cli/guarded_server.h"

#include "tools/host_cli/socket_io.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tav::tools {
namespace {

using Clock = std::chrono::steady_clock;

// How often a connection in the middle of a request looks whether the server is stopping.
constexpr int kStopCheckMs = 100;
// The longest the waiting connections' thread sleeps without looking at their deadlines.
constexpr int kWaitingRoundMs = 1000;
// What a connection closed before its request was read may still drain, and for how long.
constexpr size_t kDrainBytes = 64 * 1024;
constexpr int kDrainMs = 500;
// How much a waiting connection's socket is read at a time.
constexpr size_t kReceiveBytes = 4096;

// The answer to a whole head that no thread can take up soon.
const std::string& busyAnswer() {
  static const std::string answer = [] {
    const std::string body = "{\"httpStatus\":503,\"message\":\"tav-host is serving too many "
                             "connections; try again\"}";
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }();
  return answer;
}

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
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

// Closes a socket whose client may still be sending a request body nobody read: closing with
// unread data would reset the connection and could destroy the answer before the client reads
// it, so the sending side is shut first and some of the rest is read away.
void drainAndClose(socket_t fd, size_t bytes, int milliseconds) {
  shutdownSending(fd);
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  char sink[16384];
  for (size_t drained = 0; drained < bytes;) {
    const int left = millisecondsUntil(deadline);
    if (left == 0 || pollSocket(fd, POLLIN, left) == 0) {
      break;
    }
    const ssize_t received = receive(fd, sink, sizeof sink);
    if (received <= 0) {
      break;
    }
    drained += static_cast<size_t>(received);
  }
  closeSocket(fd);
}

thread_local Connection* currentConnection = nullptr;

} // namespace

// One connection's socket as the library reads and writes it, with what arrived before a thread
// took it up, and the head of each request held to the limits.
class ConnectionStream final : public httplib::Stream, public Connection {
public:
  enum class Arrival : uint8_t { Waiting, HeadReady, Closed };

  // stopping tells whether the server is stopping, when every wait ends early.
  ConnectionStream(socket_t fd, const ServerLimits& limits, std::function<bool()> stopping)
      : fd_(fd), limits_(limits), stopping_(std::move(stopping)),
        requestsLeft_(limits.maxRequestsPerConnection) {}
  ~ConnectionStream() override {
    if (fd_ != INVALID_SOCKET) {
      closeSocket(fd_);
    }
  }
  ConnectionStream(const ConnectionStream&) = delete;
  ConnectionStream& operator=(const ConnectionStream&) = delete;

  // ---- while waiting for a head ----

  // Starts the wait for the next request, from now.
  void startWaiting() {
    waitingSince_ = Clock::now();
    if (unread() > 0) {
      headStart_ = waitingSince_;
    }
  }
  Clock::time_point waitingSince() const { return waitingSince_; }

  // Reads what the socket holds without waiting; says whether a whole head is in (or as much
  // as a head may be), or the client has gone.
  Arrival receive() {
    if (start_ > 0) {
      buffer_.erase(0, start_);
      scanned_ -= std::min(scanned_, start_);
      start_ = 0;
    }
    while (buffer_.size() <= limits_.maxHeaderBytes) {
      const size_t before = buffer_.size();
      buffer_.resize(before + kReceiveBytes);
      const ssize_t received = receiveNow(fd_, buffer_.data() + before, kReceiveBytes);
      buffer_.resize(before + static_cast<size_t>(std::max<ssize_t>(received, 0)));
      if (received == kNothingYet) {
        break;
      }
      if (received <= 0) {
        return Arrival::Closed;
      }
      if (before == 0) {
        headStart_ = Clock::now();
      }
      if (headComplete()) {
        return Arrival::HeadReady;
      }
    }
    return buffer_.size() > limits_.maxHeaderBytes ? Arrival::HeadReady : Arrival::Waiting;
  }

  // When the wait ends by itself: the keep-alive time for a connection that has sent nothing of
  // its next request, the head's deadline for one in the middle of it.
  Clock::time_point deadline() const {
    return unread() == 0 ? waitingSince_ + limits_.keepAlive : headStart_ + limits_.headerDeadline;
  }
  bool idle() const { return unread() == 0; }

  // Whether what has arrived holds the end of a request head.
  bool headComplete() {
    const size_t from = std::max(start_, scanned_ < 3 ? 0 : scanned_ - 3);
    const size_t end = buffer_.find("\r\n\r\n", from);
    // Searched up to the head found only: a pipelined second head behind it in the same packet is
    // found in its turn, not left to the head's deadline.
    scanned_ = end == std::string::npos ? buffer_.size() : end;
    return end != std::string::npos;
  }

  // ---- on a connection's thread ----

  void beginRequest() {
    inHead_ = true;
    headBudget_ = limits_.maxHeaderBytes;
    failure_ = Failure::None;
    --requestsLeft_;
  }
  void endHead() { inHead_ = false; }
  // The next request, already here in part or whole, starts now.
  void endRequest() { headStart_ = Clock::now(); }
  bool lastRequest() const { return requestsLeft_ == 0; }
  // Whether the connection ends after this answer, with what the client still sends unread.
  bool closing() const { return drainBytes_ > 0 || failure_ != Failure::None; }

  // Closes the socket, draining first when the answer came before the body was read.
  void finish() {
    const socket_t fd = std::exchange(fd_, INVALID_SOCKET);
    if (closing()) {
      const bool large = drainBytes_ > kDrainBytes;
      drainAndClose(fd, std::max(drainBytes_, kDrainBytes),
                    large ? static_cast<int>(timeoutMs(limits_.ioTimeout)) : kDrainMs);
    } else {
      shutdownBoth(fd);
      closeSocket(fd);
    }
  }

  // ---- httplib::Stream ----

  bool is_readable() const override {
    return unread() > 0 || (pollSocket(fd_, POLLIN, waitMs()) & (POLLIN | POLLHUP)) != 0;
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
    if (unread() == 0) {
      const ssize_t filled = fill();
      if (filled <= 0) {
        return filled;
      }
    }
    const size_t count = std::min(size, unread());
    std::memcpy(data, buffer_.data() + start_, count);
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
    return tools::send(fd_, data, size);
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

  void closeAfterAnswer() override { drainBytes_ = std::max(drainBytes_, kDrainBytes); }
  void closeAfterLargeBody() override { drainBytes_ = std::max(drainBytes_, limits_.maxBodyBytes); }

  bool peerClosed() const override {
    char byte = 0;
    const ssize_t peeked = receiveNow(fd_, &byte, 1, true);
    return peeked == 0 || peeked == -1;
  }

  Failure failure() const override { return failure_; }

private:
  static int64_t timeoutMs(std::chrono::seconds timeout) {
    return std::chrono::milliseconds(timeout).count();
  }

  size_t unread() const { return buffer_.size() - start_; }

  // The longest the next wait for data may take: the I/O timeout, and no later than the head's
  // deadline while the head is read.
  int waitMs() const {
    const int io = static_cast<int>(timeoutMs(limits_.ioTimeout));
    return inHead_ ? std::min(io, millisecondsUntil(headStart_ + limits_.headerDeadline)) : io;
  }

  // Waits for data in short slices, so that a client in the middle of a request does not hold
  // up a stopping server.
  ssize_t fill() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs());
    for (;;) {
      const int left = millisecondsUntil(deadline);
      if (left == 0 || stopping_()) {
        if (inHead_ && Clock::now() >= headStart_ + limits_.headerDeadline) {
          failure_ = Failure::HeadersTooSlow;
        }
        return -1;
      }
      if ((pollSocket(fd_, POLLIN, std::min(left, kStopCheckMs)) & (POLLIN | POLLHUP | POLLERR)) !=
          0) {
        break;
      }
    }
    buffer_.resize(kReceiveBytes);
    start_ = 0;
    scanned_ = 0;
    const ssize_t received = tools::receive(fd_, buffer_.data(), buffer_.size());
    buffer_.resize(static_cast<size_t>(std::max<ssize_t>(received, 0)));
    return received;
  }

  socket_t fd_;
  const ServerLimits& limits_;
  const std::function<bool()> stopping_;
  std::string buffer_;
  size_t start_ = 0;   // what of buffer_ has been read
  size_t scanned_ = 0; // what of buffer_ was searched for the end of a head
  size_t requestsLeft_;
  Clock::time_point waitingSince_ = Clock::now();
  Clock::time_point headStart_ = Clock::now(); // the first byte of the current request
  bool inHead_ = false;
  size_t headBudget_ = 0;
  Failure failure_ = Failure::None;
  size_t drainBytes_ = 0; // nonzero: closing, and how much of the rest may be read away
};

// Where connections wait for their heads (one thread polling them all), and the threads that
// serve those whose heads are in.
class GuardedServer::Connections {
public:
  // Answers what the connection sent; gives it back when it is to wait for its next request.
  using Serve = std::function<std::unique_ptr<ConnectionStream>(std::unique_ptr<ConnectionStream>)>;

  Connections(const ServerLimits& limits, Serve serve) : limits_(limits), serve_(std::move(serve)) {
    waiter_ = std::thread([this] { waitForHeads(); });
  }
  ~Connections() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    signalWaiter();
    waiter_.join();
    for (std::thread& thread : threads_) {
      thread.join();
    }
  }
  Connections(const Connections&) = delete;
  Connections& operator=(const Connections&) = delete;

  // Lets stream wait for its next head; false, with stream kept, once the server is stopping.
  bool admit(std::unique_ptr<ConnectionStream>& stream) {
    stream->startWaiting();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) {
        return false;
      }
      arriving_.push_back(std::move(stream));
    }
    signalWaiter();
    return true;
  }

private:
  void signalWaiter() { wake_.signal(); }

  // The waiting connections' thread: polls them all, and hands on those whose heads are in.
  void waitForHeads() {
    std::vector<std::unique_ptr<ConnectionStream>> waiting;
    std::vector<pollfd> polled;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
          break;
        }
        for (std::unique_ptr<ConnectionStream>& stream : arriving_) {
          // A flood of connections closes its own oldest members, not the server.
          if (waiting.size() >= limits_.maxWaitingConnections) {
            waiting.erase(std::min_element(waiting.begin(), waiting.end(),
                                           [](const auto& left, const auto& right) {
                                             return left->waitingSince() < right->waitingSince();
                                           }));
          }
          waiting.push_back(std::move(stream));
        }
        arriving_.clear();
      }
      polled.assign(1, pollfd{wake_.socket(), POLLIN, 0});
      auto soonest = Clock::now() + std::chrono::milliseconds(kWaitingRoundMs);
      for (const std::unique_ptr<ConnectionStream>& stream : waiting) {
        polled.push_back(pollfd{stream->socket(), POLLIN, 0});
        soonest = std::min(soonest, stream->deadline());
      }
      if (!pollSockets(polled, millisecondsUntil(soonest))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kStopCheckMs));
        continue;
      }
      if (polled[0].revents != 0) {
        wake_.drain();
      }
      const auto now = Clock::now();
      size_t kept = 0;
      for (size_t i = 0; i < waiting.size(); ++i) {
        std::unique_ptr<ConnectionStream>& stream = waiting[i];
        ConnectionStream::Arrival arrival = ConnectionStream::Arrival::Waiting;
        if (polled[i + 1].revents != 0) {
          arrival = stream->receive();
        } else if (now >= stream->deadline()) {
          // An idle connection just ends; a head that came too slowly is answered 408.
          arrival = stream->idle() ? ConnectionStream::Arrival::Closed
                                   : ConnectionStream::Arrival::HeadReady;
        }
        if (arrival == ConnectionStream::Arrival::HeadReady) {
          handOn(stream);
        } else if (arrival == ConnectionStream::Arrival::Waiting) {
          waiting[kept++] = std::move(stream);
        }
      }
      waiting.resize(kept);
    }
    // Stopping: what still waits is closed with the vector.
  }

  // Queues a connection whose head is in for a thread, making one when every thread is busy;
  // one that would wait behind too many others is answered 503 at once.
  void handOn(std::unique_ptr<ConnectionStream>& stream) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queued_.size() < limits_.maxQueuedConnections) {
        queued_.push_back(std::move(stream));
        if (queued_.size() > idle_ && threads_.size() < limits_.maxConnections) {
          try {
            threads_.emplace_back([this] { serveQueued(); });
          } catch (const std::system_error&) {
            // No thread to be had: the connection waits for one of those there are.
          }
        }
      }
    }
    if (stream) {
      // Closed without draining: this thread cannot wait for a client that keeps sending.
      const std::string& answer = busyAnswer();
      sendNow(stream->socket(), answer.data(), answer.size());
      shutdownSending(stream->socket());
      return;
    }
    ready_.notify_one();
  }

  void serveQueued() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      while (queued_.empty() && !stopping_) {
        ++idle_;
        ready_.wait(lock);
        --idle_;
      }
      if (stopping_) {
        queued_.clear();
        return;
      }
      std::unique_ptr<ConnectionStream> stream = std::move(queued_.front());
      queued_.pop_front();
      lock.unlock();
      std::unique_ptr<ConnectionStream> again = serve_(std::move(stream));
      if (again && !admit(again)) {
        again->finish();
      }
      lock.lock();
    }
  }

  const ServerLimits& limits_;
  const Serve serve_;
  PollWakeup wake_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<std::unique_ptr<ConnectionStream>> arriving_;
  std::deque<std::unique_ptr<ConnectionStream>> queued_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
  std::thread waiter_;
};

namespace {

// Runs what the library hands it at once, on the accepting thread: handing a socket on to the
// waiting connections takes no time. Shutting it down ends the connections and their threads.
class InlineTasks : public httplib::TaskQueue {
public:
  explicit InlineTasks(std::function<void()> shutdown) : shutdown_(std::move(shutdown)) {}
  void enqueue(std::function<void()> task) override { task(); }
  void shutdown() override { shutdown_(); }

private:
  std::function<void()> shutdown_;
};

} // namespace

Connection* Connection::current() {
  return currentConnection;
}

GuardedServer::GuardedServer(ServerLimits limits) : limits_(limits) {
  new_task_queue = [this] {
    connections_ =
        std::make_unique<Connections>(limits_, [this](std::unique_ptr<ConnectionStream> stream) {
          return serve(std::move(stream));
        });
    return new InlineTasks([this] { connections_.reset(); });
  };
  set_payload_max_length(limits_.maxBodyBytes);
  set_keep_alive_timeout(limits_.keepAlive.count());
  set_keep_alive_max_count(limits_.maxRequestsPerConnection);
  set_read_timeout(limits_.ioTimeout.count());
  set_write_timeout(limits_.ioTimeout.count());
  set_tcp_nodelay(true);
  // Address reuse lets a server start again at once on the port it just left, but unlike the
  // library's default it does not let two servers listen on one port.
  set_socket_options([this](socket_t fd) {
    setListenerOptions(fd);
    listener_ = fd;
  });
}

GuardedServer::~GuardedServer() = default;

int GuardedServer::bindLoopback(int port, std::string* error) {
  clearSocketError();
  const int bound =
      port == 0 ? bind_to_any_port("127.0.0.1") : (bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    const std::string cause = socketErrorText();
    *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
             (!cause.empty() ? cause : "the port is taken or not allowed");
    return -1;
  }
  // The library listens with a backlog of 5, which a few clients connecting at once overflow.
  ::listen(listener_, SOMAXCONN);
  port_ = bound;
  return bound;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  setNoDelay(sock);
  auto stream = std::make_unique<ConnectionStream>(sock, limits_,
                                                   [this] { return svr_sock_ == INVALID_SOCKET; });
  connections_->admit(stream);
  return true;
}

std::unique_ptr<ConnectionStream> GuardedServer::serve(std::unique_ptr<ConnectionStream> stream) {
  const auto stopping = [this] { return svr_sock_ == INVALID_SOCKET; };
  currentConnection = stream.get();
  bool goesOn = true;
  // Requests whose heads are already in are answered here, one after the other; the
  // connection waits for a later one with the others.
  do {
    stream->beginRequest();
    bool clientCloses = false;
    const bool answered =
        process_request(*stream, stopping() || stream->lastRequest(), clientCloses,
                        [&](httplib::Request&) { stream->endHead(); });
    goesOn =
        answered && !clientCloses && !stream->closing() && !stopping() && !stream->lastRequest();
    stream->endRequest();
  } while (goesOn && stream->headComplete());
  currentConnection = nullptr;
  if (goesOn) {
    return stream;
  }
  stream->finish();
  return nullptr;
}

} // namespace tav::tools
