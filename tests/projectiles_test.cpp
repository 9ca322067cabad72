// Projectiles in flight and hazards on the ground.
#include "core/projectiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/clamp.h"
#include "core/effects.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using testing::Arena;
using testing::item_named;
using testing::move_named;

constexpr std::int32_t cm = 256;
using K = std::vector<EventKind>;

// The thrower (actor 1 unless said) lets fly with a move, carrying an item or not.
void shoot(Arena& a, std::string_view move, std::optional<std::string_view> item = std::nullopt,
           std::size_t thrower = 1) {
  Actor& t = a.w.actors[thrower];
  t.move = move_named(move);
  if (item) t.item_in_use = item_named(*item);
  spawn_projectiles(a.w, thrower);
}

Rng one_draw_on(Rng r) {
  r.next();
  return r;
}

// With SPEED 10 and RANGE 100 a shot flies ten steps and ends on the
// eleventh without striking, though a foe stands in its box by then.
TEST(Projectiles, APlainShotEndsAfterItsRange) {
  Arena a;
  a.add("thief", 0, 300, 150);
  a.add("bandit", 1, 470, 150);
  shoot(a, "t_bolt");
  const Rng before = a.w.rng;
  for (int step = 1; step <= 10; ++step) {
    update_projectiles(a.w);
    ASSERT_EQ(a.w.projectiles.size(), 1u) << step;
    EXPECT_EQ(a.w.projectiles[0].age, 10 * step);
  }
  EXPECT_EQ(a.w.projectiles[0].x.raw, 430 * cm);
  update_projectiles(a.w);
  EXPECT_TRUE(a.w.projectiles.empty());
  EXPECT_TRUE(a.w.events.empty());
  EXPECT_EQ(a.w.rng, before);
}

// A plain shot strikes the first foe in list order and ends, blocked or not.
TEST(Projectiles, APlainShotStrikesTheFirstFoeOnceAndEnds) {
  for (const bool guarded : {false, true}) {
    Arena a;
    a.add("thief", 0, 300, 150);
    Actor& first = a.add("bandit", 1, 350, 150, -1);
    if (guarded) first.state = ActorState::block;
    a.add("bandit", 1, 350, 150, -1);
    const Rng before = a.w.rng;
    shoot(a, "t_bolt");
    update_projectiles(a.w);
    EXPECT_TRUE(a.w.projectiles.empty());
    ASSERT_EQ(a.kinds(), K{EventKind::hit});
    EXPECT_EQ(a.w.events[0].target, 2);
    EXPECT_EQ(a.w.events[0].blocked, guarded ? 1 : 0);
    EXPECT_EQ(a.w.rng, guarded ? before : one_draw_on(before));
    EXPECT_EQ(a.w.actors[3].state, ActorState::idle);
  }
}

// Sides are teams: a shot passes its own side and strikes any other, player
// or enemy, that is open to blows and within its lane.
TEST(Projectiles, SidesAreTeams) {
  struct Row {
    std::string name;
    std::uint8_t thrower, target;
    std::function<void(Actor&)> setup;
    bool struck;
  };
  const auto none = [](Actor&) {};
  const std::vector<Row> rows{
      {"player at enemy", 0, 1, none, true},
      {"enemy at player", 1, 0, none, true},
      {"enemy at another enemy team", 1, 2, none, true},
      {"enemy at enemy", 1, 1, none, false},
      {"player at player", 0, 0, none, false},
      {"down", 0, 1, [](Actor& t) { t.state = ActorState::down; }, false},
      {"invulnerable", 0, 1, [](Actor& t) { t.invuln = 2; }, false},
      {"edge of the lane", 0, 1, [](Actor& t) { t.z = fx_from_cm(185); }, true},
      {"beside the lane", 0, 1, [](Actor& t) { t.z = fx_from_cm(186); }, false},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("archer", row.thrower, 300, 150);
    row.setup(a.add("fighter", row.target, 350, 150, -1));
    shoot(a, "t_bolt");
    update_projectiles(a.w);
    EXPECT_EQ(a.w.projectiles.empty(), row.struck) << row.name;
    EXPECT_EQ(a.kinds(), row.struck ? K{EventKind::hit} : K{}) << row.name;
  }
}

// Barrels: a player's plain shot breaks one, an enemy's passes it; a
// bursting shot goes off on one whoever threw it, and only a player's burst
// breaks it.
TEST(Projectiles, Barrels) {
  struct Row {
    const char* move;
    std::uint8_t team;
    bool broken;
    K kinds;
    bool flies_on;
  };
  const Row rows[] = {
      {"t_bolt", 0, true, {EventKind::break_}, false},
      {"t_bolt", 1, false, {}, true},
      {"fireball", 1, false, {EventKind::blast}, false},
      {"fireball", 0, true, {EventKind::blast, EventKind::break_}, false},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("wizard", row.team, 300, 150);
    a.barrel(350, 150);
    shoot(a, row.move);
    update_projectiles(a.w);
    EXPECT_EQ(a.w.props[0].broken != 0, row.broken) << row.move << int{row.team};
    EXPECT_EQ(a.kinds(), row.kinds) << row.move << int{row.team};
    EXPECT_EQ(a.w.projectiles.size(), row.flies_on ? 1u : 0u) << row.move << int{row.team};
    EXPECT_EQ(a.w.pickups.size(), row.broken ? 1u : 0u);
  }
}

