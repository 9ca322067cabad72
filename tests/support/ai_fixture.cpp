#include "tests/support/ai_fixture.h"

#include <utility>
#include <vector>

#include "core/game_data.h"
#include "core/panic.h"

namespace velmora::testing {

namespace {

template <class Edit>
std::uint8_t add_calm_copy(GameData& data, const char* from, const char* name, Edit edit) {
  KindDef kind = data.kinds[*kind_id(data.kinds, from)];
  kind.name = name;
  kind.jitter = 0;
  kind.block = 0;
  edit(kind);
  data.kinds.push_back(kind);
  return static_cast<std::uint8_t>(data.kinds.size() - 1);
}

void as_is(KindDef&) {}

StageDef open_stage(const char* name) {
  StageDef stage;
  stage.name = name;
  stage.length = 6000;
  stage.depth = 300;
  stage.view_w = 1200;
  return stage;
}

// One wave with every role, written as a stage file would.
StageDef proving_stage(const GameData& data) {
  StageDef stage = open_stage("proving");
  GateDef gate;
  gate.trigger_x = 200;
  gate.center_x = 700;
  WaveDef wave;
  const std::pair<const char*, std::int32_t> spawns[] = {
      {"bandit", 1}, {"cutpurse", -1}, {"archer", 1}, {"hedge_witch", 1}, {"shieldbearer", 1}, {"wolf", -1}};
  std::int32_t z = 60;
  for (const auto& [kind, side] : spawns) {
    wave.spawns.push_back(SpawnDef{side, z, *kind_id(data.kinds, kind)});
    z += 45;
  }
  gate.waves.push_back(wave);
  stage.gates.push_back(gate);
  return stage;
}

}  // namespace

const AiKinds& ai_kinds() {
  static const AiKinds kinds = [] {
    GameData data = builtin_data();
    AiKinds k;
    k.bandit = *kind_id(data.kinds, "bandit");
    k.chief = *kind_id(data.kinds, "bandit_chief");
    k.brute = add_calm_copy(data, "bandit", "test_brute", as_is);
    k.skirmisher = add_calm_copy(data, "cutpurse", "test_skirmisher", as_is);
    k.steady = add_calm_copy(data, "cutpurse", "test_steady", [](KindDef& d) { d.stand.chance = 0; });
    k.archer = add_calm_copy(data, "archer", "test_archer", as_is);
    k.witch = add_calm_copy(data, "hedge_witch", "test_witch", as_is);
    k.guard = add_calm_copy(data, "shieldbearer", "test_guard", as_is);
    k.blocker = add_calm_copy(data, "bandit", "test_blocker", [](KindDef& d) { d.block = 100; });
    k.slow = add_calm_copy(data, "bandit", "test_slow", [](KindDef& d) { d.cooldown = {70000, 90000}; });
    k.arena = data.stages.size();
    data.stages.push_back(open_stage("arena"));
    k.proving = data.stages.size();
    data.stages.push_back(proving_stage(data));
    VELMORA_CHECK(install_game_data(std::move(data)).ok(), "AI test data installed before first use");
    return k;
  }();
  return kinds;
}

World arena(std::size_t players, std::uint64_t seed) {
  const std::uint64_t stage = ai_kinds().arena;
  std::vector<CharacterSheet> party(players, new_character(default_class()));
  for (std::size_t i = 0; i < players; ++i) party[i].slot = static_cast<std::uint8_t>(i);
  World w = new_game(stage, seed, party);
  w.camera_x = Fx::from_int(2000);
  for (Actor& a : w.actors) place(a, 5000, 150);
  return w;
}

void place(Actor& a, std::int32_t x, std::int32_t z) {
  a.x = Fx::from_int(x);
  a.z = Fx::from_int(z);
}

std::size_t add_enemy(World& w, std::uint8_t kind, std::int32_t x, std::int32_t z) {
  w.actors.push_back(actor_from_kind(static_cast<std::uint16_t>(w.actors.size()), kind, 1, 255, x, z, -1));
  return w.actors.size() - 1;
}

Rng rng_where(bool success, std::int32_t per_mille) {
  for (std::uint64_t state = 1;; ++state) {
    Rng probe{state};
    if (chance(probe, per_mille) == success) return Rng{state};
  }
}

}  // namespace velmora::testing
