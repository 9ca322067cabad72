// Projectiles in flight and hazards on the ground.
#include "core/rules/projectiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

#include "core/base/clamp.h"
#include "core/rules/effects.h"
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

// One flight step against what stands 50 cm ahead: a foe (F), a foe
// blocking (B) or down (D), one of the thrower's side (O), a barrel (R),
// two foes (2: the first at z, the other in the lane) or nothing (-). A plain
// shot strikes the first foe open to blows as a thrown blow from its own
// point (one draw unless blocked) and ends, breaks a barrel if a player threw
// it, and ends unspent past its range (SPEED 10, RANGE 100: a step from 90
// reaches 100 and flies on); a bursting one goes off on a foe or
// any barrel, or past its range where it is, and lays its item's hazard; a
// thrown item without a burst flies through foes, whatever its move carries,
// and lays its hazard where it lands.
TEST(Projectiles, OneStepAgainstWhatStandsAhead) {
  using E = EventKind;
  struct Row {
    const char *move = "t_bolt", *item = nullptr;
    std::uint8_t team = 0;
    char ahead = '-';
    std::int32_t z = 150, age = 0;
    K kinds = {};
    std::int32_t x = 0;  // of the first event
    std::size_t flying = 0;
    int draws = 0, struck = 2;
  };
  const Row rows[] = {
      {.ahead = 'F', .kinds = {E::hit}, .x = 345, .draws = 1},
      {.team = 1, .ahead = 'F', .kinds = {E::hit}, .x = 345, .draws = 1},
      {.ahead = 'B', .kinds = {E::hit}, .x = 345},
      {.ahead = '2', .z = 185, .kinds = {E::hit}, .x = 345, .draws = 1},
      {.ahead = '2', .z = 186, .kinds = {E::hit}, .x = 345, .draws = 1, .struck = 3},
      {.ahead = 'O', .flying = 1},
      {.ahead = 'D', .flying = 1},
      {.ahead = 'F', .age = 90, .kinds = {E::hit}, .x = 345, .draws = 1},
      {.ahead = 'F', .age = 100},
      {.ahead = 'R', .kinds = {E::break_}},
      {.team = 1, .ahead = 'R', .flying = 1},
      {.move = "fireball", .team = 1, .ahead = 'R', .kinds = {E::blast}, .x = 342},
      {.move = "fireball", .ahead = 'R', .kinds = {E::blast, E::break_}, .x = 342},
      {.move = "fireball", .age = 552, .kinds = {E::blast}, .x = 342},
      {.move = "fireball", .item = "caltrops", .ahead = 'F', .flying = 1},
      {.move = "toss", .item = "caltrops", .age = 151, .kinds = {E::caltrops}, .x = 340},
      {.move = "throw_flask", .item = "t_spiked", .ahead = 'F', .kinds = {E::blast, E::hit, E::caltrops}, .x = 341,
       .draws = 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    Arena a;
    a.add("wizard", row.team, 300, 150);
    if (row.ahead == 'R') a.barrel(350, 150);
    if (row.ahead != 'R' && row.ahead != '-') {
      Actor& t = a.add("fighter", row.ahead == 'O' ? row.team : 1 - row.team, 350, row.z, -1);
      t.state = row.ahead == 'B' ? S::block : row.ahead == 'D' ? S::down : S::idle;
    }
    if (row.ahead == '2') a.add("fighter", 1, 350, 150, -1);
    const Rng before = a.w.rng;
    shoot(a, row.move, row.item);
    a.w.projectiles[0].age = row.age;
    update_projectiles(a.w);
    ASSERT_EQ(a.kinds(), row.kinds);
    EXPECT_EQ(std::make_tuple(a.w.projectiles.size(), a.w.rng, a.w.actors[1].hit_list.size()),
              std::make_tuple(row.flying, after_draws(before, row.draws), 0u));
    if (!row.kinds.empty()) {
      const Event& e = a.w.events[0];
      EXPECT_EQ(std::make_tuple(e.x, e.kind == E::hit ? e.target : 2), std::make_tuple(row.x, row.struck));
    }
  }
  const Projectile left{std::nullopt, fx_from_cm(100), fx_from_cm(5), fx_from_cm(50), 0, 0, 0, 0, move_named("jab"), -1};
  EXPECT_EQ(projectile_box(left), (AttackBox{40, 90, 85, 155, 25, 75})) << "a box facing left mirrors the reach";
}

// A shot ends off either end of the stage but not on its last centimetre,
// and a removed projectile's place goes to the next, visited in the same pass.
TEST(Projectiles, StageEndsAndRemovalOrder) {
  Arena a;
  a.add("thief", 0, 20, 150, -1);
  a.add("thief", 0, a.w.stage().length - 40, 150, 1);
  shoot(a, "t_bolt");
  shoot(a, "t_bolt", nullptr, 2);
  shoot(a, "t_bolt", nullptr, 2);
  a.w.projectiles[1].x.raw += 1;
  update_projectiles(a.w);
  ASSERT_EQ(a.w.projectiles.size(), 1u);
  EXPECT_EQ(a.w.projectiles[0].x.raw, a.w.stage().length * cm);
}

// A hazard of t ticks hurts on t - 1 steps, each foe once, drawing each
// foe's dice in list order and none for its own side; one of 1 tick is gone
// at once, and the next hazard takes its place in the same pass.
TEST(Hazards, LiveOneStepLessThanTheirTicks) {
  Arena a;
  a.add("thief", 0, 100, 150);
  for (const std::uint8_t team : {1, 0, 1}) a.add(team == 0 ? "thief" : "bandit", team, 500, 200).hp = 1000;
  spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, 0, 1);
  spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 2, 0, 3);
  Rng r = a.w.rng;
  const std::int32_t first = 2 * (d6_of(r) + d6_of(r)), second = 2 * (d6_of(r) + d6_of(r));
  std::vector<std::vector<std::pair<int, int>>> hurt;  // target and injury, step by step
  std::vector<std::size_t> left;
  for (int step = 0; step < 3; ++step) {
    a.w.events.clear();
    update_hazards(a.w);
    a.w.actors[2].state = a.w.actors[4].state = S::idle;
    hurt.emplace_back();
    for (const Event& e : a.w.events) hurt.back().emplace_back(e.target, e.amount);
    left.push_back(a.w.hazards.size());
  }
  EXPECT_EQ(hurt, (std::vector<std::vector<std::pair<int, int>>>{{{2, first}, {4, second}}, {}, {}}));
  EXPECT_EQ(left, (std::vector<std::size_t>{1, 1, 0}));
  EXPECT_EQ(a.w.rng, r);
}

