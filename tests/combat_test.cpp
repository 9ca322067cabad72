#include "core/combat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/game_data.h"
#include "core/world.h"

namespace velmora {
namespace {

constexpr std::int32_t cm = 256;  // one centimetre (or cm per tick) as Fx
constexpr std::int32_t i32_max = std::numeric_limits<std::int32_t>::max();

// The built-in data plus a few moves and a kind with values the built-in set
// does not have. Installed once, before anything reads the game data.
void install_test_data() {
  static const bool installed = [] {
    GameData d = builtin_data();
    auto copy_move = [&](std::string_view from, std::string name) {
      MoveDef m = d.moves[*move_id(d.moves, from)];
      m.name = std::move(name);
      m.next.reset();
      return m;
    };
    MoveDef venom = copy_move("jab", "t_venom");
    venom.damage_type = DamageType::cutting;
    venom.poison = PoisonSpec{5, 60};
    d.moves.push_back(venom);

    MoveDef pierce = copy_move("jab", "t_pierce");
    pierce.damage_type = DamageType::impaling;
    pierce.undead_mult = 3;
    d.moves.push_back(pierce);

    MoveDef all = copy_move("jab", "t_all");
    all.damage_type = DamageType::cutting;
    all.backstab = true;
    all.sap = 90;
    all.poison = PoisonSpec{4, 40};
    d.moves.push_back(all);

    MoveDef huge = copy_move("jab", "t_huge");
    huge.damage_base = DamageBase::dice;
    huge.damage_dice = i32_max;
    huge.damage_add = i32_max;
    huge.damage_type = DamageType::impaling;
    huge.backstab = true;
    huge.backstab_mult = i32_max;
    huge.undead_mult = i32_max;
    huge.stun = i32_max;
    huge.push = i32_max;
    d.moves.push_back(huge);

    KindDef tank = d.kinds[*kind_id(d.kinds, "cleric")];
    tank.name = "t_tank";
    tank.guard_cost = i32_max;
    d.kinds.push_back(tank);

    return install_game_data(std::move(d)).ok();
  }();
  ASSERT_TRUE(installed);
}

std::uint8_t move_named(std::string_view name) {
  const auto id = move_id(game_data().moves, name);
  if (!id) ADD_FAILURE() << "no move " << name;
  return id.value_or(0);
}

std::uint8_t kind_named(std::string_view name) {
  const auto id = kind_id(game_data().kinds, name);
  if (!id) ADD_FAILURE() << "no kind " << name;
  return id.value_or(0);
}

std::uint16_t item_named(std::string_view name) {
  const auto id = item_id(game_data().items, name);
  if (!id) ADD_FAILURE() << "no item " << name;
  return id.value_or(0);
}

// A world on the first stage whose own party member stands aside (gone), so
// that each test places exactly the fighters it needs.
World arena(std::uint64_t seed = 7) {
  install_test_data();
  World w = new_game(0, seed, {});
  w.actors[0].gone = 1;
  w.events.clear();
  return w;
}

// A fighter without gear or own DR, so the numbers are the test's own.
Actor& add(World& w, std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing) {
  const auto id = static_cast<std::uint16_t>(w.actors.size());
  Actor a = actor_from_kind(id, kind_named(kind), team, 0, x, z, facing);
  a.gear = {};
  a.dr = 0;
  w.actors.push_back(a);
  return w.actors.back();
}

Actor& add_player(World& w, std::string_view kind, std::int32_t x, std::int32_t z, std::int8_t facing) {
  Actor& a = add(w, kind, 0, x, z, facing);
  a.slot = static_cast<std::uint8_t>(w.actors.size() % 4);
  return a;
}

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

// The spread the next blow of this world will roll: -1, 0 or +1.
std::int32_t next_spread(const World& w) {
  Rng peek = w.rng;
  return static_cast<std::int32_t>(peek.next() % 3) - 1;
}

Rng advanced(Rng rng, int steps) {
  for (int i = 0; i < steps; ++i) rng.next();
  return rng;
}

std::vector<EventKind> kinds_of(const World& w) {
  std::vector<EventKind> kinds;
  for (const Event& e : w.events) kinds.push_back(e.kind);
  return kinds;
}

const Event& last_hit(const World& w) {
  for (auto it = w.events.rbegin(); it != w.events.rend(); ++it) {
    if (it->kind == EventKind::hit) return *it;
  }
  ADD_FAILURE() << "no hit event";
  return w.events.front();
}

// Attacker (index 1) at x 300 facing right, target (index 2) at x 350: the
// target is pushed right and faces the attacker when its facing is -1.
struct Duel {
  World w;
  std::size_t a = 1;
  std::size_t t = 2;
  Actor& attacker() { return w.actors[a]; }
  Actor& target() { return w.actors[t]; }
  void strike(bool projectile = false) {
    resolve_hit(w, a, t, attacker().move, attacker().x, projectile);
  }
};

Duel duel(std::string_view attacker_kind, std::string_view move, std::int32_t st, std::string_view target_kind,
          std::int8_t target_facing, std::uint64_t seed = 7, std::uint8_t target_team = 2) {
  Duel d{arena(seed)};
  start_attack(add(d.w, attacker_kind, 1, 300, 150, 1), move, st);
  add(d.w, target_kind, target_team, 350, 150, target_facing);
  return d;
}

// ---------------------------------------------------------------------------
// The damage table and wounding
// ---------------------------------------------------------------------------

// "Nd+A" as the published table writes it.
StDamage published_pair(std::string_view thrust, std::string_view swing) {
  auto parse = [](std::string_view s, std::int32_t& dice, std::int32_t& add) {
    const auto d = s.find('d');
    dice = std::stoi(std::string(s.substr(0, d)));
    add = d + 1 < s.size() ? std::stoi(std::string(s.substr(d + 1))) : 0;
  };
  StDamage row{};
  parse(thrust, row.thrust_dice, row.thrust_add);
  parse(swing, row.swing_dice, row.swing_add);
  return row;
}

TEST(CombatTable, MatchesThePublishedThrustAndSwingRows) {
  const char* rows[20][2] = {{"1d-6", "1d-5"}, {"1d-6", "1d-5"}, {"1d-5", "1d-4"}, {"1d-5", "1d-4"},
                             {"1d-4", "1d-3"}, {"1d-4", "1d-3"}, {"1d-3", "1d-2"}, {"1d-3", "1d-2"},
                             {"1d-2", "1d-1"}, {"1d-2", "1d"},   {"1d-1", "1d+1"}, {"1d-1", "1d+2"},
                             {"1d", "2d-1"},   {"1d", "2d"},     {"1d+1", "2d+1"}, {"1d+1", "2d+2"},
                             {"1d+2", "3d-1"}, {"1d+2", "3d"},   {"2d-1", "3d+1"}, {"2d-1", "3d+2"}};
  for (int st = 1; st <= 20; ++st) {
    const StDamage want = published_pair(rows[st - 1][0], rows[st - 1][1]);
    const StDamage& got = st_damage_table[static_cast<std::size_t>(st - 1)];
    EXPECT_EQ(got.thrust_dice, want.thrust_dice) << "ST " << st;
    EXPECT_EQ(got.thrust_add, want.thrust_add) << "ST " << st;
    EXPECT_EQ(got.swing_dice, want.swing_dice) << "ST " << st;
    EXPECT_EQ(got.swing_add, want.swing_add) << "ST " << st;
  }
  EXPECT_EQ(wound_factor_halves(DamageType::crushing), 2);
  EXPECT_EQ(wound_factor_halves(DamageType::cutting), 3);
  EXPECT_EQ(wound_factor_halves(DamageType::impaling), 4);
  EXPECT_EQ(wound_factor_halves(DamageType::burning), 2);
}

struct Example {
  const char* what;
  const char* attacker_kind;
  const char* move;
  std::int32_t st;
  const char* weapon;  // "" for none
  const char* target_kind;
  std::int32_t target_dr;
  bool projectile;
  std::function<std::int32_t(std::int32_t spread)> injury;
};

TEST(CombatDamage, HandComputedInjuriesFromTheTable) {
  const std::vector<Example> examples = {
      // ST 10 thrust 1d-2: mean (3.5 - 2) = 2 rounded; crushing x1.
      {"st10 jab", "bandit", "jab", 10, "", "bandit", 0, false, [](std::int32_t s) { return 2 + s; }},
      // ST 17 swing 3d-1: mean 10; DR 2 leaves 8; cutting x1.5.
      {"st17 overhead", "bandit", "overhead", 17, "", "bandit", 2, false,
       [](std::int32_t s) { return (8 + s) * 3 / 2; }},
      // ST 20 thrust 2d-1: mean 6; DR 3 leaves 3; impaling x2.
      {"st20 stab", "bandit", "stab", 20, "", "bandit", 3, false, [](std::int32_t s) { return (3 + s) * 2; }},
      // A move's own dice: 1d+1 burning: mean 5; DR 1 leaves 4; burning x1.
      {"firebolt", "hedge_witch", "firebolt", 14, "", "bandit", 1, true, [](std::int32_t s) { return 4 + s; }},
      // ST above 20 reads row 20: swing 3d+2, mean 13, cutting.
      {"st30 overhead", "bandit", "overhead", 30, "", "bandit", 0, false,
       [](std::int32_t s) { return (13 + s) * 3 / 2; }},
      // ST below 1 reads row 1: thrust 1d-6, mean -2: never any damage.
      {"st0 jab", "bandit", "jab", 0, "", "bandit", 0, false, [](std::int32_t) { return 0; }},
      // ST 12 thrust 1d-1, slash -1, broadsword +1: adds -1, mean 3; cutting.
      {"st12 slash with sword", "fighter", "slash", 12, "broadsword", "bandit", 0, false,
       [](std::int32_t s) { return (3 + s) * 3 / 2; }},
      // ST 13 swing 2d-1, +1: mean 7; crushing x1, then the move's undead x3.
      {"holy smite on skeleton", "cleric", "holy_smite", 13, "", "skeleton", 0, false,
       [](std::int32_t s) { return (7 + s) * 3; }},
  };
  for (const Example& ex : examples) {
    for (std::uint64_t seed = 1; seed <= 9; ++seed) {
      Duel d = duel(ex.attacker_kind, ex.move, ex.st, ex.target_kind, -1, seed);
      if (*ex.weapon != 0) d.attacker().gear[0] = item_named(ex.weapon);
      d.target().dr = ex.target_dr;
      d.target().hp = 1000;
      const std::int32_t spread = next_spread(d.w);
      const Rng after = advanced(d.w.rng, 1);
      d.strike(ex.projectile);
      const std::int32_t want = ex.injury(spread);
      EXPECT_EQ(last_hit(d.w).amount, want) << ex.what << " spread " << spread;
      EXPECT_EQ(d.target().hp, 1000 - want) << ex.what;
      EXPECT_EQ(d.w.rng, after) << ex.what << ": one draw per unblocked blow";
    }
  }
}

TEST(CombatDamage, SpreadIsOneDrawAroundTheMean) {
  // ST 13 thrust 1d: mean 4 on DR 0, crushing: injury = 4 + spread.
  bool seen[3] = {false, false, false};
  for (std::uint64_t seed = 0; seed < 60; ++seed) {
    Duel d = duel("bandit", "jab", 13, "bandit", -1, seed);
    Rng peek = d.w.rng;
    const std::uint64_t r = peek.next();
    d.strike();
    const std::int32_t injury = last_hit(d.w).amount;
    ASSERT_GE(injury, 3);
    ASSERT_LE(injury, 5);
    EXPECT_EQ(injury, 3 + static_cast<std::int32_t>(r % 3));
    EXPECT_EQ(d.w.rng, peek);
    seen[injury - 3] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST(CombatDamage, PenetrationEdges) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    // DR equal to the damage: nothing gets through, the injury is 0, not 1.
    Duel zero = duel("bandit", "slash", 13, "bandit", -1, seed);
    // slash: thrust 1d, -1: mean (35 - 10 + 5) / 10 = 3.
    const std::int32_t damage = 3 + next_spread(zero.w);
    zero.target().dr = damage;
    zero.strike();
    EXPECT_EQ(last_hit(zero.w).amount, 0);
    EXPECT_EQ(zero.target().hp, zero.target().hp_max);

    // One point of cutting through: 1 x 3 / 2 = 1.
    Duel one = duel("bandit", "slash", 13, "bandit", -1, seed);
    one.target().dr = 3 + next_spread(one.w) - 1;
    one.strike();
    EXPECT_EQ(last_hit(one.w).amount, 1);
  }
}

TEST(CombatDamage, ArmorDivisorDividesTheDr) {
  // Cleave: swing 1d+2 at ST 12, +2: mean (35 + 40 + 5) / 10 = 8; DR 5 / 2 = 2.
  Duel d = duel("fighter", "cleave", 12, "bandit", -1);
  d.target().dr = 5;
  const std::int32_t s = next_spread(d.w);
  d.strike();
  EXPECT_EQ(last_hit(d.w).amount, (8 + s - 2) * 3 / 2);
}

TEST(CombatDamage, ImpalingOnTheUndeadIsNotWoundedButMultiplied) {
  // ST 13 thrust 1d: mean 4; impaling x2 on the living, unwounded x3 on the undead.
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    Duel undead = duel("bandit", "t_pierce", 13, "skeleton", -1, seed);
    const std::int32_t s = next_spread(undead.w);
    undead.strike();
    EXPECT_EQ(last_hit(undead.w).amount, (4 + s) * 3);

    Duel living = duel("bandit", "t_pierce", 13, "bandit", -1, seed);
    living.strike();
    EXPECT_EQ(last_hit(living.w).amount, (4 + s) * 2);
  }
}

TEST(CombatDamage, HugeValuesSaturateInsteadOfOverflowing) {
  Duel d = duel("bandit", "t_huge", 20, "skeleton", 1);
  d.attacker().vanish_strike = 1;
  d.strike();
  EXPECT_EQ(last_hit(d.w).amount, i32_max);
  EXPECT_EQ(d.target().hp, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(d.target().state, ActorState::fall);

  // The same blow on a guard priced at the top of its range.
  Duel g = duel("bandit", "t_huge", 20, "t_tank", -1, 7, 0);
  raise_guard(g.target(), 500);
  g.strike();
  EXPECT_EQ(g.target().fp, 0);
  EXPECT_EQ(g.target().state, ActorState::stun);
  EXPECT_EQ(kinds_of(g.w), (std::vector<EventKind>{EventKind::hit, EventKind::guard_break}));
}

TEST(CombatDamage, HitEventCarriesWhereTheBlowLanded) {
  Duel d = duel("bandit", "jab", 13, "bandit", -1);
  d.target().y = Fx::from_raw(30 * cm);
  d.target().z = Fx::from_raw(170 * cm);
  d.strike();
  const Event& e = last_hit(d.w);
  EXPECT_EQ(e.x, 325);            // midway between 300 and 350
  EXPECT_EQ(e.y, 30 + 175 * 2 / 3);  // bandit HEIGHT 175
  EXPECT_EQ(e.z, 170);
  EXPECT_EQ(e.actor, 1);
  EXPECT_EQ(e.target, 2);
  EXPECT_EQ(e.damage, DamageType::crushing);
  EXPECT_EQ(e.blocked, 0);
  EXPECT_EQ(e.parried, 0);
}

TEST(CombatDamage, TemporaryHitPointsTakeTheBlowFirst) {
  Duel d = duel("bandit", "jab", 13, "bandit", -1);
  const std::int32_t injury = 4 + next_spread(d.w);
  d.target().temp_hp = 2;
  d.strike();
  EXPECT_EQ(d.target().temp_hp, 0);
  EXPECT_EQ(d.target().hp, d.target().hp_max - (injury - 2));
  EXPECT_EQ(last_hit(d.w).amount, injury);
}

// ---------------------------------------------------------------------------
// Guards
// ---------------------------------------------------------------------------

TEST(CombatGuard, ShieldAndDodgePayStaminaAndDrawNothing) {
  for (const char* kind : {"fighter", "thief"}) {
    // ST 13 jab: 1d+0, so the block costs max(6, 35 x 2 / 10) = 7 stamina.
    Duel d = duel("bandit", "jab", 13, kind, -1, 7, 0);
    raise_guard(d.target(), 100);
    const Rng before = d.w.rng;
    d.strike();
    EXPECT_EQ(d.w.rng, before) << kind << ": a blocked blow draws nothing";
    EXPECT_EQ(d.target().sta, d.target().sta_max - 7) << kind;
    EXPECT_EQ(d.target().hp, d.target().hp_max) << kind;
    EXPECT_EQ(d.target().state, ActorState::block) << kind;
    EXPECT_EQ(d.target().hitstop, move_def(d.attacker().move).hitstop) << kind;
    EXPECT_EQ(d.target().vx.raw, 2 * cm) << kind;
    EXPECT_EQ(d.attacker().hitstop, move_def(d.attacker().move).hitstop) << kind;
    ASSERT_EQ(d.w.events.size(), 1u) << kind;
    const Event& e = d.w.events[0];
    EXPECT_EQ(e.kind, EventKind::hit);
    EXPECT_EQ(e.blocked, 1);
    EXPECT_EQ(e.parried, 0);
    EXPECT_EQ(e.amount, 0);
  }
}

TEST(CombatGuard, ShieldBreaksWhenStaminaRunsOut) {
  Duel d = duel("bandit", "jab", 13, "fighter", -1, 7, 0);
  raise_guard(d.target(), 100);
  d.target().sta = 5;
  d.strike();
  EXPECT_EQ(d.target().sta, 0);
  EXPECT_EQ(d.target().state, ActorState::stun);
  EXPECT_EQ(d.target().stun, 45);
  EXPECT_EQ(d.target().state_ticks, 0);
  EXPECT_EQ(d.target().vx.raw, 3 * cm);
  EXPECT_EQ(kinds_of(d.w), (std::vector<EventKind>{EventKind::hit, EventKind::guard_break}));
  EXPECT_EQ(d.w.events[1].actor, 2);
}

TEST(CombatGuard, BlockFacingAwayDoesNotBlock) {
  Duel d = duel("bandit", "jab", 13, "fighter", 1, 7, 0);
  raise_guard(d.target(), 100);
  const Rng after = advanced(d.w.rng, 1);
  d.strike();
  EXPECT_EQ(d.w.rng, after);
  EXPECT_EQ(last_hit(d.w).blocked, 0);
  EXPECT_LT(d.target().hp, d.target().hp_max);
  EXPECT_EQ(d.target().sta, d.target().sta_max);
}

TEST(CombatGuard, WardPaysFatiguePointsAndBreaksWhenShort) {
  // ST 13 jab on DR 0: expected injury 4; cleric guard_cost 100: w = 4.
  Duel d = duel("bandit", "jab", 13, "cleric", -1, 7, 0);
  raise_guard(d.target(), 100);
  d.target().fp = 10;
  d.strike();
  EXPECT_EQ(d.target().fp, 6);
  EXPECT_EQ(d.target().state, ActorState::block);

  Duel shortd = duel("bandit", "jab", 13, "cleric", -1, 7, 0);
  raise_guard(shortd.target(), 100);
  shortd.target().fp = 3;
  shortd.strike();
  EXPECT_EQ(shortd.target().fp, 0);
  EXPECT_EQ(shortd.target().state, ActorState::stun);
  EXPECT_EQ(shortd.target().stun, 45);
  EXPECT_EQ(kinds_of(shortd.w), (std::vector<EventKind>{EventKind::hit, EventKind::guard_break}));
}

TEST(CombatGuard, GuardCostFollowsExpectedInjuryAndGuardCost) {
  // Overhead at ST 17: swing 3d-1, mean 10; DR 2: 8 x 3 / 2 = 12 expected,
  // and a guard_cost of 100 % prices it (12 x 100 + 99) / 100 = 12.
  Duel d = duel("bandit", "overhead", 17, "cleric", -1, 7, 0);
  raise_guard(d.target(), 100);
  d.target().dr = 2;
  d.target().fp = 20;
  ASSERT_EQ(kind_by_id(d.target().kind).guard_cost, 100);
  d.strike();
  EXPECT_EQ(d.target().fp, 20 - 12);

  // Penetration below 1 still costs 1.
  Duel low = duel("bandit", "jab", 10, "cleric", -1, 7, 0);
  raise_guard(low.target(), 100);
  low.target().dr = 50;
  low.target().fp = 5;
  low.strike();
  EXPECT_EQ(low.target().fp, 4);
}

TEST(CombatGuard, BubbleBlocksFromAnySideAndPaysMana) {
  for (std::int8_t facing : {std::int8_t{-1}, std::int8_t{1}}) {
    Duel d = duel("bandit", "jab", 13, "wizard", facing, 7, 0);
    raise_guard(d.target(), 100);
    d.target().mana = 10;
    const Rng before = d.w.rng;
    d.strike();
    EXPECT_EQ(d.w.rng, before);
    EXPECT_EQ(d.target().mana, 6) << "facing " << int{facing};
    EXPECT_EQ(d.target().hp, d.target().hp_max);
    EXPECT_EQ(last_hit(d.w).blocked, 1);
  }
}

TEST(CombatGuard, BubbleTooWeakBurstsAndAbsorbsWhatItHad) {
  Duel d = duel("bandit", "jab", 13, "wizard", 1, 7, 0);
  raise_guard(d.target(), 100);
  d.target().mana = 3;  // the blow costs 4
  const std::int32_t injury = 4 + next_spread(d.w);
  const Rng after = advanced(d.w.rng, 1);
  d.strike();
  EXPECT_EQ(d.w.rng, after);
  EXPECT_EQ(d.target().mana, 0);
  EXPECT_EQ(kinds_of(d.w), (std::vector<EventKind>{EventKind::guard_break, EventKind::hit}));
  EXPECT_EQ(last_hit(d.w).blocked, 0);
  EXPECT_EQ(last_hit(d.w).amount, injury - 3);
  EXPECT_EQ(d.target().hp, d.target().hp_max - (injury - 3));
  // Back to idle, then staggered by the jab that got through.
  EXPECT_EQ(d.target().state, ActorState::stun);
  EXPECT_EQ(d.target().stun, 16);
}

// ---------------------------------------------------------------------------
// Parries
// ---------------------------------------------------------------------------

TEST(CombatParry, WindowFromDexterity) {
  struct Case {
    std::int32_t dx;
    std::uint16_t window;
  };
  // DX 11 gives 5 ticks, DX 8 gives 2, DX 20 is capped at 12.
  for (const Case& c : {Case{11, 5}, Case{8, 2}, Case{20, 12}, Case{9, 3}}) {
    Duel in = duel("bandit", "jab", 13, "fighter", -1, 7, 0);
    in.target().dx = c.dx;
    raise_guard(in.target(), static_cast<std::uint16_t>(c.window - 1));
    in.strike();
    EXPECT_EQ(last_hit(in.w).parried, 1) << "dx " << c.dx;

    Duel out = duel("bandit", "jab", 13, "fighter", -1, 7, 0);
    out.target().dx = c.dx;
    raise_guard(out.target(), c.window);
    out.strike();
    EXPECT_EQ(last_hit(out.w).parried, 0) << "dx " << c.dx;
    EXPECT_EQ(last_hit(out.w).blocked, 1) << "dx " << c.dx;
  }
}

TEST(CombatParry, EncumbranceShortensTheWindowToAtLeastOne) {
  // ST 12: basic lift 288 tenths of a pound; three ogre mauls (360) are the
  // next level: -1, so DX 11 parries for 4 ticks.
  Duel d = duel("bandit", "jab", 13, "fighter", -1, 7, 0);
  const std::uint16_t maul = item_named("ogre_maul");
  for (int i = 0; i < 3; ++i) d.target().bag.push_back(maul);
  raise_guard(d.target(), 4);
  d.strike();
  EXPECT_EQ(last_hit(d.w).parried, 0);

  // DX 8 (2 ticks) under the heaviest load (-4) still parries on its first tick.
  Duel heavy = duel("bandit", "jab", 13, "fighter", -1, 7, 0);
  heavy.target().dx = 8;
  for (int i = 0; i < 20; ++i) heavy.target().bag.push_back(maul);
  raise_guard(heavy.target(), 0);
  heavy.strike();
  EXPECT_EQ(last_hit(heavy.w).parried, 1);
  raise_guard(heavy.target(), 1);
  heavy.w.events.clear();
  heavy.attacker().state = ActorState::attack;
  heavy.strike();
  EXPECT_EQ(last_hit(heavy.w).parried, 0);
}

TEST(CombatParry, ParryStunsTheAttackerAndCostsNothing) {
  Duel d = duel("bandit", "jab", 13, "fighter", -1, 7, 0);
  raise_guard(d.target(), 0);
  d.attacker().vx = Fx::from_raw(5 * cm);
  const Rng before = d.w.rng;
  d.strike();
  EXPECT_EQ(d.w.rng, before);
  EXPECT_EQ(d.target().sta, d.target().sta_max);
  EXPECT_EQ(d.target().state, ActorState::block);
  EXPECT_EQ(d.attacker().state, ActorState::stun);
  EXPECT_EQ(d.attacker().stun, 40);
  EXPECT_EQ(d.attacker().state_ticks, 0);
  EXPECT_EQ(d.attacker().vx.raw, 0);
  ASSERT_EQ(d.w.events.size(), 1u);
  EXPECT_EQ(d.w.events[0].blocked, 1);
  EXPECT_EQ(d.w.events[0].parried, 1);
}

TEST(CombatParry, BubbleParryStillPaysManaAndThrownBlowsStunNobody) {
  Duel d = duel("bandit", "jab", 13, "wizard", -1, 7, 0);
  raise_guard(d.target(), 0);
  d.target().mana = 10;
  d.strike(true);
  EXPECT_EQ(last_hit(d.w).parried, 1);
  EXPECT_EQ(d.target().mana, 6);
  EXPECT_EQ(d.attacker().state, ActorState::attack);
  EXPECT_EQ(d.attacker().hitstop, 0);
}

TEST(CombatParry, EnemiesNeverParry) {
  Duel d = duel("fighter", "slash", 12, "shieldbearer", -1, 7, 2);
  d.attacker().team = 0;
  raise_guard(d.target(), 0);
  d.strike();
  EXPECT_EQ(last_hit(d.w).blocked, 1);
  EXPECT_EQ(last_hit(d.w).parried, 0);
  EXPECT_EQ(d.attacker().state, ActorState::attack);
}

// ---------------------------------------------------------------------------
// Reactions: stagger, knockdown, juggling, held
// ---------------------------------------------------------------------------

TEST(CombatReaction, StaggerStunsPushesAndTurns) {
  Duel d = duel("bandit", "jab", 13, "bandit", 1);  // facing away
  d.target().vz = Fx::from_raw(3 * cm);
  d.strike();
  EXPECT_EQ(d.target().state, ActorState::stun);
  EXPECT_EQ(d.target().stun, 16);  // jab: stagger 16 2
  EXPECT_EQ(d.target().vx.raw, 2 * cm);
  EXPECT_EQ(d.target().vz.raw, 0);
  EXPECT_EQ(d.target().facing, -1);
  EXPECT_EQ(d.target().hitstop, 4);
  EXPECT_EQ(d.attacker().hitstop, 4);

  // From the other side the push goes the other way.
  Duel left = duel("bandit", "jab", 13, "bandit", 1);
  left.target().x = Fx::from_raw(250 * cm);
  left.strike();
  EXPECT_EQ(left.target().vx.raw, -2 * cm);
  EXPECT_EQ(left.target().facing, 1);
}

TEST(CombatReaction, HeavyAndArmoredStartupShrugOffStaggers) {
  Duel heavy = duel("bandit", "jab", 13, "ogre", -1);
  heavy.strike();
  EXPECT_EQ(heavy.target().state, ActorState::idle);
  EXPECT_LT(heavy.target().hp, heavy.target().hp_max);

  // Bull rush (armor, startup 10): no stagger while winding up, one after.
  Duel winding = duel("bandit", "jab", 13, "bandit", -1);
  start_attack(winding.target(), "bull_rush", 11);
  winding.target().state_ticks = 9;
  winding.strike();
  EXPECT_EQ(winding.target().state, ActorState::attack);

  Duel swinging = duel("bandit", "jab", 13, "bandit", -1);
  start_attack(swinging.target(), "bull_rush", 11);
  swinging.target().state_ticks = 10;
  swinging.strike();
  EXPECT_EQ(swinging.target().state, ActorState::stun);

  // A heavy kind still goes down to a knockdown.
  Duel knocked = duel("bandit", "overhead", 13, "ogre", -1);
  knocked.strike();
  EXPECT_EQ(knocked.target().state, ActorState::fall);
}

TEST(CombatReaction, KnockdownLaunches) {
  Duel d = duel("bandit", "overhead", 13, "bandit", 1);  // knockdown 5 8
  d.target().hp = 1000;
  d.strike();
  const Actor& t = d.target();
  EXPECT_EQ(t.state, ActorState::fall);
  EXPECT_EQ(t.state_ticks, 0);
  EXPECT_EQ(t.juggle, 0);
  EXPECT_EQ(t.vx.raw, 5 * cm);
  EXPECT_EQ(t.vy.raw, 8 * cm);
  EXPECT_EQ(t.vz.raw, 0);
  EXPECT_EQ(t.y.raw, 1 * cm);
  EXPECT_EQ(t.facing, -1);
}

TEST(CombatReaction, KnockOutBlowAndJuggles) {
  // A blow that takes the last hit points: push 4, lift 8.
  Duel ko = duel("bandit", "jab", 13, "bandit", -1);
  ko.target().hp = 1;
  ko.strike();
  EXPECT_EQ(ko.target().state, ActorState::fall);
  EXPECT_EQ(ko.target().vx.raw, 4 * cm);
  EXPECT_EQ(ko.target().vy.raw, 8 * cm);
  EXPECT_EQ(ko.target().juggle, 0);

  // Stagger blows on a falling body: push PUSH + 2, lift 5 less 2 a juggle.
  Duel air = duel("bandit", "jab", 13, "bandit", -1);
  Actor& t = air.target();
  t.state = ActorState::fall;
  t.hp = 1000;
  t.y = Fx::from_raw(40 * cm);
  t.juggle = 0;
  air.strike();
  EXPECT_EQ(t.juggle, 1);
  EXPECT_EQ(t.vx.raw, 4 * cm);
  EXPECT_EQ(t.vy.raw, 3 * cm);  // 5 - 2 = 3 is below 4: 3
  EXPECT_EQ(t.y.raw, 40 * cm);

  // A knockdown move on a falling body: VX, VY less 2 a juggle.
  air.attacker().move = move_named("overhead");
  air.attacker().hit_list.clear();
  air.strike();
  EXPECT_EQ(t.juggle, 2);
  EXPECT_EQ(t.vx.raw, 5 * cm);
  EXPECT_EQ(t.vy.raw, 4 * cm);  // 8 - 4
}

TEST(CombatReaction, SleepEndsAtTheFirstBlowAndFreezeHolds) {
  Duel asleep = duel("bandit", "jab", 13, "ogre", -1);
  asleep.target().state = ActorState::stun;
  asleep.target().stun = 240;
  asleep.target().held = 1;
  asleep.strike();
  EXPECT_EQ(asleep.target().held, 0);
  EXPECT_EQ(asleep.target().stun, 20);

  Duel frozen = duel("bandit", "jab", 13, "bandit", -1);
  frozen.target().state = ActorState::stun;
  frozen.target().stun = 120;
  frozen.target().held = 2;
  frozen.strike();
  EXPECT_EQ(frozen.target().held, 2);
  EXPECT_EQ(frozen.target().stun, 120);
  EXPECT_EQ(frozen.target().state, ActorState::stun);

  Duel shattered = duel("bandit", "jab", 13, "bandit", -1);
  shattered.target().state = ActorState::stun;
  shattered.target().stun = 120;
  shattered.target().held = 2;
  shattered.target().hp = 1;
  shattered.strike();
  EXPECT_EQ(shattered.target().state, ActorState::fall);
  EXPECT_EQ(shattered.target().vx.raw, 4 * cm);
  EXPECT_EQ(shattered.target().vy.raw, 8 * cm);
}

// ---------------------------------------------------------------------------
// Backstabs, sap and poison
// ---------------------------------------------------------------------------

TEST(CombatBackstab, FromBehindOrFromHiding) {
  // Backstab: thrust 1d at ST 13, +2: mean 6; impaling x2; backstab x3.
  Duel behind = duel("cutpurse", "backstab", 13, "bandit", 1);
  std::int32_t s = next_spread(behind.w);
  behind.strike();
  EXPECT_EQ(kinds_of(behind.w), (std::vector<EventKind>{EventKind::backstab, EventKind::hit}));
  EXPECT_EQ(last_hit(behind.w).amount, (6 + s) * 2 * 3);

  Duel front = duel("cutpurse", "backstab", 13, "bandit", -1);
  front.strike();
  EXPECT_EQ(kinds_of(front.w), (std::vector<EventKind>{EventKind::hit}));
  EXPECT_EQ(last_hit(front.w).amount, (6 + s) * 2);

  // Any other move backstabs only from hiding, and the hiding is used up.
  Duel plain = duel("bandit", "jab", 13, "bandit", 1);
  plain.strike();
  EXPECT_EQ(kinds_of(plain.w), (std::vector<EventKind>{EventKind::hit}));

  Duel hidden = duel("bandit", "jab", 13, "bandit", -1);
  hidden.attacker().vanish_strike = 1;
  s = next_spread(hidden.w);
  hidden.strike();
  EXPECT_EQ(kinds_of(hidden.w), (std::vector<EventKind>{EventKind::backstab, EventKind::hit}));
  EXPECT_EQ(last_hit(hidden.w).amount, (4 + s) * 2);
  EXPECT_EQ(hidden.attacker().vanish_strike, 0);
}

TEST(CombatBackstab, NeedsAnInjury) {
  Duel d = duel("cutpurse", "backstab", 13, "bandit", 1);
  d.target().dr = 100;
  d.strike();
  EXPECT_EQ(kinds_of(d.w), (std::vector<EventKind>{EventKind::hit}));
  EXPECT_EQ(last_hit(d.w).amount, 0);
}

TEST(CombatSap, FromBehindByKind) {
  struct Case {
    const char* kind;
    std::uint16_t stun;
  };
  // Blackjack: sap 120; a heavy kind a half, a boss (heavy or not) a quarter.
  for (const Case& c : {Case{"bandit", 120}, Case{"ogre", 60}, Case{"barrow_wight", 30}, Case{"bandit_chief", 30}}) {
    Duel d = duel("cutpurse", "blackjack", 13, c.kind, 1);
    d.target().vz = Fx::from_raw(2 * cm);
    d.strike();
    EXPECT_EQ(d.target().state, ActorState::stun) << c.kind;
    EXPECT_EQ(d.target().stun, c.stun) << c.kind;
    EXPECT_EQ(d.target().vx.raw, 0) << c.kind;
    EXPECT_EQ(d.target().vz.raw, 0) << c.kind;
    EXPECT_EQ(kinds_of(d.w), (std::vector<EventKind>{EventKind::sapped, EventKind::hit})) << c.kind;
  }
  // From the front it is a plain stagger.
  Duel front = duel("cutpurse", "blackjack", 13, "bandit", -1);
  front.strike();
  EXPECT_EQ(front.target().stun, 18);
  EXPECT_EQ(kinds_of(front.w), (std::vector<EventKind>{EventKind::hit}));
}

TEST(CombatPoison, FiveOverSixtyTicksIsOneEveryTwelve) {
  Duel d = duel("bandit", "t_venom", 13, "bandit", -1);
  d.target().hp = 1000;
  d.strike();
  EXPECT_EQ(kinds_of(d.w), (std::vector<EventKind>{EventKind::poisoned, EventKind::hit}));
  Actor& t = d.target();
  EXPECT_EQ(t.poison, 5);
  EXPECT_EQ(t.poison_interval, 12);
  EXPECT_EQ(t.poisoner, 1);
  const std::int32_t hp = t.hp;
  std::vector<int> losses;
  for (int tick = 1; tick <= 70; ++tick) {
    const std::int32_t before = t.hp;
    poison_tick(d.w, d.t);
    if (t.hp != before) losses.push_back(tick);
  }
  EXPECT_EQ(losses, (std::vector<int>{12, 24, 36, 48, 60}));
  EXPECT_EQ(t.hp, hp - 5);
  EXPECT_EQ(t.poison, 0);
}

TEST(CombatPoison, NotOnTheUndeadNorWithoutInjury) {
  Duel undead = duel("bandit", "t_venom", 13, "skeleton", -1);
  undead.strike();
  EXPECT_EQ(undead.target().poison, 0);

  Duel armored = duel("bandit", "t_venom", 13, "bandit", -1);
  armored.target().dr = 100;
  armored.strike();
  EXPECT_EQ(armored.target().poison, 0);
  EXPECT_EQ(kinds_of(armored.w), (std::vector<EventKind>{EventKind::hit}));
}

TEST(CombatPoison, LastDoseKnocksDownButNotTheFallenOrGone) {
  World w = arena();
  Actor& a = add(w, "bandit", 1, 400, 150, 1);
  a.hp = 1;
  a.poison = 1;
  a.poison_interval = 1;
  poison_tick(w, 1);
  EXPECT_EQ(a.hp, 0);
  EXPECT_EQ(a.state, ActorState::fall);
  EXPECT_EQ(a.vx.raw, 4 * cm);
  EXPECT_EQ(a.vy.raw, 7 * cm);
  EXPECT_EQ(a.y.raw, 1 * cm);
  EXPECT_EQ(a.facing, -1);

  Actor& down = add(w, "bandit", 1, 400, 150, 1);
  down.state = ActorState::down;
  down.hp = 1;
  down.poison = 1;
  down.poison_interval = 1;
  poison_tick(w, 2);
  EXPECT_EQ(down.hp, 0);
  EXPECT_EQ(down.state, ActorState::down);

  Actor& ko = add(w, "bandit", 1, 400, 150, 1);
  ko.state = ActorState::ko;
  ko.poison = 3;
  ko.poison_interval = 1;
  poison_tick(w, 3);
  EXPECT_EQ(ko.poison, 3);
  EXPECT_EQ(ko.poison_counter, 0);
}

TEST(CombatEvents, BackstabSapPoisonThenHit) {
  Duel d = duel("bandit", "t_all", 13, "bandit", 1);
  d.target().hp = 1000;
  d.strike();
  EXPECT_EQ(kinds_of(d.w), (std::vector<EventKind>{EventKind::backstab, EventKind::sapped, EventKind::poisoned,
                                                   EventKind::hit}));
  for (const Event& e : d.w.events) {
    EXPECT_EQ(e.actor, 1);
    EXPECT_EQ(e.target, 2);
  }
}

// ---------------------------------------------------------------------------
// Attack boxes and the melee hit phase
// ---------------------------------------------------------------------------

TEST(CombatBox, ReachesForwardWithTheWeapon) {
  World w = arena();
  Actor& a = add(w, "fighter", 0, 500, 200, 1);
  start_attack(a, "slash", 12);  // forward 10 90, height 70 160, depth 25
  a.y = Fx::from_raw(10 * cm);
  a.gear[0] = item_named("broadsword");  // reach 15
  EXPECT_EQ(attack_box(a), (AttackBox{510, 605, 80, 170, 175, 225}));
  a.facing = -1;
  EXPECT_EQ(attack_box(a), (AttackBox{395, 490, 80, 170, 175, 225}));
}

TEST(CombatMelee, ActiveFramesOnlyAndEachTargetOnce) {
  World w = arena();
  Actor& a = add(w, "bandit", 1, 300, 150, 1);
  start_attack(a, "jab", 13);  // startup 5, active 3
  add(w, "bandit", 2, 350, 150, -1).hp = 1000;
  w.actors[1].state_ticks = 4;
  melee_hits(w);
  EXPECT_TRUE(w.events.empty());
  const Rng before = w.rng;
  for (std::uint16_t t = 5; t < 8; ++t) {
    w.actors[1].state_ticks = t;
    w.actors[2].state = ActorState::idle;
    melee_hits(w);
  }
  EXPECT_EQ(kinds_of(w), (std::vector<EventKind>{EventKind::hit}));
  EXPECT_EQ(w.rng, advanced(before, 1));
  EXPECT_TRUE(w.actors[1].hit_list.contains(2));
  w.actors[1].state_ticks = 8;
  w.actors[1].hit_list.clear();
  melee_hits(w);
  EXPECT_EQ(w.events.size(), 1u);
}

TEST(CombatMelee, SkipsAlliesTheFallenTheInvulnerableAndTheTwiceJuggled) {
  World w = arena();
  start_attack(add(w, "bandit", 1, 300, 150, 1), "jab", 13);
  add(w, "bandit", 1, 340, 150, -1);                              // ally
  add(w, "bandit", 2, 340, 150, -1).state = ActorState::down;     // down
  add(w, "bandit", 2, 340, 150, -1).state = ActorState::getup;    // getting up
  add(w, "bandit", 2, 340, 150, -1).state = ActorState::ko;       // knocked out
  add(w, "bandit", 2, 340, 150, -1).invuln = 3;                   // invulnerable
  add(w, "bandit", 2, 340, 150, -1).gone = 1;                     // gone
  Actor& juggled = add(w, "bandit", 2, 340, 150, -1);
  juggled.state = ActorState::fall;
  juggled.juggle = 2;
  juggled.y = Fx::from_raw(100 * cm);
  Actor& once = add(w, "bandit", 2, 340, 150, -1);  // juggled once: still fair game
  once.state = ActorState::fall;
  once.juggle = 1;
  once.y = Fx::from_raw(100 * cm);
  melee_hits(w);
  ASSERT_EQ(kinds_of(w), (std::vector<EventKind>{EventKind::hit}));
  EXPECT_EQ(w.events[0].target, 9);
}

TEST(CombatMelee, FallingBodiesLieAlongTheFloor) {
  // Jab from x 100: box x 110..160, height 80..150. A bandit (24 x 175)
  // at x 250 is out of reach standing (226) but lying it spans 122 either way.
  World w = arena();
  start_attack(add(w, "bandit", 1, 100, 150, 1), "jab", 13);
  Actor& standing = add(w, "bandit", 2, 250, 150, -1);
  standing.y = Fx::from_raw(50 * cm);
  melee_hits(w);
  EXPECT_TRUE(w.events.empty());

  w.actors[2].state = ActorState::fall;
  melee_hits(w);
  EXPECT_EQ(kinds_of(w), (std::vector<EventKind>{EventKind::hit}));

  // Lying low its height is only twice its half width: 48 cm.
  World low = arena();
  start_attack(add(low, "bandit", 1, 100, 150, 1), "jab", 13);
  Actor& flat = add(low, "bandit", 2, 250, 150, -1);
  flat.state = ActorState::fall;
  flat.y = Fx::from_raw(20 * cm);
  melee_hits(low);
  EXPECT_TRUE(low.events.empty());
}

TEST(CombatMelee, DepthAcrossTheBand) {
  // Jab depth 25, body 20 either side: centres up to 45 cm apart in z meet.
  for (const auto& [dz, hits] : {std::pair{45, true}, std::pair{46, false}, std::pair{-45, true}}) {
    World w = arena();
    start_attack(add(w, "bandit", 1, 300, 150, 1), "jab", 13);
    add(w, "bandit", 2, 340, 150 + dz, -1);
    melee_hits(w);
    EXPECT_EQ(w.events.size(), hits ? 1u : 0u) << "dz " << dz;
  }
}

TEST(CombatMelee, ParriedAttackerHitsNobodyElse) {
  World w = arena();
  start_attack(add(w, "bandit", 1, 300, 150, 1), "jab", 13);
  raise_guard(add_player(w, "fighter", 340, 150, -1), 0);
  Actor& second = add_player(w, "fighter", 350, 150, 1);
  second.hp = 1000;
  melee_hits(w);
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0].parried, 1);
  EXPECT_EQ(w.actors[1].state, ActorState::stun);
  EXPECT_FALSE(w.actors[1].hit_list.contains(3));
  EXPECT_EQ(w.actors[3].hp, 1000);
}

