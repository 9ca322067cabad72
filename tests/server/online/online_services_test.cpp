// The online server with its services, over real loopback sockets: the
// metrics port read by a real Prometheus, and the Agones
// lifecycle against the sidecar stand-in.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "server/online/online_server.h"
#include "server/online/online_services.h"
#include "tests/support/http_peers.h"
#include "tests/support/online_peers.h"
#include "web/http_client.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPlayer;
using testing::SidecarStandIn;

struct ServiceHooks : OnlineServices {
  explicit ServiceHooks(std::string agones_base = "http://127.0.0.1:9", ThreadSpawner& threads = system_threads())
      : OnlineServices(std::move(agones_base), threads) {}
  std::optional<std::string> stop_requested() override {
    if (stop) return "SIGTERM";
    return std::nullopt;
  }
  std::atomic<bool> stop{false};
  void log_info(std::string_view line) override {
    std::lock_guard lock(mutex);
    logs.emplace_back(line);
  }
  void log_error(std::string_view line) override { log_info("error: " + std::string(line)); }
  void listening(std::uint16_t port) override { bound.set_value(port); }
  Status start_services(const OnlineConfig& config) override {
    auto started = OnlineServices::start_services(config);
    metrics_bound.set_value(metrics_port().value_or(0));
    return started;
  }
  std::vector<std::string> log_lines() {
    std::lock_guard lock(mutex);
    return logs;
  }
  bool logged(std::string_view line) {
    const auto lines = log_lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::mutex mutex;
  std::vector<std::string> logs;
  std::promise<std::uint16_t> bound, metrics_bound;
};

// run_online_server on a thread of its own.
class ServerThread {
 public:
  ServerThread(OnlineConfig config, ServiceHooks& hooks, ThreadSpawner& threads = system_threads())
      : config_(std::move(config)) {
    thread_ = std::thread(
        [this, &hooks, &threads] { status_.set_value(run_online_server(config_, hooks, real_disk(), threads)); });
  }
  ~ServerThread() { thread_.join(); }
  // The exit status, once the server ends within the time.
  std::optional<int> status(std::chrono::seconds within = 15s) {
    if (done_.wait_for(within) != std::future_status::ready) return std::nullopt;
    return done_.get();
  }

