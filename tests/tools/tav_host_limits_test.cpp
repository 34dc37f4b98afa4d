// `tav-host serve` under misuse: hostile bodies and heads, the HTTP layer's own errors, more event
// streams than it takes, and configuration changes that the very next request must see.
#include "host/value_tree.h"
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <map>
#include <thread>

namespace tav::testtools {
namespace {

using host::ValueTree;

std::string nested(size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// The message of an error answer in the documented shape, checked on the way.
std::string errorMessage(int status, const std::string& body) {
  const std::optional<ValueTree> error = ValueTree::fromJson(body);
  EXPECT_TRUE(error && error->find("httpStatus") && error->find("message")) << body;
  if (!error || !error->find("httpStatus") || !error->find("message")) {
    return "";
  }
  EXPECT_EQ(error->find("httpStatus")->asSigned(), status) << body;
  return error->find("message")->text();
}

// Twenty header lines of 4 KB: each within the library's limit of a line, all of them over ours.
std::string paddedHead() {
  std::string lines = "GET / HTTP/1.1\r\n";
  for (int i = 0; i < 20; ++i) {
    lines += "X-Pad-" + std::to_string(i) + ": " + std::string(4000, 'p') + "\r\n";
  }
  return lines + "\r\n";
}

class TavHostLimitsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TAV_REQUIRE_TOOL();
    ASSERT_TRUE(served.start({"--data", data})) << served.failure();
  }

  TemporaryFolder folder;
  std::string data = folder.write("sondar.json", sampleText());
  ServedHost served;
};

TEST_F(TavHostLimitsTest, RefusesBodiesNestedTooDeepOrNotUtf8AndKeepsServing) {
  httplib::Client client = served.client();
  const std::string saved = readFile(data);
  struct Case {
    const char* method;
    std::string path;
    std::string body;
    std::string problem;
  };
  const std::string deep = nested(60000);
  const std::vector<Case> cases = {
      {"PUT", kEquipSwitch, deep, "Nested deeper than 512 levels"},
      {"PUT", kProfilePath, "{\"a\": " + deep + "}", "Nested deeper than 512 levels"},
      {"POST", kProfilePath, "{\"key\": \"a\", \"value\": " + deep + "}", "Nested deeper"},
      {"PUT", "/tav-inventory/v1/signedInventory", "{\"flags\": " + deep + "}", "Nested deeper"},
      {"PUT", "/tav-host/v1/failures/inventory", deep, "Nested deeper"},
      {"PUT", kProfilePath, "{\"name\": \"\xff\xfe\"}", "Invalid encoding"},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.method + (" " + one.path));
    const httplib::Result answer = one.method == std::string("PUT")
                                       ? client.Put(one.path, one.body, "application/json")
                                       : client.Post(one.path, one.body, "application/json");
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, 400);
    EXPECT_NE(errorMessage(400, answer->body).find(one.problem), std::string::npos) << answer->body;
  }
  EXPECT_EQ(readFile(data), saved) << "a refused body changed the data file";
  const httplib::Result flags = client.Get(kFlagsPath);
  EXPECT_EQ(flags ? flags->status : -1, 200);
}

TEST_F(TavHostLimitsTest, AnswersTheHttpLayersOwnErrorsAsJson) {
  const std::string credentials = "Authorization: Basic " + base64("tav:" + served.password());
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  const std::vector<Case> cases = {
      {"not HTTP", "NONSENSE\r\n\r\n", 400},
      {"target too long", "GET /" + std::string(9000, 'x') + " HTTP/1.1\r\n\r\n", 414},
      {"head too large before authentication", paddedHead(), 431},
      {"a method no path takes",
       "OPTIONS / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(served.port()) + "\r\n" +
           credentials + "\r\n\r\n",
       404},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.name);
    const std::string answer = sendRaw(served.port(), one.request);
    ASSERT_EQ(answer.rfind("HTTP/1.1 " + std::to_string(one.status) + " ", 0), 0u) << answer;
    const size_t body = answer.find("\r\n\r\n");
    const size_t length = answer.find("Content-Length: ");
    ASSERT_TRUE(body != std::string::npos && length < body) << answer;
    const std::string json = answer.substr(body + 4, std::stoul(answer.substr(length + 16)));
    EXPECT_FALSE(errorMessage(one.status, json).empty());
    EXPECT_EQ(answer.find("Connection: close") != std::string::npos, one.status != 404) << answer;
  }
  // A body over the limit, sent whole, is answered without being kept.
  httplib::Client client = served.client();
  const httplib::Result large =
      client.Put(kProfilePath, std::string(16 * 1024 * 1024 + 1, ' '), "application/json");
  ASSERT_TRUE(large) << httplib::to_string(large.error());
  EXPECT_EQ(large->status, 413);
  EXPECT_NE(errorMessage(413, large->body).find("16777216 bytes"), std::string::npos);
}

