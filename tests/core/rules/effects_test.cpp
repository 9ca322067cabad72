// Item effects, the area burst, laying hazards and throwing projectiles.
#include "core/rules/effects.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/base/clamp.h"
#include "core/rules/sim.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using S = ActorState;
constexpr std::int32_t cm = 256;
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();
constexpr DamageType crush = DamageType::crushing;

// Heal, ward, burst, hazard and turning, in that order. The burst draws a
// die per foe struck and shows its height before the throw; turning throws
// every undead in reach that is neither gone nor knocked out, of either side
// and even when down, and keeps a longer cooldown. A heal above the maximum
// takes nothing away.
TEST(ItemEffects, TheKitAppliesEveryEffectInOrder) {
  Arena a;
  a.add("fighter", 0, 300, 10).hp += 2;
  a.add("fighter", 0, 320, 10);
  a.add("skeleton", 1, 350, 10).hp = 40;
  Actor& bandit = a.add("bandit", 1, 250, 10);
  bandit.hp = 40, bandit.juggle = 1;
  a.add("skeleton", 1, 340, 10).gone = 1;
  Actor& own = a.add("skeleton", 0, 310, 10);
  own.state = S::down, own.ai_cooldown = 90;
  a.add("skeleton", 1, 330, 10).state = S::ko;
  Rng r = a.w.rng;
  const std::int32_t d3 = d6_of(r), d4 = d6_of(r);
  apply_item_effects(a.w, DeferredValue{1, item_named("t_kit")});
  EXPECT_EQ(a.w.events, (std::vector<Event>{Event::heal_of(1, 0), Event::of_actor(EventKind::ward, 1),
                                            Event::blast_of(crush, 300, 10, 100),
                                            Event::hit_of(crush, false, false, 1, 3, d3, 350, 85, 10),
                                            Event::hit_of(crush, false, false, 1, 4, d4, 250, 87, 10),
                                            Event::caltrops_of(300, 10), Event::of_actor(EventKind::turned, 3),
                                            Event::of_actor(EventKind::turned, 6)}));
  EXPECT_EQ(a.w.rng, r);
  const auto& t = a.w.actors;
  EXPECT_EQ((std::array{t[1].ward_dr, int{t[1].ward_ticks}, t[3].hp, int{t[3].ai_cooldown}, t[4].hp, t[4].vx.raw,
                        int{t[4].facing}, int{t[4].juggle}, int{t[6].ai_cooldown}}),
            (std::array{3, 60, 40 - d3, 50, 40 - d4, -4 * cm, 1, 0, 90}));
  EXPECT_EQ(std::make_pair(t[6].state, t[7].state), std::make_pair(S::fall, S::ko));
  EXPECT_EQ(a.w.hazards, (std::vector<Hazard>{Hazard{{}, fx_from_cm(300), fx_from_cm(10), 1, -5, 0, 1, 3, 0}}));
  EXPECT_EQ(t[1].hp, t[1].hp_max + 2);
}

// Who a burst centred away from its source reaches (foes open to blows, to
// the rim) and what it does: no armour divisor, damage below 1 counts as
// none, impaling on the undead unmultiplied, temporary hit points first, a
// throw away from the centre. Row 0 rolls two dice; the others roll none.
// Radii are squared in 64 bits, on the Fx difference in whole centimetres.
TEST(Burst, ReachAndInjury) {
  constexpr DamageType cut = DamageType::cutting, imp = DamageType::impaling;
  struct Row {
    const char* kind = "bandit";
    std::int32_t x = 330, z = 200, dr = 0, add = 4, temp_hp = 0;
    DamageType type = cut;
    S state = S::idle;
    std::uint8_t team = 1, juggle = 0;
    std::int32_t injury = 6;  // -1: not reached
  };
  const Row rows[] = {
      {.dr = 1, .add = 3},      {.team = 0, .injury = -1},           {.state = S::down, .injury = -1},
      {.state = S::getup, .injury = -1},  {.state = S::ko, .injury = -1},  {.state = S::fall, .juggle = 2, .injury = -1},
      {.state = S::fall, .juggle = 1},    {.x = 360, .z = 280},            {.x = 360, .z = 281, .injury = -1},
      {.kind = "skeleton", .dr = 1, .add = 5, .type = imp, .injury = 4}, {.dr = 1, .add = 5, .type = imp, .injury = 8},
      {.dr = 4, .add = 5, .type = DamageType::burning, .injury = 1},     {.dr = 6, .add = 5, .injury = 0},
      {.add = -3, .injury = 0}, {.add = 6, .temp_hp = 4, .injury = 9},  {.add = i32_max, .injury = i32_max},
  };
  for (const Row& row : rows) {
    const bool first = &row == rows;
    SCOPED_TRACE(&row - rows);
    Arena a;
    a.add("wizard", 0, 500, 200);
    Actor& t = a.add(row.kind, row.team, row.x, row.z);
    t.dr = row.dr, t.temp_hp = row.temp_hp, t.state = row.state, t.juggle = row.juggle, t.hp = 1000;
    Rng r = a.w.rng;
    const std::int32_t injury = first ? (row.add + d6_of(r) + d6_of(r) - row.dr) * 3 / 2 : row.injury;
    burst_at(a.w, 1, fx_from_cm(300), fx_from_cm(200), BurstSpec{first ? 2 : 0, row.add, 100, row.type});
    ASSERT_EQ(a.w.events.size(), injury == -1 ? 1u : 2u);
    EXPECT_EQ(a.w.rng, r);
    if (injury == -1 || injury == i32_max) continue;
    const Actor& after = a.w.actors[2];
    EXPECT_EQ(std::make_tuple(a.w.events[1].amount, after.hp, after.vx.raw),
              std::make_tuple(injury, 1000 - std::max(0, injury - row.temp_hp), 4 * cm));
  }
  EXPECT_TRUE(within_radius(fx_from_cm(-40000), Fx{}, fx_from_cm(40000), fx_from_cm(400), i32_max));
  EXPECT_TRUE(within_radius(Fx::from_raw(128), Fx{}, Fx::from_raw(99 * cm + 128 + 255), Fx{}, 99));
}

