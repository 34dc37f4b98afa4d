// `tav-host serve` driven over loopback as a front end drives it: eight keep-alive clients, each
// cycling through GET flags, GET equipped and PUT equipped, for a fixed number of requests.
// Reports requests per second, the median and 99th percentile latency, the server's resident
// memory before and after, and any answer that was not 200.
//
// It runs the built tav-host beside libtav_banners.so in the build folder (or in TAV_BUILD_DIR
// when that is set) on the embedded sample, so it measures serving rather than the disk; the
// DataFile variant saves every equip to a data file in a temporary folder.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 8;
constexpr char kFlagsPath[] = "/tav-banners/v1/current-sondar/flags";
constexpr char kEquippedPath[] = "/tav-banners/v1/current-sondar/flags/equipped";
// Two flags the sample owns, equipped in turn.
constexpr const char* kEquips[] = {
    R"({"theme": "Tide", "level": "2", "seasonId": "4", "earnedDateIso8601": ""})",
    R"({"theme": "Storm", "level": "3", "seasonId": "5", "earnedDateIso8601": ""})"};

std::string buildFolder() {
  const char* folder = std::getenv("TAV_BUILD_DIR");
  return folder != nullptr && *folder != '\0' ? folder : TAV_BENCH_BUILD_DIR;
}

// tav-host serve in a temporary folder of its own, killed when this goes.
class Server {
public:
  explicit Server(bool withDataFile) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tav_serve_XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    std::vector<std::string> words = {
        buildFolder() + "/tav-host", "serve", "--port", "0", "--lockfile", folder_ + "/lock"};
    if (withDataFile) {
      words.push_back("--data");
      words.push_back(folder_ + "/sondar.json");
      run({buildFolder() + "/tav-host", "sample"}, words.back());
    }
    pid_ = run(words, "/dev/null", false);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (port_ == 0 && Clock::now() < deadline) {
      std::ifstream lock(folder_ + "/lock");
      std::string line;
      std::getline(lock, line);
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, ':');) {
        fields.push_back(field);
      }
      if (fields.size() == 5) {
        port_ = std::atoi(fields[2].c_str());
        password_ = fields[3];
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Server() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  bool ready() const { return port_ > 0; }

  httplib::Client client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_basic_auth("tav", password_);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_read_timeout(std::chrono::seconds(30));
    return client;
  }

  // The server's resident memory in megabytes.
  double residentMegabytes() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmRSS:", 0) == 0) {
        return std::atof(line.c_str() + 6) / 1024.0;
      }
    }
    return 0.0;
  }

private:
  // Runs words with standard output into output; waits for its end unless told not to.
  static pid_t run(const std::vector<std::string>& words, const std::string& output,
                   bool wait = true) {
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (std::string& word : copies) {
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (wait && pid > 0) {
      ::waitpid(pid, nullptr, 0);
    }
    return pid;
  }

  std::string folder_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string password_;
};

// Each client's share of the requests, cycling through the three; answers their latencies.
std::vector<double> drive(const Server& server, int client, int64_t requests,
                          std::atomic<int64_t>& errors) {
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(requests));
  httplib::Client http = server.client();
  for (int64_t i = 0; i < requests; ++i) {
    const auto start = Clock::now();
    const int route = static_cast<int>((i + client) % 3);
    const httplib::Result result =
        route == 0   ? http.Get(kFlagsPath)
        : route == 1 ? http.Get(kEquippedPath)
                     : http.Put(kEquippedPath, kEquips[(i / 3) % 2], "application/json");
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!result || result->status != 200) {
      ++errors;
    }
  }
  return latencies;
}

void BM_ServeKeepAlive(benchmark::State& state) {
  const int64_t total = state.range(0);
  Server server(state.range(1) != 0);
  if (!server.ready()) {
    state.SkipWithError("tav-host serve did not start; build tav-host and libtav_banners.so");
    return;
  }
  std::atomic<int64_t> errors{0};
  // Every connection opened and every route answered once before the first figure.
  for (int client = 0; client < kClients; ++client) {
    drive(server, client, 3, errors);
  }
  const double residentBefore = server.residentMegabytes();
  std::vector<double> latencies;
  double seconds = 0.0;
  for (auto _ : state) {
    std::vector<std::vector<double>> perClient(kClients);
    std::vector<std::thread> clients;
    const auto start = Clock::now();
    for (int client = 0; client < kClients; ++client) {
      clients.emplace_back(
          [&, client] { perClient[client] = drive(server, client, total / kClients, errors); });
    }
    for (std::thread& thread : clients) {
      thread.join();
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    for (const std::vector<double>& some : perClient) {
      latencies.insert(latencies.end(), some.begin(), some.end());
    }
  }
  std::sort(latencies.begin(), latencies.end());
  const auto percentile = [&](double p) {
    return latencies.empty() ? 0.0 : latencies[static_cast<size_t>(p * (latencies.size() - 1))];
  };
  state.counters["requests_per_s"] = static_cast<double>(latencies.size()) / seconds;
  state.counters["p50_ms"] = percentile(0.50);
  state.counters["p99_ms"] = percentile(0.99);
  state.counters["rss_before_MB"] = residentBefore;
  state.counters["rss_after_MB"] = server.residentMegabytes();
  state.counters["errors"] = static_cast<double>(errors.load());
}

// {requests, data file}: on the sample, and saving every equip to a data file.
BENCHMARK(BM_ServeKeepAlive)
    ->ArgNames({"requests", "data_file"})
    ->Args({100000, 0})
    ->Args({10000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
