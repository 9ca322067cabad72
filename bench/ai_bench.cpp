// The enemy AI alone: the input of every enemy for one tick, in a fight of a
// full party among 16 or 64 enemies of every role, on its usual think cycle
// and with every enemy thinking every tick (the worst case); and ten minutes
// of a fight that never ends. Heap allocations inside the timed loops of the
// AI are counted through a replaced global operator new and reported per tick.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "bench/allocation_count.h"
#include "core/ai/ai.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/world.h"

namespace {

using namespace velmora;

constexpr std::size_t players = 4;

// A party of four among `enemies` enemies of every role, none of whom can be
// knocked out, behind the last gate of a stage, after 120 ticks of fighting
// so that every enemy has a target, a lock and a cycle under way.
World fight(std::size_t enemies) {
  std::vector<CharacterSheet> party;
  for (std::uint8_t slot = 0; slot < players; ++slot) {
    CharacterSheet s = new_character(default_class());
    s.slot = slot;
    party.push_back(s);
  }
  const GameData& data = game_data();
  World w = new_game(*stage_index(data.stages, "wolf_den"), 99, party);
  for (Actor& p : w.actors) p.hp = p.hp_max = 1000000;
  w.gate_index = w.stage().gates.size();
  const char* names[] = {"bandit", "cutpurse", "archer", "shieldbearer", "wolf", "skeleton", "hedge_witch", "ogre"};
  for (std::size_t i = 0; i < enemies; ++i) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    const auto x = static_cast<std::int32_t>(280 + (i * 53) % 800);
    const auto z = static_cast<std::int32_t>(40 + (i * 71) % 300);
    Actor a = actor_from_kind(id, *kind_id(data.kinds, names[i % 8]), 1, 255, x, z, -1);
    a.hp = a.hp_max = 1000000;
    w.actors.push_back(a);
  }
  const std::array<Buttons, players> words{2, 18, 1, 17};
  for (int t = 0; t < 120; ++t) tick(w, words);
  return w;
}

// One tick's enemy input over the whole actor list, positions held still.
void run_inputs(benchmark::State& state, std::size_t enemies, bool think_every_tick) {
  World w = fight(enemies);
  const std::uint64_t before = heap_allocations();
  for (auto _ : state) {
    for (std::size_t i = players; i < w.actors.size(); ++i) {
      if (think_every_tick) w.actors[i].ai_think = 0;
      benchmark::DoNotOptimize(enemy_input(w, i));
    }
  }
  state.counters["allocs_per_tick"] =
      benchmark::Counter(static_cast<double>(heap_allocations() - before) / static_cast<double>(state.iterations()));
}

void BM_EnemyInput16(benchmark::State& state) { run_inputs(state, 16, false); }
BENCHMARK(BM_EnemyInput16)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_EnemyInput64(benchmark::State& state) { run_inputs(state, 64, false); }
BENCHMARK(BM_EnemyInput64)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_EnemyThinkEveryTick64(benchmark::State& state) { run_inputs(state, 64, true); }
BENCHMARK(BM_EnemyThinkEveryTick64)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Ten minutes of play (36,000 ticks) in which the fight never ends: the
// cost of verifying a ten-minute replay whose stage runs to its last tick.
void BM_TenMinuteFight16(benchmark::State& state) {
  const World start = fight(16);
  const std::array<Buttons, players> words[] = {{2, 18, 1, 17}, {18, 66, 17, 0}, {1, 16, 130, 34}};
  for (auto _ : state) {
    World w = start;
    for (std::size_t t = 0; t < 36000; ++t) tick(w, words[(t / 60) % 3]);
    if (w.over != GameStatus::playing) state.SkipWithError("the fight ended");
    benchmark::DoNotOptimize(w.tick);
  }
}
BENCHMARK(BM_TenMinuteFight16)->Unit(benchmark::kMillisecond);

}  // namespace
