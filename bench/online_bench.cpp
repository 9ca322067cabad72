// The online server's own cost: the real server on loopback with four
// scripted players sending a word every tick at 60 Hz, for a minute of play
// (VELMORA_ONLINE_BENCH_SECONDS changes it). Reported: the loop thread's CPU
// time as a share of one core, the tick rate, the slowest tick and the
// process's peak memory. Then what a connection that never joins costs the
// loop, by the length and shape of its one line.
#include <benchmark/benchmark.h>

#include <ctime>
#include <future>
#include <mutex>
#include <sys/resource.h>
#include <thread>

#include "bench/loopback_players.h"
#include "core/base/text.h"
#include "server/online/online_server.h"
#include "server/online/online_protocol.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using bench::join;
using bench::play_tick;
using bench::Player;

double thread_cpu_seconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct BenchHooks : OnlineHooks {
  void log_info(std::string_view) override {}
  void listening(std::uint16_t port) override { bound.set_value(port); }
  // Called on the loop thread about once a second.
  void metrics(const MetricsStats& stats, const StageResults&) override {
    std::lock_guard lock(mutex);
    samples.push_back(Sample{Steady::now(), stats.ticks, stats.slowest_tick_us, thread_cpu_seconds()});
  }
  struct Sample {
    Steady::time_point at;
    std::uint64_t ticks, slowest_us;
    double cpu;
  };
  std::promise<std::uint16_t> bound;
  std::mutex mutex;
  std::vector<Sample> samples;
};

void BM_OnlineLoopFourPlayers(benchmark::State& state) {
  const char* env = std::getenv("VELMORA_ONLINE_BENCH_SECONDS");
  const auto seconds = std::chrono::seconds(env ? parse_unsigned(env).value_or(60) : 60);
  for (auto _ : state) {
    OnlineConfig config;
    config.bind = "127.0.0.1";
    config.port = 0;
    config.opening = "new 9 4";
    config.idle = 1s;
    config.metrics_port = 1;  // the metrics hook reports every second
    BenchHooks hooks;
    auto bound = hooks.bound.get_future();
    std::thread server([&] { (void)run_online_server(config, hooks); });
    const std::uint16_t port = bound.get();
    std::vector<Player> players;
    for (int i = 0; i < 4; ++i) players.push_back(join(port));
    const auto start = Steady::now();
    const auto samples_before = [&] {
      std::lock_guard lock(hooks.mutex);
      return hooks.samples.size();
    }();
    auto next = start;
    for (std::uint64_t tick = 0; Steady::now() - start < seconds; ++tick) {
      for (std::size_t s = 0; s < players.size(); ++s) {
        play_tick(players[s], port, tick, static_cast<Buttons>((tick / 30 + s) % 3 == 0 ? 18 : 2));
      }
      next += 16667us;
      std::this_thread::sleep_until(next);
    }
    const auto played = Steady::now();
    for (Player& p : players) p.stream->close();
    server.join();
    // The seconds measured lie wholly within the play.
    std::lock_guard lock(hooks.mutex);
    std::vector<BenchHooks::Sample> within;
    for (std::size_t i = samples_before; i < hooks.samples.size(); ++i) {
      if (hooks.samples[i].at <= played) within.push_back(hooks.samples[i]);
    }
    if (within.size() < 2) {
      state.SkipWithError("too short a run");
      return;
    }
    const auto& first = within.front();
    const auto& last = within.back();
    const double wall = std::chrono::duration<double>(last.at - first.at).count();
    std::uint64_t slowest = 0;
    for (const auto& s : within) slowest = std::max(slowest, s.slowest_us);
    state.counters["cpu_percent"] = 100.0 * (last.cpu - first.cpu) / wall;
    state.counters["tick_hz"] = static_cast<double>(last.ticks - first.ticks) / wall;
    state.counters["slowest_tick_us"] = static_cast<double>(slowest);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mib"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
}
BENCHMARK(BM_OnlineLoopFourPlayers)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A peer that takes every byte and never says a word.
struct SilentStream : Stream {
  Result<std::size_t> read(char*, std::size_t) override { return std::size_t{0}; }
  Status write(std::string_view) override { return done(); }
  Result<std::size_t> write_some(std::string_view bytes) override { return bytes.size(); }
  void close() override {}
};

struct NoDatagrams : Datagrams {
  Result<std::size_t> receive(std::span<char>, SocketAddress&, std::chrono::nanoseconds) override {
    return error("timed out");
  }
  Status send_to(std::string_view, const SocketAddress&) override { return done(); }
};

struct QuietHooks : OnlineHooks {
  void log_info(std::string_view) override {}
  void log_error(std::string_view) override {}
};

// The line a connection sends before it joins, refused (it does not begin
// with "connect"): 40 bytes of one-letter words; 64 KiB of them; one word of
// 64 KiB.
std::string pre_join_line(std::int64_t shape) {
  std::string line;
  const std::size_t length = shape == 0 ? 40 : 64 * 1024;
  if (shape == 2) return std::string(length, 'a');
  while (line.size() + 2 <= length) line += "a ";
  return line;
}

// The reader thread's reading of that line as the join rules look at it.
void BM_ReadConnectLine(benchmark::State& state) {
  const std::string line = pre_join_line(state.range(0));
  for (auto _ : state) {
    auto wish = read_connect(line);
    benchmark::DoNotOptimize(wish);
  }
  state.counters["line_bytes"] = static_cast<double>(line.size());
}
BENCHMARK(BM_ReadConnectLine)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// The loop's work for one connection that sends that line and is closed:
// its arrival, the refusal and the close. The line is read outside the
// timing, as the connection's reader thread reads it.
void BM_PreJoinLine(benchmark::State& state) {
  const std::string line = pre_join_line(state.range(0));
  FakeClock clock;
  NoDatagrams udp;
  QuietHooks hooks;
  OnlineConfig config;
  config.opening = "new 9 4";
  auto server = open_online_game(config, config.opening, OnlineEnv{clock, udp, real_disk(), hooks});
  constexpr std::size_t batch = 64;
  std::vector<ServerEvent> events;
  std::uint64_t key = 0;
  while (state.KeepRunningBatch(batch)) {
    state.PauseTiming();
    events.clear();
    for (std::size_t i = 0; i < batch; ++i, ++key) {
      events.emplace_back(NewConnection{key, std::make_unique<SilentStream>()});
      events.emplace_back(JoinRequest{key, read_connect(line)});
      events.emplace_back(ConnectionEnd{key});
    }
    state.ResumeTiming();
    for (ServerEvent& event : events) handle_server_event(*server, std::move(event));
  }
  if (!server->sessions.empty()) state.SkipWithError("a connection was not closed");
  state.counters["line_bytes"] = static_cast<double>(line.size());
}
BENCHMARK(BM_PreJoinLine)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmora
