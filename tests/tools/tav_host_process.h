// Running the built tav-host from tests: one command to its end, or `serve` in the background
// with an HTTP client for it.
//
//   const ToolRun run = runTool({"call", "GET", "/tav-banners/v1/current-sondar/flags"});
//   EXPECT_EQ(run.exitCode, 0) << run.err;
//
//   ServedHost served;
//   ASSERT_TRUE(served.start({"--data", file})) << served.failure();
//   httplib::Result flags = served.client().Get("/tav-banners/v1/current-sondar/flags");
//
// Waits poll with generous deadlines, so that a slow machine only makes a test slower.
#pragma once

#include <httplib.h>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tav::testtools {

// Paths the tests call through tav-host: the plugin's routes and the peers' own.
inline constexpr char kFlagsPath[] = "/tav-banners/v1/current-sondar/flags";
inline constexpr char kEquippedPath[] = "/tav-banners/v1/current-sondar/flags/equipped";
inline constexpr char kFramePath[] = "/tav-banners/v1/current-sondar/frames/equipped";
inline constexpr char kProfilePath[] = "/tav-sondar/v1/current-sondar/sondar-profile";
inline constexpr char kEquipSwitch[] = "/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled";
inline constexpr char kSeason[] =
    "/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason";

// Generous: a loaded two-core machine running sanitizer builds beside us.
inline constexpr std::chrono::seconds kPatience{60};

// TAV_BUILD_DIR/tav-host, or nothing when it is not built.
std::optional<std::string> toolPath();

// Skips the calling test when tav-host is not built.
#define TAV_REQUIRE_TOOL()                                                                         \
  do {                                                                                             \
    if (!::tav::testtools::toolPath()) {                                                           \
      GTEST_SKIP() << "tav-host is not in TAV_BUILD_DIR; build its target to run this test";       \
    }                                                                                              \
  } while (false)

class TemporaryFolder {
public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes text to the file name and answers its path.
  std::string write(const std::string& name, const std::string& text) const;

private:
  std::filesystem::path path_;
};

std::string readFile(const std::string& path);

struct ToolRun {
  int exitCode = -1; // the signal number, negated, when a signal ended it
  std::string out;
  std::string err;
};

// Runs tav-host with args to its end (killed after kPatience).
ToolRun runTool(const std::vector<std::string>& args);

// The embedded sample, as `tav-host sample` prints it.
std::string sampleText();

// bytes in base64 with padding, as basic authentication sends them.
std::string base64(const std::string& bytes);

// Sends bytes as they are to 127.0.0.1:port and answers everything read back until the server
// closes the connection, has answered `messages` whole HTTP messages, or kPatience passes. With
// endSending, the sending side is shut once the bytes are sent, as a client does that marks the
// end of a body by closing.
std::string sendRaw(int port, const std::string& bytes, size_t messages = 1,
                    bool endSending = false);

// `tav-host serve --port 0 --lockfile <its own folder>/lockfile` and what it was given.
class ServedHost {
public:
  ServedHost() = default;
  // Kills a process still running.
  ~ServedHost();
  ServedHost(const ServedHost&) = delete;
  ServedHost& operator=(const ServedHost&) = delete;

  // Serve with this lockfile instead of one of its own; call before start.
  void useLockfile(std::string path) { lockfile_ = std::move(path); }

  // Starts it and waits until its lockfile names the port; false, with failure(), when it ended
  // first or the wait ran out.
  bool start(const std::vector<std::string>& extraArgs = {});
  // The two halves of start, for starting several at once.
  bool launch(const std::vector<std::string>& extraArgs = {});
  bool waitUntilServing();
  const std::string& failure() const { return failure_; }
  // The exit code when it ended before serving.
  std::optional<int> earlyExit() const { return earlyExit_; }

  int port() const { return port_; }
  const std::string& password() const { return password_; }
  const std::string& lockfile() const { return lockfile_; }
  pid_t pid() const { return pid_; }

  // A client with the lockfile's credentials, or with none.
  httplib::Client client(bool authorized = true) const;

  void signal(int number) const;
  // Waits for the process to end and answers its exit code (a signal number negated); nothing
  // when it did not end within kPatience.
  std::optional<int> waitForExit();

  std::string output() const;
  std::string errors() const;

private:
  TemporaryFolder folder_;
  std::string lockfile_ = folder_.file("lockfile");
  pid_t pid_ = -1;
  int port_ = 0;
  std::string password_;
  std::string failure_;
  std::optional<int> earlyExit_;
};

// Follows a serving tav-host's /events on a thread of its own and keeps every byte that arrives.
//
//   EventListener events(served);
//   ASSERT_TRUE(events.waitFor(": connected"));
//   ...
//   served.signal(SIGTERM);
//   events.join();
class EventListener {
public:
  explicit EventListener(const ServedHost& served);
  // Joins a listener that was not joined; the stream must have ended by then.
  ~EventListener();
  EventListener(const EventListener&) = delete;
  EventListener& operator=(const EventListener&) = delete;

  // Waits up to kPatience until done(received) holds; done runs with the bytes locked.
  bool waitUntil(const std::function<bool(const std::string&)>& done);
  bool waitFor(const std::string& fragment);
  std::string received() const;
  // Takes nothing more and waits for the stream to end (a stop of serve ends it).
  void join();

private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::string received_;
  std::atomic<bool> enough_{false};
  std::thread thread_;
};

} // namespace tav::testtools
