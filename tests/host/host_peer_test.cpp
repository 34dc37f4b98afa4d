// The plugin's requests (HostApi entry 0): peer choice, the three answer shapes, what the host
// records, and one release per record and stream handed out.
#include "host/host.h"

#include "host/host_value_codec.h"
#include "host/response_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace tav::host {
namespace {

// Sends one request through the host's table as the plugin would, and owns the response.
class PluginSide {
public:
  explicit PluginSide(const Host& host) : api_(host.api()) {}

  HostResponse& send(uint32_t method, const char* path, const HostTypedArgument* args = nullptr,
                     uint32_t argCount = 0) {
    HostRequest request;
    std::memset(&request, 0, sizeof request);
    request.method = method;
    request.path = path;
    request.args = args;
    request.argCount = argCount;
    request.callerHandle = 1;
    std::memset(&response_, 0, sizeof response_);
    api_->sendRequest(api_, &response_, &request);
    return response_;
  }

  void release() {
    if (response_.release != nullptr) {
      response_.release(&response_);
    }
  }

private:
  const HostApi* api_;
  HostResponse response_;
};

constexpr uint32_t kGet = 2;
constexpr uint32_t kPost = 6;

std::string readAll(HostResponse& response, std::vector<uint32_t>* counts = nullptr) {
  std::string text;
  uint8_t more = 1;
  while (more != 0) {
    char buffer[8];
    uint32_t count = sizeof buffer;
    EXPECT_EQ(response.streamRead(response.stream, buffer, &count, &more), 1);
    text.append(buffer, count);
    if (counts != nullptr) {
      counts->push_back(count);
    }
  }
  return text;
}

class HostPeerTest : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(host.ownership().outstanding(), 0u);
    EXPECT_TRUE(host.ownership().faults().empty());
  }

  Host host;
  PluginSide plugin{host};
};

TEST_F(HostPeerTest, AnswersAValueTheHostOwnsAndReleasesItOnce) {
  host.addPeer("GET", "/tav-inventory/v1/signedInventory", [](const SeenRequest&) {
    return PeerAnswer::value(ValueTree::map({{"items", ValueTree::list({"jwt"})}}));
  });
  HostResponse& response = plugin.send(kGet, "/tav-inventory/v1/signedInventory");
  const CallResult answer = readResponse(response);
  EXPECT_FALSE(answer.error);
  EXPECT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.value, ValueTree::map({{"items", ValueTree::list({"jwt"})}}));
  const HostResponseReleaseFn release = response.release;
  ASSERT_NE(release, nullptr);
  EXPECT_EQ(host.ownership().outstanding(), 1u);

  plugin.release();
  EXPECT_EQ(host.ownership().released(ReleaseKind::Response), 1u);
  EXPECT_TRUE(readResponse(response).value.isEmpty());
}

TEST_F(HostPeerTest, LendsTextsItKeepsUntilTheRecordIsReleased) {
  auto token = std::make_shared<const std::string>("header.payload.signature");
  host.addPeer("GET", "/tav-inventory/v1/signedInventory", [&token](const SeenRequest&) {
    return PeerAnswer::lentTexts({{"TOURNAMENT_FLAG", token}, {"OMITTED", nullptr}, {"B", token}});
  });
  HostResponse& response = plugin.send(kGet, "/tav-inventory/v1/signedInventory");
  token.reset(); // the peer lets go; the record still holds the text
  ASSERT_EQ(response.value.kind, static_cast<uint32_t>(HostValueKind::Map));
  ASSERT_EQ(response.value.span.length, 2u);
  const auto* entries = static_cast<const HostMapEntry*>(response.value.span.data);
  EXPECT_STREQ(entries[0].key, "TOURNAMENT_FLAG");
  EXPECT_EQ(int{entries[0].keyOwned}, 1);
  EXPECT_EQ(uint32_t{entries[0].value.kind}, static_cast<uint32_t>(HostValueKind::BorrowedString));
  EXPECT_EQ(uint32_t{entries[0].value.span.length}, 24u);
  const void* first = entries[0].value.span.data; // copied: the packed record is unaligned
  const void* second = entries[1].value.span.data;
  EXPECT_EQ(second, first); // one text, lent twice
  EXPECT_EQ(readResponse(response).value,
            ValueTree::map({{"TOURNAMENT_FLAG", "header.payload.signature"},
                            {"B", "header.payload.signature"}}));
  plugin.release();
  EXPECT_EQ(host.ownership().released(ReleaseKind::Response), 1u);
}

