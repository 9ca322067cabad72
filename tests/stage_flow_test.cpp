#include "core/stage_flow.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/game_data.h"
#include "core/panic.h"
#include "core/world.h"

namespace velmora {
namespace {

// The built-in data with a few kinds and stages of our own, and a party
// scaling that covers the worked examples: common enemies 100/200/300/150 %,
// elites 100/140/175/210 %, bosses 100/160/200/250 % for 1 to 4 players.
struct Fixture {
  std::uint8_t grunt = 0;    // common brute: xp 10, silver 2..8, no drops
  std::uint8_t chief = 0;    // boss with two drops
  std::uint8_t warlord = 0;  // boss with 200 hit points
  std::uint8_t ogre = 0;     // elite, 36 hit points
  std::uint8_t giant = 0;    // boss whose hit points are at the top of the range
  std::uint64_t sides = 0, barrier = 0, barrier_far = 0, barrier_near = 0, barrier_inside = 0;
  std::uint64_t extras = 0, boss_first = 0, two_common = 0, shallow = 0, flow = 0, open_exit = 0, no_exit = 0;
  std::uint64_t elite = 0, giant_stage = 0;
};

SpawnDef spawn(std::uint8_t kind, std::int32_t side, std::int32_t z) { return SpawnDef{side, z, kind}; }

GateDef gate(std::int32_t trigger, std::int32_t center, std::vector<std::vector<SpawnDef>> waves) {
  GateDef g;
  g.trigger_x = trigger;
  g.center_x = center;
  for (auto& w : waves) g.waves.push_back(WaveDef{std::move(w)});
  return g;
}

StageDef stage(const std::string& name, std::int32_t depth, std::vector<GateDef> gates,
               std::vector<std::int32_t> barriers = {}, std::int32_t exit_x = 3800) {
  StageDef s;
  s.name = name;
  s.length = 4000;
  s.depth = depth;
  s.view_w = 1200;
  s.exit_x = exit_x;
  s.gates = std::move(gates);
  s.barriers = std::move(barriers);
  return s;
}

std::uint8_t add_kind(GameData& data, KindDef kind) {
  data.kinds.push_back(std::move(kind));
  return static_cast<std::uint8_t>(data.kinds.size() - 1);
}

std::uint64_t add_stage(GameData& data, StageDef s) {
  data.stages.push_back(std::move(s));
  return data.stages.size() - 1;
}

Fixture build(GameData& data) {
  Fixture f;
  const KindDef& bandit = data.kinds[*kind_id(data.kinds, "bandit")];
  const KindDef& bandit_chief = data.kinds[*kind_id(data.kinds, "bandit_chief")];
  KindDef grunt = bandit;
  grunt.name = "grunt";
  grunt.drops.clear();
  f.grunt = add_kind(data, grunt);
  f.chief = *kind_id(data.kinds, "bandit_chief");
  KindDef warlord = bandit_chief;
  warlord.name = "warlord";
  warlord.st = 20;
  warlord.toughness = 10;
  f.warlord = add_kind(data, warlord);
  f.ogre = *kind_id(data.kinds, "ogre");
  KindDef giant = bandit_chief;
  giant.name = "giant";
  giant.st = 100000;
  giant.toughness = 100000;
  f.giant = add_kind(data, giant);

  data.scaling.minions = {100, 200, 300, 150};
  data.scaling.elite_hp = {100, 140, 175, 210};
  data.scaling.boss_hp = {100, 160, 200, 250};

  const std::uint8_t g = f.grunt;
  const GateDef three_right = gate(1000, 1500, {{spawn(g, 1, 100), spawn(g, 1, 200), spawn(g, 1, 300),
                                                 spawn(g, 1, 400)}});
  f.sides = add_stage(data, stage("sides", 500, {gate(1000, 1500, {{spawn(g, 1, 100), spawn(g, -1, 150),
                                                                    spawn(g, 1, 200)}})}));
  f.barrier = add_stage(data, stage("barrier", 500, {three_right}, {2100}));
  f.barrier_far = add_stage(data, stage("barrier_far", 500, {three_right}, {2210}));
  f.barrier_near = add_stage(data, stage("barrier_near", 500, {three_right}, {2200}));
  f.barrier_inside = add_stage(data, stage("barrier_inside", 500, {three_right}, {1800, 900}));
  f.extras = add_stage(data, stage("extras", 500, {gate(1000, 1500, {{spawn(g, 1, 100), spawn(g, 1, 200),
                                                                     spawn(g, 1, 300)}})}));
  f.boss_first = add_stage(data, stage("boss_first", 500, {gate(1000, 1500, {{spawn(f.warlord, 1, 200),
                                                                             spawn(g, 1, 100), spawn(g, 1, 300)}})}));
  f.two_common = add_stage(data, stage("two_common", 500, {gate(1000, 1500, {{spawn(g, 1, 100),
                                                                             spawn(g, -1, 200)}})}));
  f.elite = add_stage(data, stage("elite", 500, {gate(1000, 1500, {{spawn(f.ogre, 1, 200)}})}));
  f.giant_stage = add_stage(data, stage("giant", 500, {gate(1000, 1500, {{spawn(f.giant, 1, 200)}})}));
  f.shallow = add_stage(data, stage("shallow", 60, {gate(1000, 1500, {{spawn(g, 1, 30)}})}));
  f.flow = add_stage(data, stage("flow", 500, {gate(1000, 1500, {{spawn(g, 1, 100)}, {spawn(g, -1, 200)}}),
                                               gate(2500, 3000, {{spawn(g, 1, 100)}})}));
  f.open_exit = add_stage(data, stage("open_exit", 500, {}));
  f.no_exit = add_stage(data, stage("no_exit", 500, {}, {}, 0));
  return f;
}

const Fixture& fx() {
  static const Fixture fixture = [] {
    GameData data = builtin_data();
    Fixture f = build(data);
    VELMORA_CHECK(install_game_data(std::move(data)).ok(), "test data installed before first use");
    return f;
  }();
  return fixture;
}

std::vector<CharacterSheet> party(std::size_t n) {
  std::vector<CharacterSheet> sheets;
  for (std::size_t i = 0; i < n; ++i) {
    CharacterSheet s = new_character(default_class());
    s.slot = static_cast<std::uint8_t>(i);
    sheets.push_back(s);
  }
  return sheets;
}

World game(std::uint64_t stage_index, std::size_t players) { return new_game(stage_index, 7, party(players)); }

std::int32_t cm(Fx v) { return v.raw >> 8; }

// Spawns wave `wave` of the current gate now; returns the index of the first new actor.
std::size_t spawn_now(World& w, std::uint64_t wave = 0) {
  const std::size_t first = w.actors.size();
  w.gate_locked = 1;
  w.wave_active = 0;
  w.wave_index = wave;
  w.wave_countdown = 1;
  gates_and_waves(w);
  return first;
}

std::vector<std::int32_t> xs_from(const World& w, std::size_t first) {
  std::vector<std::int32_t> xs;
  for (std::size_t i = first; i < w.actors.size(); ++i) xs.push_back(cm(w.actors[i].x));
  return xs;
}

std::vector<std::int32_t> zs_from(const World& w, std::size_t first) {
  std::vector<std::int32_t> zs;
  for (std::size_t i = first; i < w.actors.size(); ++i) zs.push_back(cm(w.actors[i].z));
  return zs;
}

void knock_out_enemies(World& w) {
  for (Actor& a : w.actors) {
    if (a.team != 0) a.state = ActorState::ko;
  }
}

std::vector<EventKind> kinds_of(const World& w) {
  std::vector<EventKind> kinds;
  for (const Event& e : w.events) kinds.push_back(e.kind);
  return kinds;
}

// --- Knock-out rewards and experience -------------------------------------

TEST(KoRewards, ExperienceSilverThenDropsBesideTheEnemy) {
  World w = game(fx().flow, 1);
  w.actors.push_back(actor_from_kind(1, fx().chief, 1, 255, 1000, 200, -1));
  w.xp_pool = 3;
  Rng expected = w.rng;
  const std::int64_t silver = range(expected, 40, 80);
  ko_rewards(w, 1);
  EXPECT_EQ(w.xp_pool, 203u);
  EXPECT_EQ(w.rng, expected) << "one draw for the silver";
  ASSERT_EQ(w.pickups.size(), 3u);
  EXPECT_EQ(w.pickups[0].content, PickupContent::silver(static_cast<std::uint32_t>(silver)));
  const auto& drops = kind_by_id(fx().chief).drops;
  ASSERT_EQ(drops.size(), 2u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(w.pickups[i].id, i);
    EXPECT_EQ(cm(w.pickups[i].x), 1000 + 40 * static_cast<std::int32_t>(i));
    EXPECT_EQ(cm(w.pickups[i].z), 200);
    EXPECT_EQ(w.pickups[i].taken, 0);
    if (i > 0) {
      EXPECT_EQ(w.pickups[i].content, PickupContent::of_item(drops[i - 1]));
    }
  }
}

TEST(KoRewards, PoolSaturatesInsteadOfWrapping) {
  World w = game(fx().flow, 1);
  w.actors.push_back(actor_from_kind(1, fx().grunt, 1, 255, 1000, 200, -1));
  w.pickups.resize(2);
  w.xp_pool = std::numeric_limits<std::uint32_t>::max() - 1;
  ko_rewards(w, 1);
  EXPECT_EQ(w.xp_pool, std::numeric_limits<std::uint32_t>::max());
  ASSERT_EQ(w.pickups.size(), 3u);
  EXPECT_EQ(w.pickups[2].id, 2u);
}

TEST(ShareExperience, PresentPlayersShareAndThePoolKeepsTheRest) {
  World w = game(fx().flow, 4);
  w.actors[1].state = ActorState::ko;  // knocked out: still shares
  w.actors[2].gone = 1;                // left: does not
  w.actors.push_back(actor_from_kind(4, fx().grunt, 1, 255, 1000, 200, -1));
  w.xp_pool = 5;
  share_experience(w);
  EXPECT_EQ(w.actors[0].xp, 1);
  EXPECT_EQ(w.actors[1].xp, 1);
  EXPECT_EQ(w.actors[2].xp, 0);
  EXPECT_EQ(w.actors[3].xp, 1);
  EXPECT_EQ(w.actors[4].xp, 0);
  EXPECT_EQ(w.xp_pool, 2u);
}

TEST(ShareExperience, NobodyPresentKeepsThePool) {
  World w = game(fx().flow, 1);
  w.actors[0].gone = 1;
  w.xp_pool = 9;
  share_experience(w);
  EXPECT_EQ(w.xp_pool, 9u);
  w.actors[0].gone = 0;
  w.actors[0].xp = std::numeric_limits<std::int32_t>::max() - 2;
  share_experience(w);
  EXPECT_EQ(w.actors[0].xp, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(w.xp_pool, 0u);
}

// --- Gates and waves -------------------------------------------------------

TEST(Gates, LockWhenTheFrontLivePlayerReachesTheTrigger) {
  World w = game(fx().flow, 2);
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
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0], Event::gate_lock_of(0));
}

TEST(Gates, WavesComeAfterTheirCountdownAndTheLastClearsTheGate) {
  World w = game(fx().flow, 1);
  w.actors[0].x = Fx::from_int(1000);
  gates_and_waves(w);  // locks and counts once
  int calls = 0;
  while (w.wave_active == 0 && calls < 100) {
    w.events.clear();
    gates_and_waves(w);
    ++calls;
  }
  EXPECT_EQ(calls, 44);
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0], Event::wave_of(0, 0));
  ASSERT_EQ(w.actors.size(), 2u);

  w.events.clear();
  gates_and_waves(w);  // the enemy stands: nothing changes
  EXPECT_TRUE(w.events.empty());
  EXPECT_EQ(w.wave_active, 1);

  knock_out_enemies(w);
  gates_and_waves(w);
  EXPECT_EQ(w.wave_index, 1u);
  EXPECT_EQ(w.wave_active, 0);
  EXPECT_EQ(w.wave_countdown, 45);
  EXPECT_EQ(w.gate_locked, 1);
  calls = 0;
  while (w.wave_active == 0 && calls < 100) {
    w.events.clear();
    gates_and_waves(w);
    ++calls;
  }
  EXPECT_EQ(calls, 45) << "the next wave comes 45 ticks later";
  EXPECT_EQ(w.events[0], Event::wave_of(0, 1));

  knock_out_enemies(w);
  w.events.clear();
  gates_and_waves(w);
  EXPECT_EQ(kinds_of(w), std::vector<EventKind>{EventKind::gate_clear});
  EXPECT_EQ(w.events[0], Event::gate_clear_of(0));
  EXPECT_EQ(w.gate_locked, 0);
  EXPECT_EQ(w.gate_index, 1u);

  w.events.clear();
  gates_and_waves(w);  // the next gate is further on
  EXPECT_EQ(w.gate_locked, 0);
  w.actors[0].x = Fx::from_int(2500);
  gates_and_waves(w);
  EXPECT_EQ(w.events[0], Event::gate_lock_of(1));
}

