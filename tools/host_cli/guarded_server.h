// GuardedServer: cpp-httplib's server with the connection handling tav-host puts in front of it.
//
//   GuardedServer server;                       // ServerLimits{} unless told otherwise
//   server.Get(".*", handler);                  // as on httplib::Server
//   const int port = server.bindLoopback(0, &error);
//   server.listen_after_bind();
//
// What it changes:
//  - limits that hold before any handler runs, so before authentication too: the request line
//    and headers together are capped in size (431 beyond) and must arrive within a deadline
//    (408), and a connection idle between requests is closed after a while;
//  - a connection takes a thread only once it has sent a whole request head: until then (new,
//    idle between requests, or in the middle of a head) it waits with the others on one thread
//    that polls them all, so that sockets that send nothing, or a byte now and then, keep no
//    client waiting. Those waiting are capped; beyond the cap the one that waited longest is
//    closed, and a client that sends its head at once is served whatever the others do;
//  - a connection with a whole head has a thread of its own, up to a cap, so that event streams
//    and slow clients do not keep other requests waiting; a few more heads wait for a thread,
//    and beyond those the answer is 503;
//  - TCP_NODELAY on every connection, so that an answer written in two parts (head and body) is
//    not held back until the client acknowledges the first;
//  - a port another socket listens on is refused (the library's own default lets a second server
//    share it, and the kernel then splits the connections between the two).
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tav::tools {

struct ServerLimits {
  // The request line and headers of one request, together.
  size_t maxHeaderBytes = 64 * 1024;
  // From the first byte of a request to the end of its headers.
  std::chrono::seconds headerDeadline{10};
  // How long an open connection may wait for its next request.
  std::chrono::seconds keepAlive{5};
  // The longest single wait for the client to send or take data once the headers are in.
  std::chrono::seconds ioTimeout{5};
  // Connections served at once, each on a thread of its own.
  size_t maxConnections = 64;
  // Connections with a whole head that wait for one of those threads; later ones are answered
  // 503 and closed.
  size_t maxQueuedConnections = 256;
  // Connections that have not sent a whole head; beyond, the one that waited longest is closed.
  size_t maxWaitingConnections = 512;
  // Requests one connection carries before it is closed.
  size_t maxRequestsPerConnection = 100000;
  // Request bodies larger than this are answered 413, and no more of them is kept.
  size_t maxBodyBytes = 16 * 1024 * 1024;
};

// The connection a handler serves, for what httplib's request and response do not tell.
class Connection {
public:
  enum class Failure : uint8_t { None, HeadersTooLarge, HeadersTooSlow };

  virtual ~Connection() = default;

  // Closes the connection once the answer is written, letting what the client still sends
  // drain first: for an answer given before the request's body was read.
  virtual void closeAfterAnswer() = 0;
  // As closeAfterAnswer, for a body refused as too large: up to ServerLimits::maxBodyBytes of
  // what the client still sends is read and dropped, so that a client that sends its whole
  // body before reading sees the answer.
  virtual void closeAfterLargeBody() = 0;
  // Whether the client has closed or reset its end.
  virtual bool peerClosed() const = 0;
  // Why reading the current request's head stopped, if a limit stopped it.
  virtual Failure failure() const = 0;

  // The connection the calling thread serves; null on any other thread.
  static Connection* current();
};

// One client connection with what it has sent; guarded_server.cpp.
class ConnectionStream;

class GuardedServer : public httplib::Server {
public:
  explicit GuardedServer(ServerLimits limits = {});

  ~GuardedServer() override;

  // Binds 127.0.0.1:port, or a free port for 0. Answers the port, or -1 with error set, such as
  // when another socket listens on it.
  int bindLoopback(int port, std::string* error);

  const ServerLimits& limits() const { return limits_; }
  // The port bound, 0 before.
  int port() const { return port_; }

private:
  class Connections;

  // Runs on the thread that accepts: hands the socket to the waiting connections.
  bool process_and_close_socket(socket_t sock) override;
  // Runs on a connection's thread: answers the requests whose heads are in, and gives the
  // connection back when it is to wait for its next request.
  std::unique_ptr<ConnectionStream> serve(std::unique_ptr<ConnectionStream> stream);

  ServerLimits limits_;
  socket_t listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::unique_ptr<Connections> connections_;
};

} // namespace tav::tools
