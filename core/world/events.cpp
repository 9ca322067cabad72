#include "core/world/events.h"

#include <array>
#include <string>

#include "core/base/panic.h"

namespace velmora {

namespace {

constexpr std::array<std::string_view, event_kind_count> event_words = {
    "swing",     "hit",       "jump",     "dash",       "land",     "down",       "ko",          "break",
    "pickup",    "gate_lock", "wave",     "gate_clear", "revive",   "winded",     "backstab",    "shop",
    "inn",       "bought",    "sold",     "spent",      "equip",    "drop",       "stow",        "refuse",
    "work",      "lock_fail", "lock_jam", "forced",     "chest_open", "join",     "leave",       "guard_break",
    "door",      "area",      "lever",    "found",      "trap_seen", "trap",      "disarmed",    "disarm_fail",
    "use",       "heal",      "ward",     "blast",      "caltrops", "turned",     "frost",       "held",
    "rally",     "shout",     "taunt",    "vanish",     "sapped",   "poisoned",   "trainer",     "gift",
    "learned",   "cleared",   "wiped"};

Event make(EventKind kind, EventShape shape) {
  if (event_shape(kind) != shape) panic("event " + std::string(event_word(kind)) + " built with the wrong payload");
  Event e;
  e.kind = kind;
  return e;
}

}  // namespace

std::string_view event_word(EventKind kind) {
  const auto i = static_cast<std::size_t>(kind);
  if (i >= event_words.size()) panic("event kind out of range");
  return event_words[i];
}

std::string_view refuse_reason_word(RefuseReason reason) {
  switch (reason) {
    case RefuseReason::fighting: return "fighting";
    case RefuseReason::cannot_use: return "cannot_use";
    case RefuseReason::locked: return "locked";
    case RefuseReason::jammed: return "jammed";
    case RefuseReason::trap: return "trap";
  }
  panic("refuse reason out of range");
}

bool event_shows_actor(EventKind kind) {
  using K = EventKind;
  switch (kind) {
    case K::break_:
    case K::gate_lock:
    case K::wave:
    case K::gate_clear:
    case K::forced:
    case K::chest_open:
    case K::area:
    case K::blast:
    case K::caltrops:
    case K::frost:
    case K::cleared:
    case K::wiped: return false;
    default: return true;
  }
}

EventShape event_shape(EventKind kind) {
  using K = EventKind;
  switch (kind) {
    case K::cleared:
    case K::wiped:
      return EventShape::none;
    case K::jump:
    case K::dash:
    case K::land:
    case K::down:
    case K::ko:
    case K::revive:
    case K::winded:
    case K::shop:
    case K::inn:
    case K::spent:
    case K::lock_fail:
    case K::lock_jam:
    case K::join:
    case K::leave:
    case K::guard_break:
    case K::disarm_fail:
    case K::ward:
    case K::turned:
    case K::rally:
    case K::shout:
    case K::taunt:
    case K::vanish:
    case K::trainer:
      return EventShape::actor;
    case K::bought:
    case K::sold:
    case K::equip:
    case K::drop:
    case K::stow:
    case K::use:
      return EventShape::actor_item;
    case K::door:
    case K::lever:
    case K::trap_seen:
    case K::disarmed:
      return EventShape::actor_index;
    case K::backstab:
    case K::sapped:
    case K::poisoned:
      return EventShape::actor_target;
    case K::break_:
    case K::forced:
    case K::chest_open:
      return EventShape::index;
    default:
      return EventShape::own;
  }
}

Event Event::plain(EventKind kind) { return make(kind, EventShape::none); }

Event Event::of_actor(EventKind kind, std::uint16_t actor) {
  Event e = make(kind, EventShape::actor);
  e.actor = actor;
  return e;
}

Event Event::actor_item(EventKind kind, std::uint16_t actor, std::uint16_t item) {
  Event e = make(kind, EventShape::actor_item);
  e.actor = actor;
  e.item = item;
  return e;
}

Event Event::actor_index(EventKind kind, std::uint16_t actor, std::uint16_t index) {
  Event e = make(kind, EventShape::actor_index);
  e.actor = actor;
  e.index = index;
  return e;
}

Event Event::actor_target(EventKind kind, std::uint16_t actor, std::uint16_t target) {
  Event e = make(kind, EventShape::actor_target);
  e.actor = actor;
  e.target = target;
  return e;
}

Event Event::of_index(EventKind kind, std::uint16_t index) {
  Event e = make(kind, EventShape::index);
  e.index = index;
  return e;
}

Event Event::swing_of(std::uint8_t move, std::uint16_t actor) {
  Event e = make(EventKind::swing, EventShape::own);
  e.move = move;
  e.actor = actor;
  return e;
}

Event Event::hit_of(DamageType damage, bool blocked, bool parried, std::uint16_t attacker, std::uint16_t target,
                    std::int32_t injury, std::int32_t x, std::int32_t y, std::int32_t z) {
  Event e = make(EventKind::hit, EventShape::own);
  e.damage = damage;
  e.blocked = blocked ? 1 : 0;
  e.parried = parried ? 1 : 0;
  e.actor = attacker;
  e.target = target;
  e.amount = injury;
  e.x = x;
  e.y = y;
  e.z = z;
  return e;
}

Event Event::pickup_of(std::uint16_t actor, PickupContent content) {
  Event e = make(EventKind::pickup, EventShape::own);
  e.actor = actor;
  e.content = content;
  return e;
}

Event Event::gate_lock_of(std::uint64_t gate) {
  Event e = make(EventKind::gate_lock, EventShape::own);
  e.gate = gate;
  return e;
}

Event Event::wave_of(std::uint64_t gate, std::uint64_t wave) {
  Event e = make(EventKind::wave, EventShape::own);
  e.gate = gate;
  e.wave = wave;
  return e;
}

Event Event::gate_clear_of(std::uint64_t gate) {
  Event e = make(EventKind::gate_clear, EventShape::own);
  e.gate = gate;
  return e;
}

Event Event::refuse_of(std::uint16_t actor, RefuseReason reason) {
  Event e = make(EventKind::refuse, EventShape::own);
  e.actor = actor;
  e.reason = reason;
  return e;
}

Event Event::work_of(std::uint8_t work_kind, std::uint16_t actor) {
  Event e = make(EventKind::work, EventShape::own);
  e.how = work_kind;
  e.actor = actor;
  return e;
}

Event Event::area_of(std::uint64_t stage) {
  Event e = make(EventKind::area, EventShape::own);
  e.stage = stage;
  return e;
}

Event Event::found_of(std::uint8_t how, std::uint16_t actor, std::uint16_t index) {
  Event e = make(EventKind::found, EventShape::own);
  e.how = how;
  e.actor = actor;
  e.index = index;
  return e;
}

Event Event::trap_of(std::uint16_t actor, std::uint16_t trap, std::int32_t damage) {
  Event e = make(EventKind::trap, EventShape::own);
  e.actor = actor;
  e.index = trap;
  e.amount = damage;
  return e;
}

Event Event::heal_of(std::uint16_t actor, std::int32_t gained) {
  Event e = make(EventKind::heal, EventShape::own);
  e.actor = actor;
  e.amount = gained;
  return e;
}

Event Event::blast_of(DamageType damage, std::int32_t x, std::int32_t z, std::int32_t radius) {
  Event e = make(EventKind::blast, EventShape::own);
  e.damage = damage;
  e.x = x;
  e.z = z;
  e.amount = radius;
  return e;
}

Event Event::caltrops_of(std::int32_t x, std::int32_t z) {
  Event e = make(EventKind::caltrops, EventShape::own);
  e.x = x;
  e.z = z;
  return e;
}

Event Event::frost_of(std::int32_t x, std::int32_t z, std::int32_t radius) {
  Event e = make(EventKind::frost, EventShape::own);
  e.x = x;
  e.z = z;
  e.amount = radius;
  return e;
}

Event Event::held_of(std::uint8_t how, std::uint16_t actor) {
  Event e = make(EventKind::held, EventShape::own);
  e.how = how;
  e.actor = actor;
  return e;
}

Event Event::gift_of(std::uint16_t giver, std::uint16_t receiver, std::int32_t silver) {
  Event e = make(EventKind::gift, EventShape::own);
  e.actor = giver;
  e.target = receiver;
  e.amount = silver;
  return e;
}

Event Event::learned_of(std::uint8_t move, std::uint16_t actor) {
  Event e = make(EventKind::learned, EventShape::own);
  e.move = move;
  e.actor = actor;
  return e;
}

}  // namespace velmora
