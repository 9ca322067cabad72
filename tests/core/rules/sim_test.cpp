#include "core/rules/sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "core/rules/combat.h"
#include "core/world/world.h"

namespace velmora {
namespace {

// The built-in data plus a stage narrower than its own view. The built-in
// first_road has gates centred at 1000, 2200 and 3400 (the first triggered
// at 900), length 4400 and its exit at 4200; old_barrow has a door at 2700
// into barrow_crypt.
struct Ids {
  std::uint64_t road = 0, barrow = 0, crypt = 0, narrow = 0;
  std::uint8_t bandit = 0, archer = 0, chief = 0;
};

const Ids& ids() {
  static const Ids fixture = [] {
    GameData data = builtin_data();
    Ids f{*stage_index(data.stages, "first_road"), *stage_index(data.stages, "old_barrow"),
          *stage_index(data.stages, "barrow_crypt"), data.stages.size(), *kind_id(data.kinds, "bandit"),
          *kind_id(data.kinds, "archer"), *kind_id(data.kinds, "bandit_chief")};
    StageDef narrow;
    narrow.name = "narrow";
    narrow.length = 800;
    narrow.depth = 300;
    narrow.view_w = 1200;
    data.stages.push_back(narrow);
    VELMORA_CHECK(install_game_data(std::move(data)).ok(), "test data installed before first use");
    return f;
  }();
  return fixture;
}

World game(std::uint64_t stage, std::size_t players) {
  std::vector<CharacterSheet> party(players, new_character(default_class()));
  for (std::size_t i = 0; i < players; ++i) party[i].slot = static_cast<std::uint8_t>(i);
  return new_game(stage, 11, party);
}

std::int32_t cm(Fx v) { return v.floor_int(); }

std::size_t add_enemy(World& w, std::uint8_t kind, std::int32_t x, std::int32_t z = 150) {
  w.actors.push_back(actor_from_kind(static_cast<std::uint16_t>(w.actors.size()), kind, 1, 255, x, z, -1));
  return w.actors.size() - 1;
}

void run(World& w, std::vector<Buttons> inputs = {}) { tick(w, inputs); }

bool has_event(const World& w, EventKind kind) {
  return std::any_of(w.events.begin(), w.events.end(), [&](const Event& e) { return e.kind == kind; });
}

// The camera and the players' x set by hand.
void place(World& w, std::int32_t camera, const std::vector<std::int32_t>& xs) {
  w.camera_x = Fx::from_int(camera);
  for (std::size_t i = 0; i < xs.size(); ++i) w.actors[i].x = Fx::from_int(xs[i]);
}

// The ai_engaged flags of the actors from `first` on.
std::vector<int> engaged_from(const World& w, std::size_t first) {
  std::vector<int> flags;
  for (std::size_t i = first; i < w.actors.size(); ++i) flags.push_back(w.actors[i].ai_engaged);
  return flags;
}

// --- Bookkeeping of the tick -----------------------------------------------------

TEST(TickStart, FinishedStageOnlyCounts) {
  for (GameStatus over : {GameStatus::cleared, GameStatus::wiped}) {
    World w = game(ids().road, 2);
    add_enemy(w, ids().bandit, 700);
    w.over = over;
    w.actors[0].hitstop = 3;
    w.actors[0].vx = Fx::from_int(4);
    w.actors[0].temp_hp_ticks = 1;
    w.actors[0].x = Fx::from_int(900);
    w.pending_door = 0;
    w.events.push_back(Event::plain(EventKind::cleared));
    World expected = w;
    ++expected.tick;
    expected.events.clear();
    run(w, {button::right, button::attack});
    EXPECT_EQ(w, expected);
  }
}

TEST(TickStart, DeferredQueuesAreEmptyAfterEveryTick) {
  World w = game(ids().road, 1);
  w.deferred_values.push_back(DeferredValue{0, 0});
  w.deferred_moves.push_back(DeferredMove{0, 0});
  run(w);
  EXPECT_TRUE(w.deferred_values.empty() && w.deferred_moves.empty());
}

TEST(Engagement, RecomputedOnTicks1And16And31Only) {
  World w = game(ids().road, 1);
  const std::size_t e = add_enemy(w, ids().bandit, 700);
  std::vector<std::uint64_t> set_on;
  for (int i = 0; i < 40; ++i) {
    w.actors[e].ai_engaged = 0;
    run(w);
    if (w.actors[e].ai_engaged == 1) set_on.push_back(w.tick);
  }
  EXPECT_EQ(set_on, (std::vector<std::uint64_t>{1, 16, 31}));
}

TEST(Engagement, NearestFirstWithinTheCaps) {
  World w = game(ids().road, 1);  // one target, at x 250, z 150
  const Ids& k = ids();
  for (auto [kind, x] : std::vector<std::pair<std::uint8_t, std::int32_t>>{
           {k.bandit, 300}, {k.bandit, 400}, {k.archer, 450}, {k.bandit, 500}, {k.archer, 550},
           {k.bandit, 600}, {k.chief, 2000}, {k.bandit, 260}}) {
    add_enemy(w, kind, x);
  }
  w.actors[1].ai_target = 0;  // taunted: engaged, not counted
  w.actors[6].ai_engaged = 1;
  w.actors[8].state = ActorState::ko;
  w.actors[8].ai_engaged = 1;
  update_engagement(w);
  EXPECT_EQ(engaged_from(w, 1), (std::vector<int>{1, 1, 1, 1, 0, 0, 1, 1}))
      << "targets + 1 melee, targets / 2 + 1 ranged, the boss always; a knocked-out enemy keeps its flag";
}

TEST(Engagement, WithoutTargetsOneOfEachByActorId) {
  World w = game(ids().road, 2);
  w.actors[0].state = ActorState::ko;
  w.actors[1].stealth = 30;  // unseen: not a target
  for (std::uint8_t kind : {ids().bandit, ids().archer}) {
    add_enemy(w, kind, 2000);
    add_enemy(w, kind, 300);
  }
  update_engagement(w);
  EXPECT_EQ(engaged_from(w, 2), (std::vector<int>{1, 0, 1, 0}));
}

TEST(InputPhase, PlayersReadTheirSlotAndEnemiesNever) {
  World w = game(ids().road, 4);
  const std::size_t e = add_enemy(w, ids().bandit, 1100);
  w.actors[e].slot = 0;
  for (std::size_t i = 0; i < 4; ++i) w.actors[i].stealth = 1000;  // out of sight: the AI's word is 0
  const std::int32_t x1 = cm(w.actors[1].x);
  const std::int32_t x3 = cm(w.actors[3].x);
  for (int i = 0; i < 10; ++i) run(w, {button::guard, button::right});
  EXPECT_EQ(w.actors[0].prev_buttons, button::guard);
  EXPECT_GT(cm(w.actors[1].x), x1);
  EXPECT_EQ(w.actors[3].prev_buttons, 0) << "slot 3 beyond two words stands still";
  EXPECT_EQ(cm(w.actors[3].x), x3);
  EXPECT_EQ(w.actors[e].prev_buttons, 0) << "an enemy never takes a player's word";
}

TEST(StatusTimers, CountDownAndClearAtZero) {
  World w = game(ids().road, 2);
  Actor& a = w.actors[0];
  a.temp_hp = 7;
  a.temp_hp_ticks = 2;
  a.taunt_ticks = 2;
  a.ai_target = 1;
  w.actors[1].state = ActorState::stun;
  w.actors[1].held = 2;
  w.actors[1].gone = 1;
  status_timers(w);
  EXPECT_EQ(a.temp_hp, 7);
  EXPECT_TRUE(a.ai_target.has_value());
  status_timers(w);
  EXPECT_EQ(a.temp_hp, 0);
  EXPECT_FALSE(a.ai_target.has_value());
  EXPECT_EQ(w.actors[1].held, 2) << "a stunned actor stays held, gone or not";
}

// --- The order of the phases: each test fails when two phases change places ----------

TEST(PhaseOrder, FightingFlagIsFixedBeforeTheGates) {
  World w = game(ids().road, 1);
  const std::size_t e = add_enemy(w, ids().bandit, 2000);
  w.actors[e].state = ActorState::ko;  // a knocked-out enemy does not count
  w.actors[0].x = Fx::from_int(900);
  run(w);
  EXPECT_EQ(w.gate_locked, 1);
  EXPECT_EQ(w.fighting, 0) << "the gate locked after the flag was fixed";
  run(w);
  EXPECT_EQ(w.fighting, 1);
  w.gate_locked = 0;
  w.actors[e].state = ActorState::idle;
  update_fighting(w);
  EXPECT_EQ(w.fighting, 1) << "a live enemy";
}

TEST(PhaseOrder, HeldActorSkipsItsStepAndMovementButNotItsTimers) {
  World w = game(ids().road, 2);
  for (Actor& a : w.actors) {
    a.state = ActorState::stun;
    a.stun = 100;
    a.vx = Fx::from_int(3);
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
  EXPECT_EQ(held.stealth, 3) << "status timers run for held actors";
  EXPECT_GT(cm(w.actors[1].x), x1);
  EXPECT_EQ(w.actors[1].state_ticks, 1);
}

TEST(PhaseOrder, StatusTimersSeeTheStateTheActorStepLeft) {
  World w = game(ids().road, 1);
  w.actors[0].state = ActorState::stun;
  w.actors[0].stun = 1;
  w.actors[0].held = 1;
  run(w);
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  EXPECT_EQ(w.actors[0].held, 0) << "the stun ended in the actor step, so the mark goes this tick";
}

TEST(PhaseOrder, PoisonFallMovesInTheSameTick) {
  World w = game(ids().road, 1);
  w.actors[0].hp = 1;
  w.actors[0].poison = 1;
  w.actors[0].poison_interval = 1;
  run(w);
  EXPECT_EQ(w.actors[0].state, ActorState::fall);
  EXPECT_EQ(cm(w.actors[0].y), 8) << "lifted to 1 cm by the poison, then 7 cm by the movement";
}

TEST(PhaseOrder, MeleeHitsWhereTheActorsMovedTo) {
  World w = game(ids().road, 1);
  Actor& p = w.actors[0];
  p.move = *kind_by_id(p.kind).light;
  p.state = ActorState::attack;
  p.state_ticks = move_def(p.move).startup;
  const std::int32_t reach = attack_box(p)->x1;
  const std::size_t e = add_enemy(w, ids().bandit, reach + kind_by_id(ids().bandit).body[0] + 20, cm(p.z));
  w.actors[e].vx = Fx::from_int(-30);  // closes 30 cm this tick
  run(w);
  EXPECT_TRUE(has_event(w, EventKind::hit)) << "the blow lands where the enemy stands after moving";
}

TEST(PhaseOrder, ExperienceIsSharedOnTheTickOfTheKnockOut) {
  World w = game(ids().road, 1);
  const std::size_t e = add_enemy(w, ids().bandit, 700);
  w.actors[e].state = ActorState::down;
  w.actors[e].state_ticks = 40;
  w.actors[e].hp = 0;
  run(w);
  EXPECT_EQ(w.actors[e].state, ActorState::ko);
  EXPECT_EQ(w.actors[0].xp, kind_by_id(ids().bandit).xp);
}

// A world whose gate falls this tick: the last wave of the gate with index
// `gate` is out and nobody is left standing.
World gate_falling(std::uint64_t stage, std::uint64_t gate, std::int32_t camera, std::int32_t x) {
  World w = game(stage, 1);
  place(w, camera, {x});
  w.gate_index = gate;
  w.gate_locked = w.wave_active = 1;
  w.wave_index = 1;
  return w;
}

TEST(PhaseOrder, CameraFollowsPastAGateClearedInTheSameTick) {
  World w = gate_falling(ids().road, 0, 1000, 1100);
  run(w);
  EXPECT_EQ(cm(w.camera_x), 1008);
}

TEST(PhaseOrder, ClearedOnTheTickTheLastGateFalls) {
  World w = gate_falling(ids().road, 2, 3800, 4250);
  run(w);
  EXPECT_EQ(w.over, GameStatus::cleared);
}

TEST(PhaseOrder, DoorTravelComesLastAndNotOnTheClearingTick) {
  World w = game(ids().barrow, 1);
  place(w, 3800, {4250});
  w.gate_index = 3;
  w.pending_door = 0;
  run(w);
  EXPECT_EQ(w.over, GameStatus::cleared);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_FALSE(has_event(w, EventKind::area)) << "a door used on the clearing tick is dropped";

  w = game(ids().barrow, 1);
  place(w, 2700, {2700});
  w.gate_index = 2;
  w.pending_door = 0;
  run(w);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, ids().crypt);
  EXPECT_EQ(w.events.back(), Event::area_of(ids().crypt));
}

TEST(Camera, OneStepTowardTheGoal) {
  struct Case {
    const char* what;
    std::uint64_t gate_index;
    std::int32_t camera;
    std::vector<std::int32_t> xs;  // one player at each
    bool last_knocked_out;
    std::int32_t expected;
    bool narrow = false;
  };
  const std::vector<Case> cases = {
      {"at most 8 cm toward the mean", 1, 600, {1000, 1100}, false, 608},
      {"and back", 1, 1100, {1000}, false, 1092},
      {"the mean truncates", 1, 1000, {1001, 1002}, false, 1001},
      {"only live players count", 1, 1000, {1004, 3000}, true, 1004},
      {"without a live player it stays", 1, 700, {1100}, true, 700},
      {"never past the next gate's centre", 0, 995, {1150}, false, 1000},
      {"not below half the view", 1, 604, {300}, false, 600},
      {"not beyond the far end", 3, 3795, {4150}, false, 3800},
      {"a stage narrower than its view: half the view", 0, 590, {700}, false, 598, true},
  };
  for (const Case& c : cases) {
    World w = game(c.narrow ? ids().narrow : ids().road, c.xs.size());
    w.gate_index = c.gate_index;
    place(w, c.camera, c.xs);
    if (c.last_knocked_out) w.actors.back().state = ActorState::ko;
    update_camera(w);
    EXPECT_EQ(cm(w.camera_x), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace velmora
