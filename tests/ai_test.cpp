// The enemy input of each tick: timers, the held block, the guard reaction,
// the think cycle with its target, the word made of a steer and the order of
// the draws; then whole waves fought by the AI.
#include "core/ai.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <set>
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
using testing::arena;
using testing::place;
using testing::rng_where;

std::uint8_t move_named(const char* name) {
  ai_kinds();
  return *move_id(game_data().moves, name);
}

// A test brute (jab, think 14, no jitter) at (2000, 150), engaged, with
// player 0 at (tx, 150).
struct Duel {
  World w;
  std::size_t e;
};

Duel duel(std::uint8_t kind, std::int32_t tx, std::size_t players = 1) {
  Duel d{arena(players), 0};
  place(d.w.actors[0], tx, 150);
  d.e = add_enemy(d.w, kind, 2000, 150);
  d.w.actors[d.e].ai_engaged = 1;
  return d;
}

TEST(ThinkCycle, DecidesEveryThinkPlusOneTicksAndHoldsOnlyItsWalk) {
  Duel d = duel(ai_kinds().brute, 2040);
  std::vector<AiInput> words;
  std::vector<std::size_t> thinks;
  for (std::size_t t = 0; t < 31; ++t) {
    if (t == 5) place(d.w.actors[0], 2300, 150);  // seen at the next think only
    words.push_back(enemy_input(d.w, d.e));
    if (d.w.actors[d.e].ai_think == 14) thinks.push_back(t);
  }
  EXPECT_EQ(thinks, (std::vector<std::size_t>{0, 15, 30}));
  EXPECT_EQ(words[0], (AiInput{button::attack, 1}));
  for (std::size_t t = 1; t < 15; ++t) EXPECT_EQ(words[t], (AiInput{0, 1})) << "the attack is not held, tick " << t;
  for (std::size_t t = 15; t < 31; ++t) EXPECT_EQ(words[t], (AiInput{button::right, 1})) << t;
}

TEST(ThinkCycle, TimersHeldBlockAndBusyStates) {
  Duel d = duel(ai_kinds().brute, 2040);
  Actor& a = d.w.actors[d.e];
  a.ai_cooldown = 2;
  a.ai_retreat = 1;
  a.ai_stand = 2;
  a.ai_stand_armed = 1;
  a.state = ActorState::stun;
  a.ai_think = 6;
  a.ai_buttons = button::left;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{}) << "a stunned enemy drops its word";
  using Six = std::array<int, 6>;
  EXPECT_EQ((Six{a.ai_cooldown, a.ai_retreat, a.ai_stand, a.ai_stand_armed, a.ai_think, a.ai_buttons}),
            (Six{1, 0, 1, 1, 0, 0}));
  enemy_input(d.w, d.e);
  using Three = std::array<int, 3>;
  EXPECT_EQ((Three{a.ai_cooldown, a.ai_stand, a.ai_stand_armed}), (Three{0, 0, 0}))
      << "the armed mark clears as the stand runs out";

  a.state = ActorState::block;
  a.ai_think = 3;
  a.ai_buttons = button::guard;
  a.ai_side = -1;
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
// player 0 at (1950, 150) two ticks into a slash (startup 5, active 3, reach
// to 90, depth 25) at it.
TEST(GuardReaction, MeetsEachNewThreatOnce) {
  struct Case {
    const char* name;
    std::function<void(Actor& enemy, Actor& player)> arrange;
    std::optional<bool> roll;
    AiInput want;
    std::optional<std::uint16_t> threat;
  };
  const AiInput walking{button::right, 1};
  const AiInput guarding{button::guard, -1};
  auto none = [](Actor&, Actor&) {};
  auto player_at = [](std::int32_t x, std::int32_t z) { return [=](Actor&, Actor& p) { place(p, x, z); }; };
  const std::vector<Case> cases = {
      {"winding up at it, roll holds: guards", none, true, guarding, 0},
      {"roll fails: goes on with its walk", none, false, walking, 0},
      {"a threat already met: no roll", [](Actor& e, Actor&) { e.ai_threat = 0; }, {}, walking, 0},
      {"facing away: no threat, the mark clears",
       [](Actor& e, Actor& p) {
         e.ai_threat = 0;
         p.facing = -1;
       },
       {}, walking, {}},
      {"a harmless move", [](Actor&, Actor& p) { p.move = move_named("rally_cry"); }, {}, walking, {}},
      {"past its first active frame", [](Actor&, Actor& p) { p.state_ticks = 5; }, {}, walking, {}},
      {"one beyond its reach and 40", player_at(1869, 150), {}, walking, {}},
      {"at its reach and 40", player_at(1870, 150), true, guarding, 0},
      {"one too deep", player_at(1950, 206), {}, walking, {}},
      {"a player who has left", [](Actor&, Actor& p) { p.gone = 1; }, {}, walking, {}},
      {"knocked about: drops its word, no roll",
       [](Actor& e, Actor&) { e.state = ActorState::stun; }, {}, AiInput{}, {}},
  };
  for (const Case& c : cases) {
    Duel d = duel(ai_kinds().blocker, 1950);
    Actor& e = d.w.actors[d.e];
    Actor& p = d.w.actors[0];
    e.ai_think = 5;
    e.ai_buttons = button::right;
    e.ai_side = 1;
    p.state = ActorState::attack;
    p.move = move_named("slash");
    p.state_ticks = 2;
    p.facing = 1;
    c.arrange(e, p);
    d.w.rng = c.roll ? rng_where(*c.roll, 100) : Rng{5};
    const Rng before = d.w.rng;
    EXPECT_EQ(enemy_input(d.w, d.e), c.want) << c.name;
    EXPECT_EQ(e.ai_threat, c.threat) << c.name;
    EXPECT_EQ(d.w.rng != before, c.roll.has_value()) << c.name;
    if (c.want == guarding) {
      EXPECT_EQ(e.ai_think, 5 - 2 + 3 + 4) << c.name << ": up until the blow is over";
    }
  }
}

