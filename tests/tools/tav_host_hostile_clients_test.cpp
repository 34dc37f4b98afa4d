// `tav-host serve` against hostile clients: pages of other sites and names, bodies beyond the
// limit in every framing, sockets that hold connections open, and targets made for the terminal.
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace tav::testtools {
namespace {

constexpr char kUnset[] = "/tav-platform-config/v1/namespaces/Test/unset";

class TavHostHostileClientsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TAV_REQUIRE_TOOL();
    ASSERT_TRUE(served.start()) << served.failure();
  }

  // A request line and the headers every request of a well-behaved client carries.
  std::string head(const std::string& requestLine) const {
    return requestLine + "\r\nHost: 127.0.0.1:" + std::to_string(served.port()) +
           "\r\nAuthorization: Basic " + base64("tav:" + served.password()) + "\r\n";
  }

  std::string bodyOf(const std::string& path) {
    const httplib::Result answer = served.client().Get(path);
    return answer ? answer->body : "(no answer)";
  }

  int statusOf(const char* method, const std::string& path) {
    httplib::Request request;
    request.method = method;
    request.path = path;
    const httplib::Result answer = served.client().send(request);
    return answer ? answer->status : -1;
  }

  ServedHost served;
};

TEST_F(TavHostHostileClientsTest, PagesOfOtherSitesAndForeignHostNamesChangeNothing) {
  const std::string own = "http://127.0.0.1:" + std::to_string(served.port());
  const std::string profile = bodyOf(kProfilePath);
  struct Case {
    const char* what;
    const char* method;
    const char* path;
    std::string contentType;
    httplib::Headers headers;
    int status;
  };
  const char* json = "application/json";
  const std::vector<Case> cases = {
      {"a form's text/plain body", "POST", kProfilePath, "text/plain", {}, 415},
      {"a form's own type", "POST", kProfilePath, "application/x-www-form-urlencoded", {}, 415},
      {"multipart to the plugin", "PUT", kEquippedPath, "multipart/form-data; boundary=x", {}, 415},
      {"no type to the plugin", "PUT", kEquippedPath, "", {}, 415},
      {"YAML to serve's own path", "PUT", kUnset, "application/x-yaml", {}, 415},
      {"another origin", "POST", kProfilePath, json, {{"Origin", "http://evil.example"}}, 403},
      {"an opaque origin", "POST", kProfilePath, json, {{"Origin", "null"}}, 403},
      {"this host on another port", "PUT", kUnset, json, {{"Origin", "http://127.0.0.1:1"}}, 403},
      {"a cross-site fetch", "PUT", kUnset, json, {{"Sec-Fetch-Site", "cross-site"}}, 403},
      {"a same-site fetch", "PUT", kUnset, json, {{"Sec-Fetch-Site", "same-site"}}, 403},
      {"a rebound name", "PUT", kUnset, json, {{"Host", "attacker.example"}}, 403},
      {"loopback on another port", "PUT", kUnset, json, {{"Host", "localhost:1"}}, 403},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.what);
    httplib::Request request;
    request.method = one.method;
    request.path = one.path;
    request.headers = one.headers;
    request.body =
        one.path == std::string(kProfilePath) ? R"({"key": "note", "value": 1})" : "true";
    if (!one.contentType.empty()) {
      request.set_header("Content-Type", one.contentType);
    }
    const httplib::Result answer = served.client().send(request);
    EXPECT_EQ(answer ? answer->status : -1, one.status) << (answer ? answer->body : "");
  }
  // Reading with a foreign name is refused as well: DNS rebinding reads nothing either.
  const httplib::Result read = served.client().Get(kFlagsPath, {{"Host", "attacker.example"}});
  EXPECT_EQ(read ? read->status : -1, 403);
  EXPECT_EQ(bodyOf(kProfilePath), profile);
  EXPECT_EQ(statusOf("GET", kUnset), 404);

  // The page's own requests, by either loopback name, still go through.
  const httplib::Result mine = served.client().Put(
      kUnset, {{"Origin", own}, {"Sec-Fetch-Site", "same-origin"}}, "1", "application/json");
  EXPECT_EQ(mine ? mine->status : -1, 200);
  const std::string local = "localhost:" + std::to_string(served.port());
  const httplib::Result byName = served.client().Get(kFlagsPath, {{"Host", local}});
  EXPECT_EQ(byName ? byName->status : -1, 200);
}

