#include "core/interactions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/control.h"
#include "core/game_data.h"
#include "core/sim.h"

namespace velmora {
namespace {

// The built-in data with a stage of our own, "lab" (4000 long, 400 deep, no
// gates, no exit): the shop at 300, the inn at 500 and the trainer at 700
// (all at z 100); chest 0 open at (1000, 20) with the table "row", chest 1
// locked at (1300, 200) with lock 2 and the table "common"; a door at
// (2000, 200) to millbrook and a secret passage at (2300, 200); a lever at
// (2600, 100) for the barrier at 2800; trap 0 at (3000, 200) of 1d6 and trap 1
// at (3500, 200) of 2d6 + 10. "row" rolls 3 times: silver 5..9 (weight 1),
// food 7 (weight 2), a steel helm (weight 3).
class TestData : public ::testing::Environment {
 public:
  void SetUp() override {
    GameData d = builtin_data();
    LootTable row;
    row.name = "row";
    row.rolls = 3;
    row.entries = {{LootKind::silver, 0, 5, 9, 0, 1}, {LootKind::food, 0, 0, 0, 7, 2},
                   {LootKind::item, *item_id(d.items, "steel_helm"), 0, 0, 0, 3}};
    d.loot.push_back(row);
    StageDef lab;
    lab.name = "lab";
    lab.length = 4000;
    lab.depth = 400;
    lab.view_w = 1200;
    lab.shop_at = Point{300, 100};
    lab.inn_at = Point{500, 100};
    lab.trainer_at = Point{700, 100};
    lab.chests = {{d.loot.size() - 1, 1000, 20, 0, false}, {*loot_index(d, "common"), 1300, 200, 2, true}};
    const std::uint64_t town = *stage_index(d.stages, "millbrook");
    lab.doors = {{"Gate", town, 2000, 200, 300, false}, {"", town, 2300, 200, 300, true}};
    lab.levers = {{2600, 100, 2800}};
    lab.barriers = {2800};
    lab.traps = {{3000, 200, 1, 0}, {3500, 200, 2, 10}};
    d.stages.push_back(lab);
    ASSERT_TRUE(install_game_data(std::move(d)).ok());
  }

