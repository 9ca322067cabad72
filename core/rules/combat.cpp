#include "core/rules/combat.h"

#include <algorithm>
#include <cstdint>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/rules/control.h"
#include "core/rules/interactions.h"

namespace velmora {

// Thrust dice and add, swing dice and add, for ST 1 to 20.
const std::array<StDamage, 20> st_damage_table{{
    {1, -6, 1, -5},  // 1
    {1, -6, 1, -5},  // 2
    {1, -5, 1, -4},  // 3
    {1, -5, 1, -4},  // 4
    {1, -4, 1, -3},  // 5
    {1, -4, 1, -3},  // 6
    {1, -3, 1, -2},  // 7
    {1, -3, 1, -2},  // 8
    {1, -2, 1, -1},  // 9
    {1, -2, 1, 0},   // 10
    {1, -1, 1, 1},   // 11
    {1, -1, 1, 2},   // 12
    {1, 0, 2, -1},   // 13
    {1, 0, 2, 0},    // 14
    {1, 1, 2, 1},    // 15
    {1, 1, 2, 2},    // 16
    {1, 2, 3, -1},   // 17
    {1, 2, 3, 0},    // 18
    {2, -1, 3, 1},   // 19
    {2, -1, 3, 2},   // 20
}};

std::int32_t wound_factor_halves(DamageType type) {
  switch (type) {
    case DamageType::crushing: return 2;
    case DamageType::cutting: return 3;
    case DamageType::impaling: return 4;
    case DamageType::burning: return 2;
  }
  panic("damage type out of range");
}

namespace {

std::int32_t whole_cm(Fx v) { return v.raw >> 8; }

// Whole centimetres per tick as an Fx velocity.
Fx velocity(std::int64_t cm_per_tick) { return fx_from_cm(cm_per_tick); }

// The worn weapon's item, when there is one.
const ItemDef* weapon_of(const Actor& actor) {
  const auto& weapon = actor.gear[static_cast<std::size_t>(ItemSlot::weapon)];
  return weapon ? &item_def(*weapon) : nullptr;
}

// Dice and adds of one blow, before the spread.
struct BlowDice {
  std::int64_t dice = 0;
  std::int64_t adds = 0;
};

BlowDice blow_dice(const Actor& attacker, const MoveDef& move) {
  const StDamage& row = st_damage_table[static_cast<std::size_t>(clamp_value(attacker.st, 1, 20) - 1)];
  BlowDice blow;
  std::int64_t add = 0;
  switch (move.damage_base) {
    case DamageBase::thrust:
      blow.dice = row.thrust_dice;
      add = row.thrust_add;
      break;
    case DamageBase::swing:
      blow.dice = row.swing_dice;
      add = row.swing_add;
      break;
    case DamageBase::dice:
      blow.dice = move.damage_dice;
      break;
  }
  const ItemDef* weapon = weapon_of(attacker);
  blow.adds = add + move.damage_add + (weapon != nullptr ? weapon->damage : 0);
  return blow;
}

// The mean of the dice: 3.5 a die, rounded half up.
std::int64_t mean_damage(const BlowDice& blow) { return (35 * blow.dice + 10 * blow.adds + 5) / 10; }

// Damage left after the target's DR, divided by the move's armour divisor.
std::int64_t penetration(std::int64_t damage, const Actor& target, const MoveDef& move) {
  return damage - std::int64_t{total_dr(target)} / std::max<std::int64_t>(1, move.armor_divisor);
}

bool impaling_on_undead(const MoveDef& move, const KindDef& target_kind) {
  return move.damage_type == DamageType::impaling && target_kind.undead;
}

// p × factor / 2, at least 1.
std::int64_t wounded(std::int64_t p, const MoveDef& move) {
  return std::max<std::int64_t>(1, saturating_mul64(p, wound_factor_halves(move.damage_type)) / 2);
}

// The expected injury of a blow, which prices a guard against it.
std::int64_t expected_injury(const BlowDice& blow, const Actor& target, const MoveDef& move,
                             const KindDef& target_kind) {
  const std::int64_t p = penetration(mean_damage(blow), target, move);
  if (impaling_on_undead(move, target_kind)) return std::max<std::int64_t>(1, p);
  if (p < 1) return 1;
  return wounded(p, move);
}

std::int64_t guard_cost(std::int64_t expected, const KindDef& target_kind) {
  return std::max<std::int64_t>(1, saturating_add64(saturating_mul64(expected, target_kind.guard_cost), 99) / 100);
}

// The injury of an unblocked blow from the rolled damage.
std::int64_t injury_of(std::int64_t damage, const Actor& target, const MoveDef& move, const KindDef& target_kind) {
  const std::int64_t p = penetration(damage, target, move);
  std::int64_t injury = 0;
  if (p <= 0) {
    injury = 0;
  } else if (impaling_on_undead(move, target_kind)) {
    injury = p;
  } else {
    injury = wounded(p, move);
  }
  if (target_kind.undead) injury = saturating_mul64(injury, move.undead_mult);
  return injury;
}

void stun_actor(Actor& actor, std::int64_t ticks) {
  actor.state = ActorState::stun;
  actor.state_ticks = 0;
  actor.stun = saturate_u16(ticks);
}

// Where a blow lands, for the "hit" event.
struct HitPoint {
  std::int32_t x = 0, y = 0, z = 0;
};

HitPoint hit_point(Fx attacker_x, const Actor& target, const KindDef& target_kind) {
  HitPoint at;
  at.x = saturate_i32(((std::int64_t{attacker_x.raw} + target.x.raw) >> 8) / 2);
  at.y = saturate_i32(std::int64_t{whole_cm(target.y)} + std::int64_t{target_kind.body[1]} * 2 / 3);
  at.z = whole_cm(target.z);
  return at;
}

// Everything one blow needs to know, fixed before anything changes.
struct Blow {
  std::size_t attacker = 0;
  std::size_t target = 0;
  const MoveDef* move = nullptr;
  const KindDef* target_kind = nullptr;
  bool projectile = false;
  int dir = 1;    // the way the target is pushed
  int face = -1;  // the facing that looks at the attacker
  HitPoint at;
  BlowDice dice;
};

// The parry window in ticks: DX against encumbrance.
std::int64_t parry_window(const Actor& target) {
  const std::int64_t g = target.dx >= 9 ? std::min<std::int64_t>(12, std::int64_t{target.dx} - 6) : 2;
  return std::max<std::int64_t>(1, g + encumbrance_penalty(target));
}

// Pays for a plain block by guard kind; true when the guard broke.
bool pay_block(Actor& target, GuardKind kind, std::int64_t cost, const BlowDice& dice) {
  switch (kind) {
    case GuardKind::ward: {
      const bool short_of_fp = target.fp < cost;
      target.fp = saturate_i32(std::max<std::int64_t>(0, std::int64_t{target.fp} - cost));
      return short_of_fp;
    }
    case GuardKind::bubble:
      target.mana = saturate_i32(std::int64_t{target.mana} - cost);
      return false;
    case GuardKind::shield:
    case GuardKind::dodge: {
      const std::int64_t stamina = std::max<std::int64_t>(6, (35 * dice.dice + 10 * dice.adds) * 2 / 10);
      spend_stamina(target, saturate_i32(stamina));
      return target.sta == 0;
    }
  }
  panic("guard kind out of range");
}

// A blow met by a raised guard: costs, parry or guard break, and the events.
void resolve_blocked(World& world, const Blow& blow, std::int64_t cost) {
  Actor& target = world.actors[blow.target];
  const GuardKind kind = blow.target_kind->guard;
  const bool parried = target.team == 0 && std::int64_t{target.state_ticks} < parry_window(target);
  target.hitstop = blow.move->hitstop;
  target.vx = velocity(2 * blow.dir);
  bool broke = false;
  if (parried) {
    if (kind == GuardKind::bubble) target.mana = saturate_i32(std::int64_t{target.mana} - cost);
  } else {
    broke = pay_block(target, kind, cost, blow.dice);
  }
  if (broke) {
    stun_actor(target, 45);
    target.vx = velocity(3 * blow.dir);
  }
  if (!blow.projectile) {
    Actor& attacker = world.actors[blow.attacker];
    attacker.hitstop = blow.move->hitstop;
    if (parried) {
      stun_actor(attacker, 40);
      attacker.vx = Fx{};
    }
  }
  world.events.push_back(Event::hit_of(blow.move->damage_type, true, parried, world.actors[blow.attacker].id,
                                       target.id, 0, blow.at.x, blow.at.y, blow.at.z));
  if (broke) world.events.push_back(Event::of_actor(EventKind::guard_break, target.id));
}

// The blow throws the target into the air (or keeps it there).
void launch(Actor& target, const Blow& blow, std::int64_t push, std::int64_t lift, bool was_falling) {
  target.state = ActorState::fall;
  target.state_ticks = 0;
  target.juggle = was_falling ? static_cast<std::uint8_t>(std::min(255, target.juggle + 1)) : std::uint8_t{0};
  target.vx = velocity(saturating_mul64(push, blow.dir));
  const std::int64_t rise = lift - 2 * std::int64_t{target.juggle};
  target.vy = velocity(rise >= 4 ? rise : 3);
  target.vz = Fx{};
  target.y = std::max(target.y, fx_from_cm(1));
  target.facing = static_cast<std::int8_t>(blow.face);
}

// True while the target winds up a move that shrugs off staggers.
bool armored_startup(const Actor& target) {
  if (target.state != ActorState::attack) return false;
  const MoveDef& own = move_def(target.move);
  return own.armor && target.state_ticks < own.startup;
}

// How the target's body answers the blow; `before` is its state before it.
void react(Actor& target, const Blow& blow, ActorState before) {
  const MoveDef& move = *blow.move;
  const bool was_falling = before == ActorState::fall;
  const bool knockdown = move.reaction == ReactionKind::knockdown;
  if (target.hp < 1) {
    launch(target, blow, 4, 8, was_falling);
  } else if (was_falling) {
    if (knockdown) {
      launch(target, blow, move.vx, move.vy, true);
    } else {
      launch(target, blow, std::int64_t{move.push} + 2, 5, true);
    }
  } else if (knockdown) {
    launch(target, blow, move.vx, move.vy, false);
  } else if (!blow.target_kind->heavy && !armored_startup(target)) {
    stun_actor(target, move.stun);
    target.vx = velocity(saturating_mul64(move.push, blow.dir));
    target.vz = Fx{};
    target.facing = static_cast<std::int8_t>(blow.face);
  }
}

// Sleep ends at the first blow; a freeze outlasts a shorter stagger.
void wake_or_hold(Actor& target, std::uint16_t stun_before) {
  if (target.held == 1) {
    target.held = 0;
    if (target.state == ActorState::stun) target.stun = std::min<std::uint16_t>(target.stun, 20);
  } else if (target.held == 2 && target.state == ActorState::stun) {
    target.stun = std::max(target.stun, stun_before);
  }
}

std::uint16_t sap_ticks(std::uint16_t sap, const KindDef& kind) {
  const int shift = kind.boss ? 2 : (kind.heavy ? 1 : 0);
  return static_cast<std::uint16_t>(sap >> shift);
}

void poison_target(Actor& target, const PoisonSpec& poison, std::uint16_t poisoner) {
  target.poison = saturate_i32(saturating_add64(target.poison, poison.damage));
  const std::int64_t interval = std::int64_t{poison.ticks} / std::max<std::int64_t>(1, poison.damage);
  target.poison_interval = saturate_u16(std::max<std::int64_t>(1, interval));
  target.poisoner = poisoner;
}

// A bubble too weak for the blow bursts: the guard drops and what the mana
// was worth is taken off the blow, which gets through.
std::int64_t burst_bubble(World& world, Actor& target, const KindDef& kind) {
  const std::int64_t absorbed =
      std::int64_t{std::max(0, target.mana)} * 100 / std::max<std::int64_t>(1, kind.guard_cost);
  target.mana = 0;
  to_idle(target);
  world.events.push_back(Event::of_actor(EventKind::guard_break, target.id));
  return absorbed;
}

// The injury of a blow that got through: one draw for the spread, DR,
// wounding, what a burst bubble soaked up, and a backstab.
struct Wound {
  std::int64_t injury = 0;
  bool behind = false;  // the target faced away
  bool hidden = false;  // the attacker struck from hiding
  bool backstab = false;
};

Wound roll_wound(World& world, const Blow& blow, std::int64_t absorbed) {
  const MoveDef& move = *blow.move;
  const std::int64_t spread = static_cast<std::int64_t>(world.rng.next() % 3) - 1;
  const std::int64_t damage = std::max<std::int64_t>(0, mean_damage(blow.dice) + spread);
  const Actor& target = world.actors[blow.target];
  Wound wound;
  wound.behind = target.facing != blow.face;
  wound.hidden = world.actors[blow.attacker].vanish_strike != 0;
  const std::int64_t injury = saturating_add64(injury_of(damage, target, move, *blow.target_kind), -absorbed);
  wound.backstab = (wound.hidden || (move.backstab && wound.behind)) && injury > 0;
  wound.injury = std::max<std::int64_t>(0, injury);
  if (wound.backstab) wound.injury = saturating_mul64(wound.injury, move.backstab_mult);
  return wound;
}

// A blow that got through: injury, reaction, sap and poison, then the events.
void resolve_unblocked(World& world, const Blow& blow, std::int64_t absorbed, ActorState before,
                       std::uint16_t stun_before) {
  const MoveDef& move = *blow.move;
  const KindDef& kind = *blow.target_kind;
  const Wound wound = roll_wound(world, blow, absorbed);
  Actor& attacker = world.actors[blow.attacker];
  Actor& target = world.actors[blow.target];
  take_injury(target, wound.injury);
  target.hitstop = move.hitstop;
  react(target, blow, before);
  wake_or_hold(target, stun_before);

  const bool sapped = move.sap != 0 && (wound.behind || wound.hidden) && target.hp >= 1;
  if (sapped) {
    stun_actor(target, sap_ticks(move.sap, kind));
    target.vx = Fx{};
    target.vz = Fx{};
  }
  const bool poisoned = wound.injury > 0 && move.poison.has_value() && !kind.undead;
  if (poisoned) poison_target(target, *move.poison, attacker.id);

  if (!blow.projectile) attacker.hitstop = move.hitstop;
  // Striking from hiding is used up by the first blow that lands, thrown or not.
  attacker.vanish_strike = 0;

  if (wound.backstab) world.events.push_back(Event::actor_target(EventKind::backstab, attacker.id, target.id));
  if (sapped) world.events.push_back(Event::actor_target(EventKind::sapped, attacker.id, target.id));
  if (poisoned) world.events.push_back(Event::actor_target(EventKind::poisoned, attacker.id, target.id));
  world.events.push_back(Event::hit_of(move.damage_type, false, false, attacker.id, target.id,
                                       saturate_i32(wound.injury), blow.at.x, blow.at.y, blow.at.z));
}

bool can_be_hit_by(const Actor& attacker, const Actor& b) {
  if (b.team == attacker.team || !open_to_blows(b)) return false;
  return !attacker.hit_list.contains(b.id);
}

void break_props(World& world, const AttackBox& box) {
  for (Prop& prop : world.props) {
    if (prop.broken == 0 && box_hits_prop(box, prop)) break_prop(world, prop);
  }
}

bool in_active_frames(const Actor& actor) {
  const MoveDef& move = move_def(actor.move);
  const std::int64_t t = actor.state_ticks;
  return move.startup <= t && t < std::int64_t{move.startup} + move.active;
}

// One attacker's blows of this tick.
void swing_at_others(World& world, std::size_t a, const AttackBox& box) {
  for (std::size_t b = 0; b < world.actors.size(); ++b) {
    if (b == a) continue;
    const Actor& attacker = world.actors[a];
    const Actor& other = world.actors[b];
    if (!can_be_hit_by(attacker, other) || !box_hits_body(box, other)) continue;
    resolve_hit(world, a, b, attacker.move, attacker.x, false);
    // A parried attacker is stunned and its blow stops there.
    if (world.actors[a].state != ActorState::attack) return;
  }
}

}  // namespace

bool open_to_blows(const Actor& b) {
  if (b.gone != 0) return false;
  if (b.state == ActorState::ko || b.state == ActorState::down || b.state == ActorState::getup) return false;
  if (b.invuln != 0) return false;
  return !(b.state == ActorState::fall && b.juggle > 1);
}

// The hurt area of a body: a falling body lies along the floor.
bool box_hits_body(const AttackBox& box, const Actor& body) {
  const KindDef& kind = kind_by_id(body.kind);
  std::int64_t w = kind.body[0];
  std::int64_t h = kind.body[1];
  if (body.state == ActorState::fall) {
    w = std::int64_t{kind.body[1]} * 7 / 10;
    h = 2 * std::int64_t{kind.body[0]};
  }
  const std::int64_t x = whole_cm(body.x), y = whole_cm(body.y), z = whole_cm(body.z);
  return box.x0 <= x + w && box.x1 >= x - w && box.y0 <= y + h && box.y1 >= y && box.z0 <= z + 20 &&
         box.z1 >= z - 20;
}

bool box_hits_prop(const AttackBox& box, const Prop& prop) {
  const std::int64_t x = whole_cm(prop.x), z = whole_cm(prop.z);
  return box.x0 <= x + 35 && box.x1 >= x - 35 && box.y1 >= 0 && box.y0 <= 100 && box.z0 <= z + 20 &&
         box.z1 >= z - 20;
}

void break_prop(World& world, Prop& prop) {
  prop.broken = 1;
  world.events.push_back(Event::of_index(EventKind::break_, prop.index));
  lay_pickup(world, barrel_pickup(prop.content), prop.x, prop.z);
}

void take_injury(Actor& target, std::int64_t injury) {
  const std::int64_t from_temp = std::clamp<std::int64_t>(target.temp_hp, 0, injury);
  target.temp_hp = saturate_i32(std::int64_t{target.temp_hp} - from_temp);
  target.hp = saturate_i32(std::int64_t{target.hp} - (injury - from_temp));
}

std::optional<AttackBox> attack_box(const Actor& actor) {
  if (actor.state != ActorState::attack || actor.gone != 0 || actor.item_in_use) return std::nullopt;
  const MoveDef& move = move_def(actor.move);
  if (move.harmless || move.projectile) return std::nullopt;
  const ItemDef* weapon = weapon_of(actor);
  const std::int64_t reach = weapon != nullptr ? weapon->reach : 0;
  const std::int64_t x = whole_cm(actor.x), y = whole_cm(actor.y), z = whole_cm(actor.z);
  AttackBox box{};
  if (actor.facing < 0) {
    box.x0 = saturate_i32(x - move.forward.to - reach);
    box.x1 = saturate_i32(x - move.forward.from);
  } else {
    box.x0 = saturate_i32(x + move.forward.from);
    box.x1 = saturate_i32(x + move.forward.to + reach);
  }
  box.y0 = saturate_i32(y + move.height.from);
  box.y1 = saturate_i32(y + move.height.to);
  box.z0 = saturate_i32(z - move.depth);
  box.z1 = saturate_i32(z + move.depth);
  return box;
}

void melee_hits(World& world) {
  for (std::size_t a = 0; a < world.actors.size(); ++a) {
    const Actor& attacker = world.actors[a];
    if (attacker.state != ActorState::attack || attacker.gone != 0 || !in_active_frames(attacker)) continue;
    const std::optional<AttackBox> box = attack_box(attacker);
    if (!box) continue;
    swing_at_others(world, a, *box);
    if (world.actors[a].team == 0 && world.actors[a].state == ActorState::attack) break_props(world, *box);
  }
}

void resolve_hit(World& world, std::size_t attacker, std::size_t target, std::uint8_t move, Fx attacker_x,
                 bool projectile) {
  VELMORA_CHECK(attacker < world.actors.size() && target < world.actors.size(), "blow between unknown actors");
  Actor& t = world.actors[target];
  Blow blow;
  blow.attacker = attacker;
  blow.target = target;
  blow.move = &move_def(move);
  blow.target_kind = &kind_by_id(t.kind);
  blow.projectile = projectile;
  if (!projectile) world.actors[attacker].hit_list.push_back(t.id);
  blow.dir = t.x >= attacker_x ? 1 : -1;
  blow.face = -blow.dir;
  blow.at = hit_point(attacker_x, t, *blow.target_kind);
  blow.dice = blow_dice(world.actors[attacker], *blow.move);

  const ActorState before = t.state;
  const std::uint16_t stun_before = t.stun;
  const std::int64_t cost = guard_cost(expected_injury(blow.dice, t, *blow.move, *blow.target_kind), *blow.target_kind);
  const GuardKind guard = blow.target_kind->guard;

  const bool burst = guard == GuardKind::bubble && t.state == ActorState::block && t.mana < cost;
  const std::int64_t absorbed = burst ? burst_bubble(world, t, *blow.target_kind) : 0;
  if (!burst && t.state == ActorState::block && (guard == GuardKind::bubble || t.facing == blow.face)) {
    resolve_blocked(world, blow, cost);
    return;
  }
  resolve_unblocked(world, blow, absorbed, before, stun_before);
}

void poison_tick(World& world, std::size_t index) {
  VELMORA_CHECK(index < world.actors.size(), "poison of an unknown actor");
  Actor& a = world.actors[index];
  if (a.poison <= 0 || a.state == ActorState::ko || a.gone != 0) return;
  a.poison_counter = saturating_add16(a.poison_counter, 1);
  if (a.poison_counter < a.poison_interval) return;
  a.poison_counter = 0;
  a.poison -= 1;
  a.hp = saturate_i32(std::int64_t{a.hp} - 1);
  if (a.hp > 0) return;
  if (a.state == ActorState::fall || a.state == ActorState::down || a.state == ActorState::getup) return;
  a.state = ActorState::fall;
  a.state_ticks = 0;
  a.juggle = 0;
  a.vx = velocity(4);
  a.vy = velocity(7);
  a.vz = Fx{};
  a.y = std::max(a.y, fx_from_cm(1));
  a.facing = -1;
}

}  // namespace velmora