TEST(Gates, NoGateLeftNeverLocks) {
  World w = game(fx().flow, 1);
  w.gate_index = 2;
  w.actors[0].x = Fx::from_int(3900);
  gates_and_waves(w);
  EXPECT_EQ(w.gate_locked, 0);
  EXPECT_TRUE(w.events.empty());
}

TEST(Gates, ClearingRevivesKnockedOutPlayersBesideTheFirstLive) {
  World w = game(fx().flow, 4);
  w.actors[0].state = ActorState::ko;
  w.actors[0].hp = -3;
  w.actors[0].hp_max = 21;
  w.actors[0].vx = Fx::from_int(3);
  w.actors[0].y = Fx::from_int(5);
  w.actors[0].state_ticks = 200;
  w.actors[1].x = Fx::from_int(1400);
  w.actors[1].z = Fx::from_int(222);
  w.actors[2].state = ActorState::ko;
  w.actors[2].hp_max = 1;  // half of 1 is 0: still gets up with 1
  w.actors[2].hp = 0;
  w.actors[3].state = ActorState::ko;
  w.actors[3].gone = 1;  // has left: stays as it is
  w.actors[3].hp = 0;
  w.gate_locked = 1;
  w.wave_active = 1;
  w.wave_index = 1;
  gates_and_waves(w);
  EXPECT_EQ(kinds_of(w), (std::vector<EventKind>{EventKind::gate_clear, EventKind::revive, EventKind::revive}));
  EXPECT_EQ(w.events[1], Event::of_actor(EventKind::revive, 0));
  EXPECT_EQ(w.events[2], Event::of_actor(EventKind::revive, 2));
  const Actor& a = w.actors[0];
  EXPECT_EQ(a.state, ActorState::idle);
  EXPECT_EQ(a.hp, 10);
  EXPECT_EQ(cm(a.x), 1400);
  EXPECT_EQ(cm(a.z), 222);
  EXPECT_EQ(a.y.raw, 0);
  EXPECT_EQ(a.vx.raw, 0);
  EXPECT_EQ(a.state_ticks, 0);
  EXPECT_EQ(a.invuln, 26);
  EXPECT_EQ(w.actors[2].hp, 1);
  EXPECT_EQ(w.actors[3].state, ActorState::ko);
  EXPECT_EQ(w.actors[3].hp, 0);
}

