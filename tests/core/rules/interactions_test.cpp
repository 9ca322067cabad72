#include "core/rules/interactions.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/data/game_data.h"
#include "core/rules/control.h"
#include "core/rules/sim.h"

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
using O = RollOutcome;
using Prep = std::function<void(World&)>;
const Prep as_is = [](World&) {};

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

Rng rng_for(O wanted, std::int32_t skill) {
  return rng_where([=](Rng& r) { return roll_3d6(r, skill).outcome == wanted; });
}

void lay(World& w, std::string_view name, std::int32_t x, std::int32_t z) {
  ASSERT_TRUE(lay_pickup(w, PickupContent::of_item(item(name)), Fx::from_int(x), Fx::from_int(z)));
}

// The use cascade: actor 0 of a class at (x, z) presses use. Work started,
// a door chosen and a lever pulled show on the world as well.
TEST(Use, TheFirstThingThatAnswersInOrder) {
  const Prep seen = [](World& w) { w.trap_states[0].state = trap_seen; };
  const Prep jammed = [](World& w) { w.chests[1].jammed = 1; };
  const Prep items = [](World& w) {  // |dx| + |dz| of 60, 30 and 30: the nearer of the two at 30 by id
    lay(w, "strong_potion", 3860, 300);
    lay(w, "ration", 3830, 300);
    lay(w, "strong_potion", 3800, 330);
  };
  const Prep chests = [](World& w) {  // open chests at |dx| 60, and at |dx| 0 like chest 1 but 40 off in z
    w.chests[0].x = Fx::from_int(1360);
    w.chests[0].z = Fx::from_int(200);
    w.chests.push_back(w.chests[0]);
    w.chests[2].x = Fx::from_int(1300);
    w.chests[2].z = Fx::from_int(240);
    w.chests[2].index = 2;
  };
  const std::uint16_t helm = item("steel_helm");
  const std::vector<Event> helm_worn{Event::actor_item(K::equip, 0, helm),
                                     Event::pickup_of(0, PickupContent::of_item(helm))};
  struct Row {
    const char* cls;
    std::int32_t x, z;
    Prep setup;
    std::vector<Event> events;
  };
  const Row rows[] = {
      {"fighter", 370, 150, as_is, {Event::of_actor(K::shop, 0)}},
      {"fighter", 500, 60, as_is, {Event::of_actor(K::inn, 0)}},
      {"fighter", 640, 100, as_is, {Event::of_actor(K::trainer, 0)}},
      {"fighter", 376, 100, as_is, {}},  // out of reach
      {"fighter", 300, 100, [](World& w) { lay(w, "ration", 300, 100); }, {Event::of_actor(K::shop, 0)}},
      {"fighter", 3800, 300, [](World& w) { lay(w, "steel_helm", 3830, 250); }, helm_worn},
      {"fighter", 3800, 300, items, {Event::pickup_of(0, PickupContent::of_item(item("ration")))}},
      {"wizard", 1040, 60, as_is, {Event::of_index(K::chest_open, 0)}},
      {"thief", 1300, 200, as_is, {Event::work_of(work_pick, 0)}},
      {"fighter", 1300, 200, as_is, {Event::work_of(work_force, 0)}},
      {"fighter", 1300, 200, jammed, {Event::work_of(work_force, 0)}},
      {"fighter", 1300, 200, chests, {Event::work_of(work_force, 0)}},  // chest 1: least |dx|, then index
      {"wizard", 1300, 200, as_is, {Event::refuse_of(0, RefuseReason::locked)}},
      {"thief", 1300, 200, jammed, {Event::refuse_of(0, RefuseReason::jammed)}},
      {"wizard", 1300, 200, [](World& w) { w.chests[1].opened = 1; }, {}},
      {"wizard", 2050, 230, as_is, {Event::actor_index(K::door, 0, 0)}},
      {"wizard", 2000, 200, [](World& w) { w.fighting = 1; }, {Event::refuse_of(0, RefuseReason::fighting)}},
      {"wizard", 2300, 200, as_is, {}},  // a secret passage not found
      {"wizard", 2300, 200, [](World& w) { w.door_states[1].found = 1; }, {Event::actor_index(K::door, 0, 1)}},
      {"wizard", 2600, 100, as_is, {Event::actor_index(K::lever, 0, 0)}},
      {"wizard", 2600, 100, [](World& w) { w.levers_pulled[0] = 1; }, {}},
      {"thief", 3000, 200, as_is, {}},  // an unseen trap
      {"thief", 3000, 200, seen, {Event::work_of(work_disarm, 0)}},
      {"cleric", 3000, 200, seen, {Event::refuse_of(0, RefuseReason::trap)}},
  };
  const std::uint16_t work_time[] = {0, 70, 150, 90};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cls) + " at " + std::to_string(r.x) + ", " + std::to_string(r.z));
    World w = lab({r.cls}, r.x, r.z);
    w.actors[0].vx = Fx::from_int(3);
    r.setup(w);
    interact(w, 0);
    EXPECT_EQ(w.events, r.events);
    const Actor& a = w.actors[0];
    const Event last = w.events.empty() ? Event::plain(K::cleared) : w.events.back();
    if (last.kind == K::work) {
      EXPECT_EQ(std::tuple(a.state, a.work_target, a.work_ticks, a.vx),
                std::tuple(ActorState::work, last.how == work_disarm ? 0 : 1, work_time[last.how], Fx{}));
    }
    EXPECT_EQ(w.pending_door, last.kind == K::door ? std::optional<std::uint64_t>(last.index) : std::nullopt);
    std::vector<std::int32_t> closed;
    closed_barriers(w, closed);
    EXPECT_TRUE(last.kind != K::lever || closed.empty());
    if (r.events == helm_worn) {
      EXPECT_EQ(std::pair(a.gear[1], a.bag), std::pair(std::optional(helm), ItemList{item("leather_cap")}));
    }
  }
}

