#include "core/rules/combat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "core/data/game_data.h"
#include "core/world/world.h"

namespace velmora {
namespace {

constexpr std::int32_t cm = 256;  // one centimetre (or cm per tick) as Fx
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();

// The built-in data plus moves and a kind with values the built-in set does
// not have, installed once before anything reads the game data.
void install_test_data() {
  static const bool installed = [] {
    GameData d = builtin_data();
    auto jab_as = [&](std::string name, DamageType type) {
      MoveDef m = d.moves[*move_id(d.moves, "jab")];
      m.name = std::move(name);
      m.damage_type = type;
      return m;
    };
    MoveDef all = jab_as("t_all", DamageType::cutting);  // backstab, sap and poison
    all.backstab = true;
    all.sap = 90;
    all.poison = PoisonSpec{5, 60};
    d.moves.push_back(all);
    MoveDef pierce = jab_as("t_pierce", DamageType::impaling);
    pierce.undead_mult = 3;
    d.moves.push_back(pierce);
    MoveDef huge = jab_as("t_huge", DamageType::impaling);
    huge.damage_base = DamageBase::dice;
    huge.damage_dice = huge.damage_add = i32_max;
    huge.backstab = true;
    huge.backstab_mult = huge.undead_mult = huge.stun = huge.push = i32_max;
    d.moves.push_back(huge);
    KindDef tank = d.kinds[*kind_id(d.kinds, "cleric")];
    tank.name = "t_tank";
    tank.guard_cost = i32_max;
    d.kinds.push_back(tank);
    KindDef bubble = d.kinds[*kind_id(d.kinds, "wizard")];
    bubble.name = "t_bubble";
    bubble.guard_cost = 130;
    d.kinds.push_back(bubble);
    return install_game_data(std::move(d)).ok();
  }();
  ASSERT_TRUE(installed);
}

std::uint8_t move_named(std::string_view name) { return move_id(game_data().moves, name).value(); }
std::uint16_t item_named(std::string_view name) { return item_id(game_data().items, name).value(); }

void start_attack(Actor& a, std::string_view move, std::int32_t st) {
  a.state = ActorState::attack;
  a.move = move_named(move);
  a.state_ticks = move_def(a.move).startup;
  a.st = st;
}

void raise_guard(Actor& a, std::uint16_t ticks) {
  a.state = ActorState::block;
  a.state_ticks = ticks;
}

// A world on the first stage whose own party member stands aside (gone);
// duel() places attacker 1 at x 300 facing right and target 2 at x 350, so
// the target is pushed right and faces the attacker with facing -1.
class Combat : public ::testing::Test {
 protected:
  World w;

  void arena(std::uint64_t seed = 7) {
    install_test_data();
    w = new_game(0, seed, {});
    w.actors[0].gone = 1;
    w.events.clear();
  }

  // A fighter without gear or own DR, so the numbers are the test's own.
  Actor& add(std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    w.actors.push_back(actor_from_kind(id, kind_id(game_data().kinds, kind).value(), team, 0, x, z, facing));
    w.actors.back().gear = {};
    w.actors.back().dr = 0;
    return w.actors.back();
  }

  void duel(std::string_view attacker, std::string_view move, std::int32_t st, std::string_view target,
            std::int8_t facing, std::uint64_t seed = 7, std::uint8_t target_team = 2) {
    arena(seed);
    start_attack(add(attacker, 1, 300, 150, 1), move, st);
    add(target, target_team, 350, 150, facing);
  }

  Actor& A() { return w.actors[1]; }
  Actor& T() { return w.actors[2]; }
  void strike(bool projectile = false) { resolve_hit(w, 1, 2, A().move, A().x, projectile); }

  // The spread the next blow will roll (-1, 0 or +1), and the Rng after one draw.
  std::int32_t next_spread() const { return static_cast<std::int32_t>(Rng(w.rng).next() % 3) - 1; }
  Rng one_draw_on() const {
    Rng r = w.rng;
    r.next();
    return r;
  }

  std::vector<EventKind> kinds() const {
    std::vector<EventKind> out;
    for (const Event& e : w.events) out.push_back(e.kind);
    return out;
  }

