// What the replies a front end polls between fights cost: "shop" and
// "party" for four players in town, each with a full bag.
#include <benchmark/benchmark.h>

#include "core/data/game_data.h"
#include "server/service/protocol.h"

namespace velmora {
namespace {

constexpr std::size_t bag_items = 24;

void town_game(ServerState& state) {
  if (handle_request(state, "new 3 4 fighter thief wizard cleric").find("\"ok\":true") == std::string::npos) {
    panic("no game");
  }
  state.debug = true;
  if (handle_request(state, "goto millbrook").find("\"ok\":true") == std::string::npos) panic("no town");
  const auto& shop = state.game->stage().shop;
  for (Actor& a : state.game->actors) {
    for (std::size_t i = 0; i < bag_items; ++i) a.bag.push_back(shop[i % shop.size()]);
  }
}

void reply_bench(benchmark::State& bench, std::string_view line) {
  RealDisk disk;
  ServerState state = new_server_state(std::nullopt, disk, real_clock());
  town_game(state);
  std::size_t bytes = 0;
  for (auto _ : bench) {
    const std::string reply = handle_request(state, line);
    bytes += reply.size();
    benchmark::DoNotOptimize(reply.data());
  }
  bench.counters["reply_bytes"] = static_cast<double>(bytes) / static_cast<double>(bench.iterations());
}

void BM_ShopReply(benchmark::State& bench) { reply_bench(bench, "shop"); }
BENCHMARK(BM_ShopReply)->Unit(benchmark::kMicrosecond);

void BM_PartyReply(benchmark::State& bench) { reply_bench(bench, "party"); }
BENCHMARK(BM_PartyReply)->Unit(benchmark::kMicrosecond);

void BM_MapReply(benchmark::State& bench) { reply_bench(bench, "map"); }
BENCHMARK(BM_MapReply)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmora
