// Move effects: what specials and spells do to both sides, and in what order.
#include "core/specials.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
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

// An event by its kind and whom it is about: the target of a hit, -1 for
// the ones placed by position only.
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
  a.add("fighter", 0, 300, 150);                       // 1 the mover, at full hit points
  Actor& ally = a.add("fighter", 0, 400, 150);         // 2 wounded, with a stronger ward
  ally.hp -= 10, ally.ward_dr = 5, ally.ward_ticks = 10;
  Actor& fallen = a.add("fighter", 0, 3000, 150);      // 3 knocked out, off screen
  fallen.state = S::ko, fallen.hp = 0;
  a.add("skeleton", 1, 350, 150).hp = 25;              // 4
  a.add("bandit", 1, 700, 150);                        // 5
  a.add("bandit_chief", 1, 1000, 150).ai_lock = 2;     // 6 a boss
  a.add("bandit", 1, 1500, 150).ai_lock = 1;           // 7 off screen
  const Rng before = a.w.rng;
  apply(a.w, 1, "t_all");
  EXPECT_EQ(said(a.w), (Said{{K::rally, 1},  {K::shout, 1},  {K::taunt, 1}, {K::revive, 3}, {K::heal, 1},
                             {K::ward, 1},   {K::heal, 2},   {K::ward, 2},  {K::heal, 3},   {K::ward, 3},
                             {K::turned, 4}, {K::blast, -1}, {K::hit, 4},   {K::frost, -1}, {K::held, 4},
                             {K::held, 4},   {K::held, 5},   {K::blast, -1}, {K::hit, 4},   {K::blast, -1},
                             {K::hit, 5},    {K::blast, -1}, {K::hit, 6},   {K::vanish, 1}}));
  EXPECT_EQ(a.w.rng, after_draws(before, 4)) << "a die for the burst, one per storm bolt";
  const auto& t = a.w.actors;
  EXPECT_EQ(t[2].temp_hp * 1000 + t[2].temp_hp_ticks, 6600);
  EXPECT_EQ(t[3].temp_hp, 0) << "knocked out when the rally came";
  EXPECT_EQ(t[2].hp, t[2].hp_max - 6);
  EXPECT_EQ(t[2].ward_dr, 2) << "a ward replaces a stronger one";
  EXPECT_EQ(t[3].hp, t[3].hp_max / 2 + 4);
  EXPECT_EQ(t[3].x.raw + t[3].invuln, 300 * cm + 26);
  EXPECT_LE(t[4].hp, 0) << "a common undead weaker than the turning is destroyed";
  EXPECT_EQ(t[4].ai_cooldown, 240);
  EXPECT_EQ(t[4].held, 1) << "asleep after frozen";
  EXPECT_EQ(a.w.events[12].y, 1 + 85) << "the burst finds it already lifted";
  EXPECT_EQ(t[5].ai_target, std::optional<std::uint16_t>(1));
  EXPECT_EQ(t[5].taunt_ticks, 300);
  EXPECT_EQ(t[6].stun, 30) << "a boss is stunned a third";
  EXPECT_EQ(t[6].ai_lock, std::optional<std::uint16_t>(2));
  EXPECT_FALSE(t[7].ai_target) << "off screen: no taunt";
  EXPECT_FALSE(t[7].ai_lock);
  EXPECT_EQ(t[1].stealth, 300);
}

// A shout stuns by kind and spares the fallen; a taunt reaches them all.
TEST(MoveEffects, ShoutStunsByKindAndTheTauntReachesEveryState) {
  const std::tuple<const char*, S, int> rows[] = {
      {"bandit", S::walk, 60},       {"ogre", S::idle, 30},    {"bandit_chief", S::idle, 20},
      {"barrow_wight", S::block, 20}, {"bandit", S::fall, 0}, {"bandit", S::getup, 0},
  };
  for (const auto& [kind, state, stun] : rows) {
    Arena a;
    a.add("fighter", 0, 300, 150);
    a.add(kind, 1, 500, 150).state = state;
    apply(a.w, 1, "war_cry");
    apply(a.w, 1, "challenge");
    const Actor& t = a.w.actors[2];
    EXPECT_EQ(t.state, stun != 0 ? S::stun : state) << kind;
    EXPECT_EQ(t.stun, stun) << kind;
    EXPECT_EQ(t.ai_target, std::optional<std::uint16_t>(1)) << kind;
    EXPECT_EQ(said(a.w), (Said{{K::shout, 1}, {K::taunt, 1}}));
  }
}

// On screen is within half the view of the camera (600 cm, view 1200), to
// the Fx unit; a rally keeps more temporary hit points but restarts their
// time, and is announced even by a mover off screen.
TEST(MoveEffects, RallyReachesAlliesOnScreen) {
  Arena a;
  a.add("fighter", 0, 1300, 150);
  a.add("thief", 0, 1200, 150);
  a.add("thief", 0, 0, 150).x = Fx::from_raw(-1);
  a.add("thief", 0, 500, 150).temp_hp = 10;
  a.add("thief", 0, 500, 150).state = S::ko;
  a.add("bandit", 1, 500, 150);
  apply(a.w, 1, "rally_cry");
  const int expected[] = {0, 0, 6600, 0, 10600, 0, 0};
  for (std::size_t i = 1; i < 7; ++i) EXPECT_EQ(a.w.actors[i].temp_hp * 1000 + a.w.actors[i].temp_hp_ticks, expected[i]) << i;
  EXPECT_EQ(said(a.w), (Said{{K::rally, 1}}));
}

