#include "core/rules/move_effects.h"

#include <algorithm>
#include <cstdint>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/rules/combat.h"
#include "core/rules/effects.h"

namespace velmora {

namespace {

constexpr std::uint16_t raised_invuln_ticks = 26;
constexpr std::int32_t storm_blast_radius_cm = 70;
constexpr std::uint8_t held_asleep = 1;
constexpr std::uint8_t held_frozen = 2;

std::int32_t whole_cm(Fx v) { return v.raw >> 8; }

// The mover as its effects see it: who it is and where it stands.
struct Mover {
  std::size_t index = 0;
  std::uint16_t id = 0;
  std::uint8_t team = 0;
  Fx x, z;
};

// Within half the view of the camera centre.
bool on_screen(const World& world, const Actor& t) {
  const std::int64_t half = std::int64_t{world.view_w / 2} * 256;
  const std::int64_t d = std::int64_t{t.x.raw} - world.camera_x.raw;
  return (d < 0 ? -d : d) <= half;
}

// Allies and foes still in the fight; falling, down or getting up counts.
bool ally_of(const Actor& t, const Mover& m) { return t.team == m.team && t.live(); }
bool foe_of(const Actor& t, const Mover& m) { return t.team != m.team && t.live(); }

bool lying_or_rising(const Actor& t) {
  return t.state == ActorState::fall || t.state == ActorState::down || t.state == ActorState::getup;
}

// How long a stun of `ticks` holds an actor of this kind: a boss a third, a
// heavy kind half.
std::int64_t kind_stun(const Actor& t, std::int64_t ticks) {
  const KindDef& kind = kind_by_id(t.kind);
  if (kind.boss) return ticks / 3;
  if (kind.heavy) return ticks >> 1;
  return ticks;
}

// Stunned where it stands; its height and upward speed are left alone.
void stun_in_place(Actor& t, std::int64_t ticks) {
  t.state = ActorState::stun;
  t.state_ticks = 0;
  t.stun = saturate_u16(ticks);
  t.vx = Fx{};
  t.vz = Fx{};
}

void rally(World& world, const Mover& m, const RallySpec& rally) {
  for (Actor& t : world.actors) {
    if (!ally_of(t, m) || !on_screen(world, t)) continue;
    t.temp_hp = std::max(t.temp_hp, rally.hp);
    t.temp_hp_ticks = rally.ticks;
  }
  world.events.push_back(Event::of_actor(EventKind::rally, m.id));
}

void shout_and_taunt(World& world, const Mover& m, const MoveDef& move) {
  for (Actor& t : world.actors) {
    if (!foe_of(t, m) || !on_screen(world, t)) continue;
    if (move.shout != 0 && !lying_or_rising(t)) stun_in_place(t, kind_stun(t, move.shout));
    if (move.taunt != 0) {
      t.ai_target = m.id;
      t.taunt_ticks = move.taunt;
      t.ai_engaged = 1;
    }
  }
  if (move.shout != 0) world.events.push_back(Event::of_actor(EventKind::shout, m.id));
  if (move.taunt != 0) world.events.push_back(Event::of_actor(EventKind::taunt, m.id));
}

// Every knocked-out actor of the mover's side, wherever it lies, stands up
// beside the mover.
void raise(World& world, const Mover& m, std::int32_t percent) {
  for (Actor& t : world.actors) {
    if (t.team != m.team || t.gone != 0 || t.state != ActorState::ko) continue;
    const std::int64_t hp = saturating_mul64(percent, t.hp_max) / 100;
    t.hp = saturate_i32(std::max<std::int64_t>(1, hp));
    t.x = m.x;
    t.z = m.z;
    t.y = Fx{};
    t.vanish_strike = 0;
    t.state = ActorState::idle;
    t.state_ticks = 0;
    t.vx = Fx{};
    t.vz = Fx{};
    t.invuln = raised_invuln_ticks;
    world.events.push_back(Event::of_actor(EventKind::revive, t.id));
  }
}

void heal_and_ward(World& world, const Mover& m, const MoveDef& move) {
  for (Actor& t : world.actors) {
    if (!ally_of(t, m) || !on_screen(world, t)) continue;
    if (move.heal > 0) heal_actor(world, t, move.heal);
    if (move.ward) {
      t.ward_dr = move.ward->dr;
      t.ward_ticks = move.ward->ticks;
      world.events.push_back(Event::of_actor(EventKind::ward, t.id));
    }
  }
}

// Undead foes on screen are thrown back and hold off; common ones weak
// enough are destroyed (their fall ends in a knock-out).
void turn_undead(World& world, const Mover& m, const TurnUndeadSpec& turn) {
  for (Actor& t : world.actors) {
    if (!foe_of(t, m) || !open_to_blows(t) || !on_screen(world, t)) continue;
    const KindDef& kind = kind_by_id(t.kind);
    if (!kind.undead) continue;
    knock_up(t, m.x);
    if (!kind.boss && !kind.elite && t.hp <= turn.hp) t.hp = 0;
    t.ai_cooldown = std::max(t.ai_cooldown, turn.ticks);
    world.events.push_back(Event::of_actor(EventKind::turned, t.id));
  }
}

// Foes within the circle, on screen or not, freeze where they stand.
void freeze(World& world, const Mover& m, const RadiusTicks& freeze) {
  world.events.push_back(Event::frost_of(whole_cm(m.x), whole_cm(m.z), freeze.radius));
  for (Actor& t : world.actors) {
    if (!foe_of(t, m) || !open_to_blows(t) || !within_radius(m.x, m.z, t.x, t.z, freeze.radius)) continue;
    stun_in_place(t, kind_stun(t, freeze.ticks));
    t.held = held_frozen;
    world.events.push_back(Event::held_of(held_frozen, t.id));
  }
}

// Common foes on screen that stand fall asleep; blows and invulnerability
// do not matter.
void sleep(World& world, const Mover& m, std::uint16_t ticks) {
  for (Actor& t : world.actors) {
    if (!foe_of(t, m) || !on_screen(world, t) || lying_or_rising(t)) continue;
    const KindDef& kind = kind_by_id(t.kind);
    if (kind.boss || kind.elite) continue;
    stun_in_place(t, ticks);
    t.held = held_asleep;
    world.events.push_back(Event::held_of(held_asleep, t.id));
  }
}

// One bolt for each foe on screen: its own blast, its own dice, its own throw.
void storm(World& world, const Mover& m, const StormSpec& storm) {
  for (Actor& t : world.actors) {
    if (!foe_of(t, m) || !open_to_blows(t) || !on_screen(world, t)) continue;
    world.events.push_back(Event::blast_of(storm.damage_type, whole_cm(t.x), whole_cm(t.z), storm_blast_radius_cm));
    area_strike(world, m.id, t, m.x, storm.dice, storm.add, storm.damage_type);
  }
}

// The mover hides; whoever had locked onto it thinks again next tick.
void vanish(World& world, const Mover& m, const VanishSpec& vanish) {
  Actor& a = world.actors[m.index];
  a.stealth = vanish.ticks;
  a.vanish_speed = vanish.percent;
  for (Actor& t : world.actors) {
    if (t.ai_lock != m.id) continue;
    t.ai_lock.reset();
    t.ai_think = 0;
  }
  world.events.push_back(Event::of_actor(EventKind::vanish, m.id));
}

}  // namespace

void apply_move_effects(World& world, const DeferredMove& entry) {
  VELMORA_CHECK(entry.actor < world.actors.size(), "move effects of an unknown actor");
  const MoveDef& move = move_def(entry.move);
  const Actor& a = world.actors[static_cast<std::size_t>(entry.actor)];
  // None of the effects moves the mover, so where it stands holds throughout.
  const Mover m{static_cast<std::size_t>(entry.actor), a.id, a.team, a.x, a.z};

  if (move.rally) rally(world, m, *move.rally);
  if (move.shout != 0 || move.taunt != 0) shout_and_taunt(world, m, move);
  if (move.raise > 0) raise(world, m, move.raise);
  if (move.heal > 0 || move.ward) heal_and_ward(world, m, move);
  if (move.turn_undead) turn_undead(world, m, *move.turn_undead);
  if (move.burst && !move.projectile) burst_at(world, m.index, m.x, m.z, *move.burst);
  if (move.freeze) freeze(world, m, *move.freeze);
  if (move.sleep != 0) sleep(world, m, move.sleep);
  if (move.storm) storm(world, m, *move.storm);
  if (move.vanish) vanish(world, m, *move.vanish);
}

}  // namespace velmora
