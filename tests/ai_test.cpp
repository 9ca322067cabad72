// The enemy input of each tick: timers, the held block, the guard reaction,
// the think cycle with its target, the word made of a steer and the order of
// the draws; then whole waves fought by the AI.
#include "core/ai.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "core/game_data.h"
#include "core/replay.h"
#include "core/sim.h"
#include "core/state_hash.h"
#include "tests/support/ai_fixture.h"

namespace velmora {
namespace {

using testing::add_enemy;
using testing::ai_kinds;
using testing::place;
using testing::rng_where;

std::uint8_t move_named(const char* name) {
  ai_kinds();
  return *move_id(game_data().moves, name);
}

std::uint8_t kind_named(const char* name) {
  ai_kinds();
  return *kind_id(game_data().kinds, name);
}

// An engaged enemy at (2000, 150) and player 0 at (tx, 150).
struct Duel {
  World w;
  std::size_t e;
  Actor& enemy() { return w.actors[e]; }
};

Duel duel(std::uint8_t kind, std::int32_t tx, std::size_t players = 1) {
  Duel d{testing::arena(players), 0};
  place(d.w.actors[0], tx, 150);
  d.e = add_enemy(d.w, kind, 2000, 150);
  d.enemy().ai_engaged = 1;
  return d;
}

// The test brute thinks every 15th tick (think 14); the attack of a think is
// not held, its walk is, and a target that moves is seen at the next think.
TEST(ThinkCycle, DecidesEveryThinkPlusOneTicksAndHoldsOnlyItsWalk) {
  Duel d = duel(ai_kinds().brute, 2040);
  std::vector<AiInput> words;
  std::vector<std::size_t> thinks;
  for (std::size_t t = 0; t < 31; ++t) {
    if (t == 5) place(d.w.actors[0], 2300, 150);
    words.push_back(enemy_input(d.w, d.e));
    if (d.enemy().ai_think == 14) thinks.push_back(t);
  }
  EXPECT_EQ(thinks, (std::vector<std::size_t>{0, 15, 30}));
  std::vector<AiInput> want(31, AiInput{button::right, 1});
  want[0] = AiInput{button::attack, 1};
  std::fill(want.begin() + 1, want.begin() + 15, AiInput{0, 1});
  EXPECT_EQ(words, want);
}

TEST(ThinkCycle, TimersHeldBlockAndBusyStates) {
  Duel d = duel(ai_kinds().brute, 2040);
  Actor& a = d.enemy();
  auto marks = [&] { return std::vector<int>{a.ai_cooldown, a.ai_retreat, a.ai_stand, a.ai_stand_armed, a.ai_think}; };
  a.ai_cooldown = 2, a.ai_retreat = 1, a.ai_stand = 2, a.ai_stand_armed = 1, a.ai_think = 6;
  a.ai_buttons = button::left;
  a.state = ActorState::stun;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{}) << "a stunned enemy drops its word";
  EXPECT_EQ(marks(), (std::vector<int>{1, 0, 1, 1, 0}));
  EXPECT_EQ(a.ai_buttons, 0);
  enemy_input(d.w, d.e);
  EXPECT_EQ(marks(), (std::vector<int>{0, 0, 0, 0, 0})) << "the armed mark clears as the stand runs out";

  a.state = ActorState::block;
  a.ai_think = 3, a.ai_buttons = button::guard, a.ai_side = -1;
  EXPECT_EQ(enemy_input(d.w, d.e), (AiInput{button::guard, -1}));
  EXPECT_EQ(a.ai_think, 2);
  a.ai_think = 0;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{}) << "a block whose time is up is let go";

  a.gone = 1;
  a.ai_cooldown = 9;
  const World before = d.w;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{});
  EXPECT_EQ(d.w, before) << "a gone enemy is left as it is";
}