 private:
  OnlineConfig config_;
  std::promise<int> status_;
  std::future<int> done_ = status_.get_future();
  std::thread thread_;
};

OnlineConfig loopback_config(std::optional<std::uint16_t> metrics_port, bool agones = false) {
  OnlineConfig config;
  config.bind = "127.0.0.1";
  config.port = 0;
  config.opening = "new 3 1";
  config.idle = 1s;
  config.metrics_port = metrics_port;
  config.agones = agones;
  return config;
}

// The value of the sample line "name value" in the text; -1 when missing.
std::int64_t sample(const std::string& text, const std::string& name) {
  const std::size_t at = text.find("\n" + name + " ");
  if (at == std::string::npos) return -1;
  const std::size_t from = at + name.size() + 2;
  return static_cast<std::int64_t>(parse_unsigned(text.substr(from, text.find('\n', from) - from)).value_or(0));
}

std::string scrape(std::uint16_t port) {
  auto reply = http_request("GET", "http://127.0.0.1:" + std::to_string(port) + "/metrics", std::nullopt,
                            std::nullopt, 2);
  if (!reply) return "<" + reply.message() + ">";
  return std::to_string(reply->status) + "\n" + reply->body;
}

// The metrics port of a game in play, scraped every second by a real
// Prometheus (promtool reads the text in metrics_test.cpp).
TEST(OnlineServices, MetricsOfAGameInPlayForPromtoolAndPrometheus) {
  ServiceHooks hooks;
  ServerThread server(loopback_config(0), hooks);
  const std::uint16_t port = hooks.bound.get_future().get();
  const std::uint16_t metrics = hooks.metrics_bound.get_future().get();
  ASSERT_NE(metrics, 0);
  EXPECT_TRUE(hooks.logged("metrics on port " + std::to_string(metrics)));  // asked for port 0

  LoopbackPlayer player(port);
  EXPECT_EQ(player.join(), 0u);
  std::string text;
  std::uint64_t confirmed = 0;
  for (int i = 0; i < 300 && sample(text, "velmora_game_players") != 1; ++i) {
    for (const TickDatagram& d : player.exchange(18, confirmed)) {
      confirmed = std::max(confirmed, d.message.first + d.message.count - 1);
    }
    if (i % 10 == 0) text = scrape(metrics);
  }
  ASSERT_EQ(sample(text, "velmora_game_players"), 1) << text;
  EXPECT_GE(sample(text, "velmora_game_seconds"), 1);
  EXPECT_GT(sample(text, "velmora_game_ticks_total"), 0);
  EXPECT_GT(sample(text, "velmora_game_packets_received_total"), 0);
  EXPECT_GT(sample(text, "velmora_game_bytes_sent_total"), 0);

  // The player now silent, the game ticks on guessed inputs.
  const bool have_prometheus = testing::have_program("prometheus");
  if (have_prometheus) {
    testing::PrometheusServer prometheus(metrics);
    bool up = false, players = false, guessed = false;
    for (int i = 0; i < 60 && !(up && players && guessed); ++i) {
      std::this_thread::sleep_for(500ms);
      up = up || prometheus.query("up").find(",\"1\"]") != std::string::npos;
      players = players || prometheus.query("velmora_game_players").find(",\"1\"]") != std::string::npos;
      // "%3E0" is ">0": an empty result until the counter has moved.
      guessed = guessed ||
                prometheus.query("velmora_game_inputs_guessed_total%3E0").find("\"value\":[") != std::string::npos;
    }
    EXPECT_TRUE(up && players && guessed) << "up " << up << ", players " << players << ", guessed " << guessed;
  }

  player.close();
  EXPECT_EQ(server.status(), 0);
  // The metrics server went with it.
  EXPECT_TRUE(scrape(metrics).starts_with("<")) << scrape(metrics);
  if (!have_prometheus) VELMORA_WITHOUT_PEER("prometheus", "prometheus");
}

TEST(OnlineServices, AMetricsPortInUseIsLoggedAndTheGameGoesOn) {
  auto taken = listen_tcp("127.0.0.1", 0);
  ASSERT_TRUE(taken);
  const std::uint16_t busy = (*taken)->port();
  ServiceHooks hooks;
  ServerThread server(loopback_config(busy), hooks);
  EXPECT_EQ(hooks.metrics_bound.get_future().get(), 0);
  EXPECT_EQ(server.status(), 0);
  const auto lines = hooks.log_lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "error: cannot bind the metrics port " + std::to_string(busy) + ": Address already in use");
  EXPECT_EQ(lines[1], "online game: a party of 1, data " + hex16(game_data().data_hash));
  EXPECT_EQ(lines.back(), "nobody connected for 1 s: stopping");
}

// The whole lifecycle against the sidecar stand-in, whose "/health" and
// "/shutdown" fail: each failure is logged and the server still ends with 0.
// (A refused "/ready" ends the program with 1: the end-to-end tests.)
TEST(OnlineServices, TheAgonesLifecycleAgainstTheSidecar) {
  SidecarStandIn sidecar;
  sidecar.allocate_after(2, R"({"velmora/seed":"42","velmora/classes":"thief,,wizard","velmora/campaign":"main"})");
  sidecar.fail("/shutdown", 500, "gone");
  sidecar.fail("/health", 500, "sick");
  ServiceHooks hooks(sidecar.base());
  ServerThread server(loopback_config(std::nullopt, true), hooks);
  EXPECT_EQ(server.status(), 0);
  const auto lines = hooks.log_lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "agones health: /health answered 500: sick");
  EXPECT_TRUE(hooks.logged("allocated: new 42 2 thief wizard campaign=main"));
  EXPECT_TRUE(hooks.logged("online game: a party of 2, data " + hex16(game_data().data_hash)));
  EXPECT_EQ(lines.back(), "error: agones: /shutdown answered 500: gone");

  // The order: a ping before "/ready" (a server waiting for allocation stays
  // healthy), the polls a quarter second apart until allocated, "/shutdown"
  // last (later pings left out).
  std::vector<std::string> order;
  std::vector<std::chrono::steady_clock::time_point> polls;
  for (const auto& call : sidecar.calls()) {
    if (call.path != "/health" || order.empty()) order.push_back(call.method + " " + call.path);
    if (call.path == "/gameserver") polls.push_back(call.at);
    if (call.method == "POST") {
      EXPECT_EQ(call.body + " " + call.content_type, "{} application/json") << call.path;
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"POST /health", "POST /ready", "GET /gameserver", "GET /gameserver",
                                             "GET /gameserver", "POST /shutdown"}));
  ASSERT_EQ(polls.size(), 3u);
  EXPECT_GE(polls[2] - polls[0], 480ms);
  // The pings ended with the server.
  const std::size_t calls = sidecar.calls().size();
  std::this_thread::sleep_for(2200ms);
  EXPECT_EQ(sidecar.calls().size(), calls);
}

