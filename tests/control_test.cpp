#include "core/control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/game_data.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

// The built-in data plus a move without wind-up (so the rule for startup 0
// can be seen) and an item used through it; both come last, so every
// built-in id is unchanged.
constexpr std::string_view snap_move = R"(
[move snap_shout]
startup = 0
active = 2
recovery = 4
forward = 0 10
height = 0 10
depth = 10
damage = thrust 0 crushing
reaction = stagger 1 0
harmless = yes
shout = 30
stamina = 0
)";

constexpr std::string_view horn_item = R"(
[item war_horn]
title = War Horn
model = horn
slot = consumable
use = snap_shout
heal = 1
weight = 1
)";

class TestData : public ::testing::Environment {
 public:
  void SetUp() override {
    auto texts = testing::DataTexts::builtin();
    texts.file("moves.txt") += snap_move;
    texts.file("items.txt") += horn_item;
    DataLoad load = texts.load();
    ASSERT_TRUE(load.ok());
    ASSERT_TRUE(install_game_data(std::move(load.data())).ok());
  }
};

const auto* const test_data = ::testing::AddGlobalTestEnvironment(new TestData);

constexpr std::int32_t cm = 256;
constexpr Buttons none = 0;

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint8_t move(std::string_view name) { return *move_id(game_data().moves, name); }
std::uint16_t item(std::string_view name) { return *item_id(game_data().items, name); }

std::uint64_t stage_named(std::string_view name) { return *stage_index(game_data().stages, name); }

// A game on the first road with one player of a class, calm (no fight).
World game_of(std::string_view class_name, std::uint64_t stage = 0) {
  CharacterSheet sheet = new_character(kind(class_name));
  World w = new_game(stage, 7, {sheet});
  w.events.clear();
  return w;
}

std::size_t add_enemy(World& w, std::string_view kind_name, std::int32_t x, std::int32_t z) {
  const auto id = static_cast<std::uint16_t>(w.actors.size());
  w.actors.push_back(actor_from_kind(id, kind(kind_name), 1, 0, x, z, -1));
  return id;
}

// One tick of the actor and movement phases for one actor, with this tick's
// events and queues only.
void step(World& w, std::size_t i, Buttons b, std::int8_t ai_facing = 0) {
  w.events.clear();
  w.deferred_moves.clear();
  w.deferred_values.clear();
  actor_step(w, i, b, ai_facing);
  std::vector<std::int32_t> barriers;
  closed_barriers(w, barriers);
  move_actor(w, i, barriers);
}

void steps(World& w, std::size_t i, Buttons b, int n) {
  for (int k = 0; k < n; ++k) step(w, i, b);
}

int count(const World& w, EventKind kind, std::uint16_t actor) {
  return static_cast<int>(std::count_if(w.events.begin(), w.events.end(),
                                        [&](const Event& e) { return e.kind == kind && e.actor == actor; }));
}

// ---------------------------------------------------------------------------

TEST(ControlPresses, MovesStartOnlyOnFreshPresses) {
  World w = game_of("fighter");
  step(w, 0, button::attack);
  EXPECT_EQ(w.actors[0].state, ActorState::attack);
  EXPECT_EQ(w.actors[0].move, move("slash"));
  steps(w, 0, button::attack, 40);  // held through the whole move and after
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  step(w, 0, none);
  step(w, 0, button::attack);
  EXPECT_EQ(w.actors[0].state, ActorState::attack);
}

TEST(ControlStamina, JumpCostScalesWithWornFatigueAndWindsOnce) {
  World w = game_of("fighter");
  Actor& a = w.actors[0];
  a.gear = {item("steel_helm"), item("steel_helm"), item("leather_armor")};  // 5 + 5 + 10 = 20 %
  const std::int32_t before = a.sta;
  step(w, 0, button::jump);
  EXPECT_EQ(w.actors[0].sta, before - 12);
  EXPECT_EQ(w.actors[0].stamina_delay, 36);

  a.sta = 5;
  EXPECT_TRUE(spend_stamina(a, 10));  // winded now
  EXPECT_EQ(a.sta, 0);
  EXPECT_FALSE(spend_stamina(a, 10));  // already winded
}

