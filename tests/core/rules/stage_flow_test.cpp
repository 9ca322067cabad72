#include "core/rules/stage_flow.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "core/world/world.h"

namespace velmora {
namespace {

constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();

// The built-in data with stages of our own and a party scaling of common
// enemies 100/200/300/150 %, elites 100/140/175/210 % and bosses
// 100/160/200/250 % for 1 to 4 players. Our stages are 4000 long and 1200 wide
// in view; by default 500 deep, with the exit at 3800 and gates triggered at
// 1000 and centred at 1500.
struct Ids {
  std::uint8_t bandit = 0, chief = 0, ogre = 0, giant = 0;
  std::uint64_t three = 0;  // bandits at z 100 right, 200 left, 300 right
  std::uint64_t mixed = 0;  // the chief, bandits at z 100 and 300, the ogre, the giant
  std::uint64_t shallow = 0, flow = 0, no_exit = 0;
  std::vector<std::uint64_t> barrier;  // one stage per entry of barrier_sets
};

// The barriers of the barrier stages, each with four bandits entering on the right.
const std::vector<std::vector<std::int32_t>> barrier_sets = {{2100}, {2210}, {2205}, {1800, 900}};

using Wave = std::vector<SpawnDef>;

GateDef gate(const std::vector<Wave>& waves, std::int32_t trigger = 1000, std::int32_t center = 1500) {
  GateDef g;
  g.trigger_x = trigger;
  g.center_x = center;
  for (const Wave& w : waves) g.waves.push_back(WaveDef{w});
  return g;
}

std::uint64_t add_stage(GameData& data, std::vector<GateDef> gates, std::vector<std::int32_t> barriers = {},
                        std::int32_t depth = 500, std::int32_t exit_x = 3800) {
  StageDef s;
  s.name = "test_" + std::to_string(data.stages.size());
  s.length = 4000;
  s.depth = depth;
  s.view_w = 1200;
  s.exit_x = exit_x;
  s.gates = std::move(gates);
  s.barriers = std::move(barriers);
  data.stages.push_back(std::move(s));
  return data.stages.size() - 1;
}

Ids build(GameData& data) {
  Ids f;
  f.bandit = *kind_id(data.kinds, "bandit");
  f.chief = *kind_id(data.kinds, "bandit_chief");  // a boss with two drops
  f.ogre = *kind_id(data.kinds, "ogre");           // an elite
  KindDef giant = data.kinds[f.chief];              // a boss whose hit points pass 32 bits
  giant.name = "giant";
  giant.st = giant.toughness = 100000;
  data.kinds.push_back(giant);
  f.giant = static_cast<std::uint8_t>(data.kinds.size() - 1);
  data.scaling.minions = {100, 200, 300, 150};
  data.scaling.elite_hp = {100, 140, 175, 210};
  data.scaling.boss_hp = {100, 160, 200, 250};

  const std::uint8_t g = f.bandit;
  f.three = add_stage(data, {gate({{{1, 100, g}, {-1, 200, g}, {1, 300, g}}})});
  f.mixed = add_stage(data, {gate({{{1, 200, f.chief}, {1, 100, g}, {1, 300, g}, {1, 250, f.ogre},
                                    {1, 350, f.giant}}})});
  for (const auto& barriers : barrier_sets) {
    f.barrier.push_back(add_stage(data, {gate({{{1, 100, g}, {1, 200, g}, {1, 300, g}, {1, 400, g}}})}, barriers));
  }
  f.shallow = add_stage(data, {gate({{{1, 30, g}}})}, {}, 60);
  f.flow = add_stage(data, {gate({{{1, 100, g}}, {{-1, 200, g}}}), gate({{{1, 100, g}}}, 2500, 3000)});
  f.no_exit = add_stage(data, {}, {}, 500, 0);
  return f;
}

const Ids& ids() {
  static const Ids fixture = [] {
    GameData data = builtin_data();
    Ids f = build(data);
    VELMORA_CHECK(install_game_data(std::move(data)).ok(), "test data installed before first use");
    return f;
  }();
  return fixture;
}

World game(std::uint64_t stage, std::size_t players) {
  std::vector<CharacterSheet> party(players, new_character(default_class()));
  for (std::size_t i = 0; i < players; ++i) party[i].slot = static_cast<std::uint8_t>(i);
  return new_game(stage, 7, party);
}

std::int32_t cm(Fx v) { return v.floor_int(); }

// Spawns the first wave of the current gate now; returns the index of the first new actor.
std::size_t spawn_now(World& w) {
  const std::size_t first = w.actors.size();
  w.gate_locked = 1;
  w.wave_countdown = 1;
  gates_and_waves(w);
  return first;
}

// The x (or z) in whole centimetres of every actor from `first` on.
std::vector<std::int32_t> cms_from(const World& w, std::size_t first, bool z = false) {
  std::vector<std::int32_t> out;
  for (std::size_t i = first; i < w.actors.size(); ++i) out.push_back(cm(z ? w.actors[i].z : w.actors[i].x));
  return out;
}

// Calls of the gates and waves step until a wave is out (at most 100).
int calls_until_wave(World& w) {
  int calls = 0;
  for (; w.wave_active == 0 && calls < 100; ++calls) {
    w.events.clear();
    gates_and_waves(w);
  }
  return calls;
}

void knock_out_enemies(World& w) {
  for (Actor& a : w.actors) a.state = a.team != 0 ? ActorState::ko : a.state;
}

// --- Knock-out rewards and experience -----------------------------------------------

TEST(KoRewards, ExperienceSilverThenDropsBesideTheEnemy) {
  World w = game(ids().flow, 1);
  w.actors.push_back(actor_from_kind(1, ids().chief, 1, 255, 1000, 200, -1));
  w.pickups.resize(1);  // ids go on from the list's length
  w.xp_pool = 3;
  const KindDef& chief = kind_by_id(ids().chief);
  ASSERT_EQ(chief.drops.size(), 2u);
  Rng rng = w.rng;
  const auto silver = static_cast<std::uint32_t>(range(rng, chief.silver[0], chief.silver[1]));
  std::vector<Pickup> expected = w.pickups;
  expected.push_back({PickupContent::silver(silver), Fx::from_int(1000), Fx::from_int(200), 1, 0});
  expected.push_back({PickupContent::of_item(chief.drops[0]), Fx::from_int(1040), Fx::from_int(200), 2, 0});
  expected.push_back({PickupContent::of_item(chief.drops[1]), Fx::from_int(1080), Fx::from_int(200), 3, 0});
  ko_rewards(w, 1);
  EXPECT_EQ(w.xp_pool, 3u + static_cast<std::uint32_t>(chief.xp));
  EXPECT_EQ(w.rng, rng) << "one draw for the silver";
  EXPECT_EQ(w.pickups, expected);

  w.xp_pool = std::numeric_limits<std::uint32_t>::max() - 1;
  ko_rewards(w, 1);
  EXPECT_EQ(w.xp_pool, std::numeric_limits<std::uint32_t>::max()) << "the pool saturates";
}

TEST(ShareExperience, PresentPlayersShareAndThePoolKeepsTheRest) {
  World w = game(ids().flow, 4);
  w.actors[1].state = ActorState::ko;  // knocked out: still shares
  w.actors[2].gone = 1;                // left: does not
  w.actors.push_back(actor_from_kind(4, ids().bandit, 1, 255, 1000, 200, -1));
  w.xp_pool = 5;
  share_experience(w);
  std::vector<std::int32_t> xp;
  for (const Actor& a : w.actors) xp.push_back(a.xp);
  EXPECT_EQ(xp, (std::vector<std::int32_t>{1, 1, 0, 1, 0}));
  EXPECT_EQ(w.xp_pool, 2u);

  World alone = game(ids().flow, 1);
  alone.actors[0].gone = 1;
  alone.xp_pool = 9;
  share_experience(alone);
  EXPECT_EQ(alone.xp_pool, 9u) << "nobody present: the pool waits";
  alone.actors[0].gone = 0;
  alone.actors[0].xp = i32_max - 2;
  share_experience(alone);
  EXPECT_EQ(alone.actors[0].xp, i32_max);
  EXPECT_EQ(alone.xp_pool, 0u);
}

// --- Gates and waves --------------------------------------------------------------------

TEST(Gates, LockWhenTheFrontLivePlayerReachesTheTrigger) {
  World w = game(ids().flow, 2);
  w.actors[0].x = Fx::from_int(999);
  w.actors[1].x = Fx::from_int(1200);
  w.actors[1].state = ActorState::ko;  // a knocked-out player does not trigger
  gates_and_waves(w);
  EXPECT_EQ(w.gate_locked, 0);
  EXPECT_TRUE(w.events.empty());
  w.actors[0].x = Fx::from_int(1000);
  gates_and_waves(w);
  EXPECT_EQ(w.gate_locked, 1);
  EXPECT_EQ(w.wave_active, 0);
  EXPECT_EQ(w.wave_index, 0u);
  EXPECT_EQ(w.events, std::vector<Event>{Event::gate_lock_of(0)});

  World past = game(ids().flow, 1);
  past.gate_index = 2;
  past.actors[0].x = Fx::from_int(3900);
  gates_and_waves(past);
  EXPECT_EQ(past.gate_locked, 0) << "no gate left";
}

TEST(Gates, WavesComeAfterTheirCountdownAndTheLastClearsTheGate) {
  World w = game(ids().flow, 1);
  w.actors[0].x = Fx::from_int(1000);
  gates_and_waves(w);
  EXPECT_EQ(w.wave_countdown, 44) << "the lock's own tick counts down once";
  EXPECT_EQ(calls_until_wave(w), 44);
  EXPECT_EQ(w.events, std::vector<Event>{Event::wave_of(0, 0)});
  ASSERT_EQ(w.actors.size(), 2u);

  w.events.clear();
  gates_and_waves(w);
  EXPECT_TRUE(w.events.empty()) << "the enemy stands: nothing changes";

  knock_out_enemies(w);
  gates_and_waves(w);
  EXPECT_EQ(w.wave_index, 1u);
  EXPECT_EQ(w.wave_active, 0);
  EXPECT_EQ(w.wave_countdown, 45);
  EXPECT_EQ(calls_until_wave(w), 45) << "the next wave comes 45 ticks later";
  EXPECT_EQ(w.events, std::vector<Event>{Event::wave_of(0, 1)});

  knock_out_enemies(w);
  w.events.clear();
  gates_and_waves(w);
  EXPECT_EQ(w.events, std::vector<Event>{Event::gate_clear_of(0)});
  EXPECT_EQ(w.gate_locked, 0);
  EXPECT_EQ(w.gate_index, 1u);
  EXPECT_EQ(w.wave_active, 0) << "no wave of the next gate has come";
  w.actors[0].x = Fx::from_int(2500);
  gates_and_waves(w);
  EXPECT_EQ(w.events.back(), Event::gate_lock_of(1));
}

TEST(Gates, ClearingRevivesKnockedOutPlayersBesideTheFirstLive) {
  World w = game(ids().flow, 4);
  Actor& a = w.actors[0];
  a.state = ActorState::ko;
  a.hp = -3;
  a.hp_max = 21;
  a.vx = a.vz = a.y = Fx::from_int(3);
  a.state_ticks = 200;
  w.actors[1].x = Fx::from_int(1400);
  w.actors[1].z = Fx::from_int(222);
  w.actors[2].state = w.actors[3].state = ActorState::ko;
  w.actors[2].hp_max = 1;  // half of 1 is 0: still gets up with 1
  w.actors[3].gone = 1;    // has left: stays as it is
  w.gate_locked = w.wave_active = 1;
  w.wave_index = 1;
  World nobody = w;
  Actor up = a;
  up.state = ActorState::idle;
  up.hp = 10;
  up.x = w.actors[1].x;
  up.z = w.actors[1].z;
  up.y = up.vx = up.vz = Fx{};
  up.state_ticks = 0;
  up.invuln = 26;
  const Actor left = w.actors[3];
  gates_and_waves(w);
  EXPECT_EQ(w.events, (std::vector<Event>{Event::gate_clear_of(0), Event::of_actor(EventKind::revive, 0),
                                          Event::of_actor(EventKind::revive, 2)}));
  EXPECT_EQ(w.actors[0], up);
  EXPECT_EQ(w.actors[2].hp, 1);
  EXPECT_EQ(w.actors[3], left);

  nobody.actors[1].state = ActorState::ko;
  gates_and_waves(nobody);
  EXPECT_EQ(nobody.events, std::vector<Event>{Event::gate_clear_of(0)}) << "no live player: no revive";
  EXPECT_EQ(nobody.actors[0].state, ActorState::ko);
}

// --- Wave spawn ---------------------------------------------------------------------------

TEST(WaveSpawn, EnemiesEnterBeyondTheViewEdgeFacingIn) {
  World w = game(ids().three, 1);
  const std::size_t first = spawn_now(w);
  EXPECT_EQ(cms_from(w, first), (std::vector<std::int32_t>{2180, 820, 2250}));
  EXPECT_EQ(cms_from(w, first, true), (std::vector<std::int32_t>{100, 200, 300}));
  for (std::size_t i = first; i < w.actors.size(); ++i) {
    const Actor& a = w.actors[i];
    EXPECT_EQ(a, actor_from_kind(static_cast<std::uint16_t>(i), ids().bandit, 1, 255, cm(a.x), cm(a.z),
                                 cm(a.x) > 1500 ? -1 : 1));
  }
  EXPECT_EQ(w.wave_active, 1);
  EXPECT_EQ(w.events.back(), Event::wave_of(0, 0));
}

TEST(WaveSpawn, ClosedBarriersMoveTheEntryInFrontOfThem) {
  const std::vector<std::vector<std::int32_t>> expected = {
      {2055, 2025, 1995, 2055},  // 2100: 45, 75, 105 cm before it, by k mod 3
      {2180, 2135, 2105, 2165},  // 30 cm beyond the first entry: that one stays
      {2160, 2130, 2100, 2160},  // exactly 25 cm beyond: in the way
      {1755, 1725, 1695, 1755},  // between the centre and the entry; the left one is ignored
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    World w = game(ids().barrier[i], 1);
    EXPECT_EQ(cms_from(w, spawn_now(w)), expected[i]) << "barrier at " << barrier_sets[i][0];
  }
}

TEST(WaveSpawn, ExtraSpawnsAlternateInDepthAndComeLast) {
  World w = game(ids().three, 3);  // 300 %: 3 written, 9 in all
  const std::size_t first = spawn_now(w);
  EXPECT_EQ(cms_from(w, first, true), (std::vector<std::int32_t>{100, 200, 300, 170, 270, 370, 40, 130, 230}));
  EXPECT_EQ(cms_from(w, first).back(), 1500 + 680 + 70 * 5) << "the sixth on the right";

  World mixed = game(ids().mixed, 2);  // 200 %: two common written, two extra after every written one
  const std::size_t b = spawn_now(mixed);
  EXPECT_EQ(cms_from(mixed, b, true), (std::vector<std::int32_t>{200, 100, 300, 250, 350, 170, 370}));
  EXPECT_EQ(mixed.actors.back().kind, ids().bandit);

  World shallow = game(ids().shallow, 2);  // depth 60: [40, 20] is empty, the extra goes to 40
  EXPECT_EQ(cms_from(shallow, spawn_now(shallow), true), (std::vector<std::int32_t>{30, 40}));
}

TEST(WaveSpawn, CommonCountScalesWithThePresentParty) {
  struct Case {
    std::size_t players, gone, knocked_out, expected;
  };
  const std::vector<Case> cases = {
      {1, 0, 0, 3}, {2, 0, 0, 6}, {3, 0, 0, 9},
      {4, 0, 0, 5},  // 3 x 150 + 50 = 500 -> 5
      {4, 2, 0, 6},  // two left: a party of 2
      {4, 0, 3, 5},  // knocked out still count
      {1, 1, 0, 3},  // nobody present counts as one
  };
  for (const Case& c : cases) {
    World w = game(ids().three, c.players);
    for (std::size_t i = 0; i < c.gone; ++i) w.actors[i].gone = 1;
    for (std::size_t i = c.gone; i < c.gone + c.knocked_out; ++i) w.actors[i].state = ActorState::ko;
    const std::size_t first = spawn_now(w);
    EXPECT_EQ(w.actors.size() - first, c.expected) << c.players << " players, " << c.gone << " gone";
  }
}

TEST(WaveSpawn, BossAndEliteHitPointsScale) {
  World w = game(ids().mixed, 2);
  const std::size_t b = spawn_now(w);
  const auto hp = [](std::uint8_t kind) { return kind_by_id(kind).st * kind_by_id(kind).toughness; };
  const std::vector<std::int32_t> expected = {hp(ids().chief) * 160 / 100, hp(ids().bandit), hp(ids().bandit),
                                              hp(ids().ogre) * 140 / 100, i32_max};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(w.actors[b + i].hp_max, expected[i]) << "spawn " << i;
    EXPECT_EQ(w.actors[b + i].hp, expected[i]) << "spawn " << i;
  }
}

// --- Stage end ------------------------------------------------------------------------------

TEST(StageEnd, ClearedPastTheExitOnceEveryGateIsBehind) {
  World w = game(ids().flow, 2);
  w.actors[1].x = Fx::from_int(3800);
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::playing) << "gates remain";
  w.gate_index = 2;
  w.actors[1].state = ActorState::ko;
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::playing) << "only a live player walks out";
  w.actors[1].state = ActorState::idle;
  w.actors[1].x = Fx::from_raw(3800 * 256 - 1);
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::playing);
  w.actors[1].x = Fx::from_int(3800);
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::cleared);
  EXPECT_EQ(w.events, std::vector<Event>{Event::plain(EventKind::cleared)});

  World closed = game(ids().no_exit, 1);
  closed.actors[0].x = Fx::from_int(3990);
  stage_end(closed);
  EXPECT_EQ(closed.over, GameStatus::playing) << "exit_x 0: only doors leave";
}

TEST(StageEnd, WipedWhenNoPlayerIsLiveEvenBehindALockedGate) {
  World w = game(ids().flow, 3);
  w.gate_locked = 1;
  w.actors[0].state = ActorState::ko;
  w.actors[1].gone = 1;
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::playing);
  w.actors[2].state = ActorState::ko;
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::wiped);
  EXPECT_EQ(w.events, std::vector<Event>{Event::plain(EventKind::wiped)});
}

}  // namespace
}  // namespace velmora
