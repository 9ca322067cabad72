// Projectiles in flight and hazards on the ground.
#include "core/projectiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

#include "core/clamp.h"
#include "core/effects.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using K = std::vector<EventKind>;
using S = ActorState;
constexpr std::int32_t cm = 256;

// The thrower lets fly with a move, carrying an item or not.
void shoot(Arena& a, std::string_view move, const char* item = nullptr, std::size_t thrower = 1) {
  a.w.actors[thrower].move = move_named(move);
  a.w.actors[thrower].item_in_use.reset();
  if (item != nullptr) a.w.actors[thrower].item_in_use = item_named(item);
  spawn_projectiles(a.w, thrower);
}

// With SPEED 10 and RANGE 100 a shot flies ten steps and ends on the
// eleventh without striking the foe that stands in its box by then.
TEST(Projectiles, APlainShotEndsAfterItsRange) {
  Arena a;
  a.add("thief", 0, 300, 150);
  a.add("bandit", 1, 470, 150);
  shoot(a, "t_bolt");
  for (int step = 1; step <= 10; ++step) update_projectiles(a.w);
  ASSERT_EQ(a.w.projectiles.size(), 1u);
  EXPECT_EQ(std::make_pair(a.w.projectiles[0].age, a.w.projectiles[0].x.raw), std::make_pair(100, 430 * cm));
  update_projectiles(a.w);
  EXPECT_TRUE(a.w.projectiles.empty());
  EXPECT_TRUE(a.w.events.empty());
}

// A plain shot strikes the first foe open to blows in list order (one draw
// when it gets through, none when blocked) and ends whatever the blow did.
// Sides are teams: it passes its own and strikes any other.
TEST(Projectiles, APlainShotStrikesTheFirstFoeAndEnds) {
  struct Row {
    std::uint8_t thrower, first, second;
    S first_state;
    std::int32_t first_z;
    int struck;  // 0 none
    bool blocked;
  };
  const Row rows[] = {
      {0, 1, 1, S::idle, 150, 2, false},  {0, 1, 1, S::block, 150, 2, true}, {1, 0, 0, S::idle, 150, 2, false},
      {1, 2, 1, S::idle, 150, 2, false},  {1, 1, 0, S::idle, 150, 3, false}, {0, 0, 0, S::idle, 150, 0, false},
      {0, 1, 1, S::down, 150, 3, false},  {0, 1, 2, S::idle, 185, 2, false}, {0, 1, 2, S::idle, 186, 3, false},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("archer", row.thrower, 300, 150);
    Actor& first = a.add("fighter", row.first, 350, 150, -1);
    first.state = row.first_state, first.z = fx_from_cm(row.first_z);
    a.add("fighter", row.second, 350, 150, -1);
    const Rng before = a.w.rng;
    shoot(a, "t_bolt");
    update_projectiles(a.w);
    SCOPED_TRACE(&row - rows);
    EXPECT_EQ(a.w.projectiles.empty(), row.struck != 0);
    ASSERT_EQ(a.kinds(), row.struck != 0 ? K{EventKind::hit} : K{});
    if (row.struck == 0) continue;
    EXPECT_EQ(a.w.events[0].target, row.struck);
    EXPECT_EQ(a.w.events[0].blocked, row.blocked ? 1 : 0);
    EXPECT_EQ(a.w.rng, after_draws(before, row.blocked ? 0 : 1));
  }
}

