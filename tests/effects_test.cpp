// Item effects, the area burst, laying hazards and throwing projectiles.
#include "core/effects.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/clamp.h"
#include "core/sim.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using S = ActorState;
constexpr std::int32_t cm = 256;
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();
constexpr DamageType crush = DamageType::crushing;

std::int32_t d6_of(Rng& r) { return static_cast<std::int32_t>(r.next() % 6) + 1; }

// Heal, ward, burst, hazard and turning, in that order: the burst draws a
// die per foe struck, none for the user's side, shows each foe's height
// before the throw and throws it away from the centre; only undead turn.
TEST(ItemEffects, TheKitAppliesEveryEffectInOrder) {
  Arena a;
  a.add("fighter", 0, 300, 10).hp -= 3;
  a.add("fighter", 0, 320, 10);
  a.add("skeleton", 1, 350, 10).hp = 40;
  a.add("bandit", 1, 250, 10).hp = 40;
  a.add("skeleton", 1, 900, 10);
  Rng r = a.w.rng;
  const std::int32_t d3 = d6_of(r), d4 = d6_of(r);
  apply_item_effects(a.w, DeferredValue{1, item_named("t_kit")});
  EXPECT_EQ(a.w.events, (std::vector<Event>{Event::heal_of(1, 3), Event::of_actor(EventKind::ward, 1),
                                            Event::blast_of(crush, 300, 10, 100),
                                            Event::hit_of(crush, false, false, 1, 3, d3, 350, 85, 10),
                                            Event::hit_of(crush, false, false, 1, 4, d4, 250, 87, 10),
                                            Event::caltrops_of(300, 10), Event::of_actor(EventKind::turned, 3)}));
  EXPECT_EQ(a.w.rng, r);
  const auto& t = a.w.actors;
  EXPECT_EQ((std::array{t[1].ward_dr, int{t[1].ward_ticks}, t[3].hp, int{t[3].ai_cooldown}, t[4].hp, t[4].vx.raw,
                        int{t[4].facing}}),
            (std::array{3, 60, 40 - d3, 50, 40 - d4, -4 * cm, 1}));
  EXPECT_EQ(a.w.hazards, (std::vector<Hazard>{Hazard{{}, fx_from_cm(300), fx_from_cm(10), 1, -5, 0, 1, 3, 0}}));
  // A heal gives 0 at full and never takes hit points from one raised above the maximum.
  for (const auto [hp, after] : {std::array{10, 10}, std::array{15, 15}}) {
    a.w.events.clear();
    a.w.actors[1].hp = hp, a.w.actors[1].hp_max = 10;
    apply_item_effects(a.w, DeferredValue{1, item_named("healing_potion")});
    EXPECT_EQ(a.w.actors[1].hp, after);
    EXPECT_EQ(a.w.events, std::vector<Event>{Event::heal_of(1, 0)});
  }
}

