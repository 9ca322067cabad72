#include "core/rules/interactions.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/base/rng.h"
#include "core/data/game_data.h"
#include "core/rules/control.h"

namespace velmora {

namespace {

constexpr std::int64_t near_x_cm = 75;  // "near" for the use button
constexpr std::int64_t near_z_cm = 50;
constexpr std::int64_t pickup_reach_cm = 45;   // food and silver underfoot, in x and in z
constexpr std::int64_t search_reach_cm = 220;  // in x only
constexpr std::int64_t trap_reach_x_cm = 35;
constexpr std::int64_t trap_reach_z_cm = 30;
constexpr std::uint16_t pick_ticks = 70;
constexpr std::uint16_t force_ticks = 150;
constexpr std::uint16_t disarm_ticks = 90;
constexpr std::uint32_t chest_xp = 4;
constexpr std::int64_t loot_spacing_cm = 60;
constexpr std::int64_t loot_front_cm = 40;
constexpr std::int32_t trap_lift_cm = 5;  // the upward speed of a sprung actor, per tick
constexpr std::int32_t cm = 256;          // one centimetre in Fx

std::int64_t distance(std::int64_t a, std::int64_t b) { return a >= b ? a - b : b - a; }

std::int64_t cm_of(Fx v) { return v.floor_int(); }

bool is_near(const Actor& a, std::int64_t x, std::int64_t z) {
  return distance(cm_of(a.x), x) <= near_x_cm && distance(cm_of(a.z), z) <= near_z_cm;
}

bool is_near(const Actor& a, const std::optional<Point>& place) { return place && is_near(a, place->x, place->z); }

bool idle_or_walk(const Actor& a) { return a.state == ActorState::idle || a.state == ActorState::walk; }

bool is_gear(ItemSlot slot) { return slot == ItemSlot::weapon || slot == ItemSlot::head || slot == ItemSlot::body; }

// An Fx position moved by whole centimetres, held within the Fx range.
Fx shifted(Fx v, std::int64_t by_cm) {
  return Fx::from_raw(saturate_i32(saturating_add64(v.raw, saturating_mul64(by_cm, cm))));
}

// ---- the use cascade ----

// 1. The town's places: the front end opens the matching screen.
bool use_town_place(World& world, const Actor& a) {
  const StageDef& stage = world.stage();
  std::optional<EventKind> kind;
  if (is_near(a, stage.shop_at)) {
    kind = EventKind::shop;
  } else if (is_near(a, stage.inn_at)) {
    kind = EventKind::inn;
  } else if (is_near(a, stage.trainer_at)) {
    kind = EventKind::trainer;
  }
  if (!kind) return false;
  world.events.push_back(Event::of_actor(*kind, a.id));
  return true;
}

// The nearest item pickup near the actor (|dx| + |dz|, then the lower id).
std::optional<std::size_t> nearest_item_pickup(const World& world, const Actor& a) {
  std::optional<std::size_t> best;
  std::int64_t best_distance = 0;
  for (std::size_t i = 0; i < world.pickups.size(); ++i) {
    const Pickup& p = world.pickups[i];
    if (p.taken != 0 || p.content.tag != PickupTag::item) continue;
    const std::int64_t x = cm_of(p.x), z = cm_of(p.z);
    if (!is_near(a, x, z)) continue;
    const std::int64_t d = distance(cm_of(a.x), x) + distance(cm_of(a.z), z);
    if (!best || d < best_distance || (d == best_distance && p.id < world.pickups[*best].id)) {
      best = i;
      best_distance = d;
    }
  }
  return best;
}

// Gear is worn at once (what was worn there goes to the bag); anything else
// goes to the bag.
void take_item(World& world, Actor& a, std::uint16_t item) {
  const ItemSlot slot = item_def(item).slot;
  if (!is_gear(slot)) {
    a.bag.push_back(item);
    return;
  }
  std::optional<std::uint16_t>& place = a.gear[static_cast<std::size_t>(slot)];
  if (place) a.bag.push_back(*place);
  place = item;
  world.events.push_back(Event::actor_item(EventKind::equip, a.id, item));
}

// 2. An item lying near.
bool pick_up_item(World& world, Actor& a) {
  const auto found = nearest_item_pickup(world, a);
  if (!found) return false;
  Pickup& p = world.pickups[*found];
  p.taken = 1;
  take_item(world, a, p.content.item);
  world.events.push_back(Event::pickup_of(a.id, p.content));
  return true;
}

// Work begins where the worker stands: it stops, and any movement or action
// input cancels the work (see the work state).
void start_work(World& world, Actor& a, std::uint8_t kind, std::size_t target, std::uint16_t ticks) {
  a.state = ActorState::work;
  a.state_ticks = 0;
  a.vx = Fx{};
  a.vy = Fx{};
  a.vz = Fx{};
  a.work_target = static_cast<std::uint16_t>(target);
  a.work_ticks = ticks;
  a.work_kind = kind;
  world.events.push_back(Event::work_of(kind, a.id));
}

// The unopened chest near the actor with the smallest |dx| (z not counted),
// then the lower chest index.
std::optional<std::size_t> chest_near(const World& world, const Actor& a) {
  std::optional<std::size_t> best;
  std::int64_t best_dx = 0;
  for (std::size_t i = 0; i < world.chests.size(); ++i) {
    const Chest& c = world.chests[i];
    if (c.opened != 0 || !is_near(a, cm_of(c.x), cm_of(c.z))) continue;
    const std::int64_t dx = distance(cm_of(a.x), cm_of(c.x));
    if (!best || dx < best_dx || (dx == best_dx && c.index < world.chests[*best].index)) {
      best = i;
      best_dx = dx;
    }
  }
  return best;
}

// 3. A chest: opened, picked, forced or refused.
bool use_chest(World& world, std::size_t index) {
  Actor& a = world.actors[index];
  const auto found = chest_near(world, a);
  if (!found) return false;
  const Chest& chest = world.chests[*found];
  const KindDef& kind = kind_by_id(a.kind);
  if (chest.locked == 0) {
    open_chest(world, *found);
  } else if (chest.jammed == 0 && kind.lockpick > 0) {
    start_work(world, a, work_pick, *found, pick_ticks);
  } else if (kind.force) {
    start_work(world, a, work_force, *found, force_ticks);
  } else {
    const RefuseReason reason = chest.jammed != 0 ? RefuseReason::jammed : RefuseReason::locked;
    world.events.push_back(Event::refuse_of(a.id, reason));
  }
  return true;
}

// 4. A door, or a secret passage once found: travel at the end of the tick.
bool use_door(World& world, const Actor& a) {
  const StageDef& stage = world.stage();
  for (std::size_t i = 0; i < stage.doors.size(); ++i) {
    const DoorDef& door = stage.doors[i];
    const bool hidden = door.secret && (i >= world.door_states.size() || world.door_states[i].found == 0);
    if (hidden || !is_near(a, door.x, door.z)) continue;
    if (world.fighting != 0) {
      world.events.push_back(Event::refuse_of(a.id, RefuseReason::fighting));
    } else {
      world.pending_door = i;
      world.events.push_back(Event::actor_index(EventKind::door, a.id, static_cast<std::uint16_t>(i)));
    }
    return true;
  }
  return false;
}

// 5. A lever not yet pulled: its barrier opens.
bool pull_lever(World& world, const Actor& a) {
  const StageDef& stage = world.stage();
  for (std::size_t i = 0; i < stage.levers.size() && i < world.levers_pulled.size(); ++i) {
    const LeverDef& lever = stage.levers[i];
    if (world.levers_pulled[i] != 0 || !is_near(a, lever.x, lever.z)) continue;
    world.levers_pulled[i] = 1;
    world.events.push_back(Event::actor_index(EventKind::lever, a.id, static_cast<std::uint16_t>(i)));
    return true;
  }
  return false;
}

// 6. A seen trap: disarmed by those who can pick locks, refused by others.
void use_trap(World& world, std::size_t index) {
  Actor& a = world.actors[index];
  const StageDef& stage = world.stage();
  for (std::size_t i = 0; i < stage.traps.size() && i < world.trap_states.size(); ++i) {
    const TrapDef& trap = stage.traps[i];
    if (world.trap_states[i].state != trap_seen || !is_near(a, trap.x, trap.z)) continue;
    if (kind_by_id(a.kind).lockpick > 0) {
      start_work(world, a, work_disarm, i, disarm_ticks);
    } else {
      world.events.push_back(Event::refuse_of(a.id, RefuseReason::trap));
    }
    return;
  }
}

// ---- work completion ----

void finish_disarm(World& world, std::size_t index, std::size_t trap) {
  VELMORA_CHECK(trap < world.trap_states.size(), "disarming a trap the stage does not have");
  if (world.trap_states[trap].state != trap_seen) return;
  const Actor& a = world.actors[index];
  const Roll roll = roll_3d6(world.rng, kind_by_id(a.kind).lockpick);
  if (roll.succeeded()) {
    world.trap_states[trap].state = trap_disarmed;
    world.events.push_back(Event::actor_index(EventKind::disarmed, a.id, static_cast<std::uint16_t>(trap)));
  } else if (roll.outcome == RollOutcome::failure) {
    world.events.push_back(Event::of_actor(EventKind::disarm_fail, a.id));
  } else {
    spring_trap(world, trap, index);
  }
}

void finish_force(World& world, std::size_t chest) {
  VELMORA_CHECK(chest < world.chests.size(), "forcing a chest the stage does not have");
  if (world.chests[chest].opened != 0) return;
  world.events.push_back(Event::of_index(EventKind::forced, world.chests[chest].index));
  open_chest(world, chest);
}

// A chest opened by somebody else meanwhile is left alone: no roll, no second loot.
void finish_pick(World& world, std::size_t index, std::size_t chest) {
  VELMORA_CHECK(chest < world.chests.size(), "picking a chest the stage does not have");
  if (world.chests[chest].opened != 0) return;
  const Actor& a = world.actors[index];
  const std::int32_t skill =
      saturate_i32(std::int64_t{kind_by_id(a.kind).lockpick} - std::int64_t{world.chests[chest].lock});
  const Roll roll = roll_3d6(world.rng, skill);
  if (roll.succeeded()) {
    open_chest(world, chest);
  } else if (roll.outcome == RollOutcome::failure) {
    world.events.push_back(Event::of_actor(EventKind::lock_fail, a.id));
  } else {
    world.events.push_back(Event::of_actor(EventKind::lock_jam, a.id));
    world.chests[chest].jammed = 1;
  }
}

// ---- chest loot ----

// Entry k of a table with total weight w is chosen with probability weight k / w.
const LootEntry& draw_entry(const LootTable& table, std::uint64_t total, Rng& rng) {
  std::uint64_t left = rng.next() % total;
  for (const LootEntry& entry : table.entries) {
    const auto weight = static_cast<std::uint64_t>(std::max(entry.weight, 0));
    if (weight > left) return entry;
    left -= weight;
  }
  panic("loot draw beyond the table's weight");
}

PickupContent loot_content(const LootEntry& entry, Rng& rng) {
  switch (entry.kind) {
    case LootKind::item: return PickupContent::of_item(entry.item);
    case LootKind::food: return PickupContent::food(saturate_u32(entry.heal));
    case LootKind::silver: return PickupContent::silver(saturate_u32(range(rng, entry.min, entry.max)));
  }
  panic("loot kind out of range");
}

std::uint64_t total_weight(const LootTable& table) {
  std::uint64_t total = 0;
  for (const LootEntry& e : table.entries) total += static_cast<std::uint64_t>(std::max(e.weight, 0));
  return total;
}

// The loot lies in a row along x, 60 cm apart and centred on the chest, 40 cm
// in front of it (never below z 0). Rolling stops when the floor is full.
void roll_loot(World& world, std::size_t chest) {
  const Chest c = world.chests[chest];
  const auto& tables = game_data().loot;
  VELMORA_CHECK(c.table < tables.size(), "chest table out of range");
  const LootTable& table = tables[c.table];
  const std::uint64_t total = total_weight(table);
  if (table.rolls <= 0 || total == 0) return;
  const Fx z = Fx::from_raw(std::max<std::int32_t>(0, shifted(c.z, -loot_front_cm).raw));
  const std::int64_t first = -(loot_spacing_cm / 2) * (std::int64_t{table.rolls} - 1);
  for (std::int64_t i = 0; i < table.rolls && world.pickups.size() < max_stage_pickups; ++i) {
    const LootEntry& entry = draw_entry(table, total, world.rng);
    const PickupContent content = loot_content(entry, world.rng);
    lay_pickup(world, content, shifted(c.x, first + loot_spacing_cm * i), z);
  }
}

// ---- search and traps ----

std::uint8_t slot_bit(const Actor& a) { return static_cast<std::uint8_t>(1u << (a.slot % 8)); }

std::int32_t search_skill(const Actor& a) {
  const std::int32_t search = kind_by_id(a.kind).search;
  if (search <= 0) return 0;
  return saturate_i32(std::int64_t{a.iq} + search - 10);
}

// Marks the slot in a searched set the first time it comes near; true when
// the player then rolls and finds the thing.
bool search_finds(World& world, const Actor& a, std::int32_t skill, std::int64_t thing_x, std::uint8_t& searched) {
  if (distance(thing_x, cm_of(a.x)) > search_reach_cm || (searched & slot_bit(a)) != 0) return false;
  searched = static_cast<std::uint8_t>(searched | slot_bit(a));
  return skill > 0 && roll_3d6(world.rng, skill).succeeded();
}

void search(World& world, const Actor& a) {
  const StageDef& stage = world.stage();
  const std::int32_t skill = search_skill(a);
  for (std::size_t i = 0; i < stage.doors.size() && i < world.door_states.size(); ++i) {
    DoorState& door = world.door_states[i];
    if (!stage.doors[i].secret || door.found != 0) continue;
    if (!search_finds(world, a, skill, stage.doors[i].x, door.searched)) continue;
    door.found = 1;
    world.events.push_back(Event::found_of(0, a.id, static_cast<std::uint16_t>(i)));
  }
  for (std::size_t i = 0; i < stage.traps.size() && i < world.trap_states.size(); ++i) {
    TrapState& trap = world.trap_states[i];
    if (trap.state != trap_unseen) continue;
    if (!search_finds(world, a, skill, stage.traps[i].x, trap.searched)) continue;
    trap.state = trap_seen;
    world.events.push_back(Event::actor_index(EventKind::trap_seen, a.id, static_cast<std::uint16_t>(i)));
  }
}

bool can_spring(const Actor& a, const TrapDef& trap) {
  if (a.team != 0 || a.gone != 0 || a.invuln != 0 || a.y.raw != 0) return false;
  if (a.state == ActorState::fall || a.state == ActorState::down || a.state == ActorState::getup ||
      a.state == ActorState::ko) {
    return false;
  }
  return distance(cm_of(a.x), trap.x) <= trap_reach_x_cm && distance(cm_of(a.z), trap.z) <= trap_reach_z_cm;
}

// A trap's injury: the damage past DR, doubled (not for the undead), at least 1
// when anything got through.
std::int64_t trap_injury(const Actor& a, std::int64_t damage) {
  const std::int64_t dr = total_dr(a);
  const std::int64_t p = damage < 1 ? -dr : damage - dr;
  if (p < 1) return 0;
  return kind_by_id(a.kind).undead ? p : std::max<std::int64_t>(1, 2 * p);
}

}  // namespace

bool lay_pickup(World& world, PickupContent content, Fx x, Fx z) {
  if (world.pickups.size() >= max_stage_pickups) return false;
  Pickup p;
  p.content = content;
  p.x = x;
  p.z = z;
  p.id = static_cast<std::uint16_t>(world.pickups.size());
  world.pickups.push_back(p);
  return true;
}

void interact(World& world, std::size_t index) {
  VELMORA_CHECK(index < world.actors.size(), "interaction of a missing actor");
  Actor& a = world.actors[index];
  if (use_town_place(world, a)) return;
  if (pick_up_item(world, a)) return;
  if (use_chest(world, index)) return;
  if (use_door(world, a)) return;
  if (pull_lever(world, a)) return;
  use_trap(world, index);
}

void finish_work(World& world, std::size_t index) {
  VELMORA_CHECK(index < world.actors.size(), "work of a missing actor");
  Actor& a = world.actors[index];
  to_idle(a);
  const std::size_t target = a.work_target;
  switch (a.work_kind) {
    case work_disarm: finish_disarm(world, index, target); return;
    case work_force: finish_force(world, target); return;
    case work_pick: finish_pick(world, index, target); return;
    default: return;
  }
}

void open_chest(World& world, std::size_t chest) {
  VELMORA_CHECK(chest < world.chests.size(), "opening a chest the stage does not have");
  world.xp_pool = saturate_u32(std::int64_t{world.xp_pool} + chest_xp);
  Chest& c = world.chests[chest];
  c.opened = 1;
  c.locked = 0;
  world.events.push_back(Event::of_index(EventKind::chest_open, c.index));
  roll_loot(world, chest);
}

void spring_trap(World& world, std::size_t trap, std::size_t index) {
  const StageDef& stage = world.stage();
  VELMORA_CHECK(trap < stage.traps.size() && trap < world.trap_states.size(), "trap out of range");
  VELMORA_CHECK(index < world.actors.size(), "trap springing on a missing actor");
  const TrapDef& def = stage.traps[trap];
  world.trap_states[trap].state = trap_sprung;
  std::int64_t damage = def.add;
  for (std::int32_t i = 0; i < def.dice; ++i) damage += d6(world.rng);
  Actor& a = world.actors[index];
  const std::int64_t injury = trap_injury(a, damage);
  const std::int64_t from_temp = std::clamp<std::int64_t>(a.temp_hp, 0, injury);
  a.temp_hp = saturate_i32(std::int64_t{a.temp_hp} - from_temp);
  const std::int64_t rest = injury - from_temp;
  a.hp = saturate_i32(std::max<std::int64_t>(std::min(a.hp, 1), std::int64_t{a.hp} - rest));
  a.state = ActorState::fall;
  a.state_ticks = 0;
  a.juggle = 0;
  a.vx = Fx{};
  a.vy = Fx::from_raw(trap_lift_cm * cm);
  a.vz = Fx{};
  a.y = Fx::from_raw(std::max(a.y.raw, cm));
  world.events.push_back(Event::trap_of(a.id, static_cast<std::uint16_t>(trap), saturate_i32(injury)));
}

// The first player standing or walking within reach is the one who may take
// a pickup: silver always, food only when hurt. Food that player does not
// need stays where it lies, whoever else stands there.
void take_pickups(World& world) {
  for (Pickup& p : world.pickups) {
    if (p.taken != 0 || p.content.tag == PickupTag::item) continue;
    const std::int64_t x = cm_of(p.x), z = cm_of(p.z);
    for (Actor& a : world.actors) {
      if (a.team != 0 || !idle_or_walk(a)) continue;
      if (distance(cm_of(a.x), x) > pickup_reach_cm || distance(cm_of(a.z), z) > pickup_reach_cm) continue;
      const bool food = p.content.tag == PickupTag::food;
      if (food && a.hp >= a.hp_max) break;
      if (food) {
        a.hp = saturate_i32(std::min<std::int64_t>(std::int64_t{a.hp} + p.content.amount, a.hp_max));
      } else {
        a.silver = saturate_i32(std::int64_t{a.silver} + p.content.amount);
      }
      p.taken = 1;
      world.events.push_back(Event::pickup_of(a.id, p.content));
      break;
    }
  }
}

void update_traps(World& world) {
  for (const Actor& a : world.actors) {
    if (a.team == 0 && a.live()) search(world, a);
  }
  const StageDef& stage = world.stage();
  for (std::size_t t = 0; t < stage.traps.size() && t < world.trap_states.size(); ++t) {
    const std::uint8_t state = world.trap_states[t].state;
    if (state != trap_unseen && state != trap_seen) continue;
    for (std::size_t i = 0; i < world.actors.size(); ++i) {
      if (!can_spring(world.actors[i], stage.traps[t])) continue;
      spring_trap(world, t, i);
      break;
    }
  }
}

}  // namespace velmora