TEST(Gates, NoReviveWithoutALivePlayer) {
  World w = game(fx().flow, 2);
  for (Actor& a : w.actors) a.state = ActorState::ko;
  w.gate_locked = 1;
  w.wave_active = 1;
  w.wave_index = 1;
  gates_and_waves(w);
  EXPECT_EQ(kinds_of(w), std::vector<EventKind>{EventKind::gate_clear});
  EXPECT_EQ(w.actors[0].state, ActorState::ko);
}

// --- Wave spawn --------------------------------------------------------------

TEST(WaveSpawn, EnemiesEnterBeyondTheViewEdgeFacingIn) {
  World w = game(fx().sides, 1);
  const std::size_t first = spawn_now(w);
  EXPECT_EQ(xs_from(w, first), (std::vector<std::int32_t>{2180, 820, 2250}));
  EXPECT_EQ(zs_from(w, first), (std::vector<std::int32_t>{100, 150, 200}));
  for (std::size_t i = first; i < w.actors.size(); ++i) {
    const Actor& a = w.actors[i];
    EXPECT_EQ(a.id, i);
    EXPECT_EQ(a.team, 1);
    EXPECT_EQ(a.slot, 255);
    EXPECT_EQ(a.kind, fx().grunt);
    EXPECT_EQ(a.facing, cm(a.x) > 1500 ? -1 : 1);
  }
  EXPECT_EQ(w.wave_active, 1);
  EXPECT_EQ(w.events.back(), Event::wave_of(0, 0));
}