TEST_F(HostPeerTest, AnswersAnErrorWithAnOwnedTextAndItsStatus) {
  host.addPeer("GET", "/tav-sondar/v1/current-sondar/sondar-profile",
               [](const SeenRequest&) { return PeerAnswer::error(503, "Service unavailable"); });
  const CallResult answer =
      readResponse(plugin.send(kGet, "/tav-sondar/v1/current-sondar/sondar-profile"));
  EXPECT_EQ(answer.error, "Service unavailable");
  EXPECT_TRUE(answer.errorOwned);
  EXPECT_EQ(answer.status, 503u);
  plugin.release();
}

TEST_F(HostPeerTest, AnswersAPathWithoutPeerWithNotFound404) {
  const CallResult answer = readResponse(plugin.send(kGet, "/tav-loadouts/v2/items/1"));
  EXPECT_EQ(answer.error, "Not found");
  EXPECT_EQ(answer.status, 404u);
  plugin.release();
}

TEST_F(HostPeerTest, StreamHonoursTheCountAndTellsWhetherMoreFollows) {
  host.addPeer("GET", "/s", [](const SeenRequest&) {
    return PeerAnswer::stream({"0123456789", "", "ab"});
  });
  HostResponse& response = plugin.send(kGet, "/s");
  const CallResult answer = readResponse(response);
  ASSERT_TRUE(answer.streamed);
  EXPECT_EQ(answer.streamSizeHint, 12u);
  const uint32_t zero = response.zero;
  EXPECT_EQ(zero, 0u);
  std::vector<uint32_t> counts;
  EXPECT_EQ(readAll(response, &counts), "0123456789ab");
  EXPECT_EQ(counts, (std::vector<uint32_t>{8, 2, 0, 2}));
  EXPECT_EQ(host.ownership().outstanding(), 2u);

  response.streamRelease(response.stream);
  plugin.release();
  EXPECT_EQ(host.ownership().released(ReleaseKind::Stream), 1u);
  EXPECT_EQ(host.ownership().released(ReleaseKind::Response), 1u);
}

TEST_F(HostPeerTest, FailingStreamFailsTheReadAfterItsChunks) {
  host.addPeer("GET", "/s", [](const SeenRequest&) { return PeerAnswer::failingStream({"abc"}); });
  HostResponse& response = plugin.send(kGet, "/s");
  char buffer[16];
  uint32_t count = sizeof buffer;
  uint8_t more = 0;
  EXPECT_EQ(response.streamRead(response.stream, buffer, &count, &more), 1);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(more, 1);
  count = sizeof buffer;
  EXPECT_EQ(response.streamRead(response.stream, buffer, &count, &more), 0);
  response.streamRelease(response.stream);
  plugin.release();
}

TEST_F(HostPeerTest, CountsASecondReleaseAsStray) {
  host.addPeer("GET", "/v", [](const SeenRequest&) { return PeerAnswer::value(1); });
  HostResponse& response = plugin.send(kGet, "/v");
  const HostResponseReleaseFn release = response.release;
  const uint64_t straysBefore = strayReleases();
  release(&response);
  release(&response);
  EXPECT_EQ(strayReleases(), straysBefore + 1);
  EXPECT_EQ(host.ownership().released(ReleaseKind::Response), 1u);
}

