#include "core/interactions.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/control.h"
#include "core/game_data.h"
#include "core/sim.h"

namespace velmora {
namespace {

// The built-in data with a stage "lab" (4000 by 400, no gates): shop 300, inn
// 500, trainer 700 (z 100); chest 0 open at (1000, 20) of the table "row",
// chest 1 locked at (1300, 200) with lock 2 of "common"; a door (2000, 200)
// and a secret passage (2300, 200); a lever (2600, 100) for the barrier 2800;
// trap 0 (3000, 200) of 1d6, trap 1 (3500, 200) of 2d6 + 10. "row" rolls 3:
// silver 5..9 (weight 1), food 7 (weight 2), a steel helm (weight 3).
class TestData : public ::testing::Environment {
 public:
  void SetUp() override {
    GameData d = builtin_data();
    const std::uint16_t helm = *item_id(d.items, "steel_helm");
    d.loot.push_back(
        {"row",
         {{LootKind::silver, 0, 5, 9, 0, 1}, {LootKind::food, 0, 0, 0, 7, 2}, {LootKind::item, helm, 0, 0, 0, 3}},
         3});
    StageDef lab;
    lab.name = "lab";
    lab.length = 4000;
    lab.depth = 400;
    lab.view_w = 1200;
    lab.shop_at = Point{300, 100};
    lab.inn_at = Point{500, 100};
    lab.trainer_at = Point{700, 100};
    lab.chests = {{d.loot.size() - 1, 1000, 20, 0, false}, {0, 1300, 200, 2, true}};
    const std::uint64_t town = *stage_index(d.stages, "millbrook");
    lab.doors = {{"Gate", town, 2000, 200, 300, false}, {"", town, 2300, 200, 300, true}};
    lab.levers = {{2600, 100, 2800}};
    lab.barriers = {2800};
    lab.traps = {{3000, 200, 1, 0}, {3500, 200, 2, 10}};
    d.stages.push_back(lab);
    ASSERT_EQ(d.loot[0].rolls, 1);
    ASSERT_TRUE(install_game_data(std::move(d)).ok());
  }
};

const auto* const test_data = ::testing::AddGlobalTestEnvironment(new TestData);

using K = EventKind;
using Prep = std::function<void(World&)>;
using Check = std::function<void(const World&)>;
const Prep as_is = [](World&) {};
const Check no_check = [](const World&) {};

std::uint16_t item(std::string_view name) { return *item_id(game_data().items, name); }

// Players of the classes on the lab (slots 0, 1, ...), the first at (x, z).
World lab(std::vector<std::string_view> classes, std::int32_t x = 0, std::int32_t z = 0) {
  std::vector<CharacterSheet> party;
  for (std::string_view c : classes) party.push_back(new_character(*kind_id(game_data().kinds, c)));
  for (std::size_t i = 0; i < party.size(); ++i) party[i].slot = static_cast<std::uint8_t>(i);
  World w = new_game(game_data().stages.size() - 1, 11, party);
  w.actors[0].x = Fx::from_int(x);
  w.actors[0].z = Fx::from_int(z);
  return w;
}

// A generator whose next draws give what is wanted.
Rng rng_where(const std::function<bool(Rng&)>& wanted) {
  for (std::uint64_t state = 0;; ++state) {
    Rng probe{state};
    if (wanted(probe)) return Rng{state};
  }
}

Rng rng_for(RollOutcome wanted, std::int32_t skill) {
  return rng_where([=](Rng& r) { return roll_3d6(r, skill).outcome == wanted; });
}

void lay(World& w, std::string_view name, std::int32_t x, std::int32_t z) {
  ASSERT_TRUE(lay_pickup(w, PickupContent::of_item(item(name)), Fx::from_int(x), Fx::from_int(z)));
}

Check works(std::uint8_t kind, std::uint16_t target, std::uint16_t ticks) {
  return [=](const World& w) {
    const Actor& a = w.actors[0];
    EXPECT_EQ(std::tuple(a.state, a.work_kind, a.work_target, a.work_ticks),
              std::tuple(ActorState::work, kind, target, ticks));
    EXPECT_EQ(a.vx, Fx{}) << "nobody slides while working";
  };
}

// The use cascade: a player of a class at (x, z) presses use; actor 0 acts.
TEST(Use, TheFirstThingThatAnswersInOrder) {
  const Prep seen = [](World& w) { w.trap_states[0].state = trap_seen; };
  const Prep jammed = [](World& w) { w.chests[1].jammed = 1; };
  const PickupContent helm = PickupContent::of_item(item("steel_helm"));
  struct Row {
    const char* cls;
    std::int32_t x, z;
    Prep setup;
    std::vector<Event> events;
    Check check;
  };
  const Row rows[] = {
      {"fighter", 370, 150, as_is, {Event::of_actor(K::shop, 0)}, no_check},
      {"fighter", 500, 60, as_is, {Event::of_actor(K::inn, 0)}, no_check},
      {"fighter", 640, 100, as_is, {Event::of_actor(K::trainer, 0)}, no_check},
      {"fighter", 376, 100, as_is, {}, no_check},  // out of reach
      {"fighter", 300, 100, [](World& w) { lay(w, "ration", 300, 100); }, {Event::of_actor(K::shop, 0)}, no_check},
      {"fighter",
       3800,
       300,
       [](World& w) { lay(w, "steel_helm", 3830, 250); },
       {Event::actor_item(K::equip, 0, item("steel_helm")), Event::pickup_of(0, helm)},
       [](const World& w) {
         EXPECT_EQ(w.actors[0].gear[1], item("steel_helm"));
         EXPECT_EQ(w.actors[0].bag, ItemList{item("leather_cap")}) << "the old helm to the bag";
       }},
      {"fighter",
       3800,
       300,
       [](World& w) {
         lay(w, "strong_potion", 3830, 300);
         lay(w, "ration", 3790, 300);
       },
       {Event::pickup_of(0, PickupContent::of_item(item("ration")))},
       no_check},  // the nearest
      {"wizard", 1040, 60, as_is, {Event::of_index(K::chest_open, 0)}, no_check},
      {"thief", 1300, 200, as_is, {Event::work_of(1, 0)}, works(work_pick, 1, 70)},
      {"fighter", 1300, 200, as_is, {Event::work_of(2, 0)}, works(work_force, 1, 150)},
      {"fighter", 1300, 200, jammed, {Event::work_of(2, 0)}, no_check},
      {"wizard", 1300, 200, as_is, {Event::refuse_of(0, RefuseReason::locked)}, no_check},
      {"thief", 1300, 200, jammed, {Event::refuse_of(0, RefuseReason::jammed)}, no_check},
      {"wizard", 1300, 200, [](World& w) { w.chests[1].opened = 1; }, {}, no_check},
      {"wizard",
       2050,
       230,
       as_is,
       {Event::actor_index(K::door, 0, 0)},
       [](const World& w) { EXPECT_EQ(w.pending_door, 0u); }},
      {"wizard",
       2000,
       200,
       [](World& w) { w.fighting = 1; },
       {Event::refuse_of(0, RefuseReason::fighting)},
       [](const World& w) { EXPECT_FALSE(w.pending_door); }},
      {"wizard", 2300, 200, as_is, {}, no_check},  // a secret passage not found
      {"wizard",
       2300,
       200,
       [](World& w) { w.door_states[1].found = 1; },
       {Event::actor_index(K::door, 0, 1)},
       no_check},
      {"wizard",
       2600,
       100,
       as_is,
       {Event::actor_index(K::lever, 0, 0)},
       [](const World& w) {
         std::vector<std::int32_t> closed;
         closed_barriers(w, closed);
         EXPECT_TRUE(closed.empty());
       }},
      {"wizard", 2600, 100, [](World& w) { w.levers_pulled[0] = 1; }, {}, no_check},
      {"thief", 3000, 200, as_is, {}, no_check},  // an unseen trap
      {"thief", 3000, 200, seen, {Event::work_of(3, 0)}, works(work_disarm, 0, 90)},
      {"cleric", 3000, 200, seen, {Event::refuse_of(0, RefuseReason::trap)}, no_check},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cls) + " at " + std::to_string(r.x) + ", " + std::to_string(r.z));
    World w = lab({r.cls}, r.x, r.z);
    w.actors[0].vx = Fx::from_int(3);
    r.setup(w);
    interact(w, 0);
    EXPECT_EQ(w.events, r.events);
    r.check(w);
  }
}

