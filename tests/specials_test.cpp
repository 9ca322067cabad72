// Move effects: what specials and spells do to both sides, and in what order.
#include "core/specials.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "core/clamp.h"
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
// screen is only released from its lock on the vanished mover.
TEST(MoveEffects, AllTenStepsInTheirOrder) {
  Arena a;
  a.add("fighter", 0, 300, 150);                        // 1 the mover, at full hit points
  Actor& ally = a.add("fighter", 0, 400, 150);          // 2 wounded, with a stronger ward
  ally.hp -= 10, ally.ward_dr = 5, ally.ward_ticks = 10, ally.temp_hp = 9;
  for (const std::uint8_t team : {0, 0, 1}) {           // 3 knocked out far away; 4 gone; 5 a foe
    Actor& out = a.add("fighter", team, 3000, 150);
    out.state = S::ko, out.hp = 0, out.hp_max = 20, out.gone = a.w.actors.size() == 5 ? 1 : 0;
  }
  a.add("skeleton", 1, 350, 150).hp = 25;               // 6
  a.add("bandit", 1, 700, 150);                         // 7
  a.add("bandit_chief", 1, 1200, 150).ai_lock = 2;      // 8 a boss on the screen's edge
  a.add("bandit", 1, 1200, 150).x.raw += 1;             // 9 just off screen
  a.w.actors[9].ai_lock = 1;
  const Rng before = a.w.rng;
  apply(a.w, 1, "t_all");
  EXPECT_EQ(said(a.w), (Said{{K::rally, 1},  {K::shout, 1},  {K::taunt, 1}, {K::revive, 3}, {K::heal, 1},
                             {K::ward, 1},   {K::heal, 2},   {K::ward, 2},  {K::heal, 3},   {K::ward, 3},
                             {K::turned, 6}, {K::blast, -1}, {K::hit, 6},   {K::frost, -1}, {K::held, 6},
                             {K::held, 6},   {K::held, 7},   {K::blast, -1}, {K::hit, 6},   {K::blast, -1},
                             {K::hit, 7},    {K::blast, -1}, {K::hit, 8},   {K::vanish, 1}}));
  EXPECT_EQ(a.w.rng, after_draws(before, 4)) << "a die for the burst, one per storm bolt";
  const auto& t = a.w.actors;
  EXPECT_EQ(std::make_tuple(t[1].temp_hp, t[2].temp_hp, t[2].temp_hp_ticks, t[3].temp_hp), std::make_tuple(6, 9, 600, 0));
  EXPECT_EQ(std::make_tuple(t[2].hp, t[2].ward_dr, t[2].ward_ticks), std::make_tuple(t[2].hp_max - 6, 2, 900));
  EXPECT_EQ(std::make_tuple(t[3].hp, t[3].x.raw, t[3].invuln, t[3].state), std::make_tuple(14, 300 * cm, 26, S::idle));
  EXPECT_EQ(t[4].state, S::ko);
  EXPECT_EQ(t[5].state, S::ko);
  EXPECT_EQ(std::make_tuple(t[6].hp <= 0, t[6].ai_cooldown, t[6].held, t[6].state), std::make_tuple(true, 240, 1, S::fall));
  EXPECT_EQ(a.w.events[12].y, 1 + 85) << "the burst finds the turned skeleton lifted";
  EXPECT_EQ(std::make_tuple(t[7].ai_target, t[7].taunt_ticks, t[8].stun), std::make_tuple(std::optional<std::uint16_t>(1), 300, 30));
  EXPECT_EQ(std::make_tuple(t[8].ai_lock, t[9].ai_lock, t[9].ai_target),
            std::make_tuple(std::optional<std::uint16_t>(2), std::optional<std::uint16_t>(), std::optional<std::uint16_t>()));
  EXPECT_EQ(t[1].stealth, 300);
}