// A blocker (block 100) at (2000, 150) between thinks, holding a walk right;
// player 0 at (px, pz) two ticks into a slash (startup 5, active 3, reach to
// 90, depth 25).
TEST(GuardReaction, MeetsEachNewThreatOnce) {
  struct Row {
    const char* name;
    std::int32_t px = 1950, pz = 150;
    std::int8_t facing = 1;
    const char* move = "slash";
    std::uint16_t state_ticks = 2;
    std::uint8_t gone = 0;
    ActorState state = ActorState::idle;  // the enemy's
    std::optional<std::uint16_t> met = {};  // the threat already met
    std::optional<bool> roll = {};
    bool guards = false, thinks_on = true;
    std::optional<std::uint16_t> threat = 0;
  };
  const std::vector<Row> rows = {
      {.name = "winding up at it, roll holds: guards", .roll = true, .guards = true},
      {.name = "roll fails: walks on", .roll = false},
      {.name = "a threat already met: no roll", .met = 0},
      {.name = "facing away: none, the mark clears", .facing = -1, .met = 0, .threat = {}},
      {.name = "a harmless move", .move = "rally_cry", .threat = {}},
      {.name = "past its first active frame", .state_ticks = 5, .threat = {}},
      {.name = "one beyond its reach and 40", .px = 1869, .threat = {}},
      {.name = "at its reach and 40", .px = 1870, .roll = true, .guards = true},
      {.name = "one too deep", .pz = 206, .threat = {}},
      {.name = "a player who has left", .gone = 1, .threat = {}},
      {.name = "knocked about: drops its word, no roll", .state = ActorState::stun, .thinks_on = false,
       .threat = {}},
  };
  for (const Row& r : rows) {
    Duel d = duel(ai_kinds().blocker, r.px);
    Actor& e = d.enemy();
    Actor& p = d.w.actors[0];
    place(p, r.px, r.pz);
    p.state = ActorState::attack, p.move = move_named(r.move), p.state_ticks = r.state_ticks, p.facing = r.facing;
    p.gone = r.gone;
    e.ai_think = 5, e.ai_buttons = button::right, e.ai_side = 1, e.state = r.state, e.ai_threat = r.met;
    d.w.rng = r.roll ? rng_where(*r.roll, 100) : Rng{5};
    const Rng before = d.w.rng;
    const AiInput want = r.guards ? AiInput{button::guard, -1} : r.thinks_on ? AiInput{button::right, 1} : AiInput{};
    EXPECT_EQ(enemy_input(d.w, d.e), want) << r.name;
    EXPECT_EQ(e.ai_threat, r.threat) << r.name;
    EXPECT_EQ(d.w.rng != before, r.roll.has_value()) << r.name;
    EXPECT_EQ(e.ai_think, r.guards ? 5 - 2 + 3 + 4 : r.thinks_on ? 4 : 0) << r.name << ": guard up until the blow ends";
  }
}

// Four players far off unless placed; the test brute at (2000, 150) thinks.
TEST(Targets, NearestInSightTiesToLowerIdAndTheTauntFirst) {
  struct P {
    std::int32_t x = 5000, z = 150;
    std::uint16_t stealth = 0;
    std::uint8_t gone = 0;
    ActorState state = ActorState::idle;
  };
  struct Row {
    const char* name;
    std::array<P, 4> players;
    std::optional<std::uint16_t> taunt, lock;  // lock none: no target, word 0
  };
  const std::vector<Row> rows = {
      {"nearest by |dx| + |dz|", {P{2200}, P{1950, 250}}, {}, 1},
      {"a tie goes to the lower id", {P{}, P{2100}, P{1900}}, {}, 1},
      {"vanished, gone and knocked out are passed over",
       {P{2400}, P{2050, 150, 5}, P{1950, 150, 0, 1}, P{2000, 160, 0, 0, ActorState::ko}}, {}, 0},
      {"the taunter, though farther and vanished", {P{}, P{2050}, P{2400, 150, 10}}, 2, 2},
      {"a taunter who has left: the nearest", {P{}, P{2050}, P{2400, 150, 0, 1}}, 2, 1},
      {"nobody in sight", {P{2050, 150, 5}, P{2060, 150, 5}, P{2070, 150, 5}, P{2080, 150, 5}}, {}, {}},
  };
  for (const Row& r : rows) {
    World w = testing::arena(4);
    for (std::size_t i = 0; i < 4; ++i) {
      place(w.actors[i], r.players[i].x, r.players[i].z);
      w.actors[i].stealth = r.players[i].stealth, w.actors[i].gone = r.players[i].gone;
      w.actors[i].state = r.players[i].state;
    }
    Actor& a = w.actors[add_enemy(w, ai_kinds().brute, 2000, 150)];
    a.ai_engaged = 1, a.ai_buttons = button::up, a.ai_target = r.taunt;
    const AiInput got = enemy_input(w, 4);
    EXPECT_EQ(a.ai_think, 14) << r.name;
    EXPECT_EQ(a.ai_lock, r.lock) << r.name;
    if (!r.lock) {
      EXPECT_EQ(std::make_pair(got, a.ai_buttons), std::make_pair(AiInput{}, std::uint16_t{0})) << r.name;
    }
  }
}

