// Item effects, the area burst, laying hazards and throwing projectiles.
#include "core/effects.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/clamp.h"
#include "core/sim.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using testing::Arena;
using testing::item_named;
using testing::move_named;

constexpr std::int32_t cm = 256;

std::int32_t d6_of(Rng& r) { return static_cast<std::int32_t>(r.next() % 6) + 1; }

// The kit heals, wards, bursts, lays its hazard and turns the undead, in that
// order; the burst draws one die per foe struck and none for the user's side.
TEST(ItemEffects, TheKitAppliesEveryEffectInOrder) {
  Arena a;
  Actor& user = a.add("fighter", 0, 300, 10);
  user.hp = user.hp_max - 3;
  a.add("fighter", 0, 320, 10);             // 2: the user's side, untouched
  a.add("skeleton", 1, 350, 10).hp = 40;    // 3: burst and turned
  a.add("bandit", 1, 250, 10);              // 4: burst only, thrown left
  a.add("skeleton", 1, 900, 10);            // 5: beyond the turn
  Rng r = a.w.rng;
  const std::int32_t d3 = d6_of(r), d4 = d6_of(r);
  const std::int32_t bandit_hp = a.w.actors[4].hp;

  apply_item_effects(a.w, DeferredValue{1, item_named("t_kit")});

  const std::vector<Event> expected{
      Event::heal_of(1, 3),
      Event::of_actor(EventKind::ward, 1),
      Event::blast_of(DamageType::crushing, 300, 10, 100),
      Event::hit_of(DamageType::crushing, false, false, 1, 3, d3, 350, 85, 10),
      Event::hit_of(DamageType::crushing, false, false, 1, 4, d4, 250, 87, 10),
      Event::caltrops_of(300, 10),
      Event::of_actor(EventKind::turned, 3),
  };
  EXPECT_EQ(a.w.events, expected);
  EXPECT_EQ(a.w.rng, r);
  const Actor& u = a.w.actors[1];
  EXPECT_EQ(u.hp, u.hp_max);
  EXPECT_EQ(u.ward_dr, 3);
  EXPECT_EQ(u.ward_ticks, 60);
  const Actor& skeleton = a.w.actors[3];
  EXPECT_EQ(skeleton.hp, 40 - d3);
  EXPECT_EQ(skeleton.state, ActorState::fall);
  EXPECT_EQ(skeleton.vx.raw, 4 * cm);
  EXPECT_EQ(skeleton.facing, -1);
  EXPECT_EQ(skeleton.ai_cooldown, 50);
  const Actor& bandit = a.w.actors[4];
  EXPECT_EQ(bandit.hp, bandit_hp - d4);
  EXPECT_EQ(bandit.vx.raw, -4 * cm);
  EXPECT_EQ(bandit.facing, 1);
  EXPECT_EQ(bandit.vy.raw, 7 * cm);
  EXPECT_EQ(bandit.y.raw, cm);
  EXPECT_EQ(a.w.actors[5].state, ActorState::idle);
  ASSERT_EQ(a.w.hazards.size(), 1u);
  const Hazard& h = a.w.hazards[0];
  EXPECT_EQ(h.x.raw, 300 * cm);
  EXPECT_EQ(h.z.raw, 10 * cm);
  EXPECT_EQ(h.dice, 1);
  EXPECT_EQ(h.add, -5);
  EXPECT_EQ(h.ticks, 3);
  EXPECT_EQ(h.owner, 1);
  EXPECT_EQ(h.team, 0);
  EXPECT_EQ(a.w.next_hazard_serial, 1);
}

// A heal tops up to the maximum, reports what it gave (0 at full), and never
// takes hit points from an actor raised above its maximum.
TEST(ItemEffects, HealTopsUpAndNeverWounds) {
  struct Row {
    std::int32_t hp, hp_max, after, gained;
  };
  for (const Row& row : {Row{4, 10, 10, 6}, Row{7, 20, 13, 6}, Row{10, 10, 10, 0}, Row{15, 10, 15, 0}}) {
    Arena a;
    Actor& user = a.add("fighter", 0, 300, 10);
    user.hp = row.hp;
    user.hp_max = row.hp_max;
    apply_item_effects(a.w, DeferredValue{1, item_named("healing_potion")});
    EXPECT_EQ(a.w.actors[1].hp, row.after) << row.hp;
    EXPECT_EQ(a.w.events, std::vector<Event>{Event::heal_of(1, row.gained)}) << row.hp;
  }
}