// Completion by kind and roll; work whose object changed meanwhile draws nothing.
TEST(Work, CompletionByKindAndRoll) {
  const Prep opened = [](World& w) { w.chests[1].opened = 1; };
  struct Row {
    std::uint8_t kind;
    std::optional<O> roll;
    Prep setup;
    std::vector<Event> events;
  };
  const Row rows[] = {
      {work_pick, O::success, as_is, {Event::of_index(K::chest_open, 1)}},
      {work_pick, O::critical_success, as_is, {Event::of_index(K::chest_open, 1)}},
      {work_pick, O::failure, as_is, {Event::of_actor(K::lock_fail, 0)}},
      {work_pick, O::critical_failure, as_is, {Event::of_actor(K::lock_jam, 0)}},
      {work_pick, std::nullopt, opened, {}},
      {work_force, std::nullopt, as_is, {Event::of_index(K::forced, 1), Event::of_index(K::chest_open, 1)}},
      {work_force, std::nullopt, opened, {}},
      {work_disarm, O::success, as_is, {Event::actor_index(K::disarmed, 0, 0)}},
      {work_disarm, O::failure, as_is, {Event::of_actor(K::disarm_fail, 0)}},
      {work_disarm, std::nullopt, [](World& w) { w.trap_states[0].state = trap_sprung; }, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.kind) + (r.roll ? " roll " + std::to_string(static_cast<int>(*r.roll)) : ""));
    World w = lab({r.kind == work_force ? "fighter" : "thief"}, 3000, 200);
    Actor& a = w.actors[0];
    a.state = ActorState::work;
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
    EXPECT_TRUE(!r.events.empty() || w.rng == before.rng);
    const bool opens = !r.events.empty() && r.events.back().kind == K::chest_open;
    EXPECT_EQ(w.xp_pool, opens ? 4u : 0u) << "experience once per chest";
    EXPECT_EQ(w.chests[1].jammed, r.events == std::vector<Event>{Event::of_actor(K::lock_jam, 0)});
    EXPECT_EQ(w.trap_states[0].state == trap_disarmed, r.events.size() == 1 && r.events[0].kind == K::disarmed);
  }
  World w = lab({"thief"}, 3000, 200);  // a critical failure springs the trap on the worker
  w.actors[0].state = ActorState::work;
  w.actors[0].work_kind = work_disarm;
  w.trap_states[0].state = trap_seen;
  w.rng = rng_for(O::critical_failure, 14);
  finish_work(w, 0);
  EXPECT_EQ(std::pair(w.trap_states[0].state, w.actors[0].state), std::pair(trap_sprung, ActorState::fall));
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
  for (std::uint64_t seed = 0; seed < 8; ++seed) {  // every entry, and the edges between them
    World w = lab({"wizard"});
    w.rng = Rng{seed};
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
    EXPECT_EQ(w.pickups, expected) << "seed " << seed << ": z 20 - 40 is held at 0";
    EXPECT_EQ(w.rng, r);
  }
  World w = lab({"wizard"});
  open_chest(w, 1);  // one roll: at the chest's x, 40 cm in front; unlocked
  EXPECT_EQ(std::tuple(w.pickups.back().x, w.pickups.back().z, w.chests[1].locked, w.chests[1].opened),
            std::tuple(Fx::from_int(1300), Fx::from_int(160), 0, 1));
  EXPECT_EQ(w.events, std::vector<Event>{Event::of_index(K::chest_open, 1)});

  World full = lab({"wizard"});
  while (lay_pickup(full, PickupContent::silver(1), Fx{}, Fx{})) {
  }
  ASSERT_EQ(full.pickups.size(), max_stage_pickups);
  EXPECT_EQ(full.pickups.back().id, max_stage_pickups - 1);
  const World before = full;
  open_chest(full, 0);  // opens, lays nothing, draws nothing
  EXPECT_EQ(std::tuple(full.pickups, full.rng, full.xp_pool), std::tuple(before.pickups, before.rng, 4u));
}