// A shot ends past its range or off either end of the stage; a bursting
// one bursts where that step left it.
TEST(Projectiles, EndPastTheRangeOrOffTheStage) {
  Arena a;
  a.add("wizard", 0, 300, 150);
  a.add("thief", 0, 20, 150, -1);
  a.add("thief", 0, 4395, 150, 1);
  shoot(a, "fireball");
  a.w.projectiles[0].age = 552;
  shoot(a, "t_bolt", std::nullopt, 2);
  shoot(a, "t_bolt", std::nullopt, 3);
  update_projectiles(a.w);
  EXPECT_TRUE(a.w.projectiles.empty());
  EXPECT_EQ(a.w.events, std::vector<Event>{Event::blast_of(DamageType::burning, 342, 150, 90)});
}

// A thrown item without a burst passes through foes and lays its hazard
// where it lands; one with both bursts on the first foe and lays it there.
TEST(Projectiles, ThrownItemsCarryTheirHazard) {
  Arena a;
  a.add("thief", 0, 300, 150);
  a.add("bandit", 1, 350, 150);
  shoot(a, "toss", "caltrops");
  a.w.projectiles[0].age = 150;
  update_projectiles(a.w);
  EXPECT_EQ(a.w.projectiles.size(), 1u) << "flies on through the bandit";
  EXPECT_TRUE(a.w.events.empty());
  update_projectiles(a.w);
  EXPECT_TRUE(a.w.projectiles.empty());
  EXPECT_EQ(a.w.events, std::vector<Event>{Event::caltrops_of(350, 150)});

  a.w.events.clear();
  a.w.hazards.clear();
  shoot(a, "throw_flask", "t_spiked");
  update_projectiles(a.w);
  EXPECT_EQ(a.kinds(), (K{EventKind::blast, EventKind::hit, EventKind::caltrops}));
  ASSERT_EQ(a.w.hazards.size(), 1u);
  EXPECT_EQ(a.w.hazards[0].x.raw, 341 * cm);
  EXPECT_EQ(a.w.hazards[0].ticks, 60);
}

// A removed projectile's place goes to the next one, visited in the same pass.
TEST(Projectiles, RemovalKeepsTheOrder) {
  Arena a;
  a.add("thief", 0, 300, 150);
  for (int k = 0; k < 3; ++k) shoot(a, "t_bolt");
  a.w.projectiles[0].age = 100;
  update_projectiles(a.w);
  ASSERT_EQ(a.w.projectiles.size(), 2u);
  EXPECT_EQ(a.w.projectiles[0].serial, 1);
  EXPECT_EQ(a.w.projectiles[1].serial, 2);
  EXPECT_EQ(a.w.projectiles[0].age, 10);
  EXPECT_EQ(a.w.projectiles[1].age, 10);
}

// A hazard of t ticks hurts on t - 1 steps; one of 1 tick is gone at once.
TEST(Hazards, LiveOneStepLessThanTheirTicks) {
  for (const std::uint16_t ticks : {1, 3}) {
    Arena a;
    a.add("thief", 0, 100, 150);
    a.add("bandit", 1, 500, 200);
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, 0, ticks);
    a.w.events.clear();
    const Rng before = a.w.rng;
    update_hazards(a.w);
    EXPECT_EQ(a.w.hazards.size(), ticks == 1 ? 0u : 1u);
    EXPECT_EQ(a.kinds(), ticks == 1 ? K{} : K{EventKind::hit});
    EXPECT_EQ(a.w.rng, ticks == 1 ? before : one_draw_on(before));
    if (ticks == 1) continue;
    a.w.actors[2].state = ActorState::idle;
    a.w.events.clear();
    update_hazards(a.w);
    EXPECT_TRUE(a.w.events.empty()) << "each actor once";
    update_hazards(a.w);
    EXPECT_TRUE(a.w.hazards.empty());
  }
}

