// The netcode's hot paths: a full tick datagram for four players written and
// read back, and a rollback of 30 ticks through the RollbackSession (the
// confirmed world restored into the prediction and every tick run again) in a
// fight of four players and sixteen enemies.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/data/game_data.h"
#include "core/net/net_messages.h"
#include "core/net/rollback_session.h"
#include "core/rules/sim.h"
#include "core/world/actor.h"
#include "core/world/world.h"

namespace {

using namespace velmora;

void BM_TickDatagramEncodeDecode(benchmark::State& state) {
  TickMessage m;
  m.first = 123456;
  m.count = max_tick_records;
  for (std::size_t i = 0; i < m.count; ++i) {
    m.records[i] = TickRecord{{static_cast<Buttons>(i), 18, 2, 0x4010}, static_cast<std::uint8_t>(i % 3)};
  }
  m.slack = 3;
  m.last_input = 123500;
  m.hash_tick = 123420;
  m.hash = 0x0123456789abcdef;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(datagram_buffer_bytes);
  for (auto _ : state) {
    encode_tick_datagram(77, m, bytes);
    auto decoded = decode_tick_datagram(bytes, 123400);
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_TickDatagramEncodeDecode)->Unit(benchmark::kNanosecond);

// Four players among sixteen enemies that cannot be knocked out, behind the
// last gate of a stage, so the fight goes on.
World fight() {
  std::vector<CharacterSheet> party;
  for (std::uint8_t slot = 0; slot < 4; ++slot) {
    CharacterSheet s = new_character(default_class());
    s.slot = slot;
    party.push_back(s);
  }
  const GameData& data = game_data();
  World w = new_game(*stage_index(data.stages, "wolf_den"), 99, party);
  w.gate_index = w.stage().gates.size();
  const char* names[] = {"bandit", "cutpurse", "archer", "shieldbearer", "wolf", "skeleton", "hedge_witch", "ogre"};
  for (std::size_t i = 0; i < 16; ++i) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    const auto x = static_cast<std::int32_t>(280 + (i * 53) % 800);
    const auto z = static_cast<std::int32_t>(40 + (i * 71) % 300);
    Actor a = actor_from_kind(id, *kind_id(data.kinds, names[i % 8]), 1, 255, x, z, -1);
    a.hp = a.hp_max = 1000000;
    w.actors.push_back(a);
  }
  return w;
}

Buttons word_of(std::uint64_t tick) {
  static constexpr Buttons words[] = {button::right | button::attack, button::left, button::attack | button::up,
                                      button::right | button::jump, button::down | button::attack};
  return words[(tick / 7) % std::size(words)];
}

void BM_Rollback30Ticks(benchmark::State& state) {
  World start = fight();
  for (std::uint64_t t = 0; t < 120; ++t) tick(start, std::array<Buttons, 4>{18, 17, 16, 24});
  RollbackSession session = new_rollback_session(start, 0, 4, default_input_delay, 0);
  session.last_confirmed = {18, 17, 16, 24};
  for (std::uint64_t i = 0; i < max_prediction_ticks; ++i) rollback_advance(session, word_of(i));
  for (auto _ : state) {
    // Back to 29 ticks ahead (untimed), then one advance that rolls 29 ticks
    // back and runs them and the new tick: 30 ticks in all.
    state.PauseTiming();
    session.predicted.tick -= 1;
    session.rollback_needed = true;
    state.ResumeTiming();
    rollback_advance(session, word_of(session.predicted.tick));
  }
  state.counters["ticks_per_rollback"] = static_cast<double>(session.predicted.tick - session.confirmed.tick);
}
BENCHMARK(BM_Rollback30Ticks)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