// Who a burst reaches (foes open to blows within the radius, to the rim) and
// what it does: no armour divisor, damage below 1 counts as none, impaling
// on the undead unmultiplied, temporary hit points first. Row 0 rolls two
// dice; rows left out draw nothing.
TEST(Burst, ReachAndInjury) {
  constexpr DamageType cut = DamageType::cutting, imp = DamageType::impaling;
  struct Row {
    const char* kind;
    std::int32_t x, z, dr, add, temp_hp;
    DamageType type;
    S state;
    std::uint8_t team, juggle;
    std::int32_t injury;  // -1: not reached
  };
  const std::vector<Row> rows{
      {"bandit", 330, 200, 1, 3, 0, cut, S::idle, 1, 0, 0},  // 3 + 2d6 - 1, × 3 / 2
      {"bandit", 330, 200, 0, 4, 0, cut, S::idle, 0, 0, -1},   {"bandit", 330, 200, 0, 4, 0, cut, S::down, 1, 0, -1},
      {"bandit", 330, 200, 0, 4, 0, cut, S::getup, 1, 0, -1},  {"bandit", 330, 200, 0, 4, 0, cut, S::ko, 1, 0, -1},
      {"bandit", 330, 200, 0, 4, 0, cut, S::fall, 1, 2, -1},   {"bandit", 330, 200, 0, 4, 0, cut, S::fall, 1, 1, 6},
      {"bandit", 360, 280, 0, 4, 0, cut, S::idle, 1, 0, 6},    {"bandit", 360, 281, 0, 4, 0, cut, S::idle, 1, 0, -1},
      {"skeleton", 330, 200, 1, 5, 0, imp, S::idle, 1, 0, 4},  {"bandit", 330, 200, 1, 5, 0, imp, S::idle, 1, 0, 8},
      {"bandit", 330, 200, 4, 5, 0, DamageType::burning, S::idle, 1, 0, 1},
      {"bandit", 330, 200, 6, 5, 0, cut, S::idle, 1, 0, 0},    {"bandit", 330, 200, 0, -3, 0, cut, S::idle, 1, 0, 0},
      {"bandit", 330, 200, 0, 6, 4, cut, S::idle, 1, 0, 9},    {"bandit", 330, 200, 0, i32_max, 0, cut, S::idle, 1, 0, i32_max},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(i);
    Arena a;
    a.add("wizard", 0, 300, 200);
    Actor& t = a.add(row.kind, row.team, row.x, row.z);
    t.dr = row.dr, t.temp_hp = row.temp_hp, t.state = row.state, t.juggle = row.juggle, t.hp = 1000;
    Rng r = a.w.rng;
    const std::int32_t injury = i == 0 ? (row.add + d6_of(r) + d6_of(r) - row.dr) * 3 / 2 : row.injury;
    burst_at(a.w, 1, fx_from_cm(300), fx_from_cm(200), BurstSpec{i == 0 ? 2 : 0, row.add, 100, row.type});
    ASSERT_EQ(a.w.events.size(), injury == -1 ? 1u : 2u);
    EXPECT_EQ(a.w.rng, r);
    if (injury == -1 || injury == i32_max) continue;
    EXPECT_EQ(a.w.events[1].amount, injury);
    EXPECT_EQ(a.w.actors[2].hp, 1000 - std::max(0, injury - row.temp_hp));
  }
}

// Only a player's burst breaks the barrels within its radius; the widest
// radius is measured without overflow.
TEST(Burst, BarrelsAndTheWidestRadius) {
  for (const std::uint8_t team : {0, 1}) {
    Arena a;
    a.add("wizard", team, 300, 200);
    a.barrel(380, 200);
    a.barrel(4399, 400);
    burst_at(a.w, 1, fx_from_cm(300), fx_from_cm(200), BurstSpec{1, 0, 100, crush});
    EXPECT_EQ(a.w.pickups.size(), team == 0 ? 1u : 0u);
    burst_at(a.w, 1, fx_from_cm(1), Fx{}, BurstSpec{1, 0, i32_max, crush});
    EXPECT_EQ(a.w.pickups.size(), team == 0 ? 2u : 0u);
  }
}

// Projectiles start 30 cm in front of the thrower, one or three across the
// lane, carrying the item in use; they and hazards keep to the floor band
// and take serials in turn.
TEST(Spawning, ProjectilesAndHazards) {
  Arena a;
  Actor& t = a.add("thief", 0, 500, 20, -1);
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
                             static_cast<std::uint16_t>(65534 + k), 1, 0, p.move, -1}));
  }
  EXPECT_EQ(a.w.projectiles[0].thrown_item, item_named("caltrops"));
  spawn_hazard(a.w, 1, fx_from_cm(300), fx_from_cm(-50), 1, 0, 60);
  spawn_hazard(a.w, 1, fx_from_cm(310), fx_from_cm(450), 1, 0, 60);
  EXPECT_EQ(a.w.hazards[1].serial, 1);
  EXPECT_EQ(a.w.events, (std::vector<Event>{Event::caltrops_of(300, 0), Event::caltrops_of(310, 400)}));
}

// Through the tick: caltrops leave the bag at the toss's first active frame,
// make their first flight step in that tick, and lie where the flight ends,
// past the range.
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
  EXPECT_EQ(a.w.hazards[0].x.raw, (300 + 30 + 170) * cm);
}

}  // namespace
}  // namespace velmora