// Barrels: a player's plain shot breaks one, an enemy's passes it; a
// bursting shot goes off on one whoever threw it, and only a player's burst
// breaks it. A shot also ends past its range or off either end of the
// stage, and a bursting one bursts where that step left it.
TEST(Projectiles, BarrelsRangeAndStageEnds) {
  struct Row {
    const char* move;
    std::uint8_t team;
    K kinds;
    bool flies_on;
  };
  const Row rows[] = {{"t_bolt", 0, {EventKind::break_}, false}, {"t_bolt", 1, {}, true},
                      {"fireball", 1, {EventKind::blast}, false},
                      {"fireball", 0, {EventKind::blast, EventKind::break_}, false}};
  for (const Row& row : rows) {
    Arena a;
    a.add("wizard", row.team, 300, 150);
    a.barrel(350, 150);
    shoot(a, row.move);
    update_projectiles(a.w);
    EXPECT_EQ(a.kinds(), row.kinds) << row.move << int{row.team};
    EXPECT_EQ(a.w.projectiles.size(), row.flies_on ? 1u : 0u) << row.move << int{row.team};
  }
  Arena a;
  a.add("wizard", 0, 300, 150);
  a.add("thief", 0, 20, 150, -1);
  a.add("thief", 0, 4395, 150, 1);
  shoot(a, "fireball");
  a.w.projectiles[0].age = 552;
  shoot(a, "t_bolt", nullptr, 2);
  shoot(a, "t_bolt", nullptr, 3);
  update_projectiles(a.w);
  EXPECT_TRUE(a.w.projectiles.empty());
  EXPECT_EQ(a.w.events, std::vector<Event>{Event::blast_of(DamageType::burning, 342, 150, 90)});
}

// A thrown item without a burst passes through foes and lays its hazard
// where it lands; one with both bursts on the first foe and lays it there.
// A removed projectile's place goes to the next, visited in the same pass.
TEST(Projectiles, ThrownItemsAndRemovalOrder) {
  Arena a;
  a.add("thief", 0, 300, 150);
  a.add("bandit", 1, 350, 150);
  shoot(a, "toss", "caltrops");
  shoot(a, "t_bolt");  // strikes the bandit
  a.w.projectiles[0].age = 150;
  update_projectiles(a.w);
  ASSERT_EQ(a.w.projectiles.size(), 1u) << "the caltrops fly on";
  EXPECT_EQ(a.kinds(), K{EventKind::hit});
  update_projectiles(a.w);
  EXPECT_EQ(a.w.events.back(), Event::caltrops_of(350, 150));

  a.w.events.clear();
  shoot(a, "t_bolt");
  a.w.projectiles[0].age = 100;
  shoot(a, "throw_flask", "t_spiked");
  shoot(a, "throw_flask", "t_spiked");
  update_projectiles(a.w);
  EXPECT_EQ(a.kinds(), (K{EventKind::blast, EventKind::hit, EventKind::caltrops}));
  ASSERT_EQ(a.w.projectiles.size(), 1u) << "the second flask flies over the thrown bandit";
  EXPECT_EQ(a.w.projectiles[0].age, 11);
  EXPECT_EQ(a.w.hazards.back().x.raw, 341 * cm);
  EXPECT_EQ(a.w.hazards.back().ticks, 60);
}

// A hazard of t ticks hurts on t - 1 steps, each foe once; one of 1 tick is
// gone at once.
TEST(Hazards, LiveOneStepLessThanTheirTicks) {
  for (const std::uint16_t ticks : {1, 3}) {
    Arena a;
    a.add("thief", 0, 100, 150);
    a.add("bandit", 1, 500, 200);
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, 0, ticks);
    a.w.events.clear();
    std::vector<std::size_t> hits;
    while (!a.w.hazards.empty()) {
      update_hazards(a.w);
      a.w.actors[2].state = S::idle;
      hits.push_back(a.w.events.size());
    }
    EXPECT_EQ(hits, (ticks == 1 ? std::vector<std::size_t>{0} : std::vector<std::size_t>{1, 1, 1}));
  }
}

