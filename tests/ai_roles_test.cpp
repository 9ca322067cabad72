// The decisions of the enemy roles from set-up positions. The camera is
// centred on 2000 cm, so goals are held within 1500..2500; the band is 300 deep.
#include "core/ai_roles.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "core/game_data.h"
#include "tests/support/ai_fixture.h"

namespace velmora {
namespace {

using testing::add_enemy;
using testing::ai_kinds;
using testing::arena;
using testing::place;
using testing::rng_where;

using Role = AiSteer (*)(World&, std::size_t, const AiTarget&);
using Arrange = std::function<void(World&, Actor& self, Actor& target)>;

void nothing(World&, Actor&, Actor&) {}

std::uint8_t move_named(const char* name) {
  ai_kinds();
  return *move_id(game_data().moves, name);
}

// One decision of a role with its stand roll (or no draw at all) checked.
struct Case {
  const char* name;
  Arrange setup;
  std::optional<bool> roll;  // the outcome of the one draw the role makes, none: no draw
  AiSteer want;
  std::uint16_t stand = 0;
  std::uint8_t armed = 0;
  std::uint16_t retreat = 0;
};

// The role of `kind` deciding at (2000, 150) about player 0 at (tx, tz),
// with `players` players in the arena (the enemy's id is that number). The
// roll is the stand roll unless another chance is given.
void check(Role role, std::uint8_t kind, std::size_t players, std::int32_t tx, std::int32_t tz,
           const std::vector<Case>& cases, std::optional<std::int32_t> roll_chance = {}) {
  for (const Case& c : cases) {
    World w = arena(players);
    place(w.actors[0], tx, tz);
    w.actors[0].facing = -1;
    const std::size_t e = add_enemy(w, kind, 2000, 150);
    w.actors[e].ai_engaged = 1;
    c.setup(w, w.actors[e], w.actors[0]);
    const std::int32_t per_mille = roll_chance ? *roll_chance : kind_by_id(w.actors[e].kind).stand.chance;
    w.rng = c.roll ? rng_where(*c.roll, per_mille) : Rng{99};
    const Rng before = w.rng;
    const AiSteer got = role(w, e, ai_target_of(w.actors[0]));
    EXPECT_EQ(got, c.want) << c.name << ": goal " << got.goal_x << " " << got.goal_z << " buttons " << got.buttons;
    EXPECT_EQ(w.actors[e].ai_stand, c.stand) << c.name;
    EXPECT_EQ(w.actors[e].ai_stand_armed, c.armed) << c.name;
    EXPECT_EQ(w.actors[e].ai_retreat, c.retreat) << c.name;
    EXPECT_EQ(w.rng != before, c.roll.has_value()) << c.name;
  }
}

AiSteer walk(std::int32_t x, std::int32_t z, Buttons b, std::int8_t facing) { return AiSteer{1, x, z, b, facing}; }

// Jab: reach 10..60 (used to 50), depth 25, mean 35; bull_rush special.
TEST(Brute, ReachChargeAndHangingBack) {
  auto at = [](std::int32_t x, std::int32_t z, std::uint16_t id) {
    return [=](World&, Actor& self, Actor& target) {
      place(target, x, z);
      self.id = id;
    };
  };
  auto unengaged = [](Arrange inner) {
    return [=](World& w, Actor& self, Actor& target) {
      inner(w, self, target);
      self.ai_engaged = 0;
    };
  };
  check(ai_brute, ai_kinds().brute, 1, 2040, 150,
        {
            {"in reach: strikes from the middle of it", nothing, {}, walk(2005, 150, 16, 1)},
            {"one past the reach used", at(2051, 150, 1), {}, walk(2016, 150, 0, 1)},
            {"inside FROM", at(2009, 150, 1), {}, walk(1974, 150, 0, 1)},
            {"on top: faces right", at(2000, 150, 1), {}, walk(1965, 150, 0, 1)},
            {"left and one too deep", at(1960, 176, 1), {}, walk(1995, 176, 0, -1)},
            {"cooling down", [](World&, Actor& s, Actor&) { s.ai_cooldown = 5; }, {}, walk(2005, 150, 0, 1)},
            {"target falling", [](World&, Actor&, Actor& t) { t.state = ActorState::fall; }, {},
             walk(2005, 150, 0, 1)},
            {"far and in line: charges", at(2500, 210, 1), true, walk(2465, 210, 512, 1)},
            {"far and in line: the roll fails", at(2500, 90, 1), false, walk(2465, 90, 0, 1)},
            {"far but out of line: no roll", at(2500, 211, 1), {}, walk(2465, 211, 0, 1)},
            {"waiting, id 2: 380 back, 90 deeper", unengaged(at(2500, 150, 2)), {}, walk(2120, 240, 0, 1)},
            {"waiting, id 3: 300 back, 90 shallower, held in the band", unengaged(at(1500, 50, 3)), {},
             walk(1800, 0, 0, -1)},
            {"waiting, id 4: 340 back, held in the band", unengaged(at(2200, 250, 4)), {}, walk(1860, 300, 0, 1)},
        },
        300);
}

// The guard (spear 20..120) at (2000, 150), its target player 0 at (2300, 150).
TEST(Guard, StandsBetweenTheNearestShooterOrBossAndItsThreat) {
  struct GuardCase {
    const char* name;
    std::function<void(World&)> setup;
    std::optional<AiSteer> want;  // none: the brute's decision
  };
  const testing::AiKinds& k = ai_kinds();
  const std::vector<GuardCase> cases = {
      {"nobody to shield: a brute", [](World&) {}, {}},
      {"only a knocked-out archer: a brute",
       [&](World& w) { w.actors[add_enemy(w, k.archer, 2200, 100)].state = ActorState::ko; }, {}},
      {"archer, threat on its right", [&](World& w) { add_enemy(w, k.archer, 2200, 100); }, walk(2310, 125, 0, 1)},
      {"archer, a nearer threat on its left",
       [&](World& w) {
         add_enemy(w, k.archer, 2200, 100);
         place(w.actors[1], 2100, 100);
       },
       walk(2090, 100, 0, 1)},
      {"a vanished threat is not one",
       [&](World& w) {
         add_enemy(w, k.archer, 2200, 100);
         place(w.actors[1], 2100, 100);
         w.actors[1].stealth = 10;
       },
       walk(2310, 125, 0, 1)},
      {"a boss counts; equal distances go to the lower id",
       [&](World& w) {
         add_enemy(w, k.chief, 1800, 150);
         add_enemy(w, k.witch, 2200, 150);
       },
       walk(1910, 150, 0, 1)},
      {"the target in reach of its spear",
       [&](World& w) {
         add_enemy(w, k.archer, 2200, 100);
         place(w.actors[0], 2110, 150);
       },
       walk(2090, 125, 16, 1)},
  };
  for (const GuardCase& c : cases) {
    World w = arena(2);
    place(w.actors[0], 2300, 150);
    const std::size_t g = add_enemy(w, k.guard, 2000, 150);
    c.setup(w);
    World as_brute = w;
    const AiSteer got = ai_guard(w, g, ai_target_of(w.actors[0]));
    const AiSteer want = c.want ? *c.want : ai_brute(as_brute, g, ai_target_of(as_brute.actors[0]));
    EXPECT_EQ(got, want) << c.name << ": goal " << got.goal_x << " " << got.goal_z;
  }
}

// Stab: reach 10..80 (used to 70), depth 22, mean 45; flee_hp 40 (hp 3 of 10
// is low), stand 300 90. The skirmisher has id 2 (even); player 0 at (2050,
// 150) faces it; a brute ally stands at (2600, 150).
TEST(Skirmisher, StancesAndGoals) {
  auto low = [](Arrange more) {
    return [=](World& w, Actor& s, Actor& t) {
      add_enemy(w, ai_kinds().brute, 2600, 150);
      s.hp = 3;
      more(w, s, t);
    };
  };
  auto cooling = [](World&, Actor& s, Actor&) { s.ai_cooldown = 10; };
  auto swinging = [](std::int8_t facing, const char* move) {
    return [=](World&, Actor&, Actor& t) {
      t.state = ActorState::attack;
      t.move = move_named(move);
      t.facing = facing;
    };
  };
  check(ai_skirmisher, ai_kinds().skirmisher, 2, 2050, 150,
        {
            {"ready: behind the target, off to its side, striking", nothing, {}, walk(2095, 210, 16, 1)},
            {"not engaged: circles 360 away", [](World&, Actor& s, Actor&) { s.ai_engaged = 0; }, {},
             walk(1690, 260, 0, 1)},
            {"cooling down, roll fails: hangs back", cooling, false, walk(1835, 220, 0, 1), 0, 1},
            {"cooling down, roll holds: stands", cooling, true, walk(2005, 150, 0, 1), 90, 0},
            {"cooling down, armed: hangs back with no roll",
             [](World&, Actor& s, Actor&) {
               s.ai_cooldown = 10;
               s.ai_stand_armed = 1;
             },
             {}, walk(1835, 220, 0, 1), 0, 1},
            {"low, roll fails: flees", low(nothing), false, walk(1600, 300, 0, 1), 0, 1},
            {"low, roll holds: stands and strikes", low(nothing), true, walk(2005, 150, 16, 1), 90, 1},
            {"low, the target's back is turned", low(swinging(1, "slash")), {}, walk(2005, 150, 16, 1), 90, 1},
            {"low, the target swings at a nearer ally",
             low([swinging](World& w, Actor& s, Actor& t) {
               swinging(-1, "slash")(w, s, t);
               place(w.actors.back(), 2080, 150);
             }),
             {}, walk(2005, 150, 16, 1), 90, 1},
            {"low, a harmless move is no opening", low(swinging(1, "rally_cry")), false, walk(1600, 300, 0, 1), 0, 1},
            {"low but the last one standing", [](World&, Actor& s, Actor&) { s.hp = 1; }, {}, walk(2095, 210, 16, 1)},
            {"low while cooling down: the stand ends, armed: flees",
             low([](World&, Actor& s, Actor&) {
               s.ai_cooldown = 5;
               s.ai_stand = 30;
               s.ai_stand_armed = 1;
             }),
             {}, walk(1600, 300, 0, 1), 0, 1},
            {"low and cornered at the view edge: strikes",
             low([](World&, Actor& s, Actor& t) {
               place(s, 1520, 150);
               place(t, 1570, 150);
               s.ai_stand_armed = 1;
             }),
             {}, walk(1500, 300, 16, 1), 0, 1},
            {"low with an odd id: flees to the shallow side",
             low([](World&, Actor& s, Actor&) {
               s.id = 5;
               s.ai_stand_armed = 1;
             }),
             {}, walk(1600, 0, 0, 1), 0, 1},
            {"behind the target is off screen: stays on this side",
             [](World&, Actor& s, Actor& t) {
               place(s, 2430, 150);
               place(t, 2480, 150);
             },
             {}, walk(2435, 150, 16, 1)},
        });
}

TEST(Skirmisher, StandChanceZeroArmsWithoutARoll) {
  check(ai_skirmisher, ai_kinds().steady, 2, 2050, 150,
        {{"low: flees, armed, no draw",
          [](World& w, Actor& s, Actor&) {
            add_enemy(w, ai_kinds().brute, 2600, 150);
            s.hp = 3;
          },
          {}, walk(1600, 300, 0, 1), 0, 1}});
}

// Archer: keep 350 600, arrow range 700, jab reach 10..50 in use. The shooter
// has id 3 (odd); players 1 and 2 wait far away unless placed.
TEST(Shooter, KeepingTheBandFiringStandingAndDashing) {
  auto target_at = [](std::int32_t x, std::int32_t z, Arrange more = nothing) {
    return [=](World& w, Actor& s, Actor& t) {
      place(t, x, z);
      more(w, s, t);
    };
  };
  auto armed = [](World&, Actor& s, Actor&) { s.ai_stand_armed = 1; };
  auto armed_retreating = [](World&, Actor& s, Actor&) {
    s.ai_stand_armed = 1;
    s.ai_retreat = 30;
  };
  check(ai_shooter, ai_kinds().archer, 3, 2500, 150,
        {
            {"far: keeps the middle of its band and fires", armed, {}, walk(2025, 150, 512, 1)},
            {"not engaged: holds fire", [](World&, Actor& s, Actor&) { s.ai_engaged = 0; }, {},
             walk(2025, 150, 0, 1)},
            {"21 out of line: holds fire", target_at(2500, 171), {}, walk(2025, 171, 0, 1)},
            {"beyond the range less 40", target_at(2661, 150), {}, walk(2186, 150, 0, 1)},
            {"cooling down", [](World&, Actor& s, Actor&) { s.ai_cooldown = 4; }, {}, walk(2025, 150, 0, 1)},
            {"pressed, roll fails: backs off, steps aside, fires", target_at(2300, 150), false,
             walk(1825, 20, 512, 1), 0, 1},
            {"pressed, roll holds: stands", target_at(2300, 150), true, walk(2000, 150, 0, 1), 90, 1},
            {"pressed and armed: no roll", target_at(2300, 150, armed), {}, walk(1825, 20, 512, 1), 0, 1},
            {"standing: strikes in reach, never fires",
             target_at(2040, 150, [](World&, Actor& s, Actor&) { s.ai_stand = 30; }), {}, walk(2000, 150, 16, 1),
             30, 0},
            {"crowded: dashes away", target_at(2050, 150, armed), {}, AiSteer{0, 0, 0, 129, -1}, 0, 1, 150},
            {"crowded, the retreat still runs: walks off", target_at(2050, 150, armed_retreating), {},
             walk(1575, 20, 0, 1), 0, 1, 30},
            {"crowded and winded: walks off",
             target_at(2050, 150,
                       [](World&, Actor& s, Actor&) {
                         s.ai_stand_armed = 1;
                         s.winded = 1;
                       }),
             {}, walk(1575, 20, 0, 1), 0, 1},
            {"crowded with its back to the view edge: fights where it stands",
             target_at(1550, 150,
                       [](World&, Actor& s, Actor&) {
                         place(s, 1500, 150);
                         s.ai_stand_armed = 1;
                       }),
             {}, walk(1500, 20, 16, 1), 0, 1},
            {"the nearest in lane decides the dash: equal dx, smaller dz",
             target_at(2300, 150,
                       [](World& w, Actor& s, Actor&) {
                         place(w.actors[2], 2100, 195);
                         place(w.actors[1], 1900, 145);
                         s.ai_stand_armed = 1;
                       }),
             {}, AiSteer{0, 0, 0, 130, 1}, 0, 1, 150},
            {"even id steps to the deep side", target_at(2300, 150, [](World&, Actor& s, Actor&) {
               s.id = 4;
               s.ai_stand_armed = 1;
             }),
             {}, walk(1825, 280, 512, 1), 0, 1},
            {"even id near the far edge steps to the shallow side",
             target_at(2300, 250,
                       [](World&, Actor& s, Actor&) {
                         place(s, 2000, 250);
                         s.id = 4;
                         s.ai_stand_armed = 1;
                       }),
             {}, walk(1825, 120, 512, 1), 0, 1},
            {"odd id with a shallow target steps deeper",
             target_at(2300, 100, [](World&, Actor& s, Actor&) {
               place(s, 2000, 100);
               s.ai_stand_armed = 1;
             }),
             {}, walk(1825, 230, 512, 1), 0, 1},
        });
}

// Hedge witch: keep 400 650, witch_bolt costs 2 FP, staff reach 20..90 in use.
TEST(Shooter, ACasterShortOfFatigueKeepsFarAndUsesItsStaff) {
  auto tired = [](std::int32_t x) {
    return [=](World&, Actor& s, Actor& t) {
      place(t, x, 150);
      s.fp = 1;
      s.ai_stand_armed = 1;
      s.ai_retreat = 30;
    };
  };
  check(ai_shooter, ai_kinds().witch, 3, 2500, 150,
        {
            {"with FP: fires from (near + far) / 2", nothing, {}, walk(1975, 150, 512, 1)},
            {"without: far + 100, no bolt", tired(2500), {}, walk(1750, 150, 0, 1), 0, 0, 30},
            {"without, in staff reach: strikes", tired(2060), {}, walk(1500, 20, 16, 1), 0, 1, 30},
        });
}

}  // namespace
}  // namespace velmora
