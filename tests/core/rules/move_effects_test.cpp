// Move effects: what specials and spells do to both sides, and in what order.
#include "core/rules/move_effects.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "core/base/clamp.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using K = EventKind;
using S = ActorState;
constexpr std::int32_t cm = 256;

// Events by kind and whom they are about: a hit's target, -1 for those
// placed by position only.
using Said = std::vector<std::pair<EventKind, int>>;

Said said(const World& w) {
  Said out;
  for (const Event& e : w.events) {
    const bool placed = e.kind == K::blast || e.kind == K::frost;
    out.emplace_back(e.kind, placed ? -1 : e.kind == K::hit ? e.target : e.actor);
  }
  return out;
}

void apply(World& w, std::size_t mover, std::string_view move) {
  apply_move_effects(w, DeferredMove{mover, move_named(move)});
}

// All ten effects on a scene where each step changes what the next finds:
// the turned skeleton is burst, frozen, put to sleep and struck by the
// storm; the raised ally is healed and warded after the living; the foe off
// screen is only released from its lock on the vanished mover; a knocked-out
// foe and an ally off screen are left alone.
TEST(MoveEffects, AllTenStepsInTheirOrder) {
  Arena a;
  a.add("fighter", 0, 300, 150);                        // 1 the mover, at full hit points
  Actor& ally = a.add("fighter", 0, 400, 150);          // 2 wounded, with a stronger ward
  ally.hp -= 10, ally.ward_dr = 5, ally.ward_ticks = 10, ally.temp_hp = 9;
  for (const std::uint8_t team : {0, 0, 1}) {           // 3 knocked out far away; 4 gone; 5 a foe on screen
    Actor& out = a.add("fighter", team, team == 0 ? 3000 : 650, 150);
    out.state = S::ko, out.hp = 0, out.hp_max = 20, out.gone = a.w.actors.size() == 5 ? 1 : 0;
  }
  Actor& skeleton = a.add("skeleton", 1, 350, 150);     // 6
  skeleton.hp = 25, skeleton.ai_cooldown = 300;
  a.add("bandit", 1, 700, 150);                         // 7
  a.add("bandit_chief", 1, 1200, 150).ai_lock = 2;      // 8 a boss on the screen's edge
  a.add("bandit", 1, 1200, 150).x.raw += 1;             // 9 just off screen
  a.w.actors[9].ai_lock = 1, a.w.actors[9].ai_think = 5;
  a.add("fighter", 0, 1300, 150);                       // 10 an ally off screen
  const Rng before = a.w.rng;
  apply(a.w, 1, "t_all");
  EXPECT_EQ(said(a.w), (Said{{K::rally, 1},  {K::shout, 1},  {K::taunt, 1}, {K::revive, 3}, {K::heal, 1},
                             {K::ward, 1},   {K::heal, 2},   {K::ward, 2},  {K::heal, 3},   {K::ward, 3},
                             {K::turned, 6}, {K::blast, -1}, {K::hit, 6},   {K::frost, -1}, {K::held, 6},
                             {K::held, 6},   {K::held, 7},   {K::blast, -1}, {K::hit, 6},   {K::blast, -1},
                             {K::hit, 7},    {K::blast, -1}, {K::hit, 8},   {K::vanish, 1}}));
  EXPECT_EQ(a.w.rng, after_draws(before, 4)) << "a die for the burst, one per storm bolt";
  EXPECT_EQ(std::make_pair(a.w.events[11].amount, a.w.events[17].amount), std::make_pair(200, 70));
  const auto& t = a.w.actors;
  EXPECT_EQ(std::make_tuple(t[1].temp_hp, t[2].temp_hp, t[2].temp_hp_ticks, t[3].temp_hp), std::make_tuple(6, 9, 600, 0));
  EXPECT_EQ(std::make_tuple(t[2].hp, t[2].ward_dr, t[2].ward_ticks), std::make_tuple(t[2].hp_max - 6, 2, 900));
  EXPECT_EQ(std::make_tuple(t[3].hp, t[3].x.raw, t[3].invuln, t[3].state), std::make_tuple(14, 300 * cm, 26, S::idle));
  EXPECT_EQ(t[4].state, S::ko);
  EXPECT_EQ(std::make_tuple(t[6].hp <= 0, t[6].ai_cooldown, t[6].held, t[6].state), std::make_tuple(true, 300, 1, S::fall));
  EXPECT_EQ(a.w.events[12].y, 1 + 85) << "the burst finds the turned skeleton lifted";
  EXPECT_EQ(std::make_tuple(t[7].ai_target, t[7].taunt_ticks, t[7].ai_engaged, t[8].stun),
            std::make_tuple(std::optional<std::uint16_t>(1), 300, 1, 30));
  EXPECT_EQ(std::make_tuple(t[8].ai_lock, t[9].ai_lock, t[9].ai_target),
            std::make_tuple(std::optional<std::uint16_t>(2), std::optional<std::uint16_t>(), std::optional<std::uint16_t>()));
  EXPECT_EQ(std::make_tuple(t[1].stealth, t[9].ai_think, t[10].temp_hp, t[5].state), std::make_tuple(300, 0, 0, S::ko));
}