// Projectiles start 30 cm in front of the thrower, one or three across the
// lane, carrying the item in use; they and hazards keep to the floor band,
// take serials in turn and belong to the thrower's side.
TEST(Spawning, ProjectilesAndHazards) {
  Arena a;
  Actor& t = a.add("thief", 1, 500, 20, -1);
  t.move = move_named("fan_of_knives"), t.item_in_use = item_named("caltrops");
  a.w.next_projectile_serial = 65534;
  spawn_projectiles(a.w, 1);
  a.w.actors[1].move = move_named("knife_throw"), a.w.actors[1].item_in_use.reset();
  spawn_projectiles(a.w, 1);
  const std::int32_t zs[] = {20, 0, 65, 20};
  ASSERT_EQ(a.w.projectiles.size(), 4u);
  for (std::uint16_t k = 0; k < 4; ++k) {
    const Projectile& p = a.w.projectiles[k];
    EXPECT_EQ(p, (Projectile{k < 3 ? p.thrown_item : std::nullopt, fx_from_cm(470), Fx{}, fx_from_cm(zs[k]), 0,
                             static_cast<std::uint16_t>(65534 + k), 1, 1, p.move, -1}));
  }
  EXPECT_EQ(a.w.projectiles[0].thrown_item, item_named("caltrops"));
  spawn_hazard(a.w, 1, fx_from_cm(300), fx_from_cm(-50), 1, 0, 60);
  spawn_hazard(a.w, 1, fx_from_cm(310), fx_from_cm(450), 1, 0, 60);
  EXPECT_EQ(a.w.hazards[1], (Hazard{{}, fx_from_cm(310), fx_from_cm(400), 1, 0, 1, 1, 60, 1}));
  EXPECT_EQ(a.w.events, (std::vector<Event>{Event::caltrops_of(300, 0), Event::caltrops_of(310, 400)}));
}

// Through the tick: caltrops leave the bag at the toss's first active frame,
// make their first flight step in that tick, and lie where the flight ends,
// past the range, counted down in the tick they land.
TEST(Spawning, ThrownCaltropsLieWhereTheirFlightEnds) {
  Arena a;
  Actor& p = a.add("thief", 0, 300, 100);
  p.bag = ItemList{item_named("caltrops")}, p.quick = item_named("caltrops");
  const std::vector<Buttons> press{button::quick, 0, 0, 0}, none{0, 0, 0, 0};
  tick(a.w, press);
  for (int t = 0; t < 60 && a.w.projectiles.empty(); ++t) tick(a.w, none);
  ASSERT_EQ(a.w.projectiles.size(), 1u);
  EXPECT_EQ(a.w.projectiles[0].age, 10);
  EXPECT_TRUE(a.w.actors[1].bag.empty());
  for (int t = 0; t < 60 && a.w.hazards.empty(); ++t) tick(a.w, none);
  ASSERT_EQ(a.w.hazards.size(), 1u);
  EXPECT_EQ(std::make_pair(a.w.hazards[0].x.raw, int{a.w.hazards[0].ticks}), std::make_pair((300 + 30 + 170) * cm, 359));
}

}  // namespace
}  // namespace velmora
