#include "core/rules/projectiles.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "core/base/clamp.h"
#include "core/rules/effects.h"

namespace velmora {

namespace {

constexpr std::int64_t hazard_reach_x = 70 * 256;  // Fx, either side
constexpr std::int64_t hazard_reach_z = 45 * 256;
constexpr std::uint16_t hazard_stun_ticks = 30;
constexpr std::int32_t hazard_push_cm = 4;
constexpr std::int32_t hazard_lift_cm = 7;
constexpr std::int32_t hazard_hit_height_cm = 10;

std::int32_t whole_cm(Fx v) { return v.raw >> 8; }

// What a projectile carries, looked up afresh every tick: a thrown item's
// burst and hazard, or else its move's burst.
struct Payload {
  std::optional<BurstSpec> burst;
  std::optional<HazardSpec> hazard;
};

Payload payload_of(const Projectile& p) {
  if (p.thrown_item) {
    const ItemDef& item = item_def(*p.thrown_item);
    return {item.burst, item.hazard};
  }
  return {move_def(p.move).burst, std::nullopt};
}

// One step of flight; true when the flight has ended: past its range, off
// the stage, or (for a move without a speed) at once, so nothing flies forever.
bool fly(const World& world, Projectile& p) {
  const MoveDef& move = move_def(p.move);
  const std::int64_t speed = move.projectile ? move.projectile->speed : 0;
  const std::int64_t range = move.projectile ? move.projectile->range : 0;
  p.x = Fx::from_raw(saturate_i32(saturating_add64(p.x.raw, std::int64_t{p.facing} * speed * 256)));
  const std::int64_t age = std::int64_t{p.age} + speed;
  p.age = saturate_i32(age);
  const std::int64_t length = std::int64_t{world.stage().length} * 256;
  return speed <= 0 || age > range || p.x.raw < 0 || p.x.raw > length;
}

// The first actor in list order that the projectile can strike and whose
// body meets its box.
std::optional<std::size_t> first_body(const World& world, const AttackBox& box, std::uint8_t team) {
  for (std::size_t k = 0; k < world.actors.size(); ++k) {
    const Actor& t = world.actors[k];
    if (t.team != team && open_to_blows(t) && box_hits_body(box, t)) return k;
  }
  return std::nullopt;
}

// The first whole barrel in list order that the box touches.
Prop* first_prop(World& world, const AttackBox& box) {
  for (Prop& prop : world.props) {
    if (prop.broken == 0 && box_hits_prop(box, prop)) return &prop;
  }
  return nullptr;
}

void remove_projectile(World& world, std::size_t i) {
  world.projectiles.erase(world.projectiles.begin() + static_cast<std::ptrdiff_t>(i));
}

void lay_hazard(World& world, const Projectile& shot, const HazardSpec& h) {
  spawn_hazard(world, shot.owner, shot.x, shot.z, h.dice, h.add, h.ticks);
}

// A bursting projectile goes off on the first foe or barrel it touches (any
// team's), or where its flight ends; the touched thing is hurt only by the burst.
bool settle_bursting(World& world, std::size_t i, const Projectile& shot, const Payload& load, bool ended) {
  const AttackBox box = projectile_box(shot);
  const bool touched = ended || first_body(world, box, shot.team) || first_prop(world, box) != nullptr;
  if (!touched) return false;
  remove_projectile(world, i);
  burst_at(world, shot.owner, shot.x, shot.z, *load.burst);
  if (load.hazard) lay_hazard(world, shot, *load.hazard);
  return true;
}

// A thrown item without a burst passes everything and lands where its flight ends.
bool settle_thrown(World& world, std::size_t i, const Projectile& shot, const Payload& load, bool ended) {
  if (!ended) return false;
  remove_projectile(world, i);
  if (load.hazard) lay_hazard(world, shot, *load.hazard);
  return true;
}

// A plain projectile strikes the first foe it meets, blocked or not, and
// ends; a player's breaks the first barrel it meets instead.
bool settle_plain(World& world, std::size_t i, const Projectile& shot, bool ended) {
  if (ended) {
    remove_projectile(world, i);
    return true;
  }
  const AttackBox box = projectile_box(shot);
  if (const std::optional<std::size_t> target = first_body(world, box, shot.team)) {
    remove_projectile(world, i);
    resolve_hit(world, shot.owner, *target, shot.move, shot.x, true);
    return true;
  }
  if (shot.team != 0) return false;
  Prop* prop = first_prop(world, box);
  if (prop == nullptr) return false;
  break_prop(world, *prop);
  remove_projectile(world, i);
  return true;
}

// One projectile's tick; true when it was removed from the list.
bool step_projectile(World& world, std::size_t i) {
  const bool ended = fly(world, world.projectiles[i]);
  const Projectile shot = world.projectiles[i];
  const Payload load = payload_of(shot);
  if (load.burst) return settle_bursting(world, i, shot, load, ended);
  if (shot.thrown_item) return settle_thrown(world, i, shot, load, ended);
  return settle_plain(world, i, shot, ended);
}

std::int64_t distance(std::int64_t a, std::int64_t b) { return a >= b ? a - b : b - a; }

// Whether the hazard hurts this actor now: a foe on the floor, open to
// blows, inside its reach and not hurt by it before.
bool hazard_reaches(const Hazard& z, const Actor& t) {
  if (t.team == z.team || !open_to_blows(t) || t.y.raw > 0 || z.hit_list.contains(t.id)) return false;
  return distance(t.x.raw, z.x.raw) <= hazard_reach_x && distance(t.z.raw, z.z.raw) <= hazard_reach_z;
}

// A body brought to 0 hit points by a hazard falls the way it was moving,
// facing back.
void hazard_fall(Actor& t) {
  const bool forward = t.vx.raw >= 0;
  t.state = ActorState::fall;
  t.state_ticks = 0;
  t.juggle = 0;
  t.vx = fx_from_cm(forward ? hazard_push_cm : -hazard_push_cm);
  t.vy = fx_from_cm(hazard_lift_cm);
  t.vz = Fx{};
  t.y = std::max(t.y, fx_from_cm(1));
  t.facing = forward ? std::int8_t{-1} : std::int8_t{1};
}

// The hazard's spikes: at least 1 damage, doubled as impaling unless the
// victim is undead; no DR. A heavy body shrugs off the stun.
void hurt_by_hazard(World& world, Hazard& z, Actor& t) {
  const std::int64_t d = std::max<std::int64_t>(1, saturating_add64(z.add, roll_d6s(world.rng, z.dice)));
  const KindDef& kind = kind_by_id(t.kind);
  const std::int64_t injury = std::max<std::int64_t>(1, kind.undead ? d : saturating_mul64(2, d));
  take_injury(t, injury);
  if (t.hp > 0) {
    if (!kind.heavy) {
      t.state = ActorState::stun;
      t.state_ticks = 0;
      t.stun = hazard_stun_ticks;
      t.vx = Fx{};
      t.vz = Fx{};
    }
  } else {
    hazard_fall(t);
  }
  z.hit_list.push_back(t.id);
  world.events.push_back(Event::hit_of(DamageType::impaling, false, false, z.owner, t.id, saturate_i32(injury),
                                       whole_cm(t.x), hazard_hit_height_cm, whole_cm(t.z)));
}

// One hazard's tick; true when it was removed from the list.
bool step_hazard(World& world, std::size_t j) {
  Hazard& z = world.hazards[j];
  z.ticks = count_down(z.ticks);
  if (z.ticks == 0) {
    world.hazards.erase(world.hazards.begin() + static_cast<std::ptrdiff_t>(j));
    return true;
  }
  for (Actor& t : world.actors) {
    if (hazard_reaches(z, t)) hurt_by_hazard(world, z, t);
  }
  return false;
}

}  // namespace

AttackBox projectile_box(const Projectile& p) {
  const MoveDef& move = move_def(p.move);
  const std::int64_t x = whole_cm(p.x), y = whole_cm(p.y), z = whole_cm(p.z);
  AttackBox box{};
  if (p.facing == 1) {
    box.x0 = saturate_i32(x + move.forward.from);
    box.x1 = saturate_i32(x + move.forward.to);
  } else {
    box.x0 = saturate_i32(x - move.forward.to);
    box.x1 = saturate_i32(x - move.forward.from);
  }
  box.y0 = saturate_i32(y + move.height.from);
  box.y1 = saturate_i32(y + move.height.to);
  box.z0 = saturate_i32(z - move.depth);
  box.z1 = saturate_i32(z + move.depth);
  return box;
}

// A removed entry leaves its place to the next one, which is visited at the
// same position.
void update_projectiles(World& world) {
  std::size_t i = 0;
  while (i < world.projectiles.size()) {
    if (!step_projectile(world, i)) ++i;
  }
}

void update_hazards(World& world) {
  std::size_t j = 0;
  while (j < world.hazards.size()) {
    if (!step_hazard(world, j)) ++j;
  }
}

}  // namespace velmora