// Who a burst reaches: foes open to blows within the radius. A target left
// out draws nothing; one struck draws its own dice.
TEST(Burst, ReachesOnlyFoesOpenToBlowsWithinTheRadius) {
  struct Row {
    std::string name;
    std::function<void(Actor&)> setup;
    bool struck;
  };
  auto at = [](std::int32_t x, std::int32_t z) {
    return [=](Actor& t) {
      t.x = fx_from_cm(x);
      t.z = fx_from_cm(z);
    };
  };
  const std::vector<Row> rows{
      {"plain", [](Actor&) {}, true},
      {"own side", [](Actor& t) { t.team = 0; }, false},
      {"gone", [](Actor& t) { t.gone = 1; }, false},
      {"knocked out", [](Actor& t) { t.state = ActorState::ko; }, false},
      {"down", [](Actor& t) { t.state = ActorState::down; }, false},
      {"getting up", [](Actor& t) { t.state = ActorState::getup; }, false},
      {"invulnerable", [](Actor& t) { t.invuln = 1; }, false},
      {"juggled twice", [](Actor& t) { t.state = ActorState::fall; t.juggle = 2; }, false},
      {"juggled once", [](Actor& t) { t.state = ActorState::fall; t.juggle = 1; }, true},
      {"on the rim", at(360, 280), true},          // dx 60, dz 80: exactly 100
      {"just beyond", at(360, 281), false},
      {"under a cm beyond", [](Actor& t) { t.x = Fx::from_raw(400 * cm + 255); }, true},
      {"a cm beyond", at(401, 200), false},
  };
  const BurstSpec burst{2, 3, 100, DamageType::cutting};
  for (const Row& row : rows) {
    Arena a;
    a.add("wizard", 0, 300, 200);
    Actor& t = a.add("bandit", 1, 330, 200);
    t.dr = 1;
    row.setup(t);
    const std::int32_t hp = t.hp;
    const Rng before = a.w.rng;
    Rng r = before;
    const std::int32_t v = 3 + d6_of(r) + d6_of(r);
    const std::int32_t injury = std::max(1, (v - 1) * 3 / 2);

    burst_at(a.w, 1, fx_from_cm(300), fx_from_cm(200), burst);

    EXPECT_EQ(a.w.events.front(), Event::blast_of(DamageType::cutting, 300, 200, 100)) << row.name;
    EXPECT_EQ(a.w.events.size(), row.struck ? 2u : 1u) << row.name;
    EXPECT_EQ(a.w.rng, row.struck ? r : before) << row.name;
    EXPECT_EQ(a.w.actors[2].hp, row.struck ? hp - injury : hp) << row.name;
  }
}

// The injury of area damage: DR without a divisor, damage below 1 counts as
// none, impaling on the undead unmultiplied, temporary hit points first.
TEST(Burst, InjuryByTypeDrAndTemporaryHitPoints) {
  struct Row {
    DamageType type;
    const char* kind;
    std::int32_t dr, add, temp_hp, injury, hp_lost;
  };
  const Row rows[] = {
      {DamageType::cutting, "bandit", 1, 5, 0, 6, 6},     // 4 × 3 / 2
      {DamageType::impaling, "bandit", 0, 5, 0, 10, 10},
      {DamageType::impaling, "skeleton", 1, 5, 0, 4, 4},  // undead: p itself
      {DamageType::burning, "bandit", 4, 5, 0, 1, 1},     // 1 × 2 / 2
      {DamageType::crushing, "bandit", 6, 5, 0, 0, 0},    // DR stops it: 0, never 1
      {DamageType::crushing, "bandit", 0, -3, 0, 0, 0},
      {DamageType::crushing, "bandit", 0, 9, 4, 9, 5},
      {DamageType::cutting, "bandit", 0, std::numeric_limits<std::int32_t>::max(), 0,
       std::numeric_limits<std::int32_t>::max(), 0},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("wizard", 0, 300, 200);
    Actor& t = a.add(row.kind, 1, 320, 200);
    t.dr = row.dr;
    t.temp_hp = row.temp_hp;
    t.hp = 1000;
    const Rng before = a.w.rng;
    burst_at(a.w, 1, fx_from_cm(300), fx_from_cm(200), BurstSpec{0, row.add, 50, row.type});
    ASSERT_EQ(a.w.events.size(), 2u);
    EXPECT_EQ(a.w.events[1].amount, row.injury) << row.kind << " " << row.add;
    if (row.injury != std::numeric_limits<std::int32_t>::max()) {
      EXPECT_EQ(a.w.actors[2].hp, 1000 - row.hp_lost) << row.kind << " " << row.add;
    }
    EXPECT_EQ(a.w.rng, before) << "no dice, no draws";
  }
}

// A player's burst breaks the barrels in its radius; an enemy's leaves them.
TEST(Burst, OnlyAPlayersBurstBreaksBarrels) {
  for (const std::uint8_t team : {0, 1}) {
    Arena a;
    a.add("wizard", team, 300, 200);
    a.barrel(380, 200);
    a.barrel(420, 200);
    burst_at(a.w, 1, fx_from_cm(300), fx_from_cm(200), BurstSpec{1, 0, 100, DamageType::burning});
    if (team == 0) {
      EXPECT_EQ(a.kinds(), (std::vector<EventKind>{EventKind::blast, EventKind::break_}));
      ASSERT_EQ(a.w.pickups.size(), 1u);
      EXPECT_EQ(a.w.pickups[0].x.raw, 380 * cm);
    } else {
      EXPECT_EQ(a.kinds(), std::vector<EventKind>{EventKind::blast});
      EXPECT_TRUE(a.w.pickups.empty());
    }
    EXPECT_EQ(a.w.props[0].broken, team == 0 ? 1 : 0);
    EXPECT_EQ(a.w.props[1].broken, 0);
  }
}

