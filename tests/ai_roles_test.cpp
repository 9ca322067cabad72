// The decisions of the enemy roles from set-up scenes. The camera is centred
// on 2000 cm, so goals are held within 1500..2500; the band is 300 deep.
#include "core/ai_roles.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/game_data.h"
#include "tests/support/ai_fixture.h"

namespace velmora {
namespace {

using testing::add_enemy;
using testing::ai_kinds;
using testing::place;

using Role = AiSteer (*)(World&, std::size_t, const AiTarget&);

// Another enemy of the scene (x 0: none).
struct Extra {
  std::uint8_t kind = 0;
  std::int32_t x = 0, z = 150;
  bool ko = false;
};

// The deciding enemy at (x, z), engaged, about player 0 at (tx, tz) facing
// tf; the other players wait far off unless placed.
struct Scene {
  std::int32_t tx = 0, tz = 150;
  std::int8_t tf = -1;
  const char* swing = nullptr;  // the target's move, in attack
  bool busy = false;            // the target falls
  std::int32_t x = 2000, z = 150;
  int id = -1;  // the enemy's id when not its index
  std::int32_t hp = 0, fp = -1;
  std::uint16_t cooldown = 0, stand = 0, retreat = 0;
  std::uint8_t armed = 0, engaged = 1, winded = 0;
  Extra a = {}, b = {};
  std::int32_t p1x = 5000, p1z = 150, p2x = 5000, p2z = 150;
  std::uint16_t p1_stealth = 0;
};

struct Row {
  const char* name;
  Scene s;
  std::optional<bool> roll;  // the outcome of the role's one draw; none: no draw
  AiSteer want;
  std::uint16_t stand = 0;
  std::uint8_t armed = 0;
  std::uint16_t retreat = 0;
};

AiSteer walk(std::int32_t x, std::int32_t z, Buttons b, std::int8_t facing = 1) { return AiSteer{1, x, z, b, facing}; }
AiSteer dash(Buttons b, std::int8_t side) { return AiSteer{0, 0, 0, static_cast<Buttons>(button::dash | b), side}; }

std::size_t build(World& w, std::uint8_t kind, const Scene& s) {
  Actor& t = w.actors[0];
  place(t, s.tx, s.tz);
  t.facing = s.tf;
  if (s.swing != nullptr) {
    t.state = ActorState::attack;
    t.move = *move_id(game_data().moves, s.swing);
  }
  if (s.busy) t.state = ActorState::fall;
  place(w.actors[1], s.p1x, s.p1z);
  w.actors[1].stealth = s.p1_stealth;
  if (w.actors.size() > 2) place(w.actors[2], s.p2x, s.p2z);
  const std::size_t e = add_enemy(w, kind, s.x, s.z);
  for (const Extra& x : {s.a, s.b}) {
    if (x.x != 0) w.actors[add_enemy(w, x.kind, x.x, x.z)].state = x.ko ? ActorState::ko : ActorState::idle;
  }
  Actor& a = w.actors[e];
  if (s.id >= 0) a.id = static_cast<std::uint16_t>(s.id);
  if (s.hp != 0) a.hp = s.hp;
  if (s.fp >= 0) a.fp = s.fp;
  a.ai_cooldown = s.cooldown;
  a.ai_stand = s.stand;
  a.ai_retreat = s.retreat;
  a.ai_stand_armed = s.armed;
  a.ai_engaged = s.engaged;
  a.winded = s.winded;
  return e;
}

// Each row in a fresh arena of `players` (the enemy's index is that number);
// the draw is the stand roll unless another chance is given.
void check(Role role, std::uint8_t kind, std::size_t players, const std::vector<Row>& rows,
           std::optional<std::int32_t> roll_chance = {}) {
  for (const Row& r : rows) {
    World w = testing::arena(players);
    const std::size_t e = build(w, kind, r.s);
    const std::int32_t per_mille = roll_chance ? *roll_chance : kind_by_id(kind).stand.chance;
    w.rng = r.roll ? testing::rng_where(*r.roll, per_mille) : Rng{99};
    const Rng before = w.rng;
    const AiSteer got = role(w, e, ai_target_of(w.actors[0]));
    EXPECT_EQ(got, r.want) << r.name << ": goal " << got.goal_x << " " << got.goal_z << " buttons " << got.buttons;
    const Actor& a = w.actors[e];
    EXPECT_EQ((std::vector<int>{a.ai_stand, a.ai_stand_armed, a.ai_retreat}),
              (std::vector<int>{r.stand, r.armed, r.retreat}))
        << r.name << ": stand, armed, retreat";
    EXPECT_EQ(w.rng != before, r.roll.has_value()) << r.name;
  }
}

// Jab: reach 10..60 (used to 50), depth 25, mean 35; the bull_rush charge
// rolls 300. The brute's id is 1 unless set.
TEST(Brute, ReachChargeAndWaitingPlaces) {
  check(ai_brute, ai_kinds().brute, 2,
        {
            {"in reach: strikes from the middle of it", {.tx = 2040}, {}, walk(2005, 150, 16)},
            {"one past the reach used", {.tx = 2051}, {}, walk(2016, 150, 0)},
            {"inside FROM", {.tx = 2009}, {}, walk(1974, 150, 0)},
            {"on top: stays, faces right", {.tx = 2000}, {}, walk(2000, 150, 0)},
            {"waiting on top: only across", {.tx = 2000, .engaged = 0}, {}, walk(2000, 240, 0)},
            {"left and one too deep", {.tx = 1960, .tz = 176}, {}, walk(1995, 176, 0, -1)},
            {"cooling down", {.tx = 2040, .cooldown = 5}, {}, walk(2005, 150, 0)},
            {"target falling", {.tx = 2040, .busy = true}, {}, walk(2005, 150, 0)},
            {"far and in line: charges", {.tx = 2500, .tz = 210}, true, walk(2465, 210, 512)},
            {"far and in line: the roll fails", {.tx = 2500, .tz = 90}, false, walk(2465, 90, 0)},
            {"far, out of line: no roll", {.tx = 2500, .tz = 211}, {}, walk(2465, 211, 0)},
            {"waiting, id 2: 380 back, 90 deeper", {.tx = 2500, .id = 2, .engaged = 0}, {}, walk(2120, 240, 0)},
            {"waiting, id 3: 300 back, 90 shallower", {.tx = 1500, .tz = 50, .id = 3, .engaged = 0}, {},
             walk(1800, 0, 0, -1)},
            {"waiting, id 4: 340 back, in the band", {.tx = 2200, .tz = 250, .id = 4, .engaged = 0}, {},
             walk(1860, 300, 0)},
        },
        300);
}

// The guard (spear 20..120, mean 70) about player 0 at (2300, 150).
TEST(Guard, BetweenTheNearestShooterOrBossAndItsThreat) {
  const testing::AiKinds& k = ai_kinds();
  const Extra archer{k.archer, 2200, 100};
  check(ai_guard, k.guard, 2,
        {
            {"nobody to shield: a brute", {.tx = 2300}, {}, walk(2230, 150, 0)},
            {"a knocked-out archer: a brute", {.tx = 2300, .a = {k.archer, 2200, 100, true}}, {}, walk(2230, 150, 0)},
            {"archer, threat on its right", {.tx = 2300, .a = archer}, {}, walk(2310, 125, 0)},
            {"archer, a nearer threat on its left", {.tx = 2300, .a = archer, .p1x = 2100, .p1z = 100}, {},
             walk(2090, 100, 0)},
            {"a vanished threat is none",
             {.tx = 2300, .a = archer, .p1x = 2100, .p1z = 100, .p1_stealth = 9}, {}, walk(2310, 125, 0)},
            {"a boss counts; a tie goes to the lower id", {.tx = 2300, .a = {k.chief, 1800}, .b = {k.witch, 2200}},
             {}, walk(1910, 150, 0)},
            {"its own target in reach", {.tx = 2110, .a = archer}, {}, walk(2090, 125, 16)},
        });
}

// Stab: reach 10..80 (used to 70), depth 22, mean 45; flee_hp 40 (3 of 10 hp
// is low), stand 300 90. The skirmisher's id is 2; player 0 at 2050 faces it.
TEST(Skirmisher, StancesAndGoals) {
  const Extra ally{ai_kinds().brute, 2600};
  const Extra near_ally{ai_kinds().brute, 2080};
  check(ai_skirmisher, ai_kinds().skirmisher, 2,
        {
            {"ready: behind the target, to its side, striking", {.tx = 2050}, {}, walk(2095, 210, 16)},
            {"not engaged: circles 360 away", {.tx = 2050, .engaged = 0}, {}, walk(1690, 260, 0)},
            {"cooling, roll fails: hangs back", {.tx = 2050, .cooldown = 10}, false, walk(1835, 220, 0), 0, 1},
            {"cooling, roll holds: stands", {.tx = 2050, .cooldown = 10}, true, walk(2005, 150, 0), 90, 0},
            {"cooling, armed: hangs back, no roll", {.tx = 2050, .cooldown = 10, .armed = 1}, {}, walk(1835, 220, 0),
             0, 1},
            {"low, roll fails: flees", {.tx = 2050, .hp = 3, .a = ally}, false, walk(1600, 300, 0), 0, 1},
            {"low, roll holds: stands, strikes", {.tx = 2050, .hp = 3, .a = ally}, true, walk(2005, 150, 16), 90, 1},
            {"low, the target's back is turned", {.tx = 2050, .tf = 1, .swing = "slash", .hp = 3, .a = ally}, {},
             walk(2005, 150, 16), 90, 1},
            {"low, the target swings at a nearer ally", {.tx = 2050, .swing = "slash", .hp = 3, .a = near_ally}, {},
             walk(2005, 150, 16), 90, 1},
            {"low, a harmless move is no opening", {.tx = 2050, .tf = 1, .swing = "rally_cry", .hp = 3, .a = ally},
             false, walk(1600, 300, 0), 0, 1},
            {"low but the last one standing", {.tx = 2050, .hp = 1}, {}, walk(2095, 210, 16)},
            {"low, cooling: the stand ends, armed: flees",
             {.tx = 2050, .hp = 3, .cooldown = 5, .stand = 30, .armed = 1, .a = ally}, {}, walk(1600, 300, 0), 0, 1},
            {"low, cornered at the view edge: strikes", {.tx = 1570, .x = 1520, .hp = 3, .armed = 1, .a = ally}, {},
             walk(1500, 300, 16), 0, 1},
            {"low, odd id: flees shallow", {.tx = 2050, .id = 5, .hp = 3, .armed = 1, .a = ally}, {},
             walk(1600, 0, 0), 0, 1},
            {"behind is off screen: this side", {.tx = 2480, .x = 2430}, {}, walk(2435, 150, 16)},
        });
  check(ai_skirmisher, ai_kinds().steady, 2,
        {{"stand chance 0: flees, armed, no draw", {.tx = 2050, .hp = 3, .a = ally}, {}, walk(1600, 300, 0), 0, 1}});
}

// Archer: keep 350 600, arrow range 700, jab reach 10..50 in use; id 3 (odd).
// Hedge witch: keep 400 650, witch_bolt costs 2 FP, staff reach 20..90.
TEST(Shooter, BandFireStandAndDash) {
  check(ai_shooter, ai_kinds().archer, 3,
        {
            {"far: the middle of its band, fires", {.tx = 2500, .armed = 1}, {}, walk(2025, 150, 512)},
            {"not engaged: holds fire", {.tx = 2500, .engaged = 0}, {}, walk(2025, 150, 0)},
            {"21 out of line: holds fire", {.tx = 2500, .tz = 171}, {}, walk(2025, 171, 0)},
            {"beyond the range less 40", {.tx = 2661}, {}, walk(2186, 150, 0)},
            {"cooling down", {.tx = 2500, .cooldown = 4}, {}, walk(2025, 150, 0)},
            {"pressed, roll fails: backs off, aside", {.tx = 2300}, false, walk(1825, 20, 512), 0, 1},
            {"pressed, roll holds: stands", {.tx = 2300}, true, walk(2000, 150, 0), 90, 1},
            {"pressed and armed: no roll", {.tx = 2300, .armed = 1}, {}, walk(1825, 20, 512), 0, 1},
            {"standing: strikes in reach, never fires", {.tx = 2040, .stand = 30}, {}, walk(2000, 150, 16), 30},
            {"crowded: dashes away", {.tx = 2050, .armed = 1}, {}, dash(button::left, -1), 0, 1, 150},
            {"crowded, retreat running: walks", {.tx = 2050, .retreat = 30, .armed = 1}, {}, walk(1575, 20, 0), 0, 1,
             30},
            {"crowded and winded: walks", {.tx = 2050, .armed = 1, .winded = 1}, {}, walk(1575, 20, 0), 0, 1},
            {"crowded, back to the view edge: fights", {.tx = 1550, .x = 1500, .armed = 1}, {}, walk(1500, 20, 16),
             0, 1},
            {"the nearest in lane (equal dx, less dz) sets the dash",
             {.tx = 2300, .armed = 1, .p1x = 1900, .p1z = 145, .p2x = 2100, .p2z = 195}, {}, dash(button::right, 1), 0,
             1, 150},
            {"even id steps deeper", {.tx = 2300, .id = 4, .armed = 1}, {}, walk(1825, 280, 512), 0, 1},
            {"even id at the far edge steps shallower", {.tx = 2300, .tz = 250, .z = 250, .id = 4, .armed = 1}, {},
             walk(1825, 120, 512), 0, 1},
            {"odd id, shallow target: steps deeper", {.tx = 2300, .tz = 100, .z = 100, .armed = 1}, {},
             walk(1825, 230, 512), 0, 1},
        });
  check(ai_shooter, ai_kinds().witch, 3,
        {
            {"caster with FP fires from its band", {.tx = 2500}, {}, walk(1975, 150, 512)},
            {"without: far + 100, no bolt", {.tx = 2500, .fp = 1, .armed = 1}, {}, walk(1750, 150, 0)},
            {"without, in staff reach: strikes", {.tx = 2060, .fp = 1, .retreat = 30, .armed = 1}, {},
             walk(1500, 20, 16), 0, 1, 30},
        });
}

}  // namespace
}  // namespace velmora