TEST(ControlStamina, RecoversAfterThePauseAtTheStateRate) {
  World w = game_of("fighter");
  Actor& a = w.actors[0];
  a.gear = {};
  a.sta = a.sta_max - 20;
  spend_stamina(a, 0);
  const std::int32_t low = a.sta;
  steps(w, 0, none, 36);
  EXPECT_EQ(w.actors[0].sta, low);
  steps(w, 0, none, 4);  // idle: 100 a tick, one point each
  EXPECT_EQ(w.actors[0].sta, low + 4);
  w.actors[0].state = ActorState::walk;
  steps(w, 0, button::down, 4);  // walking: 50 a tick
  EXPECT_EQ(w.actors[0].sta, low + 6);
  w.actors[0].state = ActorState::fall;  // neither rest nor walk: nothing
  w.actors[0].y = Fx::from_int(500);
  steps(w, 0, none, 3);
  EXPECT_EQ(w.actors[0].sta, low + 6);
}

TEST(ControlWinded, CannotActWalksAtHalfSpeedAndRecovers) {
  World w = game_of("fighter");
  w.fighting = 1;
  World fresh = w;
  Actor& a = w.actors[0];
  a.winded = 1;
  a.sta = 1;
  for (Buttons b : {button::attack, button::jump, button::dash}) {
    step(w, 0, b);
    EXPECT_EQ(w.actors[0].state, ActorState::idle) << b;
    step(w, 0, none);
  }
  steps(w, 0, button::right, 30);
  steps(fresh, 0, button::right, 30);
  // Basic Move 5 in a fight: 5 × 128 = 640, halved while winded.
  EXPECT_EQ(fresh.actors[0].vx.raw, 640);
  EXPECT_EQ(w.actors[0].vx.raw, 320);

  // Recovered once 3 × stamina reaches the maximum (110), but not while paused.
  w.actors[0].sta = 37;
  w.actors[0].stamina_delay = 2;
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].winded, 1);
  w.actors[0].stamina_delay = 0;
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].winded, 0);
  w.actors[0].winded = 1;
  w.actors[0].sta = 35;
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].winded, 1);
}

TEST(ControlDash, EnemiesDashWithoutADashMovePlayersDoNot) {
  World w = game_of("wizard");
  const std::size_t bandit = add_enemy(w, "bandit", 800, 150);
  step(w, bandit, button::dash);
  const Actor& e = w.actors[bandit];
  EXPECT_EQ(e.state, ActorState::dash);
  EXPECT_EQ(e.vx.raw, -7 * cm);
  EXPECT_EQ(e.invuln, 14);
  EXPECT_EQ(count(w, EventKind::dash, e.id), 1);
  steps(w, bandit, none, 17);
  EXPECT_EQ(w.actors[bandit].state, ActorState::dash);
  step(w, bandit, none);
  EXPECT_EQ(w.actors[bandit].state, ActorState::idle);

  step(w, 0, button::dash);
  EXPECT_NE(w.actors[0].state, ActorState::dash);
}