TEST_F(TavHostHostileClientsTest, NoBodyBeyondTheLimitIsTakenInAnyFraming) {
  const std::string large = "\"" + std::string(16 * 1024 * 1024, 'a') + "\"";
  char size[32];
  std::snprintf(size, sizeof size, "%zx", large.size());
  const std::string put =
      head("PUT " + std::string(kUnset) + " HTTP/1.1") + "Content-Type: application/json\r\n";
  struct Case {
    const char* what;
    std::string request;
    const char* status; // empty: the connection may end before an answer
  };
  const std::vector<Case> cases = {
      {"chunks",
       put + "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" + large + "\r\n0\r\n\r\n", "413"},
      {"no length, ended by closing", put + "\r\n" + large, ""},
      {"two lengths", put + "Content-Length: 4\r\nContent-Length: 4\r\n\r\ntrue", "400"},
      {"a length beside chunks",
       put + "Content-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n4\r\ntrue\r\n0\r\n\r\n",
       "400"},
      {"a length too large to be a number", put + "Content-Length: 99999999999999999999\r\n\r\n",
       "413"},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.what);
    const std::string answer = sendRaw(served.port(), one.request, 1, true);
    if (*one.status != '\0') {
      EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + one.status) << answer;
    }
    EXPECT_EQ(statusOf("GET", kUnset), 404) << "the body was taken";
  }
  // A small compressed body that would grow past the limit: refused before it is expanded.
  httplib::Client compressing = served.client();
  compressing.set_compress(true);
  const httplib::Result compressed = compressing.Put(kUnset, large, "application/json");
  EXPECT_EQ(compressed ? compressed->status : -1, 415);
  EXPECT_EQ(statusOf("GET", kUnset), 404) << "the compressed body was taken";
}

// Opens count connections to port, each having sent prefix; closes them when it goes.
class IdleSockets {
public:
  IdleSockets(int port, size_t count, const std::string& prefix) {
    for (size_t i = 0; i < count; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
          ::send(fd, prefix.data(), prefix.size(), MSG_NOSIGNAL) != ssize_t(prefix.size())) {
        ADD_FAILURE() << "cannot open idle socket " << i;
        break;
      }
      fds_.push_back(pollfd{fd, POLLIN, 0});
    }
  }
  ~IdleSockets() {
    for (const pollfd& entry : fds_) {
      ::close(entry.fd);
    }
  }
  // How many of them the server has closed, waiting up to kPatience for at least wanted.
  size_t closedByServer(size_t wanted) {
    size_t closed = 0;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (closed < wanted && std::chrono::steady_clock::now() < deadline) {
      ::poll(fds_.data(), fds_.size(), 100);
      closed = 0;
      for (const pollfd& entry : fds_) {
        closed += (entry.revents & (POLLIN | POLLHUP)) != 0;
      }
    }
    return closed;
  }

private:
  std::vector<pollfd> fds_;
};

TEST_F(TavHostHostileClientsTest, AClientIsAnsweredWithinASecondWhileAThousandSocketsIdle) {
  constexpr size_t kIdle = 1000;
  constexpr size_t kWaitingCap = 512; // ServerLimits::maxWaitingConnections
  rlimit files{};
  ::getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
  ::setrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < kIdle + 64) {
    GTEST_SKIP() << "this process may not open " << kIdle << " sockets";
  }
  for (const std::string& prefix : {std::string(), std::string("GET / HTTP/1.1\r\nX-Slow: ")}) {
    SCOPED_TRACE(prefix.empty() ? "silent sockets" : "heads that never end");
    IdleSockets idle(served.port(), kIdle, prefix);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(statusOf("GET", kFlagsPath), 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // Those beyond the cap of connections without a whole head were closed, oldest first.
    EXPECT_GE(idle.closedByServer(kIdle - kWaitingCap), kIdle - kWaitingCap);
  }
}

// Two requests in one packet, as a pipelining client sends them: the second is answered as soon
// as the first, not after the head's deadline of ten seconds.
TEST_F(TavHostHostileClientsTest, PipelinedRequestsAreAnsweredInTurnAtOnce) {
  const std::string get = head(std::string("GET ") + kFlagsPath + " HTTP/1.1") + "\r\n";
  const auto start = std::chrono::steady_clock::now();
  const std::string answers = sendRaw(served.port(), get + get, 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const size_t first = answers.find("HTTP/1.1 200");
  ASSERT_NE(first, std::string::npos) << answers;
  EXPECT_NE(answers.find("HTTP/1.1 200", first + 1), std::string::npos) << answers;
}

TEST_F(TavHostHostileClientsTest, HostileTargetsAreLoggedEscapedAndAnsweredAsUtf8WithTheirStatus) {
  struct Case {
    std::string target;
    const char* status;
  };
  const std::vector<Case> cases = {
      {std::string(kFlagsPath) + "?nope=1", "400"},
      {std::string(kFlagsPath) + "?%ff=", "400"},
      {"/tav-host/page/%ff%c0%80", "404"},
      {"/\x1b[2J\x1b]0;owned\x07", "404"},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.target);
    const std::string answer =
        sendRaw(served.port(), head("GET " + one.target + " HTTP/1.1") + "\r\n");
    EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + one.status) << answer;
    for (const char* invalid : {"\xff", "\xc0\x80"}) {
      EXPECT_EQ(answer.find(invalid), std::string::npos) << "not UTF-8: " << answer;
    }
  }
  served.signal(SIGTERM);
  ASSERT_EQ(served.waitForExit(), 0);
  const std::string log = served.output();
  EXPECT_NE(log.find("GET /\\x1b[2J\\x1b]0;owned\\x07 -> 404\n"), std::string::npos) << log;
  for (const char control : {'\x1b', '\x07'}) {
    EXPECT_EQ(log.find(control), std::string::npos) << "a raw control character was printed";
  }
}

} // namespace
} // namespace tav::testtools
