// Move effects: what specials and spells do to both sides, and in what order.
#include "core/specials.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/clamp.h"
#include "tests/support/arena.h"

namespace velmora {
namespace {

using testing::Arena;
using testing::move_named;

constexpr std::int32_t cm = 256;

// An event by its kind and the actor it is about (the target of a hit,
// -1 for the ones placed by position only).
using Said = std::pair<EventKind, int>;

std::vector<Said> said(const World& w) {
  std::vector<Said> out;
  for (const Event& e : w.events) {
    int who = e.actor;
    if (e.kind == EventKind::hit) who = e.target;
    if (e.kind == EventKind::blast || e.kind == EventKind::frost) who = -1;
    out.emplace_back(e.kind, who);
  }
  return out;
}

void apply(World& w, std::size_t mover, std::string_view move) {
  apply_move_effects(w, DeferredMove{mover, move_named(move)});
}

// A move with all ten effects, on a scene where each step changes what the
// next one finds: the turned skeleton is burst, frozen, put to sleep and
// struck by the storm; the raised ally is healed and warded after the living.
TEST(MoveEffects, AllTenStepsInTheirOrder) {
  Arena a;
  a.add("fighter", 0, 300, 150);                           // 1 the mover, at full hit points
  Actor& ally = a.add("fighter", 0, 400, 150);             // 2
  ally.hp -= 10;
  ally.ward_dr = 5;
  ally.ward_ticks = 10;
  Actor& fallen = a.add("fighter", 0, 3000, 150);          // 3 knocked out, off screen
  fallen.state = ActorState::ko;
  fallen.hp = 0;
  a.add("skeleton", 1, 350, 150).hp = 25;                  // 4
  a.add("bandit", 1, 700, 150);                            // 5
  a.add("bandit_chief", 1, 1000, 150).ai_lock = 2;         // 6 a boss, locked onto the ally
  a.add("bandit", 1, 1500, 150).ai_lock = 1;               // 7 off screen, locked onto the mover

  apply(a.w, 1, "t_all");

  using K = EventKind;
  const std::vector<Said> expected{
      {K::rally, 1},   {K::shout, 1},  {K::taunt, 1},   {K::revive, 3}, {K::heal, 1},   {K::ward, 1},
      {K::heal, 2},    {K::ward, 2},   {K::heal, 3},    {K::ward, 3},   {K::turned, 4}, {K::blast, -1},
      {K::hit, 4},     {K::frost, -1}, {K::held, 4},    {K::held, 4},   {K::held, 5},   {K::blast, -1},
      {K::hit, 4},     {K::blast, -1}, {K::hit, 5},     {K::blast, -1}, {K::hit, 6},    {K::vanish, 1},
  };
  EXPECT_EQ(said(a.w), expected);
  EXPECT_EQ(a.w.rng, Arena().after_draws(4)) << "one die for the burst, one per storm bolt";

  const auto& actors = a.w.actors;
  EXPECT_EQ(actors[1].temp_hp, 6);
  EXPECT_EQ(actors[2].temp_hp_ticks, 600);
  EXPECT_EQ(actors[3].temp_hp, 0) << "knocked out when the rally came";
  EXPECT_EQ(actors[2].hp, actors[2].hp_max - 6);
  EXPECT_EQ(actors[2].ward_dr, 2) << "a ward replaces a stronger one";
  EXPECT_EQ(actors[2].ward_ticks, 900);
  EXPECT_EQ(actors[3].hp, actors[3].hp_max / 2 + 4);
  EXPECT_EQ(actors[3].x.raw, 300 * cm);
  EXPECT_EQ(actors[3].invuln, 26);
  EXPECT_EQ(actors[3].state, ActorState::idle);
  EXPECT_LE(actors[4].hp, 0) << "a common undead weaker than the turning is destroyed";
  EXPECT_EQ(actors[4].ai_cooldown, 240);
  EXPECT_EQ(actors[4].held, 1) << "asleep after frozen";
  EXPECT_EQ(actors[4].state, ActorState::fall) << "then struck by the storm";
  EXPECT_EQ(a.w.events[12].y, 1 + 85) << "the burst finds it already lifted";
  EXPECT_EQ(actors[5].ai_target, std::optional<std::uint16_t>(1));
  EXPECT_EQ(actors[5].taunt_ticks, 300);
  EXPECT_EQ(actors[5].ai_engaged, 1);
  EXPECT_EQ(actors[6].stun, 30) << "a boss is stunned a third";
  EXPECT_FALSE(actors[7].ai_target) << "off screen: no taunt";
  EXPECT_EQ(actors[6].ai_lock, std::optional<std::uint16_t>(2));
  EXPECT_FALSE(actors[7].ai_lock);
  EXPECT_EQ(actors[1].stealth, 300);
  EXPECT_EQ(actors[1].vanish_speed, 40);
}

// A shout stuns by kind and spares the fallen; a taunt reaches every state.
TEST(MoveEffects, ShoutStunsByKindAndTheTauntReachesEveryState) {
  struct Row {
    const char* kind;
    ActorState state;
    ActorState after;
    int stun;
  };
  const Row rows[] = {
      {"bandit", ActorState::walk, ActorState::stun, 60},
      {"ogre", ActorState::idle, ActorState::stun, 30},          // heavy: halved
      {"bandit_chief", ActorState::idle, ActorState::stun, 20},  // boss and heavy: a third
      {"barrow_wight", ActorState::block, ActorState::stun, 20},
      {"bandit", ActorState::fall, ActorState::fall, 0},
      {"bandit", ActorState::down, ActorState::down, 0},
      {"bandit", ActorState::getup, ActorState::getup, 0},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("fighter", 0, 300, 150);
    Actor& foe = a.add(row.kind, 1, 500, 150);
    foe.state = row.state;
    foe.vx = fx_from_cm(3);
    apply(a.w, 1, "war_cry");
    apply(a.w, 1, "challenge");
    const Actor& t = a.w.actors[2];
    EXPECT_EQ(t.state, row.after) << row.kind;
    EXPECT_EQ(t.stun, row.stun) << row.kind;
    EXPECT_EQ(t.vx.raw, row.stun != 0 ? 0 : 3 * cm) << row.kind;
    EXPECT_EQ(t.ai_target, std::optional<std::uint16_t>(1)) << row.kind;
    EXPECT_EQ(said(a.w), (std::vector<Said>{{EventKind::shout, 1}, {EventKind::taunt, 1}}));
    a.w.events.clear();
  }
}

// On screen is within half the view of the camera, to the Fx unit; a rally
// keeps more temporary hit points but restarts their time, and is announced
// even when nobody is there to hear it.
TEST(MoveEffects, RallyReachesAlliesOnScreen) {
  Arena a;  // camera at 600 cm, view 1200 cm
  a.add("fighter", 0, 1300, 150);                        // 1 the mover, off screen
  a.add("thief", 0, 1200, 150);                          // 2 on the edge
  a.add("thief", 0, 0, 150).x = Fx::from_raw(-1);        // 3 just off
  a.add("thief", 0, 500, 150).temp_hp = 10;              // 4
  a.add("thief", 0, 500, 150).state = ActorState::ko;    // 5
  a.add("bandit", 1, 500, 150);                          // 6
  apply(a.w, 1, "rally_cry");
  const int temp[] = {0, 0, 6, 0, 10, 0, 0};
  const int ticks[] = {0, 0, 600, 0, 600, 0, 0};
  for (std::size_t i = 1; i < 7; ++i) {
    EXPECT_EQ(a.w.actors[i].temp_hp, temp[i]) << i;
    EXPECT_EQ(a.w.actors[i].temp_hp_ticks, ticks[i]) << i;
  }
  EXPECT_EQ(said(a.w), (std::vector<Said>{{EventKind::rally, 1}}));
}

// Raising brings the knocked-out of the mover's side from anywhere, with at
// least 1 hit point; the gone and the other side stay where they are.
TEST(MoveEffects, RaiseBringsTheKnockedOutToTheMover) {
  Arena a;
  a.add("cleric", 0, 300, 120);
  auto knocked_out = [&](std::uint8_t team, std::int32_t x) -> Actor& {
    Actor& t = a.add("fighter", team, x, 300);
    t.state = ActorState::ko;
    t.hp = -3;
    t.y = fx_from_cm(5);
    t.vy = fx_from_cm(2);
    t.vanish_strike = 1;
    return t;
  };
  knocked_out(0, 4000);                  // 2
  knocked_out(0, 100).hp_max = 1;        // 3
  knocked_out(0, 100).gone = 1;          // 4
  knocked_out(1, 100);                   // 5
  apply(a.w, 1, "raise_dead");
  EXPECT_EQ(said(a.w), (std::vector<Said>{{EventKind::revive, 2}, {EventKind::revive, 3}}));
  const Actor& r = a.w.actors[2];
  EXPECT_EQ(r.hp, r.hp_max * 50 / 100);
  EXPECT_EQ(a.w.actors[3].hp, 1);
  EXPECT_EQ(r.x.raw, 300 * cm);
  EXPECT_EQ(r.z.raw, 120 * cm);
  EXPECT_EQ(r.y.raw, 0);
  EXPECT_EQ(r.vy.raw, 2 * cm) << "upward speed untouched";
  EXPECT_EQ(r.vanish_strike, 0);
  EXPECT_EQ(r.invuln, 26);
  EXPECT_EQ(r.state, ActorState::idle);
  EXPECT_EQ(a.w.actors[4].state, ActorState::ko);
  EXPECT_EQ(a.w.actors[5].state, ActorState::ko);
}

// Turning: undead foes open to blows and on screen fall back and hold off;
// only common ones as weak as the turning's HP are destroyed.
TEST(MoveEffects, TurnUndead) {
  struct Row {
    const char* kind;
    std::int32_t x, hp;
    ActorState state;
    std::uint16_t cooldown;
    bool turned;
    std::int32_t hp_after;
  };
  const Row rows[] = {
      {"skeleton", 400, 8, ActorState::idle, 0, true, 0},
      {"skeleton", 200, 9, ActorState::walk, 0, true, 9},
      {"skeleton", 300, 9, ActorState::idle, 0, true, 9},  // at the mover's x: thrown right
      {"barrow_wight", 400, 5, ActorState::idle, 500, true, 5},
      {"ogre", 400, 5, ActorState::idle, 0, false, 5},
      {"skeleton", 400, 5, ActorState::down, 0, false, 5},
      {"skeleton", 1300, 5, ActorState::idle, 0, false, 5},
  };
  for (const Row& row : rows) {
    Arena a;
    a.add("cleric", 0, 300, 150);
    Actor& t = a.add(row.kind, 1, row.x, 150);
    t.hp = row.hp;
    t.state = row.state;
    t.ai_cooldown = row.cooldown;
    apply(a.w, 1, "turn_undead");
    const Actor& after = a.w.actors[2];
    EXPECT_EQ(after.hp, row.hp_after) << row.kind << " " << row.x;
    EXPECT_EQ(after.state == ActorState::fall, row.turned) << row.kind << " " << row.x;
    if (!row.turned) continue;
    EXPECT_EQ(after.ai_cooldown, std::max<std::uint16_t>(row.cooldown, 240));
    EXPECT_EQ(after.vx.raw, row.x >= 300 ? 4 * cm : -4 * cm);
    EXPECT_EQ(after.facing, row.x >= 300 ? -1 : 1);
    EXPECT_EQ(said(a.w), (std::vector<Said>{{EventKind::turned, 2}}));
  }
}

// Freeze reaches foes in its circle whether on screen or not, by kind; the
// frost shows even when nothing freezes. Sleep lulls common foes on screen
// that stand, invulnerable or not, for its whole time.
TEST(MoveEffects, FreezeByCircleAndSleepByScreen) {
  Arena a;
  a.add("wizard", 0, 1150, 150);
  a.add("bandit", 1, 1300, 150);                     // 2 off screen, 150 away
  a.add("bandit", 1, 900, 150);                      // 3 on screen, 250 away
  a.add("ogre", 1, 1100, 100);                       // 4 heavy
  a.add("bandit", 1, 1100, 150).invuln = 3;          // 5
  a.add("bandit_chief", 1, 1150, 200);               // 6 boss
  apply(a.w, 1, "frost_nova");
  EXPECT_EQ(a.w.events.front(), Event::frost_of(1150, 150, 170));
  EXPECT_EQ(said(a.w), (std::vector<Said>{{EventKind::frost, -1}, {EventKind::held, 2}, {EventKind::held, 4},
                                          {EventKind::held, 6}}));
  const int stun[] = {0, 0, 120, 0, 60, 0, 40};
  for (std::size_t i = 2; i < 7; ++i) EXPECT_EQ(a.w.actors[i].stun, stun[i]) << i;
  EXPECT_EQ(a.w.actors[2].held, 2);

  a.w.events.clear();
  a.w.actors[2].state = ActorState::idle;  // thawed, but now off screen
  a.w.actors[3].state = ActorState::fall;
  apply(a.w, 1, "sleep_cloud");
  EXPECT_EQ(said(a.w), (std::vector<Said>{{EventKind::held, 5}}));
  EXPECT_EQ(a.w.actors[5].stun, 240);
  EXPECT_EQ(a.w.actors[5].held, 1);
  EXPECT_EQ(a.w.actors[4].held, 2) << "an elite stays frozen, not asleep";
}

// A storm bolt for each foe: DICE 0 draws nothing, DR can stop it all, and
// the hit shows the height the foe had before it was thrown.
TEST(MoveEffects, StormStrikesEachFoeOnScreen) {
  Arena a;
  a.add("wizard", 0, 600, 150);
  a.add("bandit", 1, 700, 150);                      // 2
  a.add("bandit", 1, 500, 150).dr = 6;               // 3
  a.add("bandit", 1, 650, 150).y = fx_from_cm(20);   // 4
  a.add("bandit", 1, 650, 150).invuln = 1;           // 5
  const Rng before = a.w.rng;
  std::vector<std::int32_t> hp;
  for (const Actor& t : a.w.actors) hp.push_back(t.hp);
  apply(a.w, 1, "t_storm5");
  EXPECT_EQ(a.w.rng, before);
  const std::vector<Event> expected{
      Event::blast_of(DamageType::crushing, 700, 150, 70),
      Event::hit_of(DamageType::crushing, false, false, 1, 2, 5, 700, 87, 150),
      Event::blast_of(DamageType::crushing, 500, 150, 70),
      Event::hit_of(DamageType::crushing, false, false, 1, 3, 0, 500, 87, 150),
      Event::blast_of(DamageType::crushing, 650, 150, 70),
      Event::hit_of(DamageType::crushing, false, false, 1, 4, 5, 650, 107, 150),
  };
  EXPECT_EQ(a.w.events, expected);
  EXPECT_EQ(a.w.actors[2].hp, hp[2] - 5);
  EXPECT_EQ(a.w.actors[3].hp, hp[3]);
  EXPECT_EQ(a.w.actors[3].state, ActorState::fall) << "thrown even unhurt";
  EXPECT_EQ(a.w.actors[3].vx.raw, -4 * cm);
  EXPECT_EQ(a.w.actors[5].state, ActorState::idle);
}

// Two specials of one tick apply in queue order, each in full: the second
// mover's shout comes although the first one's storm has thrown it.
TEST(MoveEffects, EveryQueuedMoveAppliesInFull) {
  Arena a;
  a.add("wizard", 0, 600, 150);
  a.add("bandit", 0, 500, 150);
  a.add("bandit_chief", 1, 700, 150);
  apply(a.w, 1, "t_storm5");
  apply(a.w, 3, "chief_roar");
  EXPECT_EQ(a.w.actors[3].state, ActorState::fall);
  EXPECT_EQ(a.w.actors[1].state, ActorState::stun);
  EXPECT_EQ(a.w.actors[2].stun, 40);
  EXPECT_EQ(a.w.events.back(), Event::of_actor(EventKind::shout, 3));
}

}  // namespace
}  // namespace velmora
