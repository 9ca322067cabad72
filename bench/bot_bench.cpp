// The bot's word for one slot among 16 enemies, and a tick whose four slots
// are all played by the bot, the bots' words included in the time.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/bot/bot.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/world.h"

namespace {

using namespace velmora;

constexpr std::size_t players = 4;
constexpr std::size_t enemies = 16;
constexpr std::size_t fight_ticks = 600;

// One player of each class with every special learned, among 16 enemies
// that cannot be knocked out, on a stage behind its last gate with no
// walk-out exit, so the fight goes on.
World fight() {
  const GameData& data = game_data();
  const char* classes[] = {"fighter", "thief", "wizard", "cleric"};
  std::vector<CharacterSheet> party;
  for (std::size_t p = 0; p < players; ++p) {
    CharacterSheet s = new_character(*kind_id(data.kinds, classes[p]));
    s.slot = static_cast<std::uint8_t>(p);
    for (const std::uint8_t move : data.kinds[s.class_id].special) s.arts.push_back(move);
    party.push_back(s);
  }
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
  // The party holds out too, so that the fight never ends.
  for (Actor& a : w.actors) {
    if (a.team != 0) continue;
    a.skill = 4;
    a.hp = a.hp_max = 1000000;
  }
  return w;
}

std::array<Buttons, players> bot_words(const World& w) {
  std::array<Buttons, players> words{};
  for (std::size_t slot = 0; slot < players; ++slot) words[slot] = bot_input(w, slot);
  return words;
}

// Worlds along a bot-played fight, so the word is timed in many situations.
std::vector<World> fight_snapshots() {
  World w = fight();
  std::vector<World> out;
  for (std::size_t t = 0; t < fight_ticks; ++t) {
    if (t % 20 == 0) out.push_back(w);
    tick(w, bot_words(w));
  }
  return out;
}

void BM_BotInputOneSlot16Enemies(benchmark::State& state) {
  const std::vector<World> worlds = fight_snapshots();
  std::size_t i = 0;
  for (auto _ : state) {
    const World& w = worlds[i];
    benchmark::DoNotOptimize(bot_input(w, (w.tick / 20) % players));
    if (++i == worlds.size()) i = 0;
  }
}
BENCHMARK(BM_BotInputOneSlot16Enemies)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Four bot slots through a fight; the world goes back to its start
// (untimed) every 600 ticks, so every run sees the same fight.
void BM_TickFourBots16Enemies(benchmark::State& state) {
  const World start = fight();
  World w = start;
  for (std::size_t t = 0; t < fight_ticks; ++t) tick(w, bot_words(w));  // warm up every buffer
  w = start;
  std::size_t t = 0;
  std::uint64_t playing = 0, swings = 0;
  for (auto _ : state) {
    tick(w, bot_words(w));
    playing += w.over == GameStatus::playing ? 1 : 0;
    for (const Event& e : w.events) swings += e.kind == EventKind::swing ? 1 : 0;
    if (++t == fight_ticks) {
      state.PauseTiming();
      w = start;
      t = 0;
      state.ResumeTiming();
    }
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["playing"] = static_cast<double>(playing) / iterations;
  state.counters["swings_per_tick"] = static_cast<double>(swings) / iterations;
}
BENCHMARK(BM_TickFourBots16Enemies)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