// Completion by kind and roll; work whose object changed meanwhile draws nothing.
TEST(Work, CompletionByKindAndRoll) {
  using O = RollOutcome;
  struct Row {
    const char* cls;
    std::uint8_t kind;
    std::optional<O> roll;
    Prep setup;
    std::vector<Event> events;
    Check check;
  };
  const Row rows[] = {
      {"thief", work_pick, O::success, as_is, {Event::of_index(K::chest_open, 1)}, no_check},
      {"thief", work_pick, O::critical_success, as_is, {Event::of_index(K::chest_open, 1)}, no_check},
      {"thief", work_pick, O::failure, as_is, {Event::of_actor(K::lock_fail, 0)}, no_check},
      {"thief",
       work_pick,
       O::critical_failure,
       as_is,
       {Event::of_actor(K::lock_jam, 0)},
       [](const World& w) { EXPECT_EQ(w.chests[1].jammed, 1); }},
      {"thief",
       work_pick,
       std::nullopt,
       [](World& w) { w.chests[1].opened = 1; },
       {},
       [](const World& w) { EXPECT_EQ(w.xp_pool, 0u) << "no second experience"; }},
      {"fighter",
       work_force,
       std::nullopt,
       as_is,
       {Event::of_index(K::forced, 1), Event::of_index(K::chest_open, 1)},
       [](const World& w) { EXPECT_EQ(w.xp_pool, 4u); }},
      {"fighter", work_force, std::nullopt, [](World& w) { w.chests[1].opened = 1; }, {}, no_check},
      {"thief",
       work_disarm,
       O::success,
       as_is,
       {Event::actor_index(K::disarmed, 0, 0)},
       [](const World& w) { EXPECT_EQ(w.trap_states[0].state, trap_disarmed); }},
      {"thief", work_disarm, O::failure, as_is, {Event::of_actor(K::disarm_fail, 0)}, no_check},
      {"thief", work_disarm, std::nullopt, [](World& w) { w.trap_states[0].state = trap_sprung; }, {}, no_check},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.kind) + (r.roll ? " roll " + std::to_string(static_cast<int>(*r.roll)) : ""));
    World w = lab({r.cls}, 3000, 200);
    Actor& a = w.actors[0];
    a.state = ActorState::work;
    a.state_ticks = a.work_ticks = 70;
    a.work_kind = r.kind;
    a.work_target = r.kind == work_disarm ? 0 : 1;
    w.trap_states[0].state = trap_seen;
    const std::int32_t lockpick = kind_by_id(a.kind).lockpick;
    if (r.roll) w.rng = rng_for(*r.roll, r.kind == work_pick ? lockpick - 2 : lockpick);
    r.setup(w);
    const World before = w;
    finish_work(w, 0);
    EXPECT_EQ(w.actors[0].state, ActorState::idle);
    EXPECT_EQ(w.events, r.events);
    if (r.events.empty()) {
      EXPECT_EQ(w.rng, before.rng);
    }
    r.check(w);
  }
  // A critical failure springs the trap on the worker.
  World w = lab({"thief"}, 3000, 200);
  w.actors[0].state = ActorState::work;
  w.actors[0].work_kind = work_disarm;
  w.trap_states[0].state = trap_seen;
  w.rng = rng_for(RollOutcome::critical_failure, 14);
  finish_work(w, 0);
  EXPECT_EQ(w.trap_states[0].state, trap_sprung);
  EXPECT_EQ(w.actors[0].state, ActorState::fall);
}