TEST(ControlJump, NeedsAnAirMoveAndLands) {
  World w = game_of("fighter");
  const std::size_t bandit = add_enemy(w, "bandit", 800, 150);
  step(w, bandit, button::jump);
  EXPECT_NE(w.actors[bandit].state, ActorState::jump);

  step(w, 0, button::jump | button::right | button::up);
  const Actor& a = w.actors[0];
  EXPECT_EQ(a.state, ActorState::jump);
  EXPECT_EQ(count(w, EventKind::jump, 0), 1);
  EXPECT_EQ(a.vx.raw, 5 * 128);                 // Basic Move × 128
  EXPECT_EQ(a.vz.raw, -(100 * 5 * 128 / 100));  // ACROSS 100 %
  EXPECT_EQ(a.vy.raw, 14 * cm - 179);           // gravity after the first rise
  step(w, 0, button::attack);
  EXPECT_EQ(w.actors[0].move, move("leaping_slash"));
  EXPECT_EQ(w.actors[0].vx.raw, 5 * 128);  // an air move keeps its way
  int landed = 0;
  for (int k = 0; k < 60 && landed == 0; ++k) {
    step(w, 0, button::attack);
    landed = count(w, EventKind::land, 0);
  }
  EXPECT_EQ(landed, 1);
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  EXPECT_EQ(w.actors[0].y.raw, 0);
  EXPECT_EQ(w.actors[0].air_attacked, 1);
}

TEST(ControlWalk, AcceleratesFacesAndBrakesOnOpposedButtons) {
  World w = game_of("fighter");
  step(w, 0, button::left);
  EXPECT_EQ(w.actors[0].facing, -1);
  EXPECT_EQ(w.actors[0].state, ActorState::walk);
  EXPECT_EQ(w.actors[0].vx.raw, -192);  // ACCEL 0.75
  steps(w, 0, button::left, 20);
  EXPECT_EQ(w.actors[0].vx.raw, -(5 * 170 * 128 / 100));  // jogging out of a fight
  step(w, 0, button::left | button::right);
  EXPECT_EQ(w.actors[0].vx.raw, -(5 * 170 * 128 / 100) + 256);  // BRAKE 1
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  EXPECT_EQ(w.actors[0].facing, -1);
}

TEST(ControlChain, NextMoveStartsOnTheTickThePreviousEnds) {
  World w = game_of("fighter");
  step(w, 0, button::attack);  // slash: ends at 5 + 3 + 10 = 18
  steps(w, 0, none, 6);
  step(w, 0, button::attack);  // T 7: before the window (from 8)
  EXPECT_EQ(w.actors[0].chain_queued, 0);
  step(w, 0, none);
  step(w, 0, button::attack);  // T 9
  EXPECT_EQ(w.actors[0].chain_queued, 1);
  steps(w, 0, none, 8);
  EXPECT_EQ(w.actors[0].move, move("slash"));
  EXPECT_EQ(w.actors[0].state_ticks, 17);
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].move, move("backslash"));
  EXPECT_EQ(w.actors[0].state_ticks, 0);
}

TEST(ControlChain, SkillOpensTheWindowEarlierAndShortensRecovery) {
  World w = game_of("fighter");
  w.actors[0].skill = 3;
  step(w, 0, button::attack);
  steps(w, 0, none, 5);
  step(w, 0, button::attack);  // T 6: 6 + 2 reaches 8
  EXPECT_EQ(w.actors[0].chain_queued, 1);
  steps(w, 0, none, 8);  // ends at 18 - min(5, 3) = 15
  EXPECT_EQ(w.actors[0].move, move("slash"));
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].move, move("backslash"));
  EXPECT_EQ(w.actors[0].state_ticks, 0);
}

TEST(ControlMoves, FirstActiveFrameQueuesEffectsThenSwings) {
  World w = game_of("cleric");
  start_move(w.actors[0], move("turn_undead"));
  steps(w, 0, none, 11);
  EXPECT_TRUE(w.deferred_moves.empty());
  step(w, 0, none);  // T 12 = startup
  ASSERT_EQ(w.deferred_moves.size(), 1u);
  EXPECT_EQ(w.deferred_moves[0], (DeferredMove{0, move("turn_undead")}));
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0], Event::swing_of(move("turn_undead"), 0));
  step(w, 0, none);
  EXPECT_TRUE(w.deferred_moves.empty());
}

TEST(ControlMoves, StartupZeroActsOnTheFirstTick) {
  World w = game_of("fighter");
  start_move(w.actors[0], move("snap_shout"));
  step(w, 0, none);
  EXPECT_EQ(w.deferred_moves.size(), 1u);
  EXPECT_EQ(count(w, EventKind::swing, 0), 1);
}

