// What happened during a tick or a player command: one Event per thing, in
// the order it happened. Events carry ids and numbers only.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/data/value_readers.h"

namespace velmora {

enum class EventKind : std::uint8_t {
  swing = 0,
  hit = 1,
  jump = 2,
  dash = 3,
  land = 4,
  down = 5,
  ko = 6,
  break_ = 7,  // "break" (a keyword in C++)
  pickup = 8,
  gate_lock = 9,
  wave = 10,
  gate_clear = 11,
  revive = 12,
  winded = 13,
  backstab = 14,
  shop = 15,
  inn = 16,
  bought = 17,
  sold = 18,
  spent = 19,
  equip = 20,
  drop = 21,
  stow = 22,
  refuse = 23,
  work = 24,
  lock_fail = 25,
  lock_jam = 26,
  forced = 27,
  chest_open = 28,
  join = 29,
  leave = 30,
  guard_break = 31,
  door = 32,
  area = 33,
  lever = 34,
  found = 35,
  trap_seen = 36,
  trap = 37,
  disarmed = 38,
  disarm_fail = 39,
  use = 40,
  heal = 41,
  ward = 42,
  blast = 43,
  caltrops = 44,
  turned = 45,
  frost = 46,
  held = 47,
  rally = 48,
  shout = 49,
  taunt = 50,
  vanish = 51,
  sapped = 52,
  poisoned = 53,
  trainer = 54,
  gift = 55,
  learned = 56,
  cleared = 57,
  wiped = 58,
};

inline constexpr std::size_t event_kind_count = 59;

// The fixed protocol word of a kind ("swing" ... "wiped"); a hit is "hit".
std::string_view event_word(EventKind kind);

// Why an action was refused.
enum class RefuseReason : std::uint8_t { fighting = 0, cannot_use = 1, locked = 2, jammed = 3, trap = 4 };

std::string_view refuse_reason_word(RefuseReason reason);

// What lies on the floor: food (heal amount), silver (amount) or an item.
enum class PickupTag : std::uint16_t { food = 0, silver = 1, item = 2 };

// The 8-byte tagged content of a pickup: the item id for an item, else the amount.
struct PickupContent {
  PickupTag tag = PickupTag::food;
  std::uint16_t item = 0;
  std::uint32_t amount = 0;

  static constexpr PickupContent food(std::uint32_t heal) { return {PickupTag::food, 0, heal}; }
  static constexpr PickupContent silver(std::uint32_t amount) { return {PickupTag::silver, 0, amount}; }
  static constexpr PickupContent of_item(std::uint16_t id) { return {PickupTag::item, id, 0}; }
  constexpr bool operator==(const PickupContent&) const = default;
};

// The payload shapes shared by several kinds.
enum class EventShape : std::uint8_t {
  none,          // cleared, wiped
  actor,         // actor only: jump, dash, land, ko, spent, ward, ...
  actor_item,    // actor and item: bought, sold, equip, drop, stow, use
  actor_index,   // actor and a stage index: door, lever, trap_seen, disarmed
  actor_target,  // two actors: backstab, sapped, poisoned
  index,         // a stage index only: break, forced, chest_open
  own,           // a payload of its own, built by the named constructor
};

EventShape event_shape(EventKind kind);

// The kinds that belong to the stage rather than to one actor (barrels,
// chests, gates, areas, bursts, the stage's end) show no actor.
bool event_shows_actor(EventKind kind);

// One event: the kind and the fields its payload uses; the other fields stay 0.
//   actor   the acting actor (attacker, giver, the actor acted on)
//   target  the other actor (defender, victim, receiver)
//   index   a breakable, chest, door, lever, trap or found-thing index
//   item    an item id
//   move    a move id (swing, learned)
//   damage  the damage type (hit, blast)
//   blocked, parried (hit)
//   how     work kind (work), how found (found), how held (held)
//   amount  injury, damage, hit points gained, silver given, radius
//   x y z   whole centimetres (hit, blast, caltrops, frost)
//   gate, wave, stage   gate and wave indexes, a stage index (area)
//   content the pickup's content (pickup)
//   reason  the refusal reason (refuse)
struct Event {
  EventKind kind = EventKind::swing;
  std::uint8_t move = 0;
  DamageType damage = DamageType::crushing;
  std::uint8_t blocked = 0;
  std::uint8_t parried = 0;
  std::uint8_t how = 0;
  RefuseReason reason = RefuseReason::fighting;
  std::uint16_t actor = 0;
  std::uint16_t target = 0;
  std::uint16_t index = 0;
  std::uint16_t item = 0;
  std::int32_t amount = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  PickupContent content;
  std::uint64_t gate = 0;
  std::uint64_t wave = 0;
  std::uint64_t stage = 0;

  bool operator==(const Event&) const = default;

  // The shared shapes; each panics when the kind has another shape.
  static Event plain(EventKind kind);
  static Event of_actor(EventKind kind, std::uint16_t actor);
  static Event actor_item(EventKind kind, std::uint16_t actor, std::uint16_t item);
  static Event actor_index(EventKind kind, std::uint16_t actor, std::uint16_t index);
  static Event actor_target(EventKind kind, std::uint16_t actor, std::uint16_t target);
  static Event of_index(EventKind kind, std::uint16_t index);

  // The kinds with a payload of their own.
  static Event swing_of(std::uint8_t move, std::uint16_t actor);
  static Event hit_of(DamageType damage, bool blocked, bool parried, std::uint16_t attacker, std::uint16_t target,
                      std::int32_t injury, std::int32_t x, std::int32_t y, std::int32_t z);
  static Event pickup_of(std::uint16_t actor, PickupContent content);
  static Event gate_lock_of(std::uint64_t gate);
  static Event wave_of(std::uint64_t gate, std::uint64_t wave);
  static Event gate_clear_of(std::uint64_t gate);
  static Event refuse_of(std::uint16_t actor, RefuseReason reason);
  static Event work_of(std::uint8_t work_kind, std::uint16_t actor);
  static Event area_of(std::uint64_t stage);
  static Event found_of(std::uint8_t how, std::uint16_t actor, std::uint16_t index);
  static Event trap_of(std::uint16_t actor, std::uint16_t trap, std::int32_t damage);
  static Event heal_of(std::uint16_t actor, std::int32_t gained);
  static Event blast_of(DamageType damage, std::int32_t x, std::int32_t z, std::int32_t radius);
  static Event caltrops_of(std::int32_t x, std::int32_t z);
  static Event frost_of(std::int32_t x, std::int32_t z, std::int32_t radius);
  static Event held_of(std::uint8_t how, std::uint16_t actor);
  static Event gift_of(std::uint16_t giver, std::uint16_t receiver, std::int32_t silver);
  static Event learned_of(std::uint8_t move, std::uint16_t actor);
};

}  // namespace velmora