// Raising: the knocked-out of the mover's side, from anywhere, with at least
// 1 hit point, idle at the mover's feet; the gone and the other side stay.
TEST(MoveEffects, RaiseBringsTheKnockedOutToTheMover) {
  Arena a;
  a.add("cleric", 0, 300, 120);
  for (const auto [team, gone, hp_max] : {std::array{0, 0, 30}, std::array{0, 0, 1}, std::array{0, 1, 30},
                                          std::array{1, 0, 30}}) {
    Actor& t = a.add("fighter", static_cast<std::uint8_t>(team), 4000, 300);
    t.state = S::ko, t.hp = -3, t.hp_max = hp_max, t.gone = static_cast<std::uint8_t>(gone);
    t.y = t.vy = fx_from_cm(5);
  }
  apply(a.w, 1, "raise_dead");
  EXPECT_EQ(said(a.w), (Said{{K::revive, 2}, {K::revive, 3}}));
  const Actor& r = a.w.actors[2];
  EXPECT_EQ(std::make_tuple(r.hp, a.w.actors[3].hp, r.state, r.invuln), std::make_tuple(15, 1, S::idle, 26));
  EXPECT_EQ(std::make_tuple(r.x, r.y, r.z, r.vy), std::make_tuple(fx_from_cm(300), Fx{}, fx_from_cm(120), fx_from_cm(5)));
  EXPECT_EQ(a.w.actors[4].state, S::ko);
  EXPECT_EQ(a.w.actors[5].state, S::ko);
}

// Turning: undead foes open to blows and on screen fall back (right when at
// the mover's x) and hold off; only common ones as weak as HP are destroyed.
TEST(MoveEffects, TurnUndead) {
  struct Row {
    const char* kind;
    std::int32_t x, hp;
    S state;
    std::uint16_t cooldown, cooldown_after;
    std::int32_t hp_after, vx;
  };
  const Row rows[] = {
      {"skeleton", 400, 8, S::idle, 0, 240, 0, 4},     {"skeleton", 200, 9, S::walk, 0, 240, 9, -4},
      {"skeleton", 300, 9, S::idle, 0, 240, 9, 4},     {"barrow_wight", 400, 5, S::idle, 500, 500, 5, 4},
      {"ogre", 400, 5, S::idle, 0, 0, 5, 0},           {"skeleton", 400, 5, S::down, 0, 0, 5, 0},
      {"skeleton", 1300, 5, S::idle, 0, 0, 5, 0},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("cleric", 0, 300, 150);
    Actor& t = a.add(row.kind, 1, row.x, 150);
    t.hp = row.hp, t.state = row.state, t.ai_cooldown = row.cooldown;
    apply(a.w, 1, "turn_undead");
    const Actor& after = a.w.actors[2];
    EXPECT_EQ(std::make_tuple(after.hp, after.ai_cooldown, after.vx.raw, after.facing * after.vx.raw),
              std::make_tuple(row.hp_after, row.cooldown_after, row.vx * cm, -std::abs(row.vx) * cm))
        << row.kind << " " << row.x;
    EXPECT_EQ(a.w.events.size(), row.vx != 0 ? 1u : 0u);
  }
}

// Freeze reaches foes open to blows in its circle, on screen or not, by
// kind, and shows its frost first; sleep lulls the common foes on screen
// that stand, invulnerable or not, for its whole time.
TEST(MoveEffects, FreezeByCircleAndSleepByScreen) {
  Arena a;
  a.add("wizard", 0, 1150, 150);
  a.add("bandit", 1, 1300, 150);             // 2 off screen, 150 away
  a.add("bandit", 1, 900, 150);              // 3 on screen, 250 away
  a.add("ogre", 1, 1100, 100);               // 4 heavy and elite
  a.add("bandit", 1, 1100, 150).invuln = 3;  // 5
  a.add("bandit_chief", 1, 1150, 200);       // 6 boss
  apply(a.w, 1, "frost_nova");
  EXPECT_EQ(a.w.events.front(), Event::frost_of(1150, 150, 170));
  EXPECT_EQ(said(a.w), (Said{{K::frost, -1}, {K::held, 2}, {K::held, 4}, {K::held, 6}}));
  const int stun[] = {0, 0, 120, 0, 60, 0, 40};
  for (std::size_t i = 2; i < 7; ++i) EXPECT_EQ(a.w.actors[i].stun, stun[i]) << i;

  a.w.events.clear();
  a.w.actors[2].state = S::idle;
  a.w.actors[3].state = S::fall;
  apply(a.w, 1, "sleep_cloud");
  EXPECT_EQ(said(a.w), (Said{{K::held, 5}}));
  EXPECT_EQ(a.w.actors[5].stun * 10 + a.w.actors[5].held, 2401);
  EXPECT_EQ(a.w.actors[4].held, 2) << "an elite stays frozen, not asleep";
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
  EXPECT_EQ(a.w.actors[2].hp, 15);
  EXPECT_EQ(a.w.actors[3].vx.raw, -4 * cm);
  EXPECT_EQ(a.w.actors[5].state, S::idle);
  apply(a.w, 4, "chief_roar");
  EXPECT_EQ(a.w.actors[1].stun, 40);
}

}  // namespace
}  // namespace velmora