  Event hit() const {
    for (const Event& e : w.events) {
      if (e.kind == EventKind::hit) return e;
    }
    ADD_FAILURE() << "no hit event";
    return Event{};
  }
};

using K = std::vector<EventKind>;

// What a blow leaves of a body: state, ticks in it, stun, velocity (Fx) and facing.
struct Body {
  ActorState state;
  int ticks, stun, vx, vy, vz, facing;
  bool operator==(const Body&) const = default;
};

Body body(const Actor& a) { return {a.state, a.state_ticks, a.stun, a.vx.raw, a.vy.raw, a.vz.raw, a.facing}; }

void PrintTo(const Body& b, std::ostream* os) {
  *os << "state " << int{static_cast<std::uint8_t>(b.state)} << " ticks " << b.ticks << " stun " << b.stun << " v "
      << b.vx << " " << b.vy << " " << b.vz << " facing " << b.facing;
}

// ---------------------------------------------------------------------------
// Damage

TEST_F(Combat, TableMatchesThePublishedThrustAndSwingRows) {
  const char* rows[20][2] = {{"1d-6", "1d-5"}, {"1d-6", "1d-5"}, {"1d-5", "1d-4"}, {"1d-5", "1d-4"},
                             {"1d-4", "1d-3"}, {"1d-4", "1d-3"}, {"1d-3", "1d-2"}, {"1d-3", "1d-2"},
                             {"1d-2", "1d-1"}, {"1d-2", "1d"},   {"1d-1", "1d+1"}, {"1d-1", "1d+2"},
                             {"1d", "2d-1"},   {"1d", "2d"},     {"1d+1", "2d+1"}, {"1d+1", "2d+2"},
                             {"1d+2", "3d-1"}, {"1d+2", "3d"},   {"2d-1", "3d+1"}, {"2d-1", "3d+2"}};
  auto text = [](std::int32_t dice, std::int32_t add) {
    return std::to_string(dice) + "d" + (add > 0 ? "+" : "") + (add != 0 ? std::to_string(add) : "");
  };
  for (std::size_t i = 0; i < 20; ++i) {
    const StDamage& r = st_damage_table[i];
    EXPECT_EQ(text(r.thrust_dice, r.thrust_add), rows[i][0]) << "ST " << i + 1;
    EXPECT_EQ(text(r.swing_dice, r.swing_add), rows[i][1]) << "ST " << i + 1;
  }
  EXPECT_EQ(wound_factor_halves(DamageType::crushing), 2);
  EXPECT_EQ(wound_factor_halves(DamageType::cutting), 3);
  EXPECT_EQ(wound_factor_halves(DamageType::impaling), 4);
  EXPECT_EQ(wound_factor_halves(DamageType::burning), 2);
}

TEST_F(Combat, HandComputedInjuriesOneDrawEach) {
  struct Example {
    const char *what, *attacker, *move;
    std::int32_t st;
    const char *weapon, *target;
    std::int32_t dr;
    std::function<std::int32_t(std::int32_t)> injury;  // by spread
  };
  const std::vector<Example> examples = {
      // ST 10 thrust 1d-2: mean 2; crushing x1.
      {"st10 jab", "bandit", "jab", 10, "", "bandit", 0, [](int s) { return 2 + s; }},
      // ST 17 swing 3d-1: mean 10; DR 2 leaves 8; cutting x1.5.
      {"st17 overhead", "bandit", "overhead", 17, "", "bandit", 2, [](int s) { return (8 + s) * 3 / 2; }},
      // ST 20 thrust 2d-1: mean 6; DR 3 leaves 3; impaling x2.
      {"st20 stab", "bandit", "stab", 20, "", "bandit", 3, [](int s) { return (3 + s) * 2; }},
      // The move's own dice 1d+1 burning: mean 5; DR 1 leaves 4.
      {"firebolt", "hedge_witch", "firebolt", 14, "", "bandit", 1, [](int s) { return 4 + s; }},
      // ST above 20 reads row 20: swing 3d+2, mean 13; below 1 row 1: mean -2, nothing.
      {"st30 overhead", "bandit", "overhead", 30, "", "bandit", 0, [](int s) { return (13 + s) * 3 / 2; }},
      {"st0 jab", "bandit", "jab", 0, "", "bandit", 0, [](int) { return 0; }},
      // ST 12 thrust 1d-1, slash -1, broadsword +1: mean 3; cutting.
      {"slash with sword", "fighter", "slash", 12, "broadsword", "bandit", 0, [](int s) { return (3 + s) * 3 / 2; }},
      // Cleave: ST 12 swing 1d+2, +2: mean 8; DR 5 / armour divisor 2 = 2.
      {"cleave", "fighter", "cleave", 12, "", "bandit", 5, [](int s) { return (8 + s - 2) * 3 / 2; }},
      // ST 13 swing 2d-1, +1: mean 7; crushing, then the move's undead x3.
      {"holy smite", "cleric", "holy_smite", 13, "", "skeleton", 0, [](int s) { return (7 + s) * 3; }},
      // ST 13 thrust 1d: mean 4; impaling x2 on the living, unwounded (then x3) on the undead.
      {"pierce living", "bandit", "t_pierce", 13, "", "bandit", 0, [](int s) { return (4 + s) * 2; }},
      {"pierce undead", "bandit", "t_pierce", 13, "", "skeleton", 0, [](int s) { return (4 + s) * 3; }},
      {"cut undead", "bandit", "t_all", 13, "", "skeleton", 0, [](int s) { return (4 + s) * 3 / 2; }},
  };
  bool seen[3] = {false, false, false};
  for (const Example& ex : examples) {
    for (std::uint64_t seed = 1; seed <= 9; ++seed) {
      duel(ex.attacker, ex.move, ex.st, ex.target, -1, seed);
      if (*ex.weapon != 0) A().gear[0] = item_named(ex.weapon);
      T().dr = ex.dr;
      T().hp = 1000;
      const std::int32_t spread = next_spread();
      seen[spread + 1] = true;
      const Rng after = one_draw_on();
      strike(move_def(A().move).projectile.has_value());
      EXPECT_EQ(hit().amount, ex.injury(spread)) << ex.what << " spread " << spread;
      EXPECT_EQ(T().hp, 1000 - ex.injury(spread)) << ex.what;
      EXPECT_EQ(w.rng, after) << ex.what << ": one draw per unblocked blow";
    }
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST_F(Combat, NoPenetrationIsNoInjuryOnePointOfCuttingIsOne) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    for (std::int32_t through : {0, 1}) {
      duel("bandit", "slash", 13, "bandit", -1, seed);  // thrust 1d, -1: mean 3, cutting
      T().dr = 3 + next_spread() - through;
      strike();
      EXPECT_EQ(hit().amount, through) << "seed " << seed;
    }
  }
}

TEST_F(Combat, HugeValuesSaturateInsteadOfOverflowing) {
  duel("bandit", "t_huge", 20, "skeleton", 1);
  A().vanish_strike = 1;
  strike();
  EXPECT_EQ(hit().amount, i32_max);
  EXPECT_EQ(T().hp, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(T().state, ActorState::fall);

  duel("bandit", "t_huge", 20, "t_tank", -1, 7, 0);  // a guard priced at the top of its range
  raise_guard(T(), 500);
  strike();
  EXPECT_EQ(T().fp, 0);
  EXPECT_EQ(T().state, ActorState::stun);
  EXPECT_EQ(kinds(), (K{EventKind::hit, EventKind::guard_break}));
}

TEST_F(Combat, StaggerStunsPushesTurnsAndReportsWhere) {
  for (std::int32_t x : {350, 300, 250}) {
    duel("bandit", "jab", 13, "bandit", 1);  // jab: stagger 16 2; bandit HEIGHT 175
    T().x = Fx::from_int(x);
    T().y = Fx::from_int(30);
    T().vz = Fx::from_int(3);
    T().temp_hp = 2;
    const std::int32_t injury = 4 + next_spread();
    strike();
    const int dir = x >= 300 ? 1 : -1;  // on the attacker's own x: pushed right
    EXPECT_EQ(w.events, std::vector<Event>{Event::hit_of(DamageType::crushing, false, false, 1, 2, injury,
                                                         (300 + x) / 2, 30 + 175 * 2 / 3, 150)});
    EXPECT_EQ(T().temp_hp, 0);
    EXPECT_EQ(T().hp, T().hp_max - (injury - 2));
    EXPECT_EQ(body(T()), (Body{ActorState::stun, 0, 16, dir * 2 * cm, 0, 0, -dir}));
    EXPECT_EQ(T().hitstop, 4);
    EXPECT_EQ(A().hitstop, 4);
  }
}

// ---------------------------------------------------------------------------
// Guards and parries

TEST_F(Combat, GuardsPayByKindBreakWhenShortAndDrawNothing) {
  enum Outcome { blocked, broke, through, burst };
  struct Case {
    const char *kind, *move;
    std::int32_t st, dr;
    std::int8_t facing;
    std::int32_t Actor::*pool;
    std::int32_t before, after;
    Outcome outcome;
  };
  // Shield and dodge pay stamina: the jab at ST 13 is 1d+0, max(6, 35 x 2 / 10) = 7.
  // Ward and bubble pay the expected injury times guard_cost, rounded up: jab 4;
  // overhead at ST 17 on DR 2: (10 - 2) x 3 / 2 = 12; no penetration still 1;
  // 4 at 130 % is 6. A bubble short of the price bursts, and what its mana was
  // worth (100 / guard_cost a point) is taken off the blow that gets through.
  const std::vector<Case> cases = {
      {"fighter", "jab", 13, 0, -1, &Actor::sta, 50, 43, blocked},
      {"thief", "jab", 13, 0, -1, &Actor::sta, 50, 43, blocked},
      {"fighter", "jab", 13, 0, -1, &Actor::sta, 8, 1, blocked},
      {"fighter", "jab", 13, 0, -1, &Actor::sta, 7, 0, broke},
      {"fighter", "jab", 13, 0, 1, &Actor::sta, 50, 50, through},  // facing away
      {"cleric", "jab", 13, 0, -1, &Actor::fp, 10, 6, blocked},
      {"cleric", "overhead", 17, 2, -1, &Actor::fp, 20, 8, blocked},
      {"cleric", "jab", 10, 50, -1, &Actor::fp, 5, 4, blocked},
      {"cleric", "jab", 13, 0, -1, &Actor::fp, 4, 0, blocked},
      {"cleric", "jab", 13, 0, -1, &Actor::fp, 3, 0, broke},
      {"wizard", "jab", 13, 0, -1, &Actor::mana, 10, 6, blocked},
      {"wizard", "jab", 13, 0, 1, &Actor::mana, 4, 0, blocked},  // a bubble from any side
      {"t_bubble", "jab", 13, 0, 1, &Actor::mana, 10, 4, blocked},
      {"t_bubble", "jab", 13, 0, 1, &Actor::mana, 5, 0, burst},  // soaks up 5 x 100 / 130 = 3
  };
  for (const Case& c : cases) {
    duel("bandit", c.move, c.st, c.kind, c.facing, 7, 0);
    raise_guard(T(), 100);
    T().dr = c.dr;
    T().*c.pool = c.before;
    const std::int32_t injury = 4 + next_spread();
    const Rng after = c.outcome == through || c.outcome == burst ? one_draw_on() : w.rng;
    strike();
    const std::string what = std::string(c.kind) + " " + c.move + " " + std::to_string(c.before);
    EXPECT_EQ(w.rng, after) << what;
    EXPECT_EQ(T().*c.pool, c.after) << what;
    if (c.outcome == through || c.outcome == burst) {
      EXPECT_EQ(hit().blocked, 0) << what;
      EXPECT_EQ(hit().amount, c.outcome == burst ? injury - 3 : injury) << what;
      EXPECT_EQ(kinds(), c.outcome == burst ? (K{EventKind::guard_break, EventKind::hit}) : K{EventKind::hit});
      EXPECT_EQ(T().stun, 16) << what;  // staggered, out of the block
      continue;
    }
    const std::int32_t y = kind_by_id(T().kind).body[1] * 2 / 3;
    const MoveDef& m = move_def(A().move);
    EXPECT_EQ(w.events[0], Event::hit_of(m.damage_type, true, false, 1, 2, 0, 325, y, 150)) << what;
    EXPECT_EQ(kinds(), c.outcome == broke ? (K{EventKind::hit, EventKind::guard_break}) : K{EventKind::hit});
    EXPECT_EQ(T().hp, T().hp_max) << what;
    EXPECT_EQ(T().hitstop, m.hitstop) << what;
    EXPECT_EQ(A().hitstop, m.hitstop) << what;
    const Body guarding{ActorState::block, 100, 0, 2 * cm, 0, 0, c.facing};
    const Body broken{ActorState::stun, 0, 45, 3 * cm, 0, 0, c.facing};
    EXPECT_EQ(body(T()), c.outcome == broke ? broken : guarding) << what;
  }
}

TEST_F(Combat, ParryWindowFromDexterityLessEncumbrance) {
  struct Case {
    std::int32_t dx;
    int mauls;  // fighter ST 12: basic lift 288; a maul weighs 120
    std::uint16_t window;
  };
  for (const Case& c : {Case{11, 0, 5}, Case{8, 0, 2}, Case{9, 0, 3}, Case{20, 0, 12}, Case{11, 3, 4},
                        Case{8, 20, 1}}) {
    for (std::uint16_t age : {static_cast<std::uint16_t>(c.window - 1), c.window}) {
      duel("bandit", "jab", 13, "fighter", -1, 7, 0);
      T().dx = c.dx;
      for (int i = 0; i < c.mauls; ++i) T().bag.push_back(item_named("ogre_maul"));
      raise_guard(T(), age);
      strike();
      EXPECT_EQ(hit().blocked, 1);
      EXPECT_EQ(hit().parried, age < c.window ? 1 : 0) << "dx " << c.dx << " mauls " << c.mauls << " age " << age;
    }
  }
}

TEST_F(Combat, ParryStunsTheAttackerCostsNothingAndEnemiesNeverParry) {
  duel("bandit", "jab", 13, "fighter", -1, 7, 0);
  raise_guard(T(), 0);
  A().vx = Fx::from_raw(5 * cm);
  const Rng before = w.rng;
  strike();
  EXPECT_EQ(w.rng, before);
  EXPECT_EQ(T().sta, T().sta_max);
  EXPECT_EQ(T().state, ActorState::block);
  EXPECT_EQ(body(A()), (Body{ActorState::stun, 0, 40, 0, 0, 0, 1}));
  EXPECT_EQ(kinds(), K{EventKind::hit});
  EXPECT_EQ(hit().parried, 1);

  duel("fighter", "slash", 12, "shieldbearer", -1);
  A().team = 0;
  raise_guard(T(), 0);
  strike();
  EXPECT_EQ(hit().blocked, 1);
  EXPECT_EQ(hit().parried, 0);
  EXPECT_EQ(A().state, ActorState::attack);
}

TEST_F(Combat, ThrownBlowsKeepNoHitListStunNobodyButABubbleParryPays) {
  for (const bool guarded : {true, false}) {
    duel("bandit", "jab", 13, "wizard", -1, 7, 0);
    if (guarded) raise_guard(T(), 0);
    T().mana = 10;
    strike(true);
    EXPECT_EQ(hit().parried, guarded ? 1 : 0);
    EXPECT_EQ(T().mana, guarded ? 6 : 10);
    EXPECT_EQ(T().hitstop, 4);
    EXPECT_EQ(A().state, ActorState::attack);
    EXPECT_EQ(A().hitstop, 0);
    EXPECT_TRUE(A().hit_list.empty());
  }
}

// ---------------------------------------------------------------------------
// Reactions

TEST_F(Combat, HeavyAndArmoredStartupShrugOffStaggersNotKnockdowns) {
  duel("bandit", "jab", 13, "ogre", -1);
  strike();
  EXPECT_EQ(T().state, ActorState::idle);
  EXPECT_LT(T().hp, T().hp_max);
  for (std::uint16_t t : {9, 10}) {  // bull rush: armor, startup 10
    duel("bandit", "jab", 13, "bandit", -1);
    start_attack(T(), "bull_rush", 11);
    T().state_ticks = t;
    strike();
    EXPECT_EQ(T().state, t < 10 ? ActorState::attack : ActorState::stun);
  }
  duel("bandit", "overhead", 13, "ogre", -1);
  strike();
  EXPECT_EQ(T().state, ActorState::fall);
}

TEST_F(Combat, KnockdownsKnockOutsAndJuggles) {
  struct Case {
    const char* move;
    std::int32_t hp;
    bool falling;
    std::uint8_t juggle;
    std::int32_t vx, vy;  // cm per tick
  };
  // Overhead: knockdown 5 8. A blow that takes the last hit points: push 4,
  // lift 8. On a falling body: juggle + 1, a stagger pushes PUSH + 2 and lifts
  // 5; every lift less 2 a juggle, and 3 when that is below 4.
  // hp 0 stands for exactly the injury of the blow.
  for (const Case& c : {Case{"overhead", 1000, false, 0, 5, 8}, Case{"jab", 0, false, 0, 4, 8},
                        Case{"jab", 1000, true, 1, 4, 3}, Case{"overhead", 1000, true, 2, 5, 4},
                        Case{"jab", 0, true, 1, 4, 6}}) {
    duel("bandit", c.move, 13, "bandit", 1);
    T().hp = c.hp != 0 ? c.hp : 4 + next_spread();
    T().vz = Fx::from_int(2);
    T().y = Fx::from_int(c.falling ? 40 : 0);
    if (c.falling) T().state = ActorState::fall;
    T().juggle = c.falling ? static_cast<std::uint8_t>(c.juggle - 1) : 9;
    strike();
    const std::string what = std::string(c.move) + " hp " + std::to_string(c.hp) + (c.falling ? " falling" : "");
    EXPECT_EQ(body(T()), (Body{ActorState::fall, 0, 0, c.vx * cm, c.vy * cm, 0, -1})) << what;
    EXPECT_EQ(T().juggle, c.juggle) << what;
    EXPECT_EQ(T().y.raw, (c.falling ? 40 : 1) * cm) << what;
  }
}

TEST_F(Combat, SleepEndsAtTheFirstBlowFreezeHoldsUntilKnockedOut) {
  // Held 1 asleep, 2 frozen, in a stun of `before` ticks; a jab staggers for 16.
  using S = ActorState;
  for (const auto& [held, before, hp, kind, state, held_after, stun] :
       {std::tuple{1, 240, 100, "bandit", S::stun, 0, 16}, std::tuple{1, 240, 100, "ogre", S::stun, 0, 20},
        std::tuple{2, 120, 100, "bandit", S::stun, 2, 120}, std::tuple{2, 10, 100, "bandit", S::stun, 2, 16},
        std::tuple{2, 120, 1, "bandit", S::fall, 2, 120}}) {
    duel("bandit", "jab", 13, kind, -1);
    T().state = ActorState::stun;
    T().stun = static_cast<std::uint16_t>(before);
    T().held = static_cast<std::uint8_t>(held);
    T().hp = hp;
    strike();
    SCOPED_TRACE(std::to_string(held) + " " + kind + " " + std::to_string(before) + " hp " + std::to_string(hp));
    EXPECT_EQ(T().state, state);
    EXPECT_EQ(T().held, held_after);
    EXPECT_EQ(T().stun, stun);
  }
}

// ---------------------------------------------------------------------------
// Backstabs, sap and poison

TEST_F(Combat, BackstabFromBehindOrFromHidingWithAnInjury) {
  struct Case {
    const char* move;
    std::int8_t facing;
    bool hidden;
    std::int32_t dr;
    std::function<std::int32_t(std::int32_t)> injury;
    bool backstab;
  };
  // Backstab: thrust 1d at ST 13, +2: mean 6; impaling x2; backstab x3.
  // A jab (mean 4, crushing) backstabs only from hiding, at x2.
  const std::vector<Case> cases = {
      {"backstab", 1, false, 0, [](int s) { return (6 + s) * 2 * 3; }, true},
      {"backstab", -1, false, 0, [](int s) { return (6 + s) * 2; }, false},
      {"backstab", 1, false, 100, [](int) { return 0; }, false},
      {"jab", 1, false, 0, [](int s) { return 4 + s; }, false},
      {"jab", -1, true, 0, [](int s) { return (4 + s) * 2; }, true},
  };
  for (const Case& c : cases) {
    duel("cutpurse", c.move, 13, "bandit", c.facing);
    A().vanish_strike = c.hidden ? 1 : 0;
    T().dr = c.dr;
    T().hp = 1000;
    const std::int32_t s = next_spread();
    strike();
    const std::string what = std::string(c.move) + " facing " + std::to_string(c.facing);
    EXPECT_EQ(hit().amount, c.injury(s)) << what;
    EXPECT_EQ(kinds(), c.backstab ? (K{EventKind::backstab, EventKind::hit}) : K{EventKind::hit}) << what;
    EXPECT_EQ(A().vanish_strike, 0) << what;
  }
}

TEST_F(Combat, SapFromBehindByKind) {
  struct Case {
    const char* kind;
    int stun, facing;  // a heavy kind is not turned by the stagger first
  };
  // Blackjack: sap 120; a heavy kind a half, a boss (heavy or not) a quarter.
  for (const Case& c : {Case{"bandit", 120, -1}, Case{"ogre", 60, 1}, Case{"barrow_wight", 30, -1},
                        Case{"bandit_chief", 30, 1}}) {
    duel("cutpurse", "blackjack", 13, c.kind, 1);
    T().vz = Fx::from_raw(2 * cm);
    strike();
    EXPECT_EQ(body(T()), (Body{ActorState::stun, 0, c.stun, 0, 0, 0, c.facing})) << c.kind;
    EXPECT_EQ(kinds(), (K{EventKind::sapped, EventKind::hit})) << c.kind;
  }
  duel("cutpurse", "blackjack", 13, "bandit", -1);  // from the front a plain stagger
  strike();
  EXPECT_EQ(T().stun, 18);
  EXPECT_EQ(kinds(), K{EventKind::hit});
  duel("cutpurse", "blackjack", 13, "bandit", 1);  // a knocked-out body is not sapped
  T().hp = 1;
  strike();
  EXPECT_EQ(T().state, ActorState::fall);
  EXPECT_EQ(kinds(), K{EventKind::hit});
}

TEST_F(Combat, EventsBackstabSapPoisonThenHit) {
  duel("bandit", "t_all", 13, "bandit", 1);
  T().hp = 1000;
  strike();
  EXPECT_EQ(kinds(), (K{EventKind::backstab, EventKind::sapped, EventKind::poisoned, EventKind::hit}));
  for (const Event& e : w.events) {
    EXPECT_EQ(e.actor, 1);
    EXPECT_EQ(e.target, 2);
  }
}

TEST_F(Combat, PoisonFiveOverSixtyTicksIsOneEveryTwelve) {
  duel("bandit", "t_all", 13, "bandit", -1);
  T().hp = 1000;
  strike();
  EXPECT_EQ(kinds(), (K{EventKind::poisoned, EventKind::hit}));
  EXPECT_EQ(T().poison, 5);
  EXPECT_EQ(T().poison_interval, 12);
  EXPECT_EQ(T().poisoner, 1);
  const std::int32_t hp = T().hp;
  std::vector<int> losses;
  for (int tick = 1; tick <= 70; ++tick) {
    const std::int32_t before = T().hp;
    poison_tick(w, 2);
    if (T().hp != before) losses.push_back(tick);
  }
  EXPECT_EQ(losses, (std::vector<int>{12, 24, 36, 48, 60}));
  EXPECT_EQ(T().hp, hp - 5);
  EXPECT_EQ(T().poison, 0);

  for (std::int32_t dr : {0, 100}) {  // not on the undead, nor without an injury
    duel("bandit", "t_all", 13, dr == 0 ? "skeleton" : "bandit", -1);
    T().dr = dr;
    strike();
    EXPECT_EQ(T().poison, 0);
    EXPECT_EQ(kinds(), K{EventKind::hit});
  }
}

TEST_F(Combat, LastDoseKnocksDownButNotTheFallenOrKnockedOut) {
  for (ActorState state : {ActorState::idle, ActorState::down, ActorState::getup, ActorState::ko}) {
    arena();
    Actor& a = add("bandit", 1, 400, 150, 1);
    a.state = state;
    a.hp = 1;
    a.poison = 1;
    a.poison_interval = 1;
    poison_tick(w, 1);
    EXPECT_EQ(a.hp, state == ActorState::ko ? 1 : 0);
    const Body falls{ActorState::fall, 0, 0, 4 * cm, 7 * cm, 0, -1};
    EXPECT_EQ(body(a), state == ActorState::idle ? falls : (Body{state, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(a.y.raw, state == ActorState::idle ? 1 * cm : 0);
  }
}

// ---------------------------------------------------------------------------
// Attack boxes and the melee hit phase

TEST_F(Combat, BoxReachesForwardWithTheWeaponAcrossTheBand) {
  arena();
  Actor& a = add("fighter", 0, 500, 200, 1);
  start_attack(a, "slash", 12);  // forward 10 90, height 70 160, depth 25
  a.y = Fx::from_raw(10 * cm);
  a.gear[0] = item_named("broadsword");  // reach 15
  EXPECT_EQ(attack_box(a), (AttackBox{510, 605, 80, 170, 175, 225}));
  a.facing = -1;
  EXPECT_EQ(attack_box(a), (AttackBox{395, 490, 80, 170, 175, 225}));
  for (const char* none : {"knife_throw", "war_cry"}) {  // thrown and harmless moves
    start_attack(a, none, 12);
    EXPECT_FALSE(attack_box(a).has_value()) << none;
  }
  start_attack(a, "slash", 12);
  a.item_in_use = item_named("healing_potion");
  EXPECT_FALSE(attack_box(a).has_value());

  // Jab depth 25, body 20 either side: centres up to 45 cm apart in z meet.
  for (const auto& [dz, hits] :
       {std::pair{45, true}, std::pair{46, false}, std::pair{-45, true}, std::pair{-46, false}}) {
    arena();
    start_attack(add("bandit", 1, 300, 150, 1), "jab", 13);
    add("bandit", 2, 340, 150 + dz, -1);
    melee_hits(w);
    EXPECT_EQ(w.events.size(), hits ? 1u : 0u) << "dz " << dz;
  }
}

TEST_F(Combat, MeleeActiveFramesOnlyAndEachTargetOnce) {
  arena();
  start_attack(add("bandit", 1, 300, 150, 1), "jab", 13);  // startup 5, active 3
  add("bandit", 2, 350, 150, -1).hp = 1000;
  A().state_ticks = 4;
  melee_hits(w);
  EXPECT_TRUE(w.events.empty());
  const Rng after = one_draw_on();
  for (std::uint16_t t = 5; t < 8; ++t) {
    A().state_ticks = t;
    T().state = ActorState::idle;
    melee_hits(w);
  }
  EXPECT_EQ(kinds(), K{EventKind::hit});
  EXPECT_EQ(w.rng, after);
  A().state_ticks = 8;
  A().hit_list.clear();
  melee_hits(w);
  EXPECT_EQ(w.events.size(), 1u);
}

TEST_F(Combat, MeleeSkipsAlliesTheFallenTheInvulnerableAndTheTwiceJuggled) {
  arena();
  start_attack(add("bandit", 1, 300, 150, 1), "jab", 13);
  add("bandit", 1, 340, 150, -1);  // ally
  for (ActorState s : {ActorState::down, ActorState::getup, ActorState::ko}) add("bandit", 2, 340, 150, -1).state = s;
  add("bandit", 2, 340, 150, -1).invuln = 3;
  add("bandit", 2, 340, 150, -1).gone = 1;
  for (std::uint8_t juggle : {2, 1}) {  // juggled once is still fair game
    Actor& j = add("bandit", 2, 340, 150, -1);
    j.state = ActorState::fall;
    j.juggle = juggle;
    j.y = Fx::from_raw(100 * cm);
  }
  melee_hits(w);
  ASSERT_EQ(kinds(), K{EventKind::hit});
  EXPECT_EQ(w.events[0].target, 9);
}

TEST_F(Combat, HurtAreasStandingAndLyingAlongTheFloor) {
  // Jab from x 100: box x 110..160, height 80..150. A bandit (24 x 175)
  // standing reaches 24 either way and 175 up; lying 122 either way and 48 up.
  for (const auto& [state, x, y, hits] :
       {std::tuple{ActorState::idle, 180, 150, true}, std::tuple{ActorState::idle, 180, 151, false},
        std::tuple{ActorState::idle, 250, 50, false}, std::tuple{ActorState::fall, 280, 50, true},
        std::tuple{ActorState::fall, 250, 20, false}}) {
    arena();
    start_attack(add("bandit", 1, 100, 150, 1), "jab", 13);
    Actor& b = add("bandit", 2, x, 150, -1);
    b.state = state;
    b.y = Fx::from_int(y);
    melee_hits(w);
    EXPECT_EQ(w.events.size(), hits ? 1u : 0u) << "x " << x << " y " << y;
  }
}

TEST_F(Combat, ParriedAttackerHitsNobodyElse) {
  arena();
  start_attack(add("bandit", 1, 300, 150, 1), "jab", 13);
  raise_guard(add("fighter", 0, 340, 150, -1), 0);
  add("fighter", 0, 350, 150, 1).hp = 1000;
  melee_hits(w);
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0].parried, 1);
  EXPECT_FALSE(A().hit_list.contains(3));
  EXPECT_EQ(w.actors[3].hp, 1000);
}

TEST_F(Combat, PlayersBreakBarrels) {
  arena();  // the first stage's first barrel stands at (700, 100) holding 4 food
  ASSERT_EQ(w.props.at(0).x.raw, 700 * cm);
  Actor& enemy = add("bandit", 1, 650, 100, 1);
  start_attack(enemy, "jab", 13);
  melee_hits(w);
  EXPECT_EQ(w.props[0].broken, 0);

  enemy.gone = 1;
  w.pickups.push_back(Pickup{});  // one lies there already
  start_attack(add("fighter", 0, 650, 100, 1), "slash", 12);
  melee_hits(w);
  EXPECT_EQ(w.props[0].broken, 1);
  EXPECT_EQ(w.events, std::vector<Event>{Event::of_index(EventKind::break_, 0)});
  melee_hits(w);  // a broken barrel stays broken
  const Pickup food{PickupContent::food(4), w.props[0].x, w.props[0].z, 1, 0};  // id: the list's length
  EXPECT_EQ(w.pickups, (std::vector<Pickup>{Pickup{}, food}));
}

}  // namespace
}  // namespace velmora