TEST(Targets, ATauntedShooterFightsLikeABrute) {
  for (bool taunted : {false, true}) {
    Duel d = duel(ai_kinds().archer, 2300);
    d.enemy().ai_stand_armed = 1;
    d.enemy().ai_cooldown = 30;  // walks, neither fires nor strikes
    if (taunted) d.enemy().ai_target = 0;
    const AiInput got = enemy_input(d.w, d.e);
    EXPECT_EQ(got.buttons & (button::left | button::right), taunted ? button::right : button::left);
  }
}

// The test brute at (2000, 150) turning steers into words.
TEST(SteerWord, WalkingBitsCooldownAndTheHeldWord) {
  struct Row {
    AiSteer steer;
    Buttons word, held;
    bool cooldown = false;
  };
  auto walk = [](std::int32_t x, std::int32_t z, Buttons b = 0, std::int8_t f = 1) { return AiSteer{1, x, z, b, f}; };
  constexpr Buttons left = button::left, right = button::right, up = button::up, down = button::down;
  const std::vector<Row> rows = {
      {walk(1988, 150), 0, 0},        {walk(1987, 150), left, left},   {walk(2012, 150), 0, 0},
      {walk(2013, 150), right, right}, {walk(2000, 142), 0, 0},        {walk(2000, 141), up, up},
      {walk(2000, 158), 0, 0},        {walk(2000, 159), down, down},
      {walk(1900, 100, 0, -1), left | up, left | up},
      {walk(2500, 150, button::attack), button::attack, 0, true},
      {walk(2500, 150, button::special), button::special, 0, true},
      {AiSteer{0, 0, 0, button::dash | left, -1}, button::dash | left, left},
      {AiSteer{0, 2500, 150, 0, 1}, 0, 0},
  };
  for (const Row& r : rows) {
    Duel d = duel(ai_kinds().brute, 2300);
    Actor& a = d.enemy();
    EXPECT_EQ(ai_steer_word(d.w, d.e, ai_target_of(d.w.actors[0]), r.steer), (AiInput{r.word, r.steer.facing}))
        << r.steer.goal_x << " " << r.steer.goal_z;
    EXPECT_EQ(std::make_tuple(a.ai_buttons, a.ai_side, a.ai_lock), std::make_tuple(r.held, r.steer.facing, 0));
    EXPECT_EQ(a.ai_cooldown >= 50 && a.ai_cooldown <= 100, r.cooldown) << a.ai_cooldown;
  }
}

TEST(SteerWord, JitterStopsAWalkAndALongCooldownIsHeldAtItsField) {
  for (bool jitter : {true, false}) {
    Duel d = duel(ai_kinds().bandit, 2300);  // jitter 100
    d.w.rng = rng_where(jitter, 100);
    const AiInput got = ai_steer_word(d.w, d.e, ai_target_of(d.w.actors[0]), AiSteer{1, 2400, 150, 0, 1});
    EXPECT_EQ(got.buttons, jitter ? 0 : button::right);
    EXPECT_EQ(d.enemy().ai_buttons, got.buttons);
  }
  Duel d = duel(ai_kinds().slow, 2300);  // cooldown 70000..90000
  ai_steer_word(d.w, d.e, ai_target_of(d.w.actors[0]), AiSteer{1, 2400, 150, button::attack, 1});
  EXPECT_EQ(d.enemy().ai_cooldown, 65535);
}