// Three players far off unless placed; the brute at (2000, 150) thinks now.
TEST(Targets, NearestInSightTiesToLowerIdAndTheTauntFirst) {
  struct Case {
    const char* name;
    std::function<void(World&, Actor& enemy)> arrange;
    std::optional<std::uint16_t> lock;  // none: no target, word 0
  };
  auto at = [](World& w, std::size_t p, std::int32_t x, std::int32_t z) { place(w.actors[p], x, z); };
  const std::vector<Case> cases = {
      {"nearest by |dx| + |dz|",
       [&](World& w, Actor&) {
         at(w, 0, 2200, 150);
         at(w, 1, 1950, 250);
       },
       1},
      {"a tie goes to the lower id",
       [&](World& w, Actor&) {
         at(w, 2, 1900, 150);
         at(w, 1, 2100, 150);
       },
       1},
      {"vanished, gone and knocked out are passed over",
       [&](World& w, Actor&) {
         at(w, 0, 2400, 150);
         at(w, 1, 2050, 150);
         at(w, 2, 1950, 150);
         w.actors[1].stealth = 5;
         w.actors[2].gone = 1;
         w.actors[3].state = ActorState::ko;
         at(w, 3, 2000, 160);
       },
       0},
      {"the taunter, though farther and vanished",
       [&](World& w, Actor& e) {
         at(w, 1, 2050, 150);
         at(w, 2, 2400, 150);
         w.actors[2].stealth = 10;
         e.ai_target = 2;
       },
       2},
      {"a taunter who has left: the nearest",
       [&](World& w, Actor& e) {
         at(w, 1, 2050, 150);
         w.actors[2].gone = 1;
         e.ai_target = 2;
       },
       1},
      {"nobody in sight",
       [&](World& w, Actor&) {
         for (std::size_t p = 0; p < 4; ++p) w.actors[p].stealth = 5;
       },
       {}},
  };
  for (const Case& c : cases) {
    World w = arena(4);
    const std::size_t e = add_enemy(w, ai_kinds().brute, 2000, 150);
    Actor& a = w.actors[e];
    a.ai_engaged = 1;
    a.ai_buttons = button::up;
    c.arrange(w, a);
    const AiInput got = enemy_input(w, e);
    EXPECT_EQ(a.ai_think, 14) << c.name;
    if (c.lock) {
      EXPECT_EQ(a.ai_lock, c.lock) << c.name;
    } else {
      EXPECT_EQ(got, AiInput{}) << c.name;
      EXPECT_EQ(a.ai_buttons, 0) << c.name;
      EXPECT_FALSE(a.ai_lock) << c.name;
    }
  }
}

TEST(Targets, ATauntedShooterFightsLikeABrute) {
  for (bool taunted : {false, true}) {
    Duel d = duel(ai_kinds().archer, 2300);
    d.w.actors[d.e].ai_stand_armed = 1;
    d.w.actors[d.e].ai_cooldown = 30;  // walks, neither fires nor strikes
    if (taunted) d.w.actors[d.e].ai_target = 0;
    const AiInput got = enemy_input(d.w, d.e);
    EXPECT_EQ(got.buttons & (button::left | button::right), taunted ? button::right : button::left);
  }
}