// Even the widest radius is measured without overflow.
TEST(Burst, AnyRadiusIsMeasuredWithoutOverflow) {
  Arena a;
  a.add("wizard", 0, 1, 0);
  a.add("bandit", 1, 4399, 400);
  const std::int32_t widest = std::numeric_limits<std::int32_t>::max();
  burst_at(a.w, 1, fx_from_cm(1), Fx{}, BurstSpec{0, 1, widest, DamageType::crushing});
  EXPECT_EQ(a.w.events.size(), 2u);
  EXPECT_TRUE(within_radius(Fx::from_raw(std::numeric_limits<std::int32_t>::min()), Fx{},
                            Fx::from_raw(std::numeric_limits<std::int32_t>::max()), Fx{}, 1 << 24));
}

// Hazards lie inside the floor band and take serials in turn.
TEST(Hazards, AreLaidInsideTheFloorBand) {
  Arena a;
  a.add("thief", 0, 300, 10);
  a.w.next_hazard_serial = 65535;
  spawn_hazard(a.w, 1, fx_from_cm(300), fx_from_cm(-50), 1, 0, 60);
  spawn_hazard(a.w, 1, fx_from_cm(310), fx_from_cm(450), 1, 0, 60);
  ASSERT_EQ(a.w.hazards.size(), 2u);
  EXPECT_EQ(a.w.hazards[0].z.raw, 0);
  EXPECT_EQ(a.w.hazards[1].z.raw, 400 * cm);
  EXPECT_EQ(a.w.hazards[0].serial, 65535);
  EXPECT_EQ(a.w.hazards[1].serial, 0);
  EXPECT_EQ(a.w.events, (std::vector<Event>{Event::caltrops_of(300, 0), Event::caltrops_of(310, 400)}));
}

// One projectile, or three across the lane (each kept on the floor band),
// 30 cm in front of the thrower, carrying the item in use.
TEST(Projectiles, SpawnOneOrThreeInFrontOfTheThrower) {
  Arena a;
  Actor& t = a.add("thief", 0, 500, 20, -1);
  t.move = move_named("fan_of_knives");
  t.item_in_use = item_named("dagger");
  a.w.next_projectile_serial = 5;
  spawn_projectiles(a.w, 1);
  ASSERT_EQ(a.w.projectiles.size(), 3u);
  const std::int32_t zs[] = {20, 0, 65};
  for (std::size_t k = 0; k < 3; ++k) {
    const Projectile& p = a.w.projectiles[k];
    EXPECT_EQ(p.x.raw, 470 * cm);
    EXPECT_EQ(p.z.raw, zs[k] * cm);
    EXPECT_EQ(p.serial, static_cast<std::uint16_t>(5 + k));
    EXPECT_EQ(p.thrown_item, item_named("dagger"));
    EXPECT_EQ(p.facing, -1);
    EXPECT_EQ(p.owner, 1);
    EXPECT_EQ(p.age, 0);
  }
  a.w.actors[1].move = move_named("knife_throw");
  a.w.actors[1].item_in_use.reset();
  spawn_projectiles(a.w, 1);
  ASSERT_EQ(a.w.projectiles.size(), 4u);
  EXPECT_FALSE(a.w.projectiles[3].thrown_item);
}

// Through the tick: caltrops leave the bag at the toss's first active frame,
// fly that very tick, and lie where the flight ends (past the range).
TEST(Projectiles, ThrownCaltropsLieWhereTheirFlightEnds) {
  Arena a;
  Actor& p = a.add("thief", 0, 300, 100);
  p.bag.clear();
  p.bag.push_back(item_named("caltrops"));
  p.quick = item_named("caltrops");
  const std::vector<Buttons> press{button::quick, 0, 0, 0};
  const std::vector<Buttons> none{0, 0, 0, 0};
  tick(a.w, press);
  EXPECT_EQ(a.of_kind(EventKind::use).size(), 1u);
  bool thrown = false;
  for (int t = 0; t < 60 && a.w.hazards.empty(); ++t) {
    tick(a.w, none);
    if (!a.w.projectiles.empty() && !thrown) {
      thrown = true;
      EXPECT_TRUE(a.w.actors[1].bag.empty());
      EXPECT_EQ(a.w.projectiles[0].age, 10) << "first step in the tick of the throw";
    }
  }
  ASSERT_TRUE(thrown);
  ASSERT_EQ(a.w.hazards.size(), 1u);
  EXPECT_EQ(a.w.hazards[0].x.raw, (300 + 30 + 170) * cm);
  EXPECT_EQ(a.of_kind(EventKind::caltrops).size(), 1u);
  EXPECT_TRUE(a.w.projectiles.empty());
}

}  // namespace
}  // namespace velmora