TEST(ControlMoves, InvulnerableFramesLungeAndTurn) {
  World w = game_of("thief");
  start_move(w.actors[0], move("tumble"));  // invulnerable 1..17, lunge 8, ends at 24
  step(w, 0, none);
  EXPECT_GE(w.actors[0].invuln, 1);
  EXPECT_EQ(w.actors[0].vx.raw, 8 * cm);
  steps(w, 0, none, 17);  // T 18: past the active frames
  EXPECT_EQ(w.actors[0].invuln, 0);
  EXPECT_EQ(w.actors[0].vx.raw, 0);
  steps(w, 0, none, 6);
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  EXPECT_EQ(w.actors[0].facing, -1);
}

TEST(ControlQuickItem, UseSpendsTheItemAtTheFirstActiveFrame) {
  World w = game_of("fighter");
  const std::uint16_t potion = item("healing_potion");
  w.actors[0].bag = {potion, item("ration"), potion};
  w.actors[0].quick = potion;
  step(w, 0, button::quick);
  EXPECT_EQ(w.actors[0].move, move("quaff"));
  EXPECT_EQ(w.actors[0].item_in_use, potion);
  EXPECT_EQ(w.events.back(), Event::actor_item(EventKind::use, 0, potion));
  steps(w, 0, none, 10);  // quaff startup 10
  EXPECT_EQ(w.actors[0].bag, (ItemList{item("ration"), potion}));
  ASSERT_EQ(w.deferred_values.size(), 1u);
  EXPECT_EQ(w.deferred_values[0], (DeferredValue{0, potion}));
}

TEST(ControlQuickItem, AnItemGoneDuringTheWindUpDoesNothing) {
  World w = game_of("fighter");
  const std::uint16_t horn = item("war_horn");
  w.actors[0].bag = {horn};
  w.actors[0].quick = horn;
  World kept = w;
  step(kept, 0, button::quick);
  step(kept, 0, none);
  EXPECT_EQ(kept.deferred_values.size(), 1u);
  EXPECT_EQ(kept.deferred_moves.size(), 1u);

  step(w, 0, button::quick);
  w.actors[0].bag.clear();  // sold during the wind-up
  step(w, 0, none);
  EXPECT_TRUE(w.deferred_values.empty());
  EXPECT_TRUE(w.deferred_moves.empty());
  EXPECT_EQ(count(w, EventKind::swing, 0), 1);
}

TEST(ControlQuickItem, SelectionCyclesDistinctConsumables) {
  World w = game_of("fighter");
  Actor& a = w.actors[0];
  const std::uint16_t potion = item("healing_potion"), ration = item("ration"), flask = item("fire_flask");
  a.bag = {potion, item("dagger"), potion, ration, flask};
  cycle_quick_item(a, 1);  // none counts as position 0
  EXPECT_EQ(a.quick, ration);
  cycle_quick_item(a, 1);
  cycle_quick_item(a, 1);
  EXPECT_EQ(a.quick, potion);  // wrapped
  cycle_quick_item(a, -1);
  EXPECT_EQ(a.quick, flask);

  a.bag = {potion, ration};  // the quick item left the bag: the first consumable
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].quick, potion);
  step(w, 0, button::quick_previous);
  EXPECT_EQ(w.actors[0].quick, ration);
  w.actors[0].bag = {item("dagger")};
  cycle_quick_item(w.actors[0], 1);
  EXPECT_FALSE(w.actors[0].quick.has_value());
}

