// Starting tav-host as a child process and watching it.
#include "tools/tav_host_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

// The prebuilt cpp-httplib is not instrumented for ThreadSanitizer, which then reports races
// inside it between clients on several threads that are not there (as in tav-host).
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}

namespace tav::testtools {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// Spawns tav-host with args, its output into files; answers the pid or -1.
pid_t spawnTool(const std::vector<std::string>& args, const std::string& out,
                const std::string& err) {
  std::vector<std::string> words = {*toolPath()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int decodeStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Polls for the child's end until deadline; nothing when it is still running.
std::optional<int> reap(pid_t pid, Clock::time_point deadline) {
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      return decodeStatus(status);
    }
    if (done < 0 || Clock::now() >= deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::vector<std::string> splitColons(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream stream(line);
  for (std::string field; std::getline(stream, field, ':');) {
    fields.push_back(field);
  }
  return fields;
}

} // namespace

std::optional<std::string> toolPath() {
  const char* folder = std::getenv("TAV_BUILD_DIR");
  if (folder == nullptr || *folder == '\0') {
    return std::nullopt;
  }
  const std::filesystem::path path = std::filesystem::path(folder) / "tav-host";
  if (!std::filesystem::exists(path)) {
    return std::nullopt;
  }
  return path.string();
}

TemporaryFolder::TemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tav_host_test_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryFolder::write(const std::string& name, const std::string& text) const {
  const std::string path = file(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

ToolRun runTool(const std::vector<std::string>& args) {
  TemporaryFolder folder;
  ToolRun run;
  const pid_t pid = spawnTool(args, folder.file("out"), folder.file("err"));
  if (pid < 0) {
    run.err = "cannot start tav-host";
    return run;
  }
  std::optional<int> code = reap(pid, Clock::now() + kPatience);
  if (!code) {
    ::kill(pid, SIGKILL);
    code = reap(pid, Clock::now() + kPatience);
  }
  run.exitCode = code.value_or(-SIGKILL);
  run.out = readFile(folder.file("out"));
  run.err = readFile(folder.file("err"));
  return run;
}

std::string sampleText() {
  return runTool({"sample"}).out;
}

// How many whole messages with a Content-Length text holds.
size_t wholeMessages(const std::string& text) {
  size_t count = 0;
  for (size_t start = 0;; ++count) {
    const size_t headEnd = text.find("\r\n\r\n", start);
    const size_t length = text.find("Content-Length: ", start);
    if (headEnd == std::string::npos || length == std::string::npos || length > headEnd) {
      return count;
    }
    start = headEnd + 4 + std::stoul(text.substr(length + 16));
    if (start > text.size()) {
      return count;
    }
  }
}

std::string base64(const std::string& bytes) {
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    group |= i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0;
    group |= i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    for (size_t k = 0; k < 4; ++k) {
      out += k <= bytes.size() - i ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string sendRaw(int port, const std::string& bytes, size_t messages, bool endSending) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
    if (endSending) {
      ::shutdown(fd, SHUT_WR);
    }
    const auto deadline = Clock::now() + kPatience;
    char chunk[4096];
    while (wholeMessages(answer) < messages) {
      pollfd entry{fd, POLLIN, 0};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
        break;
      }
      const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
      if (count <= 0) {
        break;
      }
      answer.append(chunk, static_cast<size_t>(count));
    }
  }
  ::close(fd);
  return answer;
}

ServedHost::~ServedHost() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    reap(pid_, Clock::now() + kPatience);
  }
}

bool ServedHost::start(const std::vector<std::string>& extraArgs) {
  return launch(extraArgs) && waitUntilServing();
}

bool ServedHost::launch(const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args = {"serve", "--port", "0", "--lockfile", lockfile_};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  pid_ = spawnTool(args, folder_.file("out"), folder_.file("err"));
  if (pid_ < 0) {
    failure_ = "cannot start tav-host";
    return false;
  }
  return true;
}

bool ServedHost::waitUntilServing() {
  const auto deadline = Clock::now() + kPatience;
  while (Clock::now() < deadline) {
    // "tav-host:<pid>:<port>:<password>:http", written whole by a rename.
    const std::vector<std::string> fields = splitColons(readFile(lockfile_));
    if (fields.size() == 5 && fields[1] == std::to_string(pid_)) {
      port_ = std::atoi(fields[2].c_str());
      password_ = fields[3];
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      earlyExit_ = decodeStatus(status);
      failure_ = "tav-host serve ended with " + std::to_string(*earlyExit_) + ": " + errors();
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  failure_ = "no lockfile after " + std::to_string(kPatience.count()) + " s: " + errors();
  return false;
}

httplib::Client ServedHost::client(bool authorized) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(kPatience);
  client.set_read_timeout(kPatience);
  if (authorized) {
    client.set_basic_auth("tav", password_);
  }
  return client;
}

void ServedHost::signal(int number) const {
  if (pid_ > 0) {
    ::kill(pid_, number);
  }
}

std::optional<int> ServedHost::waitForExit() {
  if (pid_ <= 0) {
    return std::nullopt;
  }
  std::optional<int> code = reap(pid_, Clock::now() + kPatience);
  if (code) {
    pid_ = -1;
  }
  return code;
}

std::string ServedHost::output() const {
  return readFile(folder_.file("out"));
}

std::string ServedHost::errors() const {
  return readFile(folder_.file("err"));
}

EventListener::EventListener(const ServedHost& served) {
  thread_ = std::thread([this, client = served.client()]() mutable {
    client.Get("/events", [this](const char* data, size_t size) {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.append(data, size);
      arrived_.notify_all();
      return !enough_.load();
    });
  });
}

EventListener::~EventListener() {
  if (thread_.joinable()) {
    join();
  }
}

bool EventListener::waitUntil(const std::function<bool(const std::string&)>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, kPatience, [&] { return done(received_); });
}

bool EventListener::waitFor(const std::string& fragment) {
  return waitUntil(
      [&](const std::string& text) { return text.find(fragment) != std::string::npos; });
}

std::string EventListener::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void EventListener::join() {
  enough_ = true;
  thread_.join();
}

} // namespace tav::testtools
