// A metrics scrape under load: the real online server on loopback, with its
// metrics port, four players sending a word every tick at 60 Hz, and a
// scraper fetching "/metrics" 100 times a second. The tick rate, taken from
// the loop's own counts over the seconds of play, must stay at 60 +- 0.5 Hz;
// it is reported beside a run without the scraper.
// VELMORA_SCRAPE_BENCH_SECONDS sets the seconds of play (10).
#include <benchmark/benchmark.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "bench/loopback_players.h"
#include "core/base/text.h"
#include "server/online/online_server.h"
#include "server/online/online_services.h"
#include "web/http_client.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

struct BenchHooks : OnlineServices {
  BenchHooks() : OnlineServices("http://127.0.0.1:9") {}
  void log_info(std::string_view) override {}
  void listening(std::uint16_t port) override { bound.set_value(port); }
  Status start_services(const OnlineConfig& config) override {
    auto started = OnlineServices::start_services(config);
    metrics_bound.set_value(metrics_port().value_or(0));
    return started;
  }
  // On the loop thread, about once a second.
  void metrics(const MetricsStats& stats, const StageResults& results) override {
    {
      std::lock_guard lock(mutex);
      samples.push_back(Sample{Steady::now(), stats.ticks, stats.slowest_tick_us});
    }
    OnlineServices::metrics(stats, results);
  }
  struct Sample {
    Steady::time_point at;
    std::uint64_t ticks, slowest_us;
  };
  std::promise<std::uint16_t> bound, metrics_bound;
  std::mutex mutex;
  std::vector<Sample> samples;
};

void run(benchmark::State& state, bool scrape) {
  const char* env = std::getenv("VELMORA_SCRAPE_BENCH_SECONDS");
  const auto seconds = std::chrono::seconds(env ? parse_unsigned(env).value_or(10) : 10);
  for (auto _ : state) {
    OnlineConfig config;
    config.bind = "127.0.0.1";
    config.port = 0;
    config.opening = "new 9 4";
    config.idle = 1s;
    config.metrics_port = 0;
    BenchHooks hooks;
    auto bound = hooks.bound.get_future();
    auto metrics_bound = hooks.metrics_bound.get_future();
    std::thread server([&] { (void)run_online_server(config, hooks); });
    const std::uint16_t port = bound.get();
    const std::string url = "http://127.0.0.1:" + std::to_string(metrics_bound.get()) + "/metrics";
    std::vector<bench::Player> players;
    for (int i = 0; i < 4; ++i) players.push_back(bench::join(port));

    std::atomic<std::uint64_t> scrapes = 0, failed = 0;
    std::jthread scraper;
    if (scrape) {
      scraper = std::jthread([&](std::stop_token stop) {
        auto next = Steady::now();
        while (!stop.stop_requested()) {
          next += 10ms;
          auto reply = http_request("GET", url, std::nullopt, std::nullopt, 2);
          // Empty answers (before the first rebuild) count as served too.
          ++(reply && reply->status == 200 ? scrapes : failed);
          std::this_thread::sleep_until(next);
        }
      });
    }
    const std::size_t samples_before = [&] {
      std::lock_guard lock(hooks.mutex);
      return hooks.samples.size();
    }();
    const auto start = Steady::now();
    auto next = start;
    for (std::uint64_t tick = 0; Steady::now() - start < seconds; ++tick) {
      for (std::size_t s = 0; s < players.size(); ++s) {
        bench::play_tick(players[s], port, tick, static_cast<Buttons>((tick / 30 + s) % 3 == 0 ? 18 : 2));
      }
      next += 16667us;
      std::this_thread::sleep_until(next);
    }
    const auto played = Steady::now();
    if (scraper.joinable()) {
      scraper.request_stop();
      scraper.join();
    }
    for (bench::Player& p : players) p.stream->close();
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
    const double wall = std::chrono::duration<double>(within.back().at - within.front().at).count();
    std::uint64_t slowest = 0;
    for (const auto& s : within) slowest = std::max(slowest, s.slowest_us);
    const double hz = static_cast<double>(within.back().ticks - within.front().ticks) / wall;
    const double played_seconds = std::chrono::duration<double>(played - start).count();
    state.counters["tick_hz"] = hz;
    state.counters["slowest_tick_us"] = static_cast<double>(slowest);
    state.counters["scrapes_per_s"] = static_cast<double>(scrapes) / played_seconds;
    state.counters["failed_scrapes"] = static_cast<double>(failed);
    if (hz < 59.5 || hz > 60.5) state.SkipWithError("the tick rate left 60 +- 0.5 Hz");
  }
}

void BM_OnlineTickRateAlone(benchmark::State& state) { run(state, false); }
BENCHMARK(BM_OnlineTickRateAlone)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_OnlineTickRateUnderScrape(benchmark::State& state) { run(state, true); }
BENCHMARK(BM_OnlineTickRateUnderScrape)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace velmora