// One foe at a time, the mover at x 1150 (the screen ends at 1200): shout
// and freeze stun by kind, a taunt reaches any state, freeze reaches by
// circle not screen, sleep spares bosses, elites and the fallen but not the
// invulnerable and ignores kind, turning spares bosses and elites and throws
// away (right at the same x); a storm bolt (DICE 0, no draw) strikes only a
// foe open to blows; a thrown move's burst does not go off here.
TEST(MoveEffects, EachEffectByKindStateAndPlace) {
  struct Row {
    const char *move, *kind = "bandit";
    std::int32_t x = 1100;
    S state = S::idle;
    std::uint16_t invuln = 0;
    std::int32_t hp = 20, stun = 0, held = 0, hp_after = -1, vx = 0;  // hp_after -1: as before
    bool taunted = false;
  };
  const Row rows[] = {
      {.move = "war_cry", .state = S::walk, .stun = 60},
      {.move = "war_cry", .kind = "ogre", .stun = 30},
      {.move = "war_cry", .kind = "bandit_chief", .state = S::block, .stun = 20},
      {.move = "war_cry", .state = S::getup},
      {.move = "challenge", .state = S::fall, .taunted = true},
      {.move = "frost_nova", .x = 1300, .stun = 120, .held = 2},
      {.move = "frost_nova", .x = 900},
      {.move = "frost_nova", .kind = "barrow_wight", .stun = 40, .held = 2},
      {.move = "frost_nova", .invuln = 5},
      {.move = "frost_nova", .kind = "t_brute", .stun = 60, .held = 2},
      {.move = "sleep_cloud", .kind = "t_brute", .stun = 240, .held = 1},
      {.move = "sleep_cloud", .invuln = 5, .stun = 240, .held = 1},
      {.move = "sleep_cloud", .kind = "ogre"},
      {.move = "sleep_cloud", .kind = "bandit_chief"},
      {.move = "sleep_cloud", .state = S::fall},
      {.move = "turn_undead", .kind = "skeleton", .hp = 8, .hp_after = 0, .vx = -4},
      {.move = "turn_undead", .kind = "skeleton", .x = 1150, .hp = 9, .vx = 4},
      {.move = "turn_undead", .kind = "barrow_wight", .x = 1190, .hp = 5, .vx = 4},
      {.move = "turn_undead", .kind = "t_ghoul", .hp = 5, .vx = -4},
      {.move = "turn_undead", .kind = "skeleton", .state = S::down},
      {.move = "turn_undead", .kind = "skeleton", .x = 1300},
      {.move = "t_storm5", .hp_after = 15, .vx = -4},
      {.move = "t_storm5", .invuln = 5},
      {.move = "fireball"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    Arena a;
    a.add("cleric", 0, 1150, 150);
    Actor& t = a.add(row.kind, 1, row.x, 150);
    t.state = row.state, t.invuln = row.invuln, t.hp = row.hp;
    const Rng before = a.w.rng;
    apply(a.w, 1, row.move);
    const Actor& r = a.w.actors[2];
    EXPECT_EQ(std::make_tuple(int{r.stun}, int{r.held}, r.hp, r.vx.raw, r.ai_target.has_value(), a.w.rng),
              std::make_tuple(row.stun, row.held, row.hp_after == -1 ? row.hp : row.hp_after, row.vx * cm,
                              row.taunted, before));
    if (row.vx == 0) continue;
    const int cooldown = std::string_view(row.move) == "turn_undead" ? 240 : 0;
    EXPECT_EQ(std::make_tuple(r.state, r.facing * row.vx, int{r.ai_cooldown}), std::make_tuple(S::fall, -4, cooldown));
  }
}

}  // namespace
}  // namespace velmora