// Who a hazard hurts: foes on the floor, open to blows, inside 70 by 45 cm
// (to the Fx unit) and not hurt by it before; guard, sleep and hit-stop do
// not protect. Those left out draw nothing.
TEST(Hazards, HurtFoesStandingInThem) {
  struct Row {
    std::uint8_t team;
    S state;
    std::int32_t dx, dz, y, invuln;  // dx and dz from the hazard, in Fx
    bool listed, hurt;
  };
  const Row rows[] = {
      {1, S::idle, 0, 0, 0, 0, false, true},          {0, S::idle, 0, 0, 0, 0, false, false},
      {1, S::idle, 0, 0, 1, 0, false, false},         {1, S::idle, 0, 0, 0, 1, false, false},
      {1, S::down, 0, 0, 0, 0, false, false},         {1, S::idle, 0, 0, 0, 0, true, false},
      {1, S::block, 70 * cm, 45 * cm, 0, 0, false, true}, {1, S::stun, -70 * cm, -45 * cm, 0, 0, false, true},
      {1, S::idle, 70 * cm + 1, 0, 0, 0, false, false}, {1, S::idle, 0, -45 * cm - 1, 0, 0, false, false},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("thief", 0, 100, 150);
    Actor& t = a.add("bandit", row.team, 500, 200);
    t.state = row.state, t.held = 1, t.hitstop = 3, t.invuln = static_cast<std::uint16_t>(row.invuln);
    t.x.raw += row.dx, t.z.raw += row.dz, t.y.raw = row.y;
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, 0, 10);
    if (row.listed) a.w.hazards[0].hit_list.push_back(2);
    a.w.events.clear();
    const Rng before = a.w.rng;
    update_hazards(a.w);
    SCOPED_TRACE(&row - rows);
    EXPECT_EQ(a.kinds(), row.hurt ? K{EventKind::hit} : K{});
    EXPECT_EQ(a.w.rng, after_draws(before, row.hurt ? 1 : 0));
  }
}

// What the spikes do: at least 1 damage, doubled unless undead, no DR; a
// stun unless heavy; at 0 hit points a fall the way the body moved. Each
// victim draws its own dice, in list order.
TEST(Hazards, DamageStunFallAndDraws) {
  struct Row {
    const char* kind;
    std::int32_t hp, temp_hp, vx, injury, hp_after;
    S state;
    std::int32_t vx_after, facing;
  };
  const Row rows[] = {
      {"bandit", 20, 0, 3 * cm, 2, 18, S::stun, 0, 1},   {"skeleton", 20, 0, 0, 1, 19, S::stun, 0, 1},
      {"ogre", 20, 0, 3 * cm, 2, 18, S::walk, 3 * cm, 1}, {"ogre", 2, 0, 0, 2, 0, S::fall, 4 * cm, -1},
      {"bandit", 1, 0, -1, 2, -1, S::fall, -4 * cm, 1},   {"bandit", 20, 1, 0, 2, 19, S::stun, 0, 1},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("thief", 0, 100, 150);
    Actor& t = a.add(row.kind, 1, 500, 200, 1);
    t.dr = 5, t.hp = row.hp, t.temp_hp = row.temp_hp, t.vx = Fx::from_raw(row.vx), t.state = S::walk;
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, -5, 10);
    a.w.events.clear();
    update_hazards(a.w);
    const Actor& after = a.w.actors[2];
    EXPECT_EQ(a.w.events, std::vector<Event>{Event::hit_of(DamageType::impaling, false, false, 1, 2, row.injury,
                                                            500, 10, 200)});
    EXPECT_EQ(std::make_tuple(after.hp, after.temp_hp, after.state, after.vx.raw, int{after.facing}, int{after.stun}),
              std::make_tuple(row.hp_after, 0, row.state, row.vx_after, row.facing, row.state == S::stun ? 30 : 0))
        << row.kind << " " << row.hp;
  }
  Arena a;
  a.add("thief", 0, 100, 150);
  a.add("bandit", 1, 500, 200);
  a.add("thief", 0, 500, 200);
  a.add("bandit", 1, 500, 200);
  spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 2, 0, 10);
  Rng r = a.w.rng;
  auto die = [&r] { return static_cast<std::int32_t>(r.next() % 6) + 1; };
  const std::int32_t first = 2 * (die() + die()), second = 2 * (die() + die());
  a.w.events.clear();
  update_hazards(a.w);
  ASSERT_EQ(a.w.events.size(), 2u);
  EXPECT_EQ(std::make_tuple(a.w.events[0].target, a.w.events[0].amount, a.w.events[1].target, a.w.events[1].amount),
            std::make_tuple(2, first, 4, second));
  EXPECT_EQ(a.w.rng, r);
}

}  // namespace
}  // namespace velmora
