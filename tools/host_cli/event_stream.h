// EventStream: the events the plugin sends, passed on to HTTP clients as Server-Sent Events.
//
//   EventStream stream(host);                       // follows host.events() from now on
//   server.Get("/events", [&](auto&, auto& res) { stream.attach(res); });
//   stream.close();                                 // before server.stop(): clients end
//
// Every client first reads the comment ": connected", then one message per event:
// "id: <n>", "event: <name>" and "data: <payload as compact JSON>". A comment is sent when
// nothing happened for a while, so that a client sees a dead connection.
#pragma once

#include "host/host.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
struct Response;
}

namespace tav::tools {

class EventStream {
public:
  explicit EventStream(const host::Host& host);
  // Closes the stream and stops following the host.
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // Makes response a stream of the events sent from now on, until the client leaves or the
  // stream closes.
  void attach(httplib::Response& response);

  // Ends every client's stream; later clients get an empty one.
  void close();

private:
  struct Message {
    uint64_t id;
    std::string text;
  };

  void follow();
  void publish(const host::SentEvent& event);

  const host::Host& host_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Message> recent_; // the last kKept messages, for clients that fell behind
  uint64_t nextId_ = 1;
  bool closed_ = false;
  std::thread follower_;
};

} // namespace tav::tools