// The draws of one tick, in order: the block roll, the stand roll, then the
// jitter roll or the cooldown.
TEST(Draws, BlockThenStandThenJitterOrCooldown) {
  {
    Duel d = duel(kind_named("archer"), 2300);  // pressed: rolls 250, keeps its band and fires
    d.w.rng = rng_where(false, 250);
    Rng want = d.w.rng;
    chance(want, 250);
    const std::int64_t cooldown = range(want, 70, 120);
    EXPECT_EQ(enemy_input(d.w, d.e).buttons, button::special);
    EXPECT_EQ(std::make_pair(d.w.rng, std::int64_t{d.enemy().ai_cooldown}), std::make_pair(want, cooldown));
  }
  {
    Duel d = duel(kind_named("cutpurse"), 2300);  // cooling down: rolls 300, then jitter 50
    d.enemy().ai_cooldown = 20;
    Rng want = d.w.rng;
    chance(want, 300);
    chance(want, 50);
    enemy_input(d.w, d.e);
    EXPECT_EQ(d.w.rng, want);
  }
  {
    Duel d = duel(ai_kinds().blocker, 1950);  // a failed block roll (100), then the think strikes
    d.w.actors[0].state = ActorState::attack;
    d.w.actors[0].move = move_named("slash");
    d.w.rng = rng_where(false, 100);
    Rng want = d.w.rng;
    chance(want, 100);
    const std::int64_t cooldown = range(want, 50, 100);
    EXPECT_EQ(enemy_input(d.w, d.e), (AiInput{button::attack, -1}));
    EXPECT_EQ(std::make_pair(d.w.rng, std::int64_t{d.enemy().ai_cooldown}), std::make_pair(want, cooldown));
  }
}

// The proving stage's one wave (bandit, cutpurse, archer, hedge witch,
// shieldbearer, wolf) against players who stand idle, recorded.
struct Fight {
  World world;
  ReplayRecord record;
  std::set<std::uint8_t> kinds_swinging;
};

Fight fight_wave(std::size_t players, std::uint64_t seed) {
  const std::uint64_t stage = ai_kinds().proving;
  std::vector<CharacterSheet> party(players, new_character(default_class()));
  for (std::size_t i = 0; i < players; ++i) party[i].slot = static_cast<std::uint8_t>(i);
  Fight f{new_game(stage, seed, party), new_replay_record(stage, seed, party), {}};
  const std::array<Buttons, 4> idle{};
  for (int t = 0; t < 36000 && f.world.over == GameStatus::playing; ++t) {
    record_tick(f.record, idle);
    tick(f.world, idle);
    for (const Event& e : f.world.events) {
      if (e.kind == EventKind::swing) f.kinds_swinging.insert(f.world.actors[e.actor].kind);
    }
  }
  f.record.end = ReplayEnd{f.world.tick, state_hash(f.world)};
  return f;
}

TEST(Wave, EveryRoleAgainstIdlePlayersWipesThemTheSameWayEveryRun) {
  for (std::size_t players : {1, 2}) {
    const Fight first = fight_wave(players, 5);
    const Fight again = fight_wave(players, 5);
    EXPECT_EQ(first.world.over, GameStatus::wiped) << players;
    EXPECT_EQ(std::make_pair(first.world.tick, state_hash(first.world)),
              std::make_pair(again.world.tick, state_hash(again.world)));
    for (const char* name : {"cutpurse", "wolf", "archer", "hedge_witch"}) {
      EXPECT_EQ(first.kinds_swinging.count(kind_named(name)), 1u) << name << " struck or shot";
    }
    for (const Actor& a : first.world.actors) {
      EXPECT_TRUE(a.team == 0 || a.ai_lock) << kind_by_id(a.kind).name << " chose a target";
    }
    EXPECT_EQ(play_back(first.record), first.world) << "the replay reaches the same world";
  }
}

}  // namespace
}  // namespace velmora
