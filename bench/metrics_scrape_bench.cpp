// A metrics scrape under load: a loop paced at 60 ticks a second steps a
// game and rebuilds the metrics text once a second, while a scraper fetches
// "/metrics" 100 times a second over loopback. The tick rate must stay at
// 60 +- 0.5 Hz; it is reported beside a run without the scraper.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/game_data.h"
#include "core/sim.h"
#include "core/world.h"
#include "web/http_client.h"
#include "web/http_server.h"
#include "web/metrics.h"

namespace {

using namespace velmora;
using Clock = std::chrono::steady_clock;

constexpr auto tick_period = std::chrono::microseconds(16666);
constexpr auto run_time = std::chrono::seconds(5);

World party_of_four() {
  std::vector<CharacterSheet> party;
  for (std::uint8_t slot = 0; slot < 4; ++slot) {
    CharacterSheet s = new_character(default_class());
    s.slot = slot;
    party.push_back(s);
  }
  return new_game(*stage_index(game_data().stages, "wolf_den"), 99, party);
}

// Ticks at 60 Hz for the run time; the rate achieved.
double paced_ticks(const std::shared_ptr<MetricsText>& text, std::uint64_t& ticks) {
  World w = party_of_four();
  const std::array<Buttons, 4> inputs{button::right | button::attack, button::right, button::left, 0};
  StageResults results;
  MetricsStats stats;
  const auto start = Clock::now();
  auto deadline = start + tick_period;
  auto rebuilt = start;
  while (Clock::now() - start < run_time) {
    std::this_thread::sleep_until(deadline);
    deadline += tick_period;
    const auto before = Clock::now();
    tick(w, inputs);
    ++ticks;
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - before).count();
    stats.ticks = ticks;
    stats.slowest_tick_us = std::max<std::uint64_t>(stats.slowest_tick_us, static_cast<std::uint64_t>(took));
    if (Clock::now() - rebuilt >= std::chrono::seconds(1)) {
      text->replace(rebuild_metrics(stats, results));
      rebuilt = Clock::now();
      stats.slowest_tick_us = 0;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(ticks) / seconds;
}

void run(benchmark::State& state, bool scrape) {
  auto text = std::make_shared<MetricsText>();
  auto listener = listen_tcp("127.0.0.1", 0);
  if (!listener) {
    state.SkipWithError("cannot listen on loopback");
    return;
  }
  std::jthread server([&](std::stop_token stop) { serve_http(**listener, metrics_handler(text), {}, stop); });
  const std::string url = "http://127.0.0.1:" + std::to_string((*listener)->port()) + "/metrics";
  for (auto _ : state) {
    std::atomic<std::uint64_t> scrapes = 0, failed = 0;
    std::jthread scraper;
    if (scrape) {
      scraper = std::jthread([&](std::stop_token stop) {
        auto next = Clock::now();
        while (!stop.stop_requested()) {
          next += std::chrono::milliseconds(10);
          auto reply = http_request("GET", url, std::nullopt, std::nullopt, 2);
          ++(reply && reply->status == 200 ? scrapes : failed);
          std::this_thread::sleep_until(next);
        }
      });
    }
    std::uint64_t ticks = 0;
    const double hz = paced_ticks(text, ticks);
    if (scraper.joinable()) {
      scraper.request_stop();
      scraper.join();
    }
    state.counters["tick_hz"] = hz;
    state.counters["scrapes_per_s"] = static_cast<double>(scrapes) / 5.0;
    state.counters["failed_scrapes"] = static_cast<double>(failed);
  }
}

void BM_TickRateAlone(benchmark::State& state) { run(state, false); }
BENCHMARK(BM_TickRateAlone)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_TickRateUnderScrape(benchmark::State& state) { run(state, true); }
BENCHMARK(BM_TickRateUnderScrape)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