// Through the tick: use starts the work, it runs its time; a step cancels it.
TEST(Work, RunsItsTimeAndAStepCancelsIt) {
  for (const Buttons later : {Buttons{0}, button::left}) {
    World w = lab({"fighter"}, 1300, 200);
    w.camera_x = Fx::from_int(1300);
    const std::array<Buttons, 1> use{button::use}, then{later};
    tick(w, use);
    for (int i = 0; i < 150; ++i) tick(w, then);
    EXPECT_EQ(w.chests[1].opened, later == 0 ? 1 : 0);
  }
}

TEST(Chest, LootDrawnByWeightInARowAndTheFloorBounded) {
  World w = lab({"wizard"});
  w.pickups.resize(2);  // ids go on from the list's length
  Rng r = w.rng;
  std::vector<Pickup> expected = w.pickups;
  for (std::int32_t i = 0; i < 3; ++i) {
    const std::uint64_t e = r.next() % 6;
    const PickupContent content = e < 1   ? PickupContent::silver(static_cast<std::uint32_t>(range(r, 5, 9)))
                                  : e < 3 ? PickupContent::food(7)
                                          : PickupContent::of_item(item("steel_helm"));
    expected.push_back({content, Fx::from_int(940 + 60 * i), Fx{}, static_cast<std::uint16_t>(2 + i), 0});
  }
  open_chest(w, 0);
  EXPECT_EQ(w.pickups, expected) << "z 20 - 40 is held at 0";
  EXPECT_EQ(w.rng, r);
  open_chest(w, 1);  // one roll: at the chest's x, 40 cm in front; unlocked
  EXPECT_EQ(w.pickups.back().x, Fx::from_int(1300));
  EXPECT_EQ(w.pickups.back().z, Fx::from_int(160));
  EXPECT_EQ(w.chests[1].locked, 0);
  EXPECT_EQ(w.xp_pool, 8u);

  World full = lab({"wizard"});
  while (lay_pickup(full, PickupContent::silver(1), Fx{}, Fx{})) {
  }
  ASSERT_EQ(full.pickups.size(), max_stage_pickups);
  EXPECT_EQ(full.pickups.back().id, max_stage_pickups - 1);
  const World before = full;
  open_chest(full, 0);  // opens, lays nothing, draws nothing
  EXPECT_EQ(full.pickups, before.pickups);
  EXPECT_EQ(full.rng, before.rng);
}