// The test brute at (2000, 150) turning steers into words.
TEST(SteerWord, WalkingBitsCooldownAndTheHeldWord) {
  struct Case {
    AiSteer steer;
    Buttons word;
    Buttons held;
    bool cooldown;
  };
  auto walk = [](std::int32_t x, std::int32_t z, Buttons b = 0, std::int8_t f = 1) { return AiSteer{1, x, z, b, f}; };
  const std::vector<Case> cases = {
      {walk(1988, 150), 0, 0, false},
      {walk(1987, 150), button::left, button::left, false},
      {walk(2012, 150), 0, 0, false},
      {walk(2013, 150), button::right, button::right, false},
      {walk(2000, 142), 0, 0, false},
      {walk(2000, 141), button::up, button::up, false},
      {walk(2000, 158), 0, 0, false},
      {walk(2000, 159), button::down, button::down, false},
      {walk(1900, 100, 0, -1), button::left | button::up, button::left | button::up, false},
      {walk(2500, 150, button::attack), button::attack, 0, true},
      {walk(2500, 150, button::special), button::special, 0, true},
      {AiSteer{0, 0, 0, button::dash | button::left, -1}, button::dash | button::left, button::left, false},
      {AiSteer{0, 2500, 150, 0, 1}, 0, 0, false},
  };
  for (const Case& c : cases) {
    Duel d = duel(ai_kinds().brute, 2300);
    Actor& a = d.w.actors[d.e];
    const AiInput got = ai_steer_word(d.w, d.e, ai_target_of(d.w.actors[0]), c.steer);
    EXPECT_EQ(got, (AiInput{c.word, c.steer.facing})) << c.steer.goal_x << " " << c.steer.goal_z;
    EXPECT_EQ(a.ai_buttons, c.held);
    EXPECT_EQ(a.ai_side, c.steer.facing);
    EXPECT_EQ(a.ai_lock, 0);
    if (c.cooldown) {
      EXPECT_TRUE(a.ai_cooldown >= 50 && a.ai_cooldown <= 100) << a.ai_cooldown;
    } else {
      EXPECT_EQ(a.ai_cooldown, 0);
    }
  }
}

TEST(SteerWord, JitterStopsAWalkAndALongCooldownIsHeldAtItsField) {
  for (bool jitter : {true, false}) {
    Duel d = duel(ai_kinds().bandit, 2300);  // jitter 100
    d.w.rng = rng_where(jitter, 100);
    const AiInput got = ai_steer_word(d.w, d.e, ai_target_of(d.w.actors[0]), AiSteer{1, 2400, 150, 0, 1});
    EXPECT_EQ(got.buttons, jitter ? 0 : button::right);
    EXPECT_EQ(d.w.actors[d.e].ai_buttons, got.buttons);
  }
  Duel d = duel(ai_kinds().slow, 2300);  // cooldown 70000..90000
  ai_steer_word(d.w, d.e, ai_target_of(d.w.actors[0]), AiSteer{1, 2400, 150, button::attack, 1});
  EXPECT_EQ(d.w.actors[d.e].ai_cooldown, 65535);
}

// The draws of one tick, in order: the block roll, the stand roll, then the
// jitter roll or the cooldown.
TEST(Draws, BlockThenStandThenJitterOrCooldown) {
  ai_kinds();
  const GameData& data = game_data();
  {
    Duel d = duel(*kind_id(data.kinds, "archer"), 2300);  // pressed: rolls 250, keeps its band and fires
    d.w.rng = rng_where(false, 250);
    Rng want = d.w.rng;
    chance(want, 250);
    const std::int64_t cooldown = range(want, 70, 120);
    EXPECT_EQ(enemy_input(d.w, d.e).buttons, button::special);
    EXPECT_EQ(d.w.rng, want);
    EXPECT_EQ(d.w.actors[d.e].ai_cooldown, cooldown);
  }
  {
    Duel d = duel(*kind_id(data.kinds, "cutpurse"), 2300);  // cooling down: rolls 300, then jitter 50
    d.w.actors[d.e].ai_cooldown = 20;
    Rng want = d.w.rng;
    chance(want, 300);
    chance(want, 50);
    enemy_input(d.w, d.e);
    EXPECT_EQ(d.w.rng, want);
  }
  {
    Duel d = duel(ai_kinds().blocker, 1950);  // a failed block roll (100), then the think strikes
    Actor& p = d.w.actors[0];
    p.state = ActorState::attack;
    p.move = move_named("slash");
    d.w.rng = rng_where(false, 100);
    Rng want = d.w.rng;
    chance(want, 100);
    const std::int64_t cooldown = range(want, 50, 100);
    EXPECT_EQ(enemy_input(d.w, d.e), (AiInput{button::attack, -1}));
    EXPECT_EQ(d.w.rng, want);
    EXPECT_EQ(d.w.actors[d.e].ai_cooldown, cooldown);
  }
}

// A wave of every role against idle players: brute, skirmisher, ranged,
// caster, guard and wolf.
struct Fight {
  World world;
  ReplayRecord record;
  std::set<std::uint8_t> kinds_swinging;
};

Fight fight_wave(std::size_t players, std::uint64_t seed) {
  const std::uint64_t stage = ai_kinds().proving;
  std::vector<CharacterSheet> party;
  for (std::size_t i = 0; i < players; ++i) {
    party.push_back(new_character(default_class()));
    party.back().slot = static_cast<std::uint8_t>(i);
  }
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
    EXPECT_EQ(first.world.tick, again.world.tick);
    EXPECT_EQ(state_hash(first.world), state_hash(again.world));
    for (const char* name : {"cutpurse", "wolf", "archer", "hedge_witch"}) {
      EXPECT_EQ(first.kinds_swinging.count(*kind_id(game_data().kinds, name)), 1u) << name << " struck or shot";
    }
    for (const Actor& a : first.world.actors) {
      EXPECT_TRUE(a.team == 0 || a.ai_lock) << kind_by_id(a.kind).name << " chose a target";
    }
    EXPECT_EQ(play_back(first.record), first.world) << "the replay reaches the same world";
  }
}

}  // namespace
}  // namespace velmora