TEST(CombatMelee, PlayersBreakBarrels) {
  // The first stage's first barrel stands at (700, 100) holding 4 food.
  World w = arena();
  ASSERT_FALSE(w.props.empty());
  ASSERT_EQ(w.props[0].x.raw, 700 * cm);
  ASSERT_EQ(w.props[0].z.raw, 100 * cm);

  Actor& enemy = add(w, "bandit", 1, 650, 100, 1);
  start_attack(enemy, "jab", 13);
  melee_hits(w);
  EXPECT_EQ(w.props[0].broken, 0);

  enemy.gone = 1;
  start_attack(add_player(w, "fighter", 650, 100, 1), "slash", 12);
  melee_hits(w);
  EXPECT_EQ(w.props[0].broken, 1);
  ASSERT_EQ(kinds_of(w), (std::vector<EventKind>{EventKind::break_}));
  EXPECT_EQ(w.events[0].index, 0);
  ASSERT_EQ(w.pickups.size(), 1u);
  EXPECT_EQ(w.pickups[0].content, PickupContent::food(4));
  EXPECT_EQ(w.pickups[0].x.raw, 700 * cm);
  EXPECT_EQ(w.pickups[0].z.raw, 100 * cm);
  EXPECT_EQ(w.pickups[0].id, 0);
  EXPECT_EQ(w.pickups[0].taken, 0);

  melee_hits(w);  // a broken barrel stays broken, nothing more drops
  EXPECT_EQ(w.pickups.size(), 1u);
}

TEST(CombatMelee, ProjectileBlowsKeepTheHitListAndHitstop) {
  Duel d = duel("archer", "arrow_shot", 10, "bandit", -1);
  d.attacker().hitstop = 0;
  d.strike(true);
  EXPECT_TRUE(d.attacker().hit_list.empty());
  EXPECT_EQ(d.attacker().hitstop, 0);
  EXPECT_EQ(d.target().hitstop, move_def(move_named("arrow_shot")).hitstop);
}

}  // namespace
}  // namespace velmora