// Two players stand on a pickup; who takes it.
TEST(Pickups, FoodAndSilverUnderfoot) {
  const PickupContent food = PickupContent::food(7), silver = PickupContent::silver(9);
  const std::tuple<PickupContent, Prep, std::optional<std::uint16_t>> rows[] = {
      {silver, as_is, 0},
      {food, as_is, std::nullopt},  // both at full health
      {food, [](World& w) { w.actors[1].hp -= 3; }, std::nullopt},  // the first in reach decides
      {food, [](World& w) { w.actors[0].state = ActorState::attack, w.actors[1].hp -= 3; }, 1},
      {silver, [](World& w) { w.actors[0].state = w.actors[1].state = ActorState::attack; }, std::nullopt},
      {silver, [](World& w) { w.actors[0].x = w.actors[1].x = Fx::from_int(1546); }, std::nullopt},
      {PickupContent::of_item(item("ration")), as_is, std::nullopt},
  };
  for (const auto& [content, setup, taker] : rows) {
    World w = lab({"fighter", "thief"}, 1545, 345);
    w.actors[1].x = w.actors[0].x;
    w.actors[1].z = w.actors[0].z;
    setup(w);
    ASSERT_TRUE(lay_pickup(w, content, Fx::from_int(1500), Fx::from_int(300)));
    const World before = w;
    take_pickups(w);
    if (!taker) {
      EXPECT_EQ(w, before);
      continue;
    }
    const Actor& a = w.actors[*taker];
    EXPECT_EQ(w.events, std::vector<Event>{Event::pickup_of(*taker, content)});
    if (content == silver) {
      EXPECT_EQ(a.silver, before.actors[*taker].silver + 9);
    } else {
      EXPECT_EQ(a.hp, a.hp_max) << "healed to the top, not beyond";
    }
  }
}

