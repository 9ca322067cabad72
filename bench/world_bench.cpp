// World copies (rollback snapshots), the state hash and new games.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/data/game_data.h"
#include "core/world/state_hash.h"
#include "core/world/world.h"

namespace {

using namespace velmora;

// A running game: four players with some gear and bags, `enemies` enemies,
// a few pickups, projectiles and a hazard, one stage held in memory.
World busy_world(std::size_t enemies) {
  std::vector<CharacterSheet> party;
  for (std::uint8_t slot = 0; slot < 4; ++slot) {
    CharacterSheet s = new_character(default_class());
    s.slot = slot;
    for (std::uint16_t i = 0; i < 6; ++i) s.bag.push_back(static_cast<std::uint16_t>(i % game_data().items.size()));
    s.arts.push_back(1);
    party.push_back(s);
  }
  World w = new_game(0, 1234, party);
  std::uint8_t enemy = 0;
  for (std::size_t k = 0; k < game_data().kinds.size(); ++k) {
    if (!game_data().kinds[k].player) {
      enemy = static_cast<std::uint8_t>(k);
      break;
    }
  }
  for (std::size_t i = 0; i < enemies; ++i) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    w.actors.push_back(actor_from_kind(id, enemy, 1, 255, 900 + 40 * static_cast<std::int32_t>(i), 100, -1));
  }
  for (Actor& a : w.actors) {
    a.hit_list.push_back(1);
    a.hit_list.push_back(2);
  }
  for (std::uint16_t i = 0; i < 6; ++i) {
    w.pickups.push_back(Pickup{PickupContent::silver(5), Fx::from_int(300 + i), Fx::from_int(100), i, 0});
  }
  w.projectiles.resize(4);
  Hazard h;
  h.hit_list.push_back(5);
  w.hazards.push_back(h);
  w.stage_memory.back() = new_stage_state(w.stage_memory.size() - 1);
  for (int i = 0; i < 12; ++i) w.events.push_back(Event::of_actor(EventKind::jump, 0));
  return w;
}

void BM_WorldCopyIntoExisting(benchmark::State& state) {
  const World source = busy_world(32);
  World target = source;
  for (auto _ : state) {
    target = source;
    benchmark::DoNotOptimize(target.actors.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_WorldCopyIntoExisting)->Unit(benchmark::kMicrosecond);

void BM_WorldClone(benchmark::State& state) {
  const World source = busy_world(32);
  for (auto _ : state) {
    World copy = world_clone(source);
    benchmark::DoNotOptimize(copy.actors.data());
  }
}
BENCHMARK(BM_WorldClone)->Unit(benchmark::kMicrosecond);

void BM_StateHash(benchmark::State& state) {
  const World w = busy_world(16);
  for (auto _ : state) benchmark::DoNotOptimize(state_hash(w));
}
BENCHMARK(BM_StateHash)->Unit(benchmark::kMicrosecond);

// The stage with the most things to build: barrels, chests, doors, levers and traps.
std::uint64_t largest_stage() {
  const auto& stages = game_data().stages;
  std::uint64_t best = 0;
  std::size_t most = 0;
  for (std::uint64_t i = 0; i < stages.size(); ++i) {
    const StageDef& s = stages[i];
    const std::size_t things =
        s.barrels.size() + s.chests.size() + s.doors.size() + s.levers.size() + s.traps.size() + s.gates.size();
    if (things > most) {
      most = things;
      best = i;
    }
  }
  return best;
}

void BM_NewGameLargestStage(benchmark::State& state) {
  const std::uint64_t stage = largest_stage();
  std::vector<CharacterSheet> party(4, new_character(default_class()));
  for (std::uint8_t i = 0; i < 4; ++i) party[i].slot = i;
  for (auto _ : state) {
    World w = new_game(stage, 77, party);
    benchmark::DoNotOptimize(w.actors.data());
  }
}
BENCHMARK(BM_NewGameLargestStage)->Unit(benchmark::kMicrosecond);

}  // namespace