// Who a hazard hurts: foes on the floor, open to blows, inside 70 by 45 cm
// (to the Fx unit) and not hurt by it before; a guard or a held mark does
// not protect. Those left out draw nothing.
TEST(Hazards, HurtFoesStandingInThem) {
  struct Row {
    std::string name;
    std::function<void(Actor&)> setup;
    bool hurt;
  };
  const std::vector<Row> rows{
      {"plain", [](Actor&) {}, true},
      {"own side", [](Actor& t) { t.team = 0; }, false},
      {"in the air", [](Actor& t) { t.y = Fx::from_raw(1); }, false},
      {"invulnerable", [](Actor& t) { t.invuln = 1; }, false},
      {"down", [](Actor& t) { t.state = ActorState::down; }, false},
      {"juggled twice", [](Actor& t) { t.state = ActorState::fall; t.juggle = 2; }, false},
      {"guarding", [](Actor& t) { t.state = ActorState::block; }, true},
      {"asleep", [](Actor& t) { t.state = ActorState::stun; t.held = 1; }, true},
      {"in hit-stop", [](Actor& t) { t.hitstop = 3; }, true},
      {"70 cm aside", [](Actor& t) { t.x = fx_from_cm(570); }, true},
      {"past 70 cm", [](Actor& t) { t.x = Fx::from_raw(570 * cm + 1); }, false},
      {"45 cm across", [](Actor& t) { t.z = fx_from_cm(155); }, true},
      {"past 45 cm", [](Actor& t) { t.z = Fx::from_raw(155 * cm - 1); }, false},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("thief", 0, 100, 150);
    row.setup(a.add("bandit", 1, 500, 200));
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, 0, 10);
    a.w.events.clear();
    const Rng before = a.w.rng;
    update_hazards(a.w);
    EXPECT_EQ(a.kinds(), row.hurt ? K{EventKind::hit} : K{}) << row.name;
    EXPECT_EQ(a.w.rng, row.hurt ? one_draw_on(before) : before) << row.name;
    EXPECT_EQ(a.w.hazards[0].hit_list.size(), row.hurt ? 1u : 0u) << row.name;
  }
}

// What the spikes do: at least 1 damage doubled (once for the undead), no
// DR; a stun unless heavy, a fall the way the body moved at 0 hit points.
TEST(Hazards, DamageStunAndFall) {
  struct Row {
    const char* kind;
    std::int32_t hp, temp_hp, vx;
    std::int32_t injury, hp_after;
    ActorState state;
    std::int32_t vx_after;
    std::int8_t facing;
  };
  const Row rows[] = {
      {"bandit", 20, 0, 3 * cm, 2, 18, ActorState::stun, 0, 1},
      {"skeleton", 20, 0, 0, 1, 19, ActorState::stun, 0, 1},
      {"ogre", 20, 0, 3 * cm, 2, 18, ActorState::walk, 3 * cm, 1},
      {"ogre", 2, 0, 0, 2, 0, ActorState::fall, 4 * cm, -1},
      {"bandit", 1, 0, -1, 2, -1, ActorState::fall, -4 * cm, 1},
      {"bandit", 20, 1, 0, 2, 19, ActorState::stun, 0, 1},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("thief", 0, 100, 150);
    Actor& t = a.add(row.kind, 1, 500, 200, 1);
    t.dr = 5;
    t.hp = row.hp;
    t.temp_hp = row.temp_hp;
    t.vx = Fx::from_raw(row.vx);
    t.state = ActorState::walk;
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, -5, 10);
    a.w.events.clear();
    update_hazards(a.w);
    const Actor& after = a.w.actors[2];
    EXPECT_EQ(a.w.events, std::vector<Event>{Event::hit_of(DamageType::impaling, false, false, 1, 2, row.injury,
                                                            500, 10, 200)})
        << row.kind << " " << row.hp;
    EXPECT_EQ(after.hp, row.hp_after) << row.kind << " " << row.hp;
    EXPECT_EQ(after.temp_hp, 0);
    EXPECT_EQ(after.state, row.state) << row.kind << " " << row.hp;
    EXPECT_EQ(after.vx.raw, row.vx_after) << row.kind << " " << row.hp;
    EXPECT_EQ(after.facing, row.facing) << row.kind << " " << row.hp;
    EXPECT_EQ(after.stun, row.state == ActorState::stun ? 30 : 0) << row.kind;
  }
}

// Each victim draws its own dice, in list order.
TEST(Hazards, DrawPerVictimInListOrder) {
  Arena a;
  a.add("thief", 0, 100, 150);
  a.add("bandit", 1, 500, 200);
  a.add("thief", 0, 500, 200);
  a.add("bandit", 1, 500, 200);
  spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 2, 0, 10);
  a.w.events.clear();
  Rng r = a.w.rng;
  auto die = [&r] { return static_cast<std::int32_t>(r.next() % 6) + 1; };
  const std::int32_t first = 2 * (die() + die());
  const std::int32_t second = 2 * (die() + die());
  update_hazards(a.w);
  ASSERT_EQ(a.w.events.size(), 2u);
  EXPECT_EQ(a.w.events[0].target, 2);
  EXPECT_EQ(a.w.events[0].amount, first);
  EXPECT_EQ(a.w.events[1].target, 4);
  EXPECT_EQ(a.w.events[1].amount, second);
  EXPECT_EQ(a.w.rng, r);
}

}  // namespace
}  // namespace velmora