TEST(ControlSpecial, ArtSelectionNeedsLearningAndSkill) {
  World w = game_of("fighter");
  const Buttons art2 = static_cast<Buttons>(2 << button::art_shift);
  step(w, 0, art2);  // rally_cry has a price: not learned yet
  EXPECT_EQ(w.actors[0].special, 0);
  step(w, 0, art2 | button::special);  // the first special instead
  EXPECT_EQ(w.actors[0].move, move("whirlwind"));
  EXPECT_EQ(w.actors[0].fp, w.actors[0].fp_max - 1);

  World l = game_of("fighter");
  l.actors[0].arts.push_back(move("rally_cry"));
  step(l, 0, art2);
  EXPECT_EQ(l.actors[0].special, 1);
  l.actors[0].fp = 2;  // rally_cry costs 3
  step(l, 0, button::special);
  EXPECT_EQ(l.actors[0].state, ActorState::idle);
  l.actors[0].fp = 3;
  step(l, 0, none);
  step(l, 0, button::special);
  EXPECT_EQ(l.actors[0].move, move("rally_cry"));
}

TEST(ControlSpecial, AKindWithoutSpecialsDoesNothing) {
  World w = game_of("fighter");
  const std::size_t cutpurse = add_enemy(w, "cutpurse", 800, 150);
  step(w, cutpurse, button::special | static_cast<Buttons>(3 << button::art_shift));
  EXPECT_EQ(w.actors[cutpurse].state, ActorState::idle);
}

TEST(ControlGuard, AFreshGuardCancelsAMoveIntoABlock) {
  World w = game_of("fighter");
  step(w, 0, button::down);
  step(w, 0, button::down);
  ASSERT_NE(w.actors[0].vz.raw, 0);
  step(w, 0, button::attack);
  step(w, 0, button::guard);
  EXPECT_EQ(w.actors[0].state, ActorState::block);
  EXPECT_EQ(w.actors[0].state_ticks, 0);
  step(w, 0, button::guard);
  EXPECT_EQ(w.actors[0].state_ticks, 1);
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].state, ActorState::idle);

  step(w, 0, button::down);  // a block raised while walking across stops there
  step(w, 0, button::down | button::guard);
  EXPECT_EQ(w.actors[0].state, ActorState::block);
  EXPECT_EQ(w.actors[0].vz.raw, 0);
}

TEST(ControlDown, PlayersGetUpEnemiesAreKnockedOutAndLeave) {
  World w = game_of("fighter");
  const std::size_t bandit = add_enemy(w, "bandit", 800, 150);
  for (std::size_t i : {std::size_t{0}, bandit}) w.actors[i].state = ActorState::down;
  w.actors[bandit].hp = 0;
  steps(w, 0, none, 40);
  EXPECT_EQ(w.actors[0].state, ActorState::getup);
  EXPECT_EQ(w.actors[0].invuln, 26);
  steps(w, 0, none, 20);
  EXPECT_EQ(w.actors[0].state, ActorState::idle);

  steps(w, bandit, none, 39);
  EXPECT_EQ(w.actors[bandit].state, ActorState::down);
  step(w, bandit, none);
  EXPECT_EQ(w.actors[bandit].state, ActorState::ko);
  EXPECT_EQ(count(w, EventKind::ko, w.actors[bandit].id), 1);
  steps(w, bandit, none, 90);
  EXPECT_EQ(w.actors[bandit].gone, 1);

  w.actors[0].state = ActorState::ko;  // players stay; the count stops at its top
  w.actors[0].state_ticks = 65535;
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].state_ticks, 65535);
  EXPECT_EQ(w.actors[0].gone, 0);
}

TEST(ControlRegeneration, FatigueAndManaPeriods) {
  World w = game_of("wizard");  // IQ 14, mage robe without fatigue
  Actor& a = w.actors[0];
  a.fp -= 1;
  a.mana -= 2;
  steps(w, 0, none, 42);  // mana: 2400 / 14 / 4 = 42 out of a fight
  EXPECT_EQ(w.actors[0].mana, w.actors[0].mana_max - 1);
  EXPECT_EQ(w.actors[0].fp, w.actors[0].fp_max - 1);
  steps(w, 0, none, 18);  // fp: 60 out of a fight
  EXPECT_EQ(w.actors[0].fp, w.actors[0].fp_max);

  w.actors[0].mana_regen = 0;
  steps(w, 0, button::guard, 60);  // no mana while in the bubble
  EXPECT_EQ(w.actors[0].state, ActorState::block);
  EXPECT_EQ(w.actors[0].mana, w.actors[0].mana_max - 1);
}

