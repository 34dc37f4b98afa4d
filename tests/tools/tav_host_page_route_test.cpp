// The page `tav-host serve` answers at / and the changes it announces on /events, through a real
// HTTP client: the files compiled into tav-host with their content types, behind the same
// authentication as the rest, and one announcement per change made through serve.
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <regex>
#include <set>

namespace tav::testtools {
namespace {

int statusOf(const httplib::Result& result) {
  return result ? result->status : -1;
}

std::string contentTypeOf(const httplib::Result& result) {
  return result ? result->get_header_value("Content-Type") : std::string();
}

class TavHostPageTest : public ::testing::Test {
protected:
  void SetUp() override {
    TAV_REQUIRE_TOOL();
    ASSERT_TRUE(served.start()) << served.failure();
  }

  ServedHost served;
};

TEST_F(TavHostPageTest, ServesThePageAndEveryFileItNamesWithTheirTypes) {
  httplib::Client client = served.client();
  const httplib::Result page = client.Get("/");
  ASSERT_EQ(statusOf(page), 200);
  EXPECT_EQ(contentTypeOf(page), "text/html; charset=utf-8");
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  EXPECT_NE(page->body.find("<!doctype html>"), std::string::npos);

  // Every stylesheet and script the page loads is served from tav-host itself.
  const std::regex reference(R"re((?:href|src)="([^"]+)")re");
  std::set<std::string> types;
  for (auto match = std::sregex_iterator(page->body.begin(), page->body.end(), reference);
       match != std::sregex_iterator(); ++match) {
    const std::string path = (*match)[1];
    ASSERT_EQ(path.rfind("/tav-host/page/", 0), 0u) << path << " is not served by tav-host";
    const httplib::Result file = client.Get(path);
    ASSERT_EQ(statusOf(file), 200) << path;
    EXPECT_FALSE(file->body.empty()) << path;
    types.insert(contentTypeOf(file));
  }
  EXPECT_EQ(types,
            (std::set<std::string>{"text/css; charset=utf-8", "text/javascript; charset=utf-8"}));
}

TEST_F(TavHostPageTest, RefusesStrangersOtherMethodsAndUnknownFiles) {
  struct Case {
    const char* method;
    const char* path;
    bool authorized;
    int status;
  };
  const Case cases[] = {
      {"GET", "/", false, 401},
      {"GET", "/tav-host/page/page.js", false, 401},
      {"POST", "/", true, 405},
      {"DELETE", "/tav-host/page/page.css", true, 405},
      {"GET", "/tav-host/page/missing.js", true, 404},
      {"GET", "/tav-host/page/", true, 404},
      {"GET", "/tav-host/page/../page/page.js", true, 404},
  };
  for (const Case& one : cases) {
    httplib::Client client = served.client(one.authorized);
    httplib::Request request;
    request.method = one.method;
    request.path = one.path;
    const httplib::Result answer = client.send(request);
    EXPECT_EQ(statusOf(answer), one.status) << one.method << " " << one.path;
    if (answer && one.status != 200) {
      EXPECT_EQ(contentTypeOf(answer), "application/json") << one.method << " " << one.path;
    }
  }
}

TEST_F(TavHostPageTest, AnnouncesEveryChangeMadeThroughServeToEventClients) {
  EventListener events(served);
  ASSERT_TRUE(events.waitFor(": connected")) << "the stream did not open";

  struct Change {
    const char* method;
    const char* path;
    const char* body;
  };
  const Change changes[] = {
      {"PUT", kEquipSwitch, "false"},
      {"DELETE", kSeason, ""},
      {"PUT", "/tav-host/v1/failures/inventory", R"({"status": 502, "message": "down"})"},
      {"DELETE", "/tav-host/v1/failures/inventory", ""},
      {"POST", kProfilePath, R"({"key": "note", "value": 1})"},
      {"PUT", "/tav-inventory/v1/signedInventory", R"({"frames": []})"},
  };
  httplib::Client client = served.client();
  for (const Change& change : changes) {
    httplib::Request request;
    request.method = change.method;
    request.path = change.path;
    request.body = change.body;
    if (*change.body != '\0') {
      request.set_header("Content-Type", "application/json");
    }
    const httplib::Result answer = client.send(request);
    ASSERT_TRUE(answer && answer->status / 100 == 2) << change.method << " " << change.path;
    const std::string message = std::string("event: TavHostChange\ndata: {\"method\":\"") +
                                change.method + "\",\"path\":\"" + change.path + "\"}\n\n";
    EXPECT_TRUE(events.waitFor(message)) << message << " not in:\n" << events.received();
  }
  // Reading is not a change: after two reads, a last change is the only further announcement,
  // since announcements arrive in the order of the changes.
  ASSERT_EQ(statusOf(client.Get(kEquipSwitch)), 200);
  ASSERT_EQ(statusOf(client.Get(kFlagsPath)), 200);
  ASSERT_EQ(statusOf(client.Put(kEquipSwitch, "true", "application/json")), 200);
  const auto announcements = [](const std::string& received) {
    size_t count = 0;
    for (size_t at = received.find("event: TavHostChange"); at != std::string::npos;
         at = received.find("event: TavHostChange", at + 1)) {
      ++count;
    }
    return count;
  };
  events.waitUntil(
      [&](const std::string& received) { return announcements(received) > std::size(changes); });
  const std::string received = events.received();
  EXPECT_EQ(announcements(received), std::size(changes) + 1) << received;
  EXPECT_EQ(received.find("id:"), std::string::npos) << received;
  served.signal(SIGTERM);
  events.join();
  EXPECT_EQ(served.waitForExit(), 0);
}

} // namespace
} // namespace tav::testtools