TEST_F(HostPeerTest, RecordsEachRequestWithItsDecodedArguments) {
  host.addPeer("", "/tav-loadouts/v2/items/1",
               [](const SeenRequest&) { return PeerAnswer::value(ValueTree()); });
  HostTypedArgument argument{};
  argument.name = nullptr;
  argument.value = encodeHostValue(ValueTree::map({{"TOURNAMENT_FLAG", 12}}));
  plugin.send(kPost, "/tav-loadouts/v2/items/1", &argument, 1);
  plugin.release();
  releaseEncodedValue(argument.value);

  const std::vector<SeenRequest> seen = host.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].path, "/tav-loadouts/v2/items/1");
  EXPECT_EQ(seen[0].callerHandle, 1u);
  EXPECT_EQ(seen[0].args, (std::vector<TypedArgument>{
                              {std::nullopt, ValueTree::map({{"TOURNAMENT_FLAG", 12}})}}));
  EXPECT_FALSE(seen[0].body);
  EXPECT_EQ(host.requestsTo("/tav-loadouts/v2/items/1").size(), 1u);
}

TEST_F(HostPeerTest, KeepsTheFaultOfAnArgumentItCouldNotDecode) {
  HostTypedArgument argument{};
  argument.value.kind = 42;
  plugin.send(kGet, "/x", &argument, 1);
  plugin.release();
  EXPECT_EQ(host.requests().at(0).argumentError, "argument 0: unknown value kind 42");
}

TEST_F(HostPeerTest, TurnsAThrowingPeerIntoA500Answer) {
  host.addPeer("GET", "/boom",
               [](const SeenRequest&) -> PeerAnswer { throw std::runtime_error("no inventory"); });
  const CallResult answer = readResponse(plugin.send(kGet, "/boom"));
  EXPECT_EQ(answer.error, "peer failed: no inventory");
  EXPECT_EQ(answer.status, 500u);
  plugin.release();
}

struct PeerChoiceCase {
  std::string label;
  uint32_t method;
  std::string path;
  std::string answeredBy;
};

class HostPeerChoice : public HostPeerTest, public ::testing::WithParamInterface<PeerChoiceCase> {
protected:
  void SetUp() override {
    auto answer = [](std::string name) {
      return [name](const SeenRequest&) { return PeerAnswer::value(ValueTree(name)); };
    };
    host.addPeer("GET", "/a/b", answer("exact GET"));
    host.addPeer("", "/a/b", answer("exact any"));
    host.addPrefixPeer("", "/a/", answer("short prefix"));
    host.addPrefixPeer("GET", "/a/b/", answer("long prefix"));
  }
};

TEST_P(HostPeerChoice, ExactPathThenLongestPrefixThenOwnMethod) {
  const CallResult answer = readResponse(plugin.send(GetParam().method, GetParam().path.c_str()));
  EXPECT_EQ(answer.value, ValueTree(GetParam().answeredBy));
  plugin.release();
}

INSTANTIATE_TEST_SUITE_P(
    Peers, HostPeerChoice,
    ::testing::Values(PeerChoiceCase{"ExactOwnMethod", kGet, "/a/b", "exact GET"},
                      PeerChoiceCase{"ExactIgnoresQuery", kGet, "/a/b?x=1", "exact GET"},
                      PeerChoiceCase{"ExactAnyMethod", kPost, "/a/b", "exact any"},
                      PeerChoiceCase{"LongestPrefix", kGet, "/a/b/c", "long prefix"},
                      PeerChoiceCase{"PrefixOfOtherMethod", kPost, "/a/b/c", "short prefix"}),
    [](const auto& info) { return info.param.label; });

TEST_F(HostPeerTest, ServesRequestsFromSeveralThreadsAtOnce) {
  host.addPrefixPeer("GET", "/n/", [](const SeenRequest& request) {
    return PeerAnswer::value(ValueTree(request.path.substr(3)));
  });
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&, thread] {
      PluginSide side(host);
      for (int call = 0; call < 50; ++call) {
        const std::string id = std::to_string(thread * 100 + call);
        const std::string path = "/n/" + id;
        HostResponse& response = side.send(kGet, path.c_str());
        if (decodeHostValue(response.value) != ValueTree(id)) {
          wrong.fetch_add(1);
        }
        side.release();
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(host.requests().size(), 200u);
  EXPECT_EQ(host.ownership().released(ReleaseKind::Response), 200u);
}

} // namespace
} // namespace tav::host
