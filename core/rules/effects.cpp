#include "core/rules/effects.h"

#include <algorithm>
#include <cstdint>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/rules/combat.h"

namespace velmora {

namespace {

constexpr std::int32_t throw_offset_cm = 30;  // a projectile starts this far in front of the thrower
constexpr std::int32_t knock_push_cm = 4;
constexpr std::int32_t knock_lift_cm = 7;

std::int32_t whole_cm(Fx v) { return v.raw >> 8; }

// An Fx value plus a 64-bit offset in Fx units, held within the Fx range.
Fx fx_plus(Fx v, std::int64_t raw_offset) { return Fx::from_raw(saturate_i32(saturating_add64(v.raw, raw_offset))); }

// z held inside the floor band [0, depth].
Fx clamp_to_floor(const World& world, Fx z) {
  const Fx depth = fx_from_cm(world.stage().depth);
  return clamp_value(z, Fx{}, depth);
}

void item_ward(World& world, Actor& user, const WardSpec& ward) {
  user.ward_dr = ward.dr;
  user.ward_ticks = ward.ticks;
  world.events.push_back(Event::of_actor(EventKind::ward, user.id));
}

// Every undead actor still standing within the radius of the user is thrown
// back and will not attack for a while.
void item_turn(World& world, std::size_t user, const RadiusTicks& turn) {
  const Fx ux = world.actors[user].x;
  const Fx uz = world.actors[user].z;
  for (Actor& t : world.actors) {
    if (!t.live() || !kind_by_id(t.kind).undead || !within_radius(ux, uz, t.x, t.z, turn.radius)) continue;
    knock_up(t, ux);
    t.ai_cooldown = std::max(t.ai_cooldown, turn.ticks);
    world.events.push_back(Event::of_actor(EventKind::turned, t.id));
  }
}

// The targets of a burst: foes of the source that any blow could reach.
bool burst_reaches(const Actor& t, std::uint8_t source_team) { return t.team != source_team && open_to_blows(t); }

// The injury of area damage: no armour divisor, damage below 0 counts as 0.
std::int64_t area_injury(std::int64_t damage, const Actor& target, DamageType type) {
  const std::int64_t p = std::max<std::int64_t>(damage, 0) - total_dr(target);
  if (p <= 0) return 0;
  if (type == DamageType::impaling && kind_by_id(target.kind).undead) return p;
  return std::max<std::int64_t>(1, saturating_mul64(p, wound_factor_halves(type)) / 2);
}

}  // namespace

bool within_radius(Fx ax, Fx az, Fx bx, Fx bz, std::int32_t radius) {
  const std::int64_t dx = (std::int64_t{bx.raw} - ax.raw) >> 8;
  const std::int64_t dz = (std::int64_t{bz.raw} - az.raw) >> 8;
  return dx * dx + dz * dz <= std::int64_t{radius} * radius;
}

void knock_up(Actor& target, Fx from_x) {
  const bool right = target.x >= from_x;
  target.state = ActorState::fall;
  target.state_ticks = 0;
  target.juggle = 0;
  target.vx = fx_from_cm(right ? knock_push_cm : -knock_push_cm);
  target.vy = fx_from_cm(knock_lift_cm);
  target.vz = Fx{};
  target.y = std::max(target.y, fx_from_cm(1));
  target.facing = right ? std::int8_t{-1} : std::int8_t{1};
}

std::int64_t roll_d6s(Rng& rng, std::int32_t dice) {
  std::int64_t sum = 0;
  for (std::int32_t i = 0; i < dice; ++i) sum += d6(rng);
  return sum;
}

void heal_actor(World& world, Actor& target, std::int64_t amount) {
  const std::int32_t before = target.hp;
  const std::int64_t topped = std::min<std::int64_t>(saturating_add64(target.hp, amount), target.hp_max);
  target.hp = saturate_i32(std::max<std::int64_t>(target.hp, topped));
  world.events.push_back(Event::heal_of(target.id, saturate_i32(std::int64_t{target.hp} - before)));
}

void area_strike(World& world, std::uint16_t attacker, Actor& target, Fx from_x, std::int32_t dice,
                 std::int32_t add, DamageType type) {
  const std::int64_t damage = saturating_add64(add, roll_d6s(world.rng, dice));
  const std::int64_t injury = area_injury(damage, target, type);
  take_injury(target, injury);
  const std::int64_t y = std::int64_t{whole_cm(target.y)} + kind_by_id(target.kind).body[1] / 2;
  knock_up(target, from_x);
  world.events.push_back(Event::hit_of(type, false, false, attacker, target.id, saturate_i32(injury),
                                       whole_cm(target.x), saturate_i32(y), whole_cm(target.z)));
}

void apply_item_effects(World& world, const DeferredValue& entry) {
  VELMORA_CHECK(entry.actor < world.actors.size(), "item used by an unknown actor");
  const ItemDef& item = item_def(entry.item);
  const std::size_t user = static_cast<std::size_t>(entry.actor);
  if (item.heal > 0) heal_actor(world, world.actors[user], item.heal);
  if (item.ward) item_ward(world, world.actors[user], *item.ward);
  if (item.burst) burst_at(world, user, world.actors[user].x, world.actors[user].z, *item.burst);
  if (item.hazard) {
    const HazardSpec& h = *item.hazard;
    spawn_hazard(world, user, world.actors[user].x, world.actors[user].z, h.dice, h.add, h.ticks);
  }
  if (item.turn) item_turn(world, user, *item.turn);
}

void burst_at(World& world, std::size_t source, Fx x, Fx z, const BurstSpec& burst) {
  VELMORA_CHECK(source < world.actors.size(), "burst of an unknown actor");
  world.events.push_back(Event::blast_of(burst.damage_type, whole_cm(x), whole_cm(z), burst.radius));
  const std::uint8_t team = world.actors[source].team;
  for (Actor& t : world.actors) {
    if (!burst_reaches(t, team) || !within_radius(x, z, t.x, t.z, burst.radius)) continue;
    area_strike(world, world.actors[source].id, t, x, burst.dice, burst.add, burst.damage_type);
  }
  if (team != 0) return;
  for (Prop& prop : world.props) {
    if (prop.broken == 0 && within_radius(x, z, prop.x, prop.z, burst.radius)) break_prop(world, prop);
  }
}

void spawn_hazard(World& world, std::size_t owner, Fx x, Fx z, std::int32_t dice, std::int32_t add,
                  std::uint16_t ticks) {
  VELMORA_CHECK(owner < world.actors.size(), "hazard of an unknown actor");
  Hazard h;
  h.x = x;
  h.z = clamp_to_floor(world, z);
  h.dice = dice;
  h.add = add;
  h.serial = world.next_hazard_serial++;
  h.owner = world.actors[owner].id;
  h.ticks = ticks;
  h.team = world.actors[owner].team;
  world.hazards.push_back(h);
  world.events.push_back(Event::caltrops_of(whole_cm(h.x), whole_cm(h.z)));
}

void spawn_projectiles(World& world, std::size_t index) {
  VELMORA_CHECK(index < world.actors.size(), "projectile of an unknown actor");
  const Actor& a = world.actors[index];
  const MoveDef& move = move_def(a.move);
  const std::int64_t spread = move.spread;
  const std::int64_t offsets[3] = {0, -spread, spread};
  const int count = spread > 0 ? 3 : 1;
  for (int k = 0; k < count; ++k) {
    Projectile p;
    p.thrown_item = a.item_in_use;
    p.x = fx_plus(a.x, std::int64_t{a.facing} * throw_offset_cm * 256);
    p.y = a.y;
    p.z = clamp_to_floor(world, fx_plus(a.z, offsets[k] * 256));
    p.serial = world.next_projectile_serial++;
    p.owner = a.id;
    p.team = a.team;
    p.move = a.move;
    p.facing = a.facing;
    world.projectiles.push_back(p);
  }
}

}  // namespace velmora