// Threads from the system until told to refuse, as the system does at its
// thread or memory limit.
struct RefusingThreads : ThreadSpawner {
  Result<pthread_t> spawn(void* (*entry)(void*), void* arg, std::size_t stack_bytes) override {
    if (refuse) {
      ++refused;
      return error(std::strerror(EAGAIN));
    }
    return ThreadSpawner::spawn(entry, arg, stack_bytes);
  }
  std::atomic<bool> refuse{false};
  std::atomic<int> refused{0};
};

// Session and metrics connections whose thread cannot start are closed, each
// kind logged once (the rest counted into a line a second later), and the
// game goes on: once threads start again a player joins, the metrics answer,
// and the server stops when asked with status 0. A thread the server needs
// from the start ends it with status 1.
TEST(OnlineServices, ConnectionsWithoutAThreadAreClosedAndTheServerGoesOn) {
  RefusingThreads threads;
  ServiceHooks hooks("http://127.0.0.1:9", threads);
  OnlineConfig config = loopback_config(0);
  config.idle = 60s;
  ServerThread server(config, hooks, threads);
  const std::uint16_t port = hooks.bound.get_future().get();
  const std::uint16_t metrics = hooks.metrics_bound.get_future().get();
  const std::string playing = "online game: a party of 1, data " + hex16(game_data().data_hash);
  for (int i = 0; i < 500 && !hooks.logged(playing); ++i) std::this_thread::sleep_for(10ms);  // its threads are up
  threads.refuse = true;
  for (int i = 0; i < 3; ++i) {
    LoopbackPlayer refused(port);
    EXPECT_EQ(refused.line(), "<end>");
  }
  EXPECT_TRUE(scrape(metrics).starts_with("<")) << scrape(metrics);
  EXPECT_EQ(threads.refused, 4);
  std::this_thread::sleep_for(1100ms);
  threads.refuse = false;
  LoopbackPlayer player(port);
  EXPECT_EQ(player.join(), 0u);
  EXPECT_TRUE(scrape(metrics).starts_with("200\n")) << scrape(metrics);
  hooks.stop = true;
  EXPECT_EQ(server.status(), 0);
  const std::string cause = " closed (" + std::string(std::strerror(EAGAIN)) + ")";
  std::vector<std::string> refusals;
  for (const std::string& line : hooks.log_lines()) {
    if (line.find("without a thread") != std::string::npos) refusals.push_back(line);
  }
  EXPECT_EQ(refusals, (std::vector<std::string>{"error: session connections without a thread: 1" + cause,
                                                "error: http connections without a thread: 1" + cause,
                                                "error: session connections without a thread: 2" + cause}));

  threads.refuse = true;
  const std::pair<std::optional<std::uint16_t>, std::string> needed[] = {
      {0, "error: cannot start the metrics thread: "}, {std::nullopt, "error: cannot start the session thread: "}};
  for (const auto& [metrics_port, line] : needed) {
    ServiceHooks starting("http://127.0.0.1:9", threads);
    ServerThread refused(loopback_config(metrics_port), starting, threads);
    EXPECT_EQ(refused.status(), 1);
    EXPECT_EQ(starting.log_lines().back(), line + std::strerror(EAGAIN));
  }
}

}  // namespace
}  // namespace velmora
