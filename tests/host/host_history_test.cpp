// The host's records keep their newest entries only, and readers of the sent events follow them
// with cursors of their own.
#include "host/host.h"

#include "host/host_value_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace tav::host {
namespace {

TEST(HostHistory, EveryRecordKeepsItsNewestEntriesUpToTheLimit) {
  HostOptions options;
  options.historyLimit = 3;
  Host host(options);
  host.addPeer("GET", "/peer", [](const SeenRequest&) { return PeerAnswer::value(1); });
  const HostApi* api = host.api();
  for (int i = 0; i < 10; ++i) {
    const std::string text = std::to_string(i);
    api->writeLog(api, 0, text.c_str());
    HostValue payload = encodeHostValue(ValueTree(i));
    HostEvent event;
    std::memset(&event, 0, sizeof event);
    event.name = "E";
    event.payload = payload;
    api->sendEvent(api, &event);
    releaseEncodedValue(payload);
    const std::string path = "/peer?" + text;
    HostRequest request;
    std::memset(&request, 0, sizeof request);
    request.method = 2; // GET
    request.path = path.c_str();
    HostResponse response;
    std::memset(&response, 0, sizeof response);
    api->sendRequest(api, &response, &request);
    response.release(&response);
    api->subscribe(api, "E", static_cast<uint32_t>(i), nullptr, nullptr, 0);
  }
  const std::vector<LogLine> lines = host.journal().logLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines.front().message, "7");
  EXPECT_EQ(lines.back().message, "9");
  const std::vector<SentEvent> sent = host.events().sentEvents();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent.back().payload, ValueTree(9));
  EXPECT_EQ(host.events().sentCount(), 10u);
  const std::vector<SeenRequest> requests = host.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests.back().path, "/peer?9");
  EXPECT_EQ(host.events().calls().size(), 3u);
  // Released records leave counts, not entries.
  EXPECT_EQ(host.ownership().released(ReleaseKind::Response), 10u);
  EXPECT_EQ(host.ownership().outstanding(), 0u);
}

TEST(EventHubCursor, AReaderGetsWhatItIsOwedAndHearsHowManyItMissed) {
  EventHub hub(3);
  for (int i = 1; i <= 5; ++i) {
    hub.recordSent(SentEvent{"E" + std::to_string(i), ValueTree(i), std::nullopt, 0});
  }
  const SentSince behind = hub.waitForSent(1, std::chrono::milliseconds(0));
  EXPECT_EQ(behind.first, 3u);
  EXPECT_EQ(behind.last, 5u);
  EXPECT_EQ(behind.missed, 1u); // event 2 is no longer kept
  ASSERT_EQ(behind.events.size(), 3u);
  EXPECT_EQ(behind.events.front().name, "E3");
  const SentSince current = hub.waitForSent(4, std::chrono::milliseconds(0));
  ASSERT_EQ(current.events.size(), 1u);
  EXPECT_EQ(current.events.front().name, "E5");
  EXPECT_TRUE(hub.waitForSent(5, std::chrono::milliseconds(0)).events.empty());
}

TEST(EventHubCursor, AWaitingReaderWakesForTheNextEventOrForItsStop) {
  EventHub hub;
  std::thread sender([&] { hub.recordSent(SentEvent{"E", ValueTree(), std::nullopt, 0}); });
  const SentSince woken = hub.waitForSent(0, std::chrono::hours(1));
  sender.join();
  ASSERT_EQ(woken.events.size(), 1u);

  std::stop_source stop;
  std::thread stopper([&] { stop.request_stop(); });
  EXPECT_TRUE(hub.waitForSent(1, std::chrono::hours(1), stop.get_token()).events.empty());
  stopper.join();
}

} // namespace
} // namespace tav::host
