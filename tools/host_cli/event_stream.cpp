// Streaming the events the plugin sends to HTTP clients.
#include "tools/host_cli/event_stream.h"

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
  return "id: " + std::to_string(id) + "\nevent: " + event.name + "\ndata: " + data + "\n\n";
}

} // namespace

bool EventStream::attach(httplib::Response& response) {
  if (clients_.fetch_add(1) >= kMaxClients) {
    clients_.fetch_sub(1);
    return false;
  }
  struct Client {
    bool greeted = false;
    uint64_t cursor = 0; // the number of the last event it has had
    Clock::time_point lastWrite = Clock::now();
  };
  auto client = std::make_shared<Client>();
  client->cursor = events_.sentCount();
  response.set_header("Cache-Control", "no-cache");
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, client](size_t, httplib::DataSink& sink) {
        if (!client->greeted) {
          client->greeted = true;
          return sink.write(kConnected, sizeof kConnected - 1);
        }
        const host::SentSince sent =
            events_.waitForSent(client->cursor, kWaitSlice, stop_.get_token());
        if (stop_.stop_requested()) {
          sink.done();
          return true;
        }
        std::string text;
        if (sent.missed > 0) {
          text = ": " + std::to_string(sent.missed) + " events were missed\n\n";
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

} // namespace tav::tools
