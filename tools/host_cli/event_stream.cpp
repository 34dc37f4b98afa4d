// Streaming the events the plugin sends to HTTP clients.
#include "tools/host_cli/event_stream.h"

#include "tools/host_cli/safe_text.h"

#include "tools/host_cli/guarded_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

namespace tav::tools {
namespace {

using Clock = std::chrono::steady_clock;

// How long a client waits for an event before looking whether it is still there.
constexpr auto kWaitSlice = std::chrono::milliseconds(1000);
constexpr auto kKeepAliveInterval = std::chrono::seconds(15);

constexpr char kConnected[] = ": connected\n\n";
constexpr char kKeepAlive[] = ": keep-alive\n\n";

std::string message(uint64_t id, const host::SentEvent& event) {
  // An event whose payload the host could not copy still shows that it happened.
  const std::string data = event.payloadError ? "null" : event.payload.toJson();
  return validUtf8("id: " + std::to_string(id) + "\nevent: " + event.name + "\ndata: " + data +
                   "\n\n");
}

} // namespace

bool EventStream::attach(httplib::Response& response) {
  if (clients_.fetch_add(1) >= kMaxClients) {
    clients_.fetch_sub(1);
    return false;
  }
  struct Client {
    bool greeted = false;
    uint64_t cursor = 0;    // the number of the last event it has had
    uint64_t announced = 0; // the number of announcements it has had
    Clock::time_point lastWrite = Clock::now();
  };
  auto client = std::make_shared<Client>();
  client->cursor = events_.sentCount();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    client->announced = announced_;
  }
  response.set_header("Cache-Control", "no-cache");
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, client](size_t, httplib::DataSink& sink) {
        if (!client->greeted) {
          client->greeted = true;
          return sink.write(kConnected, sizeof kConnected - 1);
        }
        if (stop_.stop_requested()) {
          sink.done();
          return true;
        }
        // The token is taken before the announcements are read, so that one made in between
        // cuts the wait short instead of waiting for the next slice.
        const std::stop_token wake = wakeToken();
        std::string text = announcementsAfter(client->announced);
        const host::SentSince sent = events_.waitForSent(
            client->cursor, text.empty() ? kWaitSlice : std::chrono::milliseconds(0), wake);
        if (stop_.stop_requested()) {
          sink.done();
          return true;
        }
        if (sent.missed > 0) {
          text += ": " + std::to_string(sent.missed) + " events were missed\n\n";
        }
        for (size_t i = 0; i < sent.events.size(); ++i) {
          text += message(sent.first + i, sent.events[i]);
        }
        client->cursor = std::max(client->cursor, sent.last);
        if (text.empty()) {
          const Connection* connection = Connection::current();
          if (connection != nullptr && connection->peerClosed()) {
            return false; // the client left: its thread and its place are free again
          }
          if (Clock::now() - client->lastWrite < kKeepAliveInterval) {
            return true;
          }
          text = kKeepAlive;
        }
        client->lastWrite = Clock::now();
        return sink.write(text.data(), text.size());
      },
      [this](bool) { clients_.fetch_sub(1); });
  return true;
}

void EventStream::announce(std::string_view name, const host::ValueTree& data) {
  std::lock_guard<std::mutex> lock(mutex_);
  announcements_.push_back(
      validUtf8("event: " + std::string(name) + "\ndata: " + data.toJson() + "\n\n"));
  if (announcements_.size() > kKeptAnnouncements) {
    announcements_.pop_front();
  }
  ++announced_;
  wake_.request_stop();
  wake_ = std::stop_source();
}

void EventStream::close() {
  stop_.request_stop();
  std::lock_guard<std::mutex> lock(mutex_);
  wake_.request_stop();
}

std::stop_token EventStream::wakeToken() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_.stop_requested() ? stop_.get_token() : wake_.get_token();
}

std::string EventStream::announcementsAfter(uint64_t& cursor) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  const uint64_t oldestKept = announced_ - announcements_.size();
  if (cursor < oldestKept) {
    text = ": " + std::to_string(oldestKept - cursor) + " changes were missed\n\n";
    cursor = oldestKept;
  }
  for (uint64_t number = cursor; number < announced_; ++number) {
    text += announcements_[number - oldestKept];
  }
  cursor = announced_;
  return text;
}

} // namespace tav::tools