TEST(WaveSpawn, ClosedBarriersMoveTheEntryInFrontOfThem) {
  World w = game(fx().barrier, 1);
  EXPECT_EQ(xs_from(w, spawn_now(w)), (std::vector<std::int32_t>{2055, 2025, 1995, 2055}));
  World far = game(fx().barrier_far, 1);  // 30 cm beyond the first entry: that one stays
  EXPECT_EQ(xs_from(far, spawn_now(far)), (std::vector<std::int32_t>{2180, 2135, 2105, 2165}));
  World near = game(fx().barrier_near, 1);  // 20 cm beyond: in the way of every one
  EXPECT_EQ(xs_from(near, spawn_now(near)), (std::vector<std::int32_t>{2155, 2125, 2095, 2155}));
  World inside = game(fx().barrier_inside, 1);  // between the centre and the entry; the left one is ignored
  EXPECT_EQ(xs_from(inside, spawn_now(inside)), (std::vector<std::int32_t>{1755, 1725, 1695, 1755}));
}

TEST(WaveSpawn, ExtraSpawnsAlternateInDepthAndComeLast) {
  World w = game(fx().extras, 3);  // 300 %: 3 written, 9 in all
  const std::size_t first = spawn_now(w);
  EXPECT_EQ(zs_from(w, first), (std::vector<std::int32_t>{100, 200, 300, 170, 270, 370, 40, 130, 230}));
  EXPECT_EQ(xs_from(w, first).back(), 1500 + 680 + 70 * 8);

  World boss = game(fx().boss_first, 2);  // 200 %: two common written, two extra
  const std::size_t b = spawn_now(boss);
  ASSERT_EQ(boss.actors.size() - b, 5u);
  EXPECT_EQ(boss.actors[b].kind, fx().warlord);
  for (std::size_t i = b + 1; i < boss.actors.size(); ++i) EXPECT_EQ(boss.actors[i].kind, fx().grunt);
  EXPECT_EQ(zs_from(boss, b), (std::vector<std::int32_t>{200, 100, 300, 170, 370}));
}