// A fighter and a thief stand on a pickup, in that order; who takes it.
TEST(Pickups, FoodAndSilverUnderfoot) {
  const PickupContent food = PickupContent::food(7), silver = PickupContent::silver(9);
  const std::tuple<PickupContent, Prep, std::optional<std::uint16_t>> rows[] = {
      {silver, as_is, 0},
      {food, as_is, std::nullopt},                                  // both at full health
      {food, [](World& w) { w.actors[1].hp -= 3; }, std::nullopt},  // the first in reach decides
      {food, [](World& w) { w.actors[0].state = ActorState::attack, w.actors[1].hp -= 3; }, 1},
      {silver, [](World& w) { w.actors[0].state = w.actors[1].state = ActorState::jump; }, std::nullopt},
      {silver, [](World& w) { w.actors[0].gone = 1; }, 0},  // a player who left is not excluded
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
    EXPECT_EQ(w.pickups.back().taken, 1);
    if (content == silver) {
      EXPECT_EQ(a.silver, before.actors[*taker].silver + 9);
    } else {
      EXPECT_EQ(a.hp, a.hp_max) << "healed to the top, not beyond";
    }
  }
}

// A fighter (slot 0, search 0) and a thief (slot 1, search skill 13) pass
// twice; the thief's roll comes out as given. Each slot marks the secret
// passage or trap 0 the first time it comes within 220 cm in x, and rolls once.
TEST(Search, EachSlotRollsOnceForEachThing) {
  struct Row {
    std::int32_t fighter_x, thief_x;
    O roll;
    Prep setup;
    DoorState passage;
    TrapState trap;
    std::vector<Event> events;
    int draws;
  };
  const Prep found = [](World& w) { w.door_states[1].found = 1; };
  const Prep thief_ko = [](World& w) { w.actors[1].state = ActorState::ko; };
  const Row rows[] = {
      {2080, 2300, O::failure, as_is, {0, 0b11}, {trap_unseen, 0}, {}, 1},
      {0, 3220, O::success, as_is, {0, 0}, {trap_seen, 0b10}, {Event::actor_index(K::trap_seen, 1, 0)}, 1},
      {0, 2300, O::critical_success, as_is, {1, 0b10}, {trap_unseen, 0}, {Event::found_of(0, 1, 1)}, 1},
      {0, 2300, O::success, found, {1, 0}, {trap_unseen, 0}, {}, 0},
      {0, 2300, O::success, thief_ko, {0, 0}, {trap_unseen, 0}, {}, 0},
      {0, 2521, O::success, as_is, {0, 0}, {trap_unseen, 0}, {}, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.fighter_x) + ", " + std::to_string(r.thief_x));
    World w = lab({"fighter", "thief"}, r.fighter_x, 0);
    w.actors[1].x = Fx::from_int(r.thief_x);  // z is not compared
    r.setup(w);
    w.rng = rng_for(r.roll, 13);
    Rng after = w.rng;
    for (int i = 0; i < r.draws; ++i) (void)roll_3d6(after, 13);
    update_traps(w);
    const std::vector<Event> events = w.events;
    update_traps(w);
    EXPECT_EQ(std::tuple(w.door_states[1], w.trap_states[0], events, w.rng),
              std::tuple(r.passage, r.trap, r.events, after));
  }
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
    EXPECT_EQ(std::tuple(w.trap_states[1].state, a.state, a.vy, a.hp),
              std::tuple(trap_sprung, ActorState::fall, Fx::from_int(5),
                         std::max<std::int64_t>(1, before.actors[*caught].hp - injury)));
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