TEST_F(TavHostLimitsTest, TakesTheBasicSchemeInAnyCase) {
  httplib::Client client = served.client(false);
  const httplib::Result flags =
      client.Get(kFlagsPath, {{"Authorization", "basic " + base64("tav:" + served.password())}});
  EXPECT_EQ(flags ? flags->status : -1, 200);
}

// Joins the threads given to it when it goes, once the server they talk to is gone.
class Joined {
public:
  explicit Joined(ServedHost& served) : served_(served) {}
  ~Joined() {
    served_.signal(SIGKILL);
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  std::vector<std::thread> threads;

private:
  ServedHost& served_;
};

TEST_F(TavHostLimitsTest, EventStreamsBeyondTheCapAreRefusedWhileRequestsStillAnswer) {
  Joined joined(served);
  // Slow strangers that never finish their heads take no thread others need.
  for (int i = 0; i < 8; ++i) {
    joined.threads.emplace_back([&] { sendRaw(served.port(), "GET /tav-banners/v1/cur"); });
  }
  std::atomic<bool> leave{false};
  std::atomic<int> connected{0};
  std::atomic<int> left{0};
  // A stream that cannot open yet tries again; one that opened stays until told to leave.
  const auto openStream = [&] {
    for (int attempt = 0; attempt < 200 && !leave; ++attempt) {
      bool opened = false;
      httplib::Client events = served.client();
      events.Get("/events", [&](const char* data, size_t size) {
        if (!opened && std::string(data, size).find(": connected") != std::string::npos) {
          opened = true;
          ++connected;
        }
        return !leave.load();
      });
      if (opened) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ++left;
  };
  const auto waitFor = [&](std::atomic<int>& count, int wanted) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (count < wanted && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return count >= wanted;
  };
  for (int i = 0; i < 8; ++i) {
    joined.threads.emplace_back(openStream);
  }
  EXPECT_TRUE(waitFor(connected, 8));

  // A hang shows as no answer within the client's timeout, far above an answer's time.
  httplib::Client client = served.client();
  client.set_read_timeout(std::chrono::seconds(20));
  const httplib::Result ninth = client.Get("/events");
  EXPECT_EQ(ninth ? ninth->status : -1, 503);
  EXPECT_NE(errorMessage(503, ninth ? ninth->body : "").find("At most 8 event streams"),
            std::string::npos);
  for (const char* path : {kFlagsPath, kEquippedPath, kFramePath, kEquipSwitch}) {
    const httplib::Result answer = client.Get(path);
    EXPECT_EQ(answer ? answer->status : -1, 200) << path;
  }

  // An equip's events reach the streams, which then leave; their places open again.
  leave = true;
  const httplib::Result flags = client.Get(kFlagsPath);
  const std::optional<ValueTree> owned = ValueTree::fromJson(flags ? flags->body : "");
  const std::string equip = owned && !owned->items().empty() ? owned->items().back().toJson() : "";
  const httplib::Result equipped = client.Put(kEquippedPath, equip, "application/json");
  EXPECT_EQ(equipped ? equipped->status : -1, 200);
  ASSERT_TRUE(waitFor(left, 8)) << "the streams did not end";
  leave = false;
  connected = 0;
  for (int i = 0; i < 8; ++i) {
    joined.threads.emplace_back(openStream);
  }
  EXPECT_TRUE(waitFor(connected, 8)) << "closed streams kept their places";
  leave = true;
}

TEST(TavHostConfiguration, TheVeryNextRequestSeesAChange) {
  TAV_REQUIRE_TOOL();
  ServedHost served;
  ASSERT_TRUE(served.start()) << served.failure();
  httplib::Client client = served.client();
  const httplib::Result flags = client.Get(kFlagsPath);
  ASSERT_TRUE(flags);
  const std::string equip = ValueTree::fromJson(flags->body)->items().front().toJson();
  // Values the plugin takes a while to read (and reads as "off") keep both event threads busy,
  // so that an event queued behind them reaches the plugin well after its change was answered.
  std::string slow = "[0";
  for (int i = 0; i < 100000; ++i) {
    slow += ",0";
  }
  slow += "]";
  int stale = 0;
  for (int round = 0; round < 10; ++round) {
    for (const std::string& value : {slow, slow, std::string("true")}) {
      const httplib::Result set = client.Put(kEquipSwitch, value, "application/json");
      ASSERT_EQ(set ? set->status : -1, 200);
    }
    const httplib::Result equipped = client.Put(kEquippedPath, equip, "application/json");
    stale += equipped && equipped->status != 200;
  }
  EXPECT_EQ(stale, 0) << "equips answered as if equipping were still off";
}

} // namespace
} // namespace tav::testtools