TEST(WaveSpawn, CommonCountScalesWithThePresentParty) {
  auto count = [](std::size_t players, std::size_t gone, std::size_t ko) {
    World w = game(fx().two_common, players);
    for (std::size_t i = 0; i < gone; ++i) w.actors[i].gone = 1;
    for (std::size_t i = gone; i < gone + ko; ++i) w.actors[i].state = ActorState::ko;
    const std::size_t first = spawn_now(w);
    return w.actors.size() - first;
  };
  EXPECT_EQ(count(1, 0, 0), 2u);
  EXPECT_EQ(count(2, 0, 0), 4u);
  EXPECT_EQ(count(3, 0, 0), 6u);
  EXPECT_EQ(count(4, 0, 0), 3u);  // 2 x 150 + 50 = 350 -> 3
  EXPECT_EQ(count(4, 2, 0), 4u);  // two left: a party of 2
  EXPECT_EQ(count(4, 0, 3), 3u);  // knocked out still count
  EXPECT_EQ(count(1, 1, 0), 2u);  // nobody present counts as one
}

TEST(WaveSpawn, BossAndEliteHitPointsScale) {
  World w = game(fx().boss_first, 2);
  const std::size_t b = spawn_now(w);
  EXPECT_EQ(w.actors[b].hp_max, 320);
  EXPECT_EQ(w.actors[b].hp, 320);
  const KindDef& grunt = kind_by_id(fx().grunt);
  EXPECT_EQ(w.actors[b + 1].hp_max, grunt.st * grunt.toughness) << "common enemies keep theirs";

  World e = game(fx().elite, 3);
  const std::size_t o = spawn_now(e);
  const KindDef& ogre = kind_by_id(fx().ogre);
  EXPECT_EQ(e.actors[o].hp_max, ogre.st * ogre.toughness * 175 / 100);
  EXPECT_EQ(e.actors[o].hp, e.actors[o].hp_max);
}