// Who a hazard hurts and how: foes on the floor, open to blows, inside 70 by
// 45 cm (to the Fx unit) and not hurt by it before, whatever their guard,
// sleep or hit-stop; those left out draw nothing. At least 1 damage (a roll
// below 6 less 5), doubled unless undead, no DR; a stun unless heavy; at 0
// hit points a fall the way the body moved, facing back.
TEST(Hazards, WhoIsHurtAndHow) {
  struct Row {
    const char* kind = "bandit";
    std::uint8_t team = 1;
    S state = S::walk;
    std::int32_t dx = 0, dz = 0, y = 0, invuln = 0;  // dx and dz from the hazard, in Fx
    bool listed = false;
    std::int32_t hp = 20, temp_hp = 0, vx = 0;
    std::int32_t injury = 0;  // 0: not hurt, nothing changes
    S after = S::walk;
    std::int32_t vx_after = 0, facing = 1;
  };
  const Row rows[] = {
      {.team = 0}, {.y = 1}, {.invuln = 1}, {.state = S::down}, {.listed = true}, {.dx = 70 * cm + 1},
      {.dz = -45 * cm - 1},
      {.state = S::block, .dx = 70 * cm, .dz = 45 * cm, .vx = 3 * cm, .injury = 2, .after = S::stun},
      {.kind = "skeleton", .state = S::stun, .dx = -70 * cm, .dz = -45 * cm, .injury = 1, .after = S::stun},
      {.kind = "ogre", .vx = 3 * cm, .injury = 2, .vx_after = 3 * cm},
      {.kind = "ogre", .hp = 2, .injury = 2, .after = S::fall, .vx_after = 4 * cm, .facing = -1},
      {.hp = 1, .vx = -1, .injury = 2, .after = S::fall, .vx_after = -4 * cm},
      {.temp_hp = 1, .injury = 2, .after = S::stun},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    Arena a;
    a.add("thief", 0, 100, 150);
    Actor& t = a.add(row.kind, row.team, 500, 200);
    t.state = row.state, t.held = 1, t.hitstop = 3, t.invuln = static_cast<std::uint16_t>(row.invuln), t.dr = 5;
    t.x.raw += row.dx, t.z.raw += row.dz, t.y.raw = row.y, t.hp = row.hp, t.temp_hp = row.temp_hp, t.vx.raw = row.vx;
    const Actor before = t;
    spawn_hazard(a.w, 1, fx_from_cm(500), fx_from_cm(200), 1, -5, 10);
    if (row.listed) a.w.hazards[0].hit_list.push_back(2);
    a.w.events.clear();
    for (Rng c = a.w.rng; d6_of(c) == 6; c = a.w.rng) a.w.rng.next();
    const Rng drawn = after_draws(a.w.rng, row.injury == 0 ? 0 : 1);
    update_hazards(a.w);
    const Actor& u = a.w.actors[2];
    EXPECT_EQ(a.w.rng, drawn);
    if (row.injury == 0) {
      EXPECT_TRUE(a.w.events.empty());
      EXPECT_EQ(u, before);
      continue;
    }
    EXPECT_EQ(a.w.events, std::vector<Event>{Event::hit_of(DamageType::impaling, false, false, 1, 2, row.injury,
                                                            u.x.raw >> 8, 10, u.z.raw >> 8)});
    EXPECT_EQ(std::make_tuple(u.hp, u.temp_hp, u.state, u.vx.raw, int{u.facing}, int{u.stun}),
              std::make_tuple(row.hp - std::max(0, row.injury - row.temp_hp), 0, row.after, row.vx_after, row.facing,
                              row.after == S::stun ? 30 : 0));
  }
}

}  // namespace
}  // namespace velmora
