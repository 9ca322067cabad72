// The tick with a full party in a fight, and a rollback frame (a world copy
// and 30 ticks of resimulation). Heap allocations made inside the timed loops
// are counted through a replaced global operator new and reported per tick.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "bench/allocation_count.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/world.h"

namespace {

using namespace velmora;

constexpr std::size_t players = 4;
constexpr std::size_t script_ticks = 600;
using Inputs = std::array<Buttons, players>;

// Players wander among the enemies with headings held for 12 ticks and
// random attack, jump, guard and dash presses; with `specials` they also
// press a random special, their quick item and the next item often.
std::vector<Inputs> script(bool specials = false) {
  std::uint64_t state = 0x5eed;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  std::array<Buttons, players> heading{};
  std::vector<Inputs> out(script_ticks);
  for (std::size_t t = 0; t < script_ticks; ++t) {
    for (std::size_t p = 0; p < players; ++p) {
      if (t % 12 == 0) {
        const std::uint64_t h = next();
        heading[p] = static_cast<Buttons>((h % 2 == 0 ? button::right : button::left) |
                                          ((h >> 2) % 3 == 0 ? button::up : 0) | ((h >> 4) % 3 == 0 ? button::down : 0));
      }
      const std::uint64_t r = next();
      Buttons word = heading[p];
      if (r % (specials ? 9 : 3) == 0) word |= button::attack;
      if ((r >> 4) % 11 == 0) word |= button::jump;
      if ((r >> 8) % 13 == 0) word |= button::guard;
      if ((r >> 12) % 17 == 0) word |= button::dash;
      if (specials && (r >> 16) % 4 == 0) {
        word |= button::special | static_cast<Buttons>((1 + (r >> 18) % 7) << button::art_shift);
      }
      if (specials && (r >> 21) % 6 == 0) word |= button::quick;
      if (specials && (r >> 24) % 7 == 0) word |= button::quick_next;
      out[t][p] = word;
    }
  }
  return out;
}

// A party of four among `enemies` enemies that cannot be knocked out, on a
// stage behind its last gate with no walk-out exit, so the fight goes on.
World fight(std::size_t enemies, std::vector<CharacterSheet> party = {}) {
  for (std::uint8_t slot = static_cast<std::uint8_t>(party.size()); slot < players; ++slot) {
    CharacterSheet s = new_character(default_class());
    s.slot = slot;
    party.push_back(s);
  }
  const GameData& data = game_data();
  World w = new_game(*stage_index(data.stages, "wolf_den"), 99, party);
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
  return w;
}

// The fight with one player of each class, every special learned, a bag of
// every consumable that works in a fight and pools that never run dry, so
// that specials, spells, thrown items, projectiles and hazards are always
// in flight.
World special_fight(std::size_t enemies) {
  const GameData& data = game_data();
  const char* classes[] = {"fighter", "thief", "wizard", "cleric"};
  const char* items[] = {"healing_potion", "fire_flask", "caltrops", "holy_water", "warding_charm"};
  std::vector<CharacterSheet> party;
  for (std::size_t p = 0; p < players; ++p) {
    CharacterSheet s = new_character(*kind_id(data.kinds, classes[p]));
    s.slot = static_cast<std::uint8_t>(p);
    for (const std::uint8_t move : data.kinds[s.class_id].special) s.arts.push_back(move);
    for (int n = 0; n < 3; ++n) {
      for (const char* item : items) s.bag.push_back(*item_id(data.items, item));
    }
    party.push_back(s);
  }
  World w = fight(enemies, party);
  for (Actor& a : w.actors) {
    if (a.team != 0) continue;
    a.fp = a.fp_max = a.mana = a.mana_max = 100000;
    a.sta = a.sta_max = 1000000;
  }
  return w;
}

// Ticks through the script; the world goes back to its start (untimed) when
// the script runs out, so every run sees the same fight.
void run_fight(benchmark::State& state, std::size_t enemies, bool specials = false) {
  const std::vector<Inputs> inputs = script(specials);
  const World start = specials ? special_fight(enemies) : fight(enemies);
  World w = start;
  for (const Inputs& in : inputs) tick(w, in);  // warm up every buffer
  w = start;
  std::size_t t = 0;
  std::uint64_t in_flight = 0, on_ground = 0, effects = 0;
  const std::uint64_t before = heap_allocations();
  for (auto _ : state) {
    tick(w, inputs[t]);
    in_flight += w.projectiles.size();
    on_ground += w.hazards.size();
    for (const Event& e : w.events) {
      effects += (e.kind >= EventKind::heal && e.kind <= EventKind::vanish) ? 1 : 0;
    }
    if (++t == inputs.size()) {
      state.PauseTiming();
      w = start;
      t = 0;
      state.ResumeTiming();
    }
  }
  const auto per_tick = [&](std::uint64_t n) {
    return benchmark::Counter(static_cast<double>(n) / static_cast<double>(state.iterations()));
  };
  state.counters["allocs_per_tick"] = per_tick(heap_allocations() - before);
  state.counters["projectiles"] = per_tick(in_flight);
  state.counters["hazards"] = per_tick(on_ground);
  state.counters["effect_events"] = per_tick(effects);
  state.counters["live_enemies"] = static_cast<double>(enemies);
}

void BM_TickFight16(benchmark::State& state) { run_fight(state, 16); }
BENCHMARK(BM_TickFight16)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Specials, items, projectiles and hazards in play; the counters show how
// many of each the script keeps in the air.
void BM_TickFightSpecials16(benchmark::State& state) { run_fight(state, 16, true); }
BENCHMARK(BM_TickFightSpecials16)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_TickFight64(benchmark::State& state) { run_fight(state, 64); }
BENCHMARK(BM_TickFight64)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// One rollback frame: the confirmed world copied into the predicted one, then
// 30 ticks run again.
void BM_RollbackFrame(benchmark::State& state) {
  const std::vector<Inputs> inputs = script();
  World confirmed = fight(16);
  for (std::size_t t = 0; t < 120; ++t) tick(confirmed, inputs[t]);
  World predicted = confirmed;
  for (std::size_t t = 120; t < 150; ++t) tick(predicted, inputs[t]);  // warm up
  const std::uint64_t before = heap_allocations();
  for (auto _ : state) {
    predicted = confirmed;
    for (std::size_t t = 120; t < 150; ++t) tick(predicted, inputs[t]);
    benchmark::DoNotOptimize(predicted.tick);
  }
  state.counters["allocs_per_frame"] =
      benchmark::Counter(static_cast<double>(heap_allocations() - before) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_RollbackFrame)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