TEST(WaveSpawn, HugeHitPointsSaturate) {
  World w = game(fx().giant_stage, 4);  // the top of the 32-bit range, scaled by 250 %
  const std::size_t b = spawn_now(w);
  EXPECT_EQ(w.actors[b].hp_max, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(w.actors[b].hp, std::numeric_limits<std::int32_t>::max());
}

TEST(WaveSpawn, ShallowBandKeepsExtrasAtTheMargin) {
  World w = game(fx().shallow, 2);  // depth 60: [40, 20] is empty
  const std::size_t first = spawn_now(w);
  EXPECT_EQ(zs_from(w, first), (std::vector<std::int32_t>{30, 40}));
}

// --- Stage end ----------------------------------------------------------------

TEST(StageEnd, ClearedPastTheExitOnceEveryGateIsBehind) {
  World w = game(fx().flow, 2);
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
  EXPECT_EQ(kinds_of(w), std::vector<EventKind>{EventKind::cleared});
  w.events.clear();
  for (Actor& a : w.actors) a.state = ActorState::ko;
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::cleared) << "the outcome is final";
  EXPECT_TRUE(w.events.empty());
}

TEST(StageEnd, NoWalkOutWithoutAnExit) {
  World w = game(fx().no_exit, 1);
  w.actors[0].x = Fx::from_int(3990);
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::playing);
  World open = game(fx().open_exit, 1);
  open.actors[0].x = Fx::from_int(3990);
  stage_end(open);
  EXPECT_EQ(open.over, GameStatus::cleared);
}

TEST(StageEnd, WipedWhenNoPlayerIsLiveEvenBehindALockedGate) {
  World w = game(fx().flow, 3);
  w.gate_locked = 1;
  w.actors[0].state = ActorState::ko;
  w.actors[1].gone = 1;
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::playing);
  w.actors[2].state = ActorState::ko;
  stage_end(w);
  EXPECT_EQ(w.over, GameStatus::wiped);
  EXPECT_EQ(kinds_of(w), std::vector<EventKind>{EventKind::wiped});
}

}  // namespace
}  // namespace velmora