TEST(ControlMovement, FallLandsDownAndFrictionStops) {
  World w = game_of("fighter");
  Actor& a = w.actors[0];
  a.state = ActorState::fall;
  a.y = Fx::from_int(2);
  a.vx = Fx::from_int(3);
  w.camera_x = a.x;
  int downs = 0;
  for (int k = 0; k < 10 && downs == 0; ++k) {
    step(w, 0, none);
    downs = count(w, EventKind::down, 0);
  }
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(w.actors[0].state, ActorState::down);
  EXPECT_EQ(w.actors[0].vx.raw, 0);

  w.actors[0].state = ActorState::stun;
  w.actors[0].stun = 100;
  w.actors[0].vx = Fx::from_raw(300);
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].vx.raw, 172);
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].vx.raw, 44);
  step(w, 0, none);
  EXPECT_EQ(w.actors[0].vx.raw, 0);
}

TEST(ControlMovement, BandAndCameraWindow) {
  World w = game_of("fighter");
  const std::size_t bandit = add_enemy(w, "bandit", 1300, 150);
  Actor& p = w.actors[0];
  p.x = Fx::from_int(1160);  // camera at 600: the window ends at 600 + 570
  p.vx = Fx::from_int(20);
  p.z = Fx::from_int(5);
  p.vz = Fx::from_int(-20);
  w.actors[bandit].vx = Fx::from_int(20);
  w.actors[bandit].state = ActorState::dash;
  move_actor(w, 0, {});
  move_actor(w, bandit, {});
  EXPECT_EQ(w.actors[0].x.raw, 1170 * cm);
  EXPECT_EQ(w.actors[0].z.raw, 0);
  EXPECT_EQ(w.actors[bandit].x.raw, 1320 * cm);  // enemies are not held by the camera
}

TEST(ControlMovement, ClosedBarriersHoldActorsOnTheirSide) {
  World w = game_of("fighter", stage_named("barrow_crypt"));
  std::vector<std::int32_t> barriers;
  closed_barriers(w, barriers);
  ASSERT_EQ(barriers, (std::vector<std::int32_t>{1700}));
  const std::size_t left = add_enemy(w, "bandit", 1660, 150);
  const std::size_t right = add_enemy(w, "bandit", 1740, 150);
  w.actors[left].vx = Fx::from_int(30);
  w.actors[right].vx = Fx::from_int(-30);
  move_actor(w, left, barriers);
  move_actor(w, right, barriers);
  EXPECT_EQ(w.actors[left].x.raw, 1675 * cm);
  EXPECT_EQ(w.actors[right].x.raw, 1725 * cm);

  w.levers_pulled.assign(w.levers_pulled.size(), 1);
  closed_barriers(w, barriers);
  EXPECT_TRUE(barriers.empty());
}

TEST(ControlEncumbrance, LevelsAgainstTheBasicLift) {
  World w = game_of("fighter");
  Actor& a = w.actors[0];
  a.gear = {};
  a.st = 5;  // basic lift 50 tenths
  a.bag = {item("leather_armor")};  // 100
  EXPECT_EQ(encumbrance_level(a), 4);
  a.bag.push_back(item("leather_armor"));  // 200
  EXPECT_EQ(encumbrance_level(a), 2);
  EXPECT_EQ(encumbrance_penalty(a), -3);
  a.st = 0;
  EXPECT_EQ(encumbrance_level(a), 1);
  a.st = 2'000'000'000;  // 2 × ST² needs 64 bits
  EXPECT_EQ(encumbrance_level(a), 5);
}

}  // namespace
}  // namespace velmora