  static std::optional<std::uint64_t> loot_index(const GameData& d, std::string_view name) {
    for (std::size_t i = 0; i < d.loot.size(); ++i) {
      if (d.loot[i].name == name) return i;
    }
    return std::nullopt;
  }
};

const auto* const test_data = ::testing::AddGlobalTestEnvironment(new TestData);

constexpr std::int32_t cm = 256;
using K = EventKind;

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint16_t item(std::string_view name) { return *item_id(game_data().items, name); }
std::uint64_t lab() { return game_data().stages.size() - 1; }

// Players of the given classes on the lab, slots 0, 1, ...
World lab_game(std::vector<std::string_view> classes) {
  std::vector<CharacterSheet> party;
  for (std::size_t i = 0; i < classes.size(); ++i) {
    party.push_back(new_character(kind(classes[i])));
    party.back().slot = static_cast<std::uint8_t>(i);
  }
  World w = new_game(lab(), 11, party);
  w.events.clear();
  return w;
}

void place(Actor& a, std::int32_t x, std::int32_t z) {
  a.x = Fx::from_int(x);
  a.z = Fx::from_int(z);
}

// A generator whose next 3d6 roll against the skill has the outcome wanted.
Rng rng_for(RollOutcome wanted, std::int32_t skill) {
  for (std::uint64_t state = 0;; ++state) {
    Rng probe{state};
    if (roll_3d6(probe, skill).outcome == wanted) return Rng{state};
  }
}

// ---- the use button --------------------------------------------------------------

// One row: a player of a class at (x, z) presses use on a prepared lab; the
// events that come out (actor 0 acts), and a check of the world afterwards.
struct UseCase {
  const char* name;
  const char* cls;
  std::int32_t x, z;
  std::function<void(World&)> setup;
  std::vector<Event> events;
  std::function<void(const World&)> check;
};

void lay_item(World& w, std::string_view name, std::int32_t x, std::int32_t z) {
  ASSERT_TRUE(lay_pickup(w, PickupContent::of_item(item(name)), Fx::from_int(x), Fx::from_int(z)));
}

void expect_work(const World& w, std::uint8_t kind, std::uint16_t target, std::uint16_t ticks) {
  const Actor& a = w.actors[0];
  EXPECT_EQ(a.state, ActorState::work);
  EXPECT_EQ(a.state_ticks, 0);
  EXPECT_EQ(a.work_kind, kind);
  EXPECT_EQ(a.work_target, target);
  EXPECT_EQ(a.work_ticks, ticks);
  EXPECT_EQ(a.vx, Fx{}) << "nobody slides while working";
  EXPECT_EQ(a.vz, Fx{});
}

const auto nothing = [](World&) {};
const auto no_check = [](const World&) {};

TEST(Use, TheFirstThingThatAnswersInTheCascadeOrder) {
  const Event refuse_locked = Event::refuse_of(0, RefuseReason::locked);
  const std::vector<UseCase> cases = {
      {"shop", "fighter", 370, 150, nothing, {Event::of_actor(K::shop, 0)}, no_check},
      {"inn", "fighter", 500, 60, nothing, {Event::of_actor(K::inn, 0)}, no_check},
      {"trainer", "fighter", 640, 100, nothing, {Event::of_actor(K::trainer, 0)}, no_check},
      {"beyond reach of the shop", "fighter", 376, 100, nothing, {}, no_check},
      {"the shop before an item lying there", "fighter", 300, 100, [](World& w) { lay_item(w, "ration", 300, 100); },
       {Event::of_actor(K::shop, 0)}, [](const World& w) { EXPECT_EQ(w.pickups[0].taken, 0); }},
      {"a helm is worn at once, the cap goes to the bag", "fighter", 3800, 300,
       [](World& w) { lay_item(w, "steel_helm", 3830, 280); },
       {Event::actor_item(K::equip, 0, item("steel_helm")), Event::pickup_of(0, PickupContent::of_item(item("steel_helm")))},
       [](const World& w) {
         EXPECT_EQ(w.actors[0].gear[1], item("steel_helm"));
         EXPECT_EQ(w.actors[0].bag, ItemList{item("leather_cap")});
         EXPECT_EQ(w.pickups[0].taken, 1);
       }},
      {"the nearest item, not the first laid", "fighter", 3800, 300,
       [](World& w) {
         lay_item(w, "healing_potion", 3830, 300);
         lay_item(w, "ration", 3790, 300);
       },
       {Event::pickup_of(0, PickupContent::of_item(item("ration")))},
       [](const World& w) { EXPECT_EQ(w.actors[0].bag, ItemList{item("ration")}); }},
      {"an open chest opens", "wizard", 1040, 60, nothing, {Event::of_index(K::chest_open, 0)},
       [](const World& w) { EXPECT_EQ(w.xp_pool, 4u); }},
      {"a thief picks a lock", "thief", 1300, 200, nothing, {Event::work_of(1, 0)},
       [](const World& w) { expect_work(w, work_pick, 1, 70); }},
      {"a fighter forces a lock", "fighter", 1300, 200, nothing, {Event::work_of(2, 0)},
       [](const World& w) { expect_work(w, work_force, 1, 150); }},
      {"a fighter forces a jammed chest too", "fighter", 1300, 200, [](World& w) { w.chests[1].jammed = 1; },
       {Event::work_of(2, 0)}, no_check},
      {"a wizard cannot open a lock", "wizard", 1300, 200, nothing, {refuse_locked}, no_check},
      {"a thief cannot pick a jammed lock", "thief", 1300, 200, [](World& w) { w.chests[1].jammed = 1; },
       {Event::refuse_of(0, RefuseReason::jammed)}, no_check},
      {"an opened chest is passed over", "wizard", 1300, 200, [](World& w) { w.chests[1].opened = 1; }, {}, no_check},
      {"a door", "wizard", 2050, 230, nothing, {Event::actor_index(K::door, 0, 0)},
       [](const World& w) { EXPECT_EQ(w.pending_door, 0u); }},
      {"no door in a fight", "wizard", 2000, 200, [](World& w) { w.fighting = 1; },
       {Event::refuse_of(0, RefuseReason::fighting)}, [](const World& w) { EXPECT_FALSE(w.pending_door); }},
      {"a secret passage not yet found", "wizard", 2300, 200, nothing, {}, no_check},
      {"a secret passage found", "wizard", 2300, 200, [](World& w) { w.door_states[1].found = 1; },
       {Event::actor_index(K::door, 0, 1)}, [](const World& w) { EXPECT_EQ(w.pending_door, 1u); }},
      {"a lever opens its barrier", "wizard", 2600, 100, nothing, {Event::actor_index(K::lever, 0, 0)},
       [](const World& w) {
         std::vector<std::int32_t> closed;
         closed_barriers(w, closed);
         EXPECT_TRUE(closed.empty());
       }},
      {"a pulled lever stays pulled", "wizard", 2600, 100, [](World& w) { w.levers_pulled[0] = 1; }, {}, no_check},
      {"an unseen trap is not known", "thief", 3000, 200, nothing, {}, no_check},
      {"a thief disarms a seen trap", "thief", 3000, 200, [](World& w) { w.trap_states[0].state = trap_seen; },
       {Event::work_of(3, 0)}, [](const World& w) { expect_work(w, work_disarm, 0, 90); }},
      {"others leave a seen trap alone", "cleric", 3000, 200, [](World& w) { w.trap_states[0].state = trap_seen; },
       {Event::refuse_of(0, RefuseReason::trap)}, no_check},
  };
  for (const UseCase& c : cases) {
    SCOPED_TRACE(c.name);
    World w = lab_game({c.cls});
    place(w.actors[0], c.x, c.z);
    w.actors[0].vx = Fx::from_int(3);
    c.setup(w);
    interact(w, 0);
    EXPECT_EQ(w.events, c.events);
    c.check(w);
  }
}

// The button itself, through the tick: a fresh press only, from idle or walk.
TEST(Use, AFreshPressInTheTickReachesTheShop) {
  World w = new_game(*stage_index(game_data().stages, "millbrook"), 3, {new_character(kind("fighter"))});
  place(w.actors[0], 550, 100);
  const std::array<Buttons, 1> use{button::use};
  tick(w, use);
  EXPECT_EQ(w.events, std::vector<Event>{Event::of_actor(K::shop, 0)});
  tick(w, use);
  EXPECT_TRUE(w.events.empty()) << "held, not pressed again";
}

// ---- work ----------------------------------------------------------------------------

struct WorkCase {
  const char* name;
  const char* cls;
  std::uint8_t work;
  std::uint16_t target;
  std::optional<RollOutcome> roll;  // none: no roll is made
  std::function<void(World&)> setup;
  std::vector<Event> events;
  std::function<void(const World&)> check;
};

TEST(Work, CompletionByKindAndRoll) {
  const std::vector<WorkCase> cases = {
      {"a pick opens the lock", "thief", work_pick, 1, RollOutcome::success, nothing,
       {Event::of_index(K::chest_open, 1)}, [](const World& w) { EXPECT_EQ(w.chests[1].opened, 1); }},
      {"a critical pick opens it too", "thief", work_pick, 1, RollOutcome::critical_success, nothing,
       {Event::of_index(K::chest_open, 1)}, no_check},
      {"a failed pick", "thief", work_pick, 1, RollOutcome::failure, nothing, {Event::of_actor(K::lock_fail, 0)},
       [](const World& w) { EXPECT_EQ(w.chests[1].locked, 1); }},
      {"a critically failed pick jams the lock", "thief", work_pick, 1, RollOutcome::critical_failure, nothing,
       {Event::of_actor(K::lock_jam, 0)}, [](const World& w) { EXPECT_EQ(w.chests[1].jammed, 1); }},
      {"a pick on a chest opened meanwhile does nothing", "thief", work_pick, 1, std::nullopt,
       [](World& w) { w.chests[1].opened = 1; }, {}, [](const World& w) { EXPECT_EQ(w.xp_pool, 0u); }},
      {"forcing always opens", "fighter", work_force, 1, std::nullopt, nothing,
       {Event::of_index(K::forced, 1), Event::of_index(K::chest_open, 1)},
       [](const World& w) { EXPECT_EQ(w.xp_pool, 4u); }},
      {"forcing a chest opened meanwhile", "fighter", work_force, 1, std::nullopt,
       [](World& w) { w.chests[1].opened = 1; }, {}, no_check},
      {"a disarmed trap", "thief", work_disarm, 0, RollOutcome::success, nothing,
       {Event::actor_index(K::disarmed, 0, 0)},
       [](const World& w) { EXPECT_EQ(w.trap_states[0].state, trap_disarmed); }},
      {"a failed disarm", "thief", work_disarm, 0, RollOutcome::failure, nothing, {Event::of_actor(K::disarm_fail, 0)},
       [](const World& w) { EXPECT_EQ(w.trap_states[0].state, trap_seen); }},
      {"a critically failed disarm springs the trap", "thief", work_disarm, 0, RollOutcome::critical_failure, nothing,
       {},  // checked below: the trap event's injury comes from the draw
       [](const World& w) {
         EXPECT_EQ(w.trap_states[0].state, trap_sprung);
         EXPECT_EQ(w.actors[0].state, ActorState::fall);
         ASSERT_EQ(w.events.size(), 1u);
         EXPECT_EQ(w.events[0].kind, K::trap);
       }},
      {"a trap sprung meanwhile is not disarmed", "thief", work_disarm, 0, std::nullopt,
       [](World& w) { w.trap_states[0].state = trap_sprung; }, {}, no_check},
  };
  for (const WorkCase& c : cases) {
    SCOPED_TRACE(c.name);
    World w = lab_game({c.cls});
    Actor& a = w.actors[0];
    place(a, 3000, 200);
    a.state = ActorState::work;
    a.state_ticks = a.work_ticks = 70;
    a.work_kind = c.work;
    a.work_target = c.target;
    w.trap_states[0].state = trap_seen;
    const KindDef& k = kind_by_id(a.kind);
    if (c.roll) w.rng = rng_for(*c.roll, c.work == work_pick ? k.lockpick - 2 : k.lockpick);
    c.setup(w);
    const Rng before = w.rng;
    finish_work(w, 0);
    if (c.roll == RollOutcome::critical_failure && c.work == work_disarm) {
      c.check(w);
      continue;
    }
    EXPECT_EQ(w.actors[0].state, ActorState::idle);
    EXPECT_EQ(w.events, c.events);
    if (!c.roll && c.work != work_force) {
      EXPECT_EQ(w.rng, before) << "nothing drawn";
    }
    c.check(w);
  }
}

// Work runs in the tick until its time is up; a step away cancels it.
TEST(Work, RunsItsTimeAndAnyMoveCancelsIt) {
  World w = lab_game({"fighter"});
  place(w.actors[0], 1300, 200);
  w.camera_x = Fx::from_int(1300);
  const std::array<Buttons, 1> use{button::use}, none{0}, left{button::left};
  tick(w, use);
  ASSERT_EQ(w.actors[0].state, ActorState::work);
  for (int i = 0; i < 149; ++i) tick(w, none);
  EXPECT_EQ(w.actors[0].state, ActorState::work);
  tick(w, none);
  EXPECT_EQ(w.events, (std::vector<Event>{Event::of_index(K::forced, 1), Event::of_index(K::chest_open, 1)}));
  EXPECT_EQ(w.actors[0].state, ActorState::idle);

  World cancelled = lab_game({"thief"});
  place(cancelled.actors[0], 1300, 200);
  cancelled.camera_x = Fx::from_int(1300);
  tick(cancelled, use);
  tick(cancelled, left);
  EXPECT_NE(cancelled.actors[0].state, ActorState::work);
  EXPECT_EQ(cancelled.chests[1].opened, 0);
}

// ---- chest loot ------------------------------------------------------------------------

TEST(Chest, LootIsDrawnByWeightAndLaidInARow) {
  World w = lab_game({"wizard"});
  w.pickups.resize(2);  // ids go on from the list's length
  Rng r = w.rng;
  std::vector<Pickup> expected = w.pickups;
  for (std::int32_t i = 0; i < 3; ++i) {
    const std::uint64_t e = r.next() % 6;
    PickupContent content = e < 1   ? PickupContent::silver(static_cast<std::uint32_t>(range(r, 5, 9)))
                            : e < 3 ? PickupContent::food(7)
                                    : PickupContent::of_item(item("steel_helm"));
    expected.push_back({content, Fx::from_int(940 + 60 * i), Fx{}, static_cast<std::uint16_t>(2 + i), 0});
  }
  open_chest(w, 0);
  EXPECT_EQ(w.pickups, expected) << "z 20 - 40 is held at 0";
  EXPECT_EQ(w.rng, r);
  EXPECT_EQ(w.chests[0].opened, 1);

  // One roll lies at the chest's own x, 40 cm in front; a locked chest opened
  // is no longer locked.
  open_chest(w, 1);
  EXPECT_EQ(w.pickups.back().x, Fx::from_int(1300));
  EXPECT_EQ(w.pickups.back().z, Fx::from_int(160));
  EXPECT_EQ(w.chests[1].locked, 0);
  EXPECT_EQ(w.xp_pool, 8u);
}

TEST(Chest, TheFloorHoldsABoundedNumberOfPickups) {
  World w = lab_game({"wizard"});
  for (std::size_t i = 0; i < max_stage_pickups; ++i) {
    ASSERT_TRUE(lay_pickup(w, PickupContent::silver(1), Fx{}, Fx{}));
    ASSERT_EQ(w.pickups.back().id, i);
  }
  const World full = w;
  EXPECT_FALSE(lay_pickup(w, PickupContent::silver(1), Fx{}, Fx{}));
  open_chest(w, 0);  // opens, but lays nothing and draws nothing
  EXPECT_EQ(w.pickups, full.pickups);
  EXPECT_EQ(w.rng, full.rng);
  EXPECT_EQ(w.chests[0].opened, 1);
}

// ---- pickups underfoot -------------------------------------------------------------------

struct UnderfootCase {
  const char* name;
  PickupContent content;
  std::function<void(World&)> setup;  // two players, both on the pickup
  std::optional<std::uint16_t> taker;
};

TEST(Pickups, FoodAndSilverUnderfoot) {
  const PickupContent food = PickupContent::food(7), silver = PickupContent::silver(9);
  const std::vector<UnderfootCase> cases = {
      {"silver to the first player", silver, nothing, 0},
      {"food waits for a hurt player", food, nothing, std::nullopt},
      {"food to the hurt one", food, [](World& w) { w.actors[1].hp -= 3; }, 1},
      {"nobody in a move takes anything", silver,
       [](World& w) { w.actors[0].state = w.actors[1].state = ActorState::attack; }, std::nullopt},
      {"out of reach", silver, [](World& w) { w.actors[0].x = w.actors[1].x = Fx::from_int(1546); }, std::nullopt},
      {"an item is never taken underfoot", PickupContent::of_item(item("ration")), nothing, std::nullopt},
  };
  for (const UnderfootCase& c : cases) {
    SCOPED_TRACE(c.name);
    World w = lab_game({"fighter", "thief"});
    for (Actor& a : w.actors) place(a, 1545, 345);
    c.setup(w);
    ASSERT_TRUE(lay_pickup(w, c.content, Fx::from_int(1500), Fx::from_int(300)));
    World before = w;
    take_pickups(w);
    if (!c.taker) {
      EXPECT_EQ(w, before);
      continue;
    }
    EXPECT_EQ(w.events, std::vector<Event>{Event::pickup_of(*c.taker, c.content)});
    EXPECT_EQ(w.pickups[0].taken, 1);
    const Actor& a = w.actors[*c.taker];
    const Actor& was = before.actors[*c.taker];
    if (c.content.tag == PickupTag::silver) {
      EXPECT_EQ(a.silver, was.silver + 9);
    } else {
      EXPECT_EQ(a.hp, a.hp_max) << "healed to the top, not beyond";
    }
  }
}

// ---- search and traps ----------------------------------------------------------------------

TEST(Search, EachSlotRollsOnceForEachThing) {
  World w = lab_game({"fighter", "thief"});
  place(w.actors[0], 2100, 0);  // within 220 of the passage only; z is not compared
  place(w.actors[1], 2521, 0);
  const Rng start = w.rng;
  update_traps(w);
  EXPECT_EQ(w.door_states[1].searched, 0b01) << "a fighter marks its slot without a roll";
  EXPECT_EQ(w.rng, start);

  // The thief (IQ 11, search 12: skill 13) comes near and fails, then never rolls again.
  place(w.actors[1], 2300, 0);
  w.rng = rng_for(RollOutcome::failure, 13);
  Rng after_one = w.rng;
  (void)roll_3d6(after_one, 13);
  update_traps(w);
  EXPECT_EQ(w.door_states[1], (DoorState{0, 0b11}));
  EXPECT_EQ(w.rng, after_one);
  update_traps(w);
  EXPECT_EQ(w.rng, after_one);

  // Another thief's slot finds the trap, and a seen trap is searched no more.
  World t = lab_game({"thief"});
  place(t.actors[0], 3220, 0);
  t.rng = rng_for(RollOutcome::success, 13);
  update_traps(t);
  EXPECT_EQ(t.trap_states[0], (TrapState{trap_seen, 0b1}));
  EXPECT_EQ(t.events, std::vector<Event>{Event::actor_index(K::trap_seen, 0, 0)});
  World d = lab_game({"thief"});
  place(d.actors[0], 2300, 0);
  d.rng = rng_for(RollOutcome::critical_success, 13);
  update_traps(d);
  EXPECT_EQ(d.door_states[1], (DoorState{1, 0b1}));
  EXPECT_EQ(d.events, std::vector<Event>{Event::found_of(0, 0, 1)});
}

struct SpringCase {
  const char* name;
  std::function<void(World&)> setup;  // two fighters stand on trap 1
  std::optional<std::uint16_t> caught;
};

TEST(Traps, SpringOnTheFirstPlayerStandingOnThem) {
  const std::vector<SpringCase> cases = {
      {"the first in index order", nothing, 0},
      {"a seen trap springs too", [](World& w) { w.trap_states[1].state = trap_seen; }, 0},
      {"the first in the air is carried over", [](World& w) { w.actors[0].y = Fx::from_raw(1); }, 1},
      {"the first dashing is carried over", [](World& w) { w.actors[0].invuln = 3; }, 1},
      {"the first lying down is not caught", [](World& w) { w.actors[0].state = ActorState::down; }, 1},
      {"a gone player is not caught", [](World& w) { w.actors[0].gone = 1; }, 1},
      {"a sprung trap never springs again", [](World& w) { w.trap_states[1].state = trap_sprung; }, std::nullopt},
      {"a disarmed trap neither", [](World& w) { w.trap_states[1].state = trap_disarmed; }, std::nullopt},
      {"beside it", [](World& w) { w.actors[0].z = w.actors[1].z = Fx::from_int(231); }, std::nullopt},
  };
  for (const SpringCase& c : cases) {
    SCOPED_TRACE(c.name);
    World w = lab_game({"fighter", "fighter"});
    for (Actor& a : w.actors) place(a, 3535, 170);
    c.setup(w);
    World before = w;
    update_traps(w);
    if (!c.caught) {
      EXPECT_TRUE(w.events.empty());
      EXPECT_EQ(w.actors, before.actors);
      EXPECT_EQ(w.trap_states[1].state, before.trap_states[1].state);
      continue;
    }
    Rng r = before.rng;
    const std::int64_t damage = 10 + d6(r) + d6(r);
    const Actor& a = w.actors[*c.caught];
    const std::int64_t injury = 2 * (damage - total_dr(a));
    EXPECT_EQ(w.events, std::vector<Event>{Event::trap_of(*c.caught, 1, static_cast<std::int32_t>(injury))});
    EXPECT_EQ(w.trap_states[1].state, trap_sprung);
    EXPECT_EQ(a.hp, std::max<std::int64_t>(1, before.actors[*c.caught].hp - injury));
    EXPECT_EQ(a.state, ActorState::fall);
    EXPECT_EQ(a.vy, Fx::from_int(5));
    EXPECT_EQ(a.y, Fx::from_raw(std::max(before.actors[*c.caught].y.raw, cm)));
    EXPECT_EQ(w.actors[1 - *c.caught].hp, before.actors[1 - *c.caught].hp) << "only one is hurt";
  }
}

TEST(Traps, NeverBelowOneHitPointAndTemporaryPointsFirst) {
  struct Case {
    std::int32_t hp, temp_hp;
    const char* kind;
    std::int32_t hp_after, temp_after;
  };
  // 1d6 of 4 (rigged below) against DR 0: injury 8, or 4 for the undead.
  const Case cases[] = {{3, 0, "fighter", 1, 0}, {0, 0, "fighter", 0, 0}, {-2, 0, "fighter", -2, 0},
                        {20, 5, "fighter", 17, 0}, {20, 9, "fighter", 20, 1}, {20, 0, "skeleton", 16, 0}};
  for (const Case& c : cases) {
    World w = lab_game({"fighter"});
    Actor& a = w.actors[0];
    a.kind = kind(c.kind);
    a.gear = {};
    a.dr = 0;
    a.hp = c.hp;
    a.temp_hp = c.temp_hp;
    for (std::uint64_t s = 0;; ++s) {
      Rng probe{s};
      if (d6(probe) == 4) {
        w.rng = Rng{s};
        break;
      }
    }
    spring_trap(w, 0, 0);
    EXPECT_EQ(a.hp, c.hp_after) << c.hp << " " << c.kind;
    EXPECT_EQ(a.temp_hp, c.temp_after) << c.hp << " " << c.kind;
  }
}

}  // namespace
}  // namespace velmora
