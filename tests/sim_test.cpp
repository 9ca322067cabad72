#include "core/sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/game_data.h"
#include "core/panic.h"
#include "core/world.h"

namespace velmora {
namespace {

// The built-in data and one stage narrower than its own view.
struct Fixture {
  std::uint64_t road = 0;    // gates at centre 1000, 2200, 3400; exit 4200
  std::uint64_t barrow = 0;  // a door at 2700 into the crypt; exit 4200
  std::uint64_t crypt = 0;
  std::uint64_t narrow = 0;  // length 800, view 1200
  std::uint8_t bandit = 0;
  std::uint8_t archer = 0;
  std::uint8_t chief = 0;
};

const Fixture& fx() {
  static const Fixture fixture = [] {
    GameData data = builtin_data();
    Fixture f;
    f.road = *stage_index(data.stages, "first_road");
    f.barrow = *stage_index(data.stages, "old_barrow");
    f.crypt = *stage_index(data.stages, "barrow_crypt");
    f.bandit = *kind_id(data.kinds, "bandit");
    f.archer = *kind_id(data.kinds, "archer");
    f.chief = *kind_id(data.kinds, "bandit_chief");
    StageDef narrow;
    narrow.name = "narrow";
    narrow.length = 800;
    narrow.depth = 300;
    narrow.view_w = 1200;
    data.stages.push_back(narrow);
    f.narrow = data.stages.size() - 1;
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

World game(std::uint64_t stage_index, std::size_t players) { return new_game(stage_index, 11, party(players)); }

std::int32_t cm(Fx v) { return v.raw >> 8; }

std::size_t add_enemy(World& w, std::uint8_t kind, std::int32_t x, std::int32_t z) {
  w.actors.push_back(actor_from_kind(static_cast<std::uint16_t>(w.actors.size()), kind, 1, 255, x, z, -1));
  return w.actors.size() - 1;
}

void run(World& w, std::vector<Buttons> inputs = {}) { tick(w, inputs); }

std::vector<EventKind> kinds_of(const World& w) {
  std::vector<EventKind> kinds;
  for (const Event& e : w.events) kinds.push_back(e.kind);
  return kinds;
}

bool has_event(const World& w, EventKind kind) {
  return std::any_of(w.events.begin(), w.events.end(), [&](const Event& e) { return e.kind == kind; });
}

// --- Start and fighting flag --------------------------------------------------

TEST(TickStart, FinishedStageOnlyCounts) {
  for (GameStatus over : {GameStatus::cleared, GameStatus::wiped}) {
    World w = game(fx().road, 2);
    add_enemy(w, fx().bandit, 700, 200);
    w.over = over;
    w.actors[0].hitstop = 3;
    w.actors[0].vx = Fx::from_int(4);
    w.actors[0].temp_hp = 5;
    w.actors[0].temp_hp_ticks = 1;
    w.actors[0].x = Fx::from_int(900);
    w.pending_door = 0;
    w.events.push_back(Event::plain(EventKind::cleared));
    World expected = w;
    run(w, {button::right, button::attack});
    ++expected.tick;
    expected.events.clear();
    EXPECT_EQ(w, expected);
  }
}

TEST(FightingFlag, FixedAtTheStartOfTheTick) {
  World w = game(fx().road, 1);
  w.actors[0].x = Fx::from_int(900);  // at the first gate's trigger
  run(w);
  EXPECT_EQ(w.gate_locked, 1);
  EXPECT_EQ(w.fighting, 0) << "the gate locked after the flag was fixed";
  run(w);
  EXPECT_EQ(w.fighting, 1);
}

TEST(FightingFlag, LiveEnemiesOrALockedGate) {
  World w = game(fx().road, 1);
  const std::size_t e = add_enemy(w, fx().bandit, 1100, 200);
  update_fighting(w);
  EXPECT_EQ(w.fighting, 1);
  w.actors[e].state = ActorState::ko;
  update_fighting(w);
  EXPECT_EQ(w.fighting, 0);
  w.gate_locked = 1;
  update_fighting(w);
  EXPECT_EQ(w.fighting, 1);
}

// --- Engagement ----------------------------------------------------------------

TEST(Engagement, RecomputedOnTicks1And16And31Only) {
  World w = game(fx().road, 1);
  const std::size_t e = add_enemy(w, fx().bandit, 700, 150);
  std::vector<std::uint64_t> set_on;
  for (int i = 0; i < 40; ++i) {
    w.actors[e].ai_engaged = 0;
    run(w);
    if (w.actors[e].ai_engaged == 1) set_on.push_back(w.tick);
  }
  EXPECT_EQ(set_on, (std::vector<std::uint64_t>{1, 16, 31}));
}

TEST(Engagement, NearestFirstWithinTheCaps) {
  World w = game(fx().road, 1);  // one target at x 250, z 150
  const std::size_t taunted = add_enemy(w, fx().bandit, 300, 150);
  w.actors[taunted].ai_target = 0;
  const std::size_t m1 = add_enemy(w, fx().bandit, 400, 150);
  const std::size_t r1 = add_enemy(w, fx().archer, 450, 150);
  const std::size_t m2 = add_enemy(w, fx().bandit, 500, 150);
  const std::size_t r2 = add_enemy(w, fx().archer, 550, 150);
  const std::size_t m3 = add_enemy(w, fx().bandit, 600, 150);
  const std::size_t boss = add_enemy(w, fx().chief, 2000, 150);
  const std::size_t out = add_enemy(w, fx().bandit, 260, 150);
  w.actors[out].state = ActorState::ko;
  w.actors[out].ai_engaged = 1;
  w.actors[m3].ai_engaged = 1;
  update_engagement(w);
  EXPECT_EQ(w.actors[taunted].ai_engaged, 1);
  EXPECT_EQ(w.actors[m1].ai_engaged, 1);
  EXPECT_EQ(w.actors[m2].ai_engaged, 1);
  EXPECT_EQ(w.actors[m3].ai_engaged, 0) << "at most targets + 1 melee";
  EXPECT_EQ(w.actors[r1].ai_engaged, 1);
  EXPECT_EQ(w.actors[r2].ai_engaged, 0) << "at most targets / 2 + 1 ranged";
  EXPECT_EQ(w.actors[boss].ai_engaged, 1);
  EXPECT_EQ(w.actors[out].ai_engaged, 1) << "a knocked-out enemy keeps its flag";
}

TEST(Engagement, WithoutTargetsOneOfEachByActorId) {
  World w = game(fx().road, 2);
  w.actors[0].state = ActorState::ko;
  w.actors[1].stealth = 30;  // unseen: not a target
  const std::size_t m1 = add_enemy(w, fx().bandit, 2000, 150);
  const std::size_t m2 = add_enemy(w, fx().bandit, 300, 150);
  const std::size_t r1 = add_enemy(w, fx().archer, 2000, 150);
  const std::size_t r2 = add_enemy(w, fx().archer, 300, 150);
  update_engagement(w);
  EXPECT_EQ(w.actors[m1].ai_engaged, 1);
  EXPECT_EQ(w.actors[m2].ai_engaged, 0);
  EXPECT_EQ(w.actors[r1].ai_engaged, 1);
  EXPECT_EQ(w.actors[r2].ai_engaged, 0);
}

// --- Input and hold phases ---------------------------------------------------------

TEST(InputPhase, PlayersReadTheirSlotAndEnemiesNever) {
  World w = game(fx().road, 4);
  const std::size_t e = add_enemy(w, fx().bandit, 1100, 200);
  w.actors[e].slot = 0;
  w.actors[e].state = ActorState::ko;  // the AI sends a knocked-out enemy nothing
  const std::vector<std::int32_t> start = {cm(w.actors[1].x), cm(w.actors[3].x)};
  for (int i = 0; i < 10; ++i) run(w, {button::guard, button::right});
  EXPECT_EQ(w.actors[0].prev_buttons, button::guard);
  EXPECT_EQ(w.actors[1].prev_buttons, button::right);
  EXPECT_GT(cm(w.actors[1].x), start[0]);
  EXPECT_EQ(w.actors[3].prev_buttons, 0) << "slot 3 beyond two words stands still";
  EXPECT_EQ(cm(w.actors[3].x), start[1]);
  EXPECT_EQ(w.actors[e].prev_buttons, 0) << "an enemy never takes a player's word";
}

TEST(HoldPhase, HeldActorSkipsItsStepAndMovementButNotItsTimers) {
  World w = game(fx().road, 2);
  for (Actor& a : w.actors) {
    a.state = ActorState::stun;
    a.stun = 100;
    a.vx = Fx::from_int(3);
    a.temp_hp = 5;
    a.temp_hp_ticks = 1;
    a.stealth = 4;
  }
  w.actors[0].hitstop = 2;
  const std::int32_t x0 = cm(w.actors[0].x);
  const std::int32_t x1 = cm(w.actors[1].x);
  run(w, {button::attack, button::attack});
  const Actor& held = w.actors[0];
  EXPECT_EQ(held.hitstop, 1);
  EXPECT_EQ(cm(held.x), x0) << "no movement while held";
  EXPECT_EQ(held.state_ticks, 0) << "no actor step while held";
  EXPECT_EQ(held.prev_buttons, 0) << "the word of a held tick is lost";
  EXPECT_EQ(held.temp_hp, 0) << "status timers run for held actors";
  EXPECT_EQ(held.stealth, 3);
  EXPECT_GT(cm(w.actors[1].x), x1);
  EXPECT_EQ(w.actors[1].state_ticks, 1);
  run(w);
  run(w);
  EXPECT_EQ(w.actors[0].hitstop, 0);
  EXPECT_GT(cm(w.actors[0].x), x0);
}

// --- Status timers -------------------------------------------------------------------

TEST(StatusTimers, CountDownAndClearAtZero) {
  World w = game(fx().road, 2);
  Actor& a = w.actors[0];
  a.temp_hp = 7;
  a.temp_hp_ticks = 2;
  a.taunt_ticks = 1;
  a.ai_target = 1;
  a.held = 1;
  a.state = ActorState::idle;
  Actor& b = w.actors[1];
  b.held = 2;
  b.state = ActorState::stun;
  b.taunt_ticks = 2;
  b.ai_target = 0;
  b.gone = 1;  // timers run for gone actors too
  status_timers(w);
  EXPECT_EQ(w.actors[0].temp_hp, 7);
  EXPECT_EQ(w.actors[0].temp_hp_ticks, 1);
  EXPECT_FALSE(w.actors[0].ai_target.has_value());
  EXPECT_EQ(w.actors[0].held, 0);
  EXPECT_EQ(w.actors[1].held, 2) << "a stunned actor stays held";
  EXPECT_EQ(w.actors[1].taunt_ticks, 1);
  EXPECT_TRUE(w.actors[1].ai_target.has_value());
  status_timers(w);
  EXPECT_EQ(w.actors[0].temp_hp, 0);
  EXPECT_EQ(w.actors[0].temp_hp_ticks, 0);
  EXPECT_FALSE(w.actors[1].ai_target.has_value());
}

TEST(StatusTimers, PoisonFallMovesInTheSameTick) {
  World w = game(fx().road, 1);
  Actor& a = w.actors[0];
  a.hp = 1;
  a.poison = 1;
  a.poison_interval = 1;
  run(w);
  EXPECT_EQ(w.actors[0].state, ActorState::fall);
  EXPECT_EQ(cm(w.actors[0].y), 8) << "lifted to 1 cm by the poison, then 7 cm by the movement";
}

// --- Deferred queues and experience ---------------------------------------------------

TEST(DeferredQueues, EmptyAfterEveryTick) {
  World w = game(fx().road, 1);
  w.deferred_values.push_back(DeferredValue{0, 0});
  w.deferred_moves.push_back(DeferredMove{0, 0});
  run(w);
  EXPECT_TRUE(w.deferred_values.empty());
  EXPECT_TRUE(w.deferred_moves.empty());
}

TEST(Experience, SharedOnTheTickOfTheKnockOut) {
  World w = game(fx().road, 1);
  const std::size_t e = add_enemy(w, fx().bandit, 700, 150);
  w.actors[e].state = ActorState::down;
  w.actors[e].state_ticks = 40;
  w.actors[e].hp = 0;
  run(w);
  EXPECT_EQ(w.actors[e].state, ActorState::ko);
  EXPECT_TRUE(has_event(w, EventKind::ko));
  EXPECT_EQ(w.actors[0].xp, kind_by_id(fx().bandit).xp);
  EXPECT_EQ(w.xp_pool, 0u);
  EXPECT_FALSE(w.pickups.empty());
}

// --- Gates, camera, stage end and doors in one tick ---------------------------------------

void place(World& w, std::int32_t camera, std::vector<std::int32_t> xs) {
  w.camera_x = Fx::from_int(camera);
  for (std::size_t i = 0; i < xs.size(); ++i) w.actors[i].x = Fx::from_int(xs[i]);
}

TEST(Camera, FollowsThePlayersByAtMost8) {
  World w = game(fx().road, 2);
  w.gate_index = 1;  // next gate centre 2200
  place(w, 600, {1000, 1100});
  std::int32_t last = cm(w.camera_x);
  for (int i = 0; i < 80; ++i) {
    run(w);
    const std::int32_t now = cm(w.camera_x);
    EXPECT_LE(now - last, 8);
    EXPECT_GE(now - last, 0);
    last = now;
  }
  EXPECT_EQ(last, 1050);
}

TEST(Camera, NeverPastTheNextGateCentre) {
  World w = game(fx().road, 1);
  place(w, 995, {1150});
  w.gate_locked = 1;
  w.wave_countdown = 500;
  run(w);
  EXPECT_EQ(cm(w.camera_x), 1000);
  run(w);
  EXPECT_EQ(cm(w.camera_x), 1000);
}

TEST(Camera, StaysInsideTheStage) {
  World w = game(fx().road, 1);
  place(w, 604, {300});
  run(w);
  EXPECT_EQ(cm(w.camera_x), 600);
  World end = game(fx().road, 1);
  end.gate_index = 3;
  place(end, 3795, {4150});
  run(end);
  run(end);
  EXPECT_EQ(cm(end.camera_x), 3800);
}

TEST(Camera, StageNarrowerThanItsViewRestsAtHalfTheView) {
  World w = game(fx().narrow, 1);
  place(w, 590, {700});
  update_camera(w);
  EXPECT_EQ(cm(w.camera_x), 598);
  update_camera(w);
  EXPECT_EQ(cm(w.camera_x), 600);
  for (int i = 0; i < 5; ++i) run(w, {button::right});
  EXPECT_EQ(cm(w.camera_x), 600);
}

TEST(Camera, WithoutLivePlayersItStays) {
  World w = game(fx().road, 1);
  place(w, 700, {1100});
  w.actors[0].state = ActorState::ko;
  update_camera(w);
  EXPECT_EQ(cm(w.camera_x), 700);
}

TEST(Camera, FollowsPastAGateClearedInTheSameTick) {
  World w = game(fx().road, 1);
  place(w, 1000, {1100});
  w.gate_locked = 1;
  w.wave_active = 1;
  w.wave_index = 1;  // the gate's last wave, with nobody left standing
  run(w);
  EXPECT_EQ(w.gate_index, 1u);
  EXPECT_EQ(cm(w.camera_x), 1008);
}

TEST(StageEndInTick, ClearedOnTheTickTheLastGateFalls) {
  World w = game(fx().road, 1);
  place(w, 3800, {4250});
  w.gate_index = 2;
  w.gate_locked = 1;
  w.wave_active = 1;
  w.wave_index = 1;
  run(w);
  EXPECT_EQ(kinds_of(w), (std::vector<EventKind>{EventKind::gate_clear, EventKind::cleared}));
  EXPECT_EQ(w.over, GameStatus::cleared);
  const std::uint64_t t = w.tick;
  run(w, {button::left});
  EXPECT_EQ(w.tick, t + 1);
  EXPECT_TRUE(w.events.empty());
}

TEST(StageEndInTick, WipedBehindALockedGate) {
  World w = game(fx().road, 2);
  add_enemy(w, fx().bandit, 1100, 200);
  w.gate_locked = 1;
  w.wave_active = 1;
  for (std::size_t i = 0; i < 2; ++i) w.actors[i].state = ActorState::ko;
  run(w);
  EXPECT_EQ(w.over, GameStatus::wiped);
  EXPECT_EQ(kinds_of(w), std::vector<EventKind>{EventKind::wiped});
}

TEST(DoorTravel, ADoorUsedOnTheClearingTickIsDropped) {
  World w = game(fx().barrow, 1);
  place(w, 3800, {4250});
  w.gate_index = 3;
  w.pending_door = 0;
  run(w);
  EXPECT_EQ(w.over, GameStatus::cleared);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, fx().barrow);
  EXPECT_FALSE(has_event(w, EventKind::area));
}

TEST(DoorTravel, ADoorLeadsOnAtTheEndOfTheTick) {
  World w = game(fx().barrow, 1);
  place(w, 2700, {2700});
  w.gate_index = 2;
  w.pending_door = 0;
  run(w);
  EXPECT_EQ(w.over, GameStatus::playing);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, fx().crypt);
  ASSERT_FALSE(w.events.empty());
  EXPECT_EQ(w.events.back(), Event::area_of(fx().crypt));
}

}  // namespace
}  // namespace velmora
