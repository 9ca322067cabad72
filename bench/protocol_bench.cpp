// The line protocol's costs: one "tick" request with its full reply, tick
// round trips over loopback, and verifying a ten-minute replay.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdlib.h>
#include <thread>

#include "core/data/game_data.h"
#include "core/replay/replay.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"
#include "server/service/local_server.h"
#include "server/service/protocol.h"
#include "web/sockets.h"

namespace velmora {
namespace {

constexpr std::size_t bench_enemies = 16;

// A game of four players with sixteen enemies standing among them.
void fill_game(ServerState& state) {
  if (handle_request(state, "new 17 4").find("\"ok\":true") == std::string::npos) panic("no game");
  World& world = *state.game;
  const std::uint8_t kind = *kind_id(game_data().kinds, "bandit");
  for (std::size_t i = 0; i < bench_enemies; ++i) {
    const auto id = static_cast<std::uint16_t>(world.actors.size());
    const std::int32_t x = 300 + static_cast<std::int32_t>(i % 8) * 100;
    const std::int32_t z = 80 + static_cast<std::int32_t>(i / 8) * 200;
    world.actors.push_back(actor_from_kind(id, kind, 1, 255, x, z, -1));
  }
}

void BM_TickRequest(benchmark::State& bench) {
  RealDisk disk;
  ServerState state = new_server_state(std::nullopt, disk, real_clock());
  fill_game(state);
  std::size_t bytes = 0;
  for (auto _ : bench) {
    if (state.game->over != GameStatus::playing) {
      bench.PauseTiming();
      fill_game(state);
      bench.ResumeTiming();
    }
    const std::string reply = handle_request(state, "tick 2 0 16 0");
    bytes += reply.size();
    benchmark::DoNotOptimize(reply.data());
  }
  bench.counters["reply_bytes"] = static_cast<double>(bytes) / static_cast<double>(bench.iterations());
}
BENCHMARK(BM_TickRequest)->Unit(benchmark::kMicrosecond);

void BM_LoopbackTickRoundTrip(benchmark::State& bench) {
  RealDisk disk;
  ServerState state = new_server_state(std::nullopt, disk, real_clock());
  fill_game(state);
  auto listener = listen_tcp("127.0.0.1", 0);
  if (!listener) panic("cannot listen: " + listener.message());
  const std::uint16_t port = (*listener)->port();
  RequestService service(state);
  std::thread server([&] { serve_lines(**listener, service); });
  auto client = connect_tcp("127.0.0.1", port, std::chrono::seconds(5));
  if (!client) panic("cannot connect: " + client.message());
  LineReader reader(**client, 16 * 1024 * 1024);
  std::string reply;
  for (auto _ : bench) {
    if (!(*client)->write("tick 2 0 16 0\n")) panic("write failed");
    if (reader.next(reply) != LineReader::Outcome::line) panic("no reply");
    benchmark::DoNotOptimize(reply.data());
  }
  bench.SetItemsProcessed(static_cast<std::int64_t>(bench.iterations()));
  (void)(*client)->write("quit\n");
  (void)reader.next(reply);
  server.join();
}
BENCHMARK(BM_LoopbackTickRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Ten minutes of four players walking, fighting and guarding, with the end
// tick and hash the recording game reached; the tick the stage ended at (0
// while it runs), since a finished stage's ticks only count.
std::string ten_minute_replay(std::uint64_t& ended_at) {
  RealDisk disk;
  ServerState state = new_server_state(std::nullopt, disk, real_clock());
  if (handle_request(state, "new 23 4").find("\"ok\":true") == std::string::npos) panic("no game");
  ReplayRecord record = *state.record;
  const Buttons words[] = {2, 18, 2, 66, 2, 34, 0, 130, 2, 18};
  World world = new_game(record.stage, record.seed, record.party);
  for (std::uint32_t second = 0; second < 600; ++second) {
    const Buttons w = words[second % std::size(words)];
    const TicksCommand ticks{{w, w, static_cast<Buttons>(w ^ 16), 2}, 60};
    record.commands.push_back(ticks);
    for (std::uint32_t i = 0; i < ticks.count; ++i) {
      tick(world, ticks.buttons);
      if (world.over != GameStatus::playing && ended_at == 0) ended_at = world.tick;
    }
  }
  record.end = ReplayEnd{world.tick, state_hash(world)};
  return write_replay(record);
}

void BM_VerifyTenMinuteReplay(benchmark::State& bench) {
  char name[] = "/tmp/velmora-bench-XXXXXX";
  const std::string folder = ::mkdtemp(name);
  const std::string path = folder + "/ten-minutes.txt";
  RealDisk disk;
  std::uint64_t ended_at = 0;
  if (!disk.write_new_file(path, ten_minute_replay(ended_at))) panic("cannot write the replay");
  for (auto _ : bench) {
    ServerState state = new_server_state(std::nullopt, disk, real_clock());
    handle_request(state, "watch " + path);
    std::string reply;
    for (int i = 0; i < 200 && reply.find("\"done\":true") == std::string::npos; ++i) {
      reply = handle_request(state, "run 600");
    }
    if (reply.find("\"verified\":true") == std::string::npos) panic("the replay did not verify");
  }
  bench.counters["stage_ended_at_tick"] = static_cast<double>(ended_at);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_VerifyTenMinuteReplay)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
