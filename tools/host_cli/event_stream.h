// EventStream: the events the plugin sends, passed on to HTTP clients as Server-Sent Events.
//
//   EventStream stream(host.events());
//   server.Get("/events", [&](auto&, auto& res) { if (!stream.attach(res)) { /* 503 */ } });
//   stream.close();                                 // before server.stop(): clients end
//
// Every client first reads the comment ": connected", then one message per event sent from then
// on: "id: <n>", "event: <name>" and "data: <payload as compact JSON>", n being the event's
// number since the plugin started. Each client follows the host's event record with a cursor
// of its own and sleeps until an event is sent; one that falls so far behind that the host no
// longer keeps what it missed reads a comment saying how many events it missed. A comment is
// sent when nothing happened for a while, so that a client sees a dead connection.
//
// Beside the plugin's events, tav-host announces changes of its own (stream.announce): messages
// with "event:" and "data:" but no "id:", since they are not numbered among the plugin's events.
#pragma once

#include "host/event_hub.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>

namespace httplib {
struct Response;
}

namespace tav::tools {

class EventStream {
public:
  // Streams open at once, at most; each takes a connection's thread for as long as it is open.
  static constexpr size_t kMaxClients = 8;

  explicit EventStream(const host::EventHub& events) : events_(events) {}
  // Closes the stream. The server whose responses were attached must have stopped.
  ~EventStream() { close(); }
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // Makes response a stream of the events sent from now on, until the client leaves or the
  // stream closes; false, leaving response alone, when kMaxClients streams are open already.
  bool attach(httplib::Response& response);

  // Sends the message name/data to every open client, and to none that attach later.
  void announce(std::string_view name, const host::ValueTree& data);

  // Ends every client's stream; later clients get an empty one.
  void close();

private:
  // Announcements kept for clients that have not written them yet.
  static constexpr size_t kKeptAnnouncements = 256;

  // The token a client waits with: stopped by the next announcement or by close.
  std::stop_token wakeToken();
  // The announcements after the client's cursor, as stream text, moving the cursor past them.
  std::string announcementsAfter(uint64_t& cursor);

  const host::EventHub& events_;
  std::stop_source stop_;
  std::atomic<size_t> clients_{0};

  std::mutex mutex_;
  std::deque<std::string> announcements_; // the newest ones, as stream text
  uint64_t announced_ = 0;                // how many were ever made
  std::stop_source wake_;
};

} // namespace tav::tools
