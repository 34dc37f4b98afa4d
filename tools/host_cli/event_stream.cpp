// Following the events the plugin sends and streaming them to HTTP clients.
#include "tools/host_cli/event_stream.h"

#include <httplib.h>

#include <chrono>
#include <memory>

namespace tav::tools {
namespace {

constexpr size_t kKept = 256;
// The host keeps what the plugin sent but calls nobody about it; looking this often is quick
// enough for a person and costs nothing noticeable.
constexpr auto kFollowInterval = std::chrono::milliseconds(50);
constexpr auto kKeepAliveInterval = std::chrono::seconds(15);

constexpr char kConnected[] = ": connected\n\n";
constexpr char kKeepAlive[] = ": keep-alive\n\n";

} // namespace

EventStream::EventStream(const host::Host& host) : host_(host), follower_([this] { follow(); }) {}

EventStream::~EventStream() {
  close();
  follower_.join();
}

void EventStream::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

void EventStream::follow() {
  size_t seen = host_.events().sentEvents().size();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!changed_.wait_for(lock, kFollowInterval, [this] { return closed_; })) {
    lock.unlock();
    const std::vector<host::SentEvent> sent = host_.events().sentEvents();
    for (; seen < sent.size(); ++seen) {
      publish(sent[seen]);
    }
    lock.lock();
  }
}

void EventStream::publish(const host::SentEvent& event) {
  // An event whose payload the host could not copy still shows that it happened.
  const std::string data = event.payloadError ? "null" : event.payload.toJson();
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t id = nextId_++;
  recent_.push_back(
      {id, "id: " + std::to_string(id) + "\nevent: " + event.name + "\ndata: " + data + "\n\n"});
  if (recent_.size() > kKept) {
    recent_.pop_front();
  }
  changed_.notify_all();
}

void EventStream::attach(httplib::Response& response) {
  struct Client {
    bool greeted = false;
    uint64_t next = 0; // the id of the first message it has not had
  };
  auto client = std::make_shared<Client>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    client->next = nextId_;
  }
  response.set_header("Cache-Control", "no-cache");
  response.set_chunked_content_provider(
      "text/event-stream", [this, client](size_t, httplib::DataSink& sink) {
        if (!client->greeted) {
          client->greeted = true;
          return sink.write(kConnected, sizeof kConnected - 1);
        }
        std::string text;
        {
          std::unique_lock<std::mutex> lock(mutex_);
          changed_.wait_for(lock, kKeepAliveInterval,
                            [&] { return closed_ || nextId_ > client->next; });
          if (closed_) {
            lock.unlock();
            sink.done();
            return true;
          }
          for (const Message& message : recent_) {
            if (message.id >= client->next) {
              text += message.text;
            }
          }
          client->next = nextId_;
        }
        if (text.empty()) {
          text = kKeepAlive;
        }
        return sink.write(text.data(), text.size());
      });
}

} // namespace tav::tools