// One foe at a time, the mover at x 1150 (the screen ends at 1200): shout
// and freeze stun by kind, a taunt reaches any state, freeze reaches by
// circle not screen, sleep spares bosses, elites and the fallen but not the
// invulnerable, turning spares bosses and throws away (right at the same x).
TEST(MoveEffects, EachEffectByKindStateAndPlace) {
  struct Row {
    const char* move;
    const char* kind;
    std::int32_t x;
    S state;
    std::uint16_t invuln;
    std::int32_t hp, stun, held, hp_after, vx;
    bool taunted;
  };
  const Row rows[] = {
      {"war_cry", "bandit", 1100, S::walk, 0, 20, 60, 0, 20, 0, false},
      {"war_cry", "ogre", 1100, S::idle, 0, 20, 30, 0, 20, 0, false},
      {"war_cry", "bandit_chief", 1100, S::block, 0, 20, 20, 0, 20, 0, false},
      {"war_cry", "bandit", 1100, S::getup, 0, 20, 0, 0, 20, 0, false},
      {"challenge", "bandit", 1100, S::fall, 0, 20, 0, 0, 20, 0, true},
      {"frost_nova", "bandit", 1300, S::idle, 0, 20, 120, 2, 20, 0, false},
      {"frost_nova", "bandit", 900, S::idle, 0, 20, 0, 0, 20, 0, false},
      {"frost_nova", "barrow_wight", 1100, S::idle, 0, 20, 40, 2, 20, 0, false},
      {"frost_nova", "bandit", 1100, S::idle, 5, 20, 0, 0, 20, 0, false},
      {"sleep_cloud", "bandit", 1100, S::idle, 5, 20, 240, 1, 20, 0, false},
      {"sleep_cloud", "ogre", 1100, S::idle, 0, 20, 0, 0, 20, 0, false},
      {"sleep_cloud", "bandit_chief", 1100, S::idle, 0, 20, 0, 0, 20, 0, false},
      {"sleep_cloud", "bandit", 1100, S::fall, 0, 20, 0, 0, 20, 0, false},
      {"turn_undead", "skeleton", 1100, S::idle, 0, 8, 0, 0, 0, -4, false},
      {"turn_undead", "skeleton", 1150, S::idle, 0, 9, 0, 0, 9, 4, false},
      {"turn_undead", "barrow_wight", 1190, S::idle, 0, 5, 0, 0, 5, 4, false},
      {"turn_undead", "skeleton", 1100, S::down, 0, 5, 0, 0, 5, 0, false},
      {"turn_undead", "skeleton", 1300, S::idle, 0, 5, 0, 0, 5, 0, false},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("cleric", 0, 1150, 150);
    Actor& t = a.add(row.kind, 1, row.x, 150);
    t.state = row.state, t.invuln = row.invuln, t.hp = row.hp;
    apply(a.w, 1, row.move);
    const Actor& r = a.w.actors[2];
    EXPECT_EQ(std::make_tuple(int{r.stun}, int{r.held}, r.hp, r.vx.raw, r.ai_target.has_value()),
              std::make_tuple(row.stun, row.held, row.hp_after, row.vx * cm, row.taunted))
        << row.move << " " << row.kind << " " << row.x;
    if (row.vx == 0) continue;
    EXPECT_EQ(std::make_tuple(r.state, r.facing * row.vx, int{r.ai_cooldown}), std::make_tuple(S::fall, -4, 240));
  }
}

// A storm bolt for each foe open to blows on screen: DICE 0 draws nothing,
// DR can stop it all but the foe is thrown anyway, and the hit shows the
// height the foe had before. Two specials of one tick apply in full, in
// order: the chief thrown by the storm still roars.
TEST(MoveEffects, StormStrikesEachFoeAndTheNextSpecialStillApplies) {
  Arena a;
  a.add("wizard", 0, 600, 150);
  a.add("bandit", 1, 700, 150).hp = 20;
  a.add("bandit", 1, 500, 150).dr = 6;
  a.add("bandit_chief", 1, 650, 150).y = fx_from_cm(20);
  a.add("bandit", 1, 650, 150).invuln = 1;
  const Rng before = a.w.rng;
  apply(a.w, 1, "t_storm5");
  EXPECT_EQ(a.w.rng, before);
  const DamageType c = DamageType::crushing;
  EXPECT_EQ(a.w.events, (std::vector<Event>{
                            Event::blast_of(c, 700, 150, 70), Event::hit_of(c, false, false, 1, 2, 5, 700, 87, 150),
                            Event::blast_of(c, 500, 150, 70), Event::hit_of(c, false, false, 1, 3, 0, 500, 87, 150),
                            Event::blast_of(c, 650, 150, 70), Event::hit_of(c, false, false, 1, 4, 5, 650, 112, 150)}));
  EXPECT_EQ(std::make_tuple(a.w.actors[2].hp, a.w.actors[3].vx.raw, a.w.actors[5].state), std::make_tuple(15, -4 * cm, S::idle));
  apply(a.w, 4, "chief_roar");
  EXPECT_EQ(a.w.actors[1].stun, 40);
}

}  // namespace
}  // namespace velmora