TEST(Search, EachSlotRollsOnceForEachThing) {
  World w = lab({"fighter", "thief"}, 2100, 0);  // within 220 of the passage; z is not compared
  w.actors[1].x = Fx::from_int(2521);
  const Rng start = w.rng;
  update_traps(w);
  EXPECT_EQ(w.door_states[1].searched, 0b01) << "a fighter marks its slot without a roll";
  EXPECT_EQ(w.rng, start);
  w.actors[1].x = Fx::from_int(2300);  // the thief (skill 13) fails once, and never rolls again
  w.rng = rng_for(RollOutcome::failure, 13);
  Rng once = w.rng;
  (void)roll_3d6(once, 13);
  update_traps(w);
  update_traps(w);
  EXPECT_EQ(w.door_states[1], (DoorState{0, 0b11}));
  EXPECT_EQ(w.rng, once);

  World t = lab({"thief"}, 3220, 0);
  t.rng = rng_for(RollOutcome::success, 13);
  update_traps(t);
  EXPECT_EQ(t.trap_states[0], (TrapState{trap_seen, 0b1}));
  EXPECT_EQ(t.events, std::vector<Event>{Event::actor_index(K::trap_seen, 0, 0)});
  World d = lab({"thief"}, 2300, 0);
  d.rng = rng_for(RollOutcome::critical_success, 13);
  update_traps(d);
  EXPECT_EQ(d.events, std::vector<Event>{Event::found_of(0, 0, 1)});
  EXPECT_EQ(d.door_states[1].found, 1);
}

// Two fighters stand on trap 1; who is caught.
TEST(Traps, SpringOnTheFirstPlayerStandingOnThem) {
  const std::pair<Prep, std::optional<std::uint16_t>> rows[] = {
      {as_is, 0},
      {[](World& w) { w.trap_states[1].state = trap_seen; }, 0},
      {[](World& w) { w.actors[0].y = Fx::from_raw(1); }, 1},  // jumping over
      {[](World& w) { w.actors[0].invuln = 3; }, 1},           // dashing over
      {[](World& w) { w.actors[0].state = ActorState::down; }, 1},
      {[](World& w) { w.actors[0].gone = 1; }, 1},
      {[](World& w) { w.trap_states[1].state = trap_sprung; }, std::nullopt},
      {[](World& w) { w.trap_states[1].state = trap_disarmed; }, std::nullopt},
      {[](World& w) { w.actors[0].z = w.actors[1].z = Fx::from_int(231); }, std::nullopt},
  };
  for (const auto& [setup, caught] : rows) {
    World w = lab({"fighter", "fighter"}, 3535, 170);
    w.actors[1].x = w.actors[0].x;
    w.actors[1].z = w.actors[0].z;
    setup(w);
    const World before = w;
    update_traps(w);
    if (!caught) {
      EXPECT_TRUE(w.events.empty());
      EXPECT_EQ(w.actors, before.actors);
      continue;
    }
    Rng r = before.rng;
    const std::int64_t damage = 10 + d6(r) + d6(r);
    const Actor& a = w.actors[*caught];
    const std::int64_t injury = 2 * (damage - total_dr(a));
    EXPECT_EQ(w.events, std::vector<Event>{Event::trap_of(*caught, 1, static_cast<std::int32_t>(injury))});
    EXPECT_EQ(w.trap_states[1].state, trap_sprung);
    EXPECT_EQ(a.hp, std::max<std::int64_t>(1, before.actors[*caught].hp - injury));
    EXPECT_EQ(a.state, ActorState::fall);
    EXPECT_EQ(a.vy, Fx::from_int(5));
    EXPECT_EQ(w.actors[1 - *caught].hp, before.actors[1 - *caught].hp) << "only one is hurt";
  }
  // 1d6 of 4 against DR 0 wounds 8, the undead 4: temporary points first, never below 1.
  const std::tuple<std::int32_t, std::int32_t, const char*, std::int32_t, std::int32_t> wounds[] = {
      {3, 0, "fighter", 1, 0},   {0, 0, "fighter", 0, 0},   {-2, 0, "fighter", -2, 0},
      {20, 5, "fighter", 17, 0}, {20, 9, "fighter", 20, 1}, {20, 0, "skeleton", 16, 0}};
  for (const auto& [hp, temp, kind, hp_after, temp_after] : wounds) {
    World w = lab({"fighter"});
    Actor& a = w.actors[0];
    a.kind = *kind_id(game_data().kinds, kind);
    a.gear = {};
    a.dr = 0;
    a.hp = hp;
    a.temp_hp = temp;
    w.rng = rng_where([](Rng& r) { return d6(r) == 4; });
    spring_trap(w, 0, 0);
    EXPECT_EQ(std::pair(a.hp, a.temp_hp), std::pair(hp_after, temp_after)) << hp << " " << kind;
  }
}

}  // namespace
}  // namespace velmora
