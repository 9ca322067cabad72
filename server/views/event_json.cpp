#include "server/views/event_json.h"

#include <algorithm>

#include "core/base/clamp.h"
#include "core/world/actor.h"
#include "server/views/view_words.h"

namespace velmora {

namespace {

// An unsigned counter (gate, wave or stage index) as a view number.
std::int32_t view_number(std::uint64_t value) {
  return value > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(value);
}

std::string_view hit_word(const Event& e) {
  if (e.parried != 0) return "parry";
  if (e.blocked != 0) return "block";
  return "hit";
}

std::int32_t pickup_amount(const PickupContent& content) {
  if (content.tag == PickupTag::food || content.tag == PickupTag::silver) {
    return saturate_i32(std::int64_t{content.amount});
  }
  return content.item;
}

// The fields of an event's view, each by the event's kind; a kind not named
// keeps the field's default.

std::int32_t event_target(const Event& e) {
  using K = EventKind;
  switch (e.kind) {
    case K::hit:
    case K::backstab:
    case K::sapped:
    case K::poisoned:
    case K::gift: return e.target;
    case K::break_:
    case K::forced:
    case K::chest_open:
    case K::door:
    case K::lever:
    case K::found:
    case K::trap_seen:
    case K::trap:
    case K::disarmed: return e.index;
    case K::wave: return view_number(e.gate);
    default: return -1;
  }
}

std::int32_t event_amount(const Event& e) {
  using K = EventKind;
  switch (e.kind) {
    case K::hit:
    case K::trap:
    case K::heal:
    case K::blast:
    case K::frost:
    case K::gift: return e.amount;
    case K::pickup: return pickup_amount(e.content);
    case K::gate_lock:
    case K::gate_clear: return view_number(e.gate);
    case K::wave: return view_number(e.wave);
    case K::bought:
    case K::sold:
    case K::equip:
    case K::drop:
    case K::stow:
    case K::use: return e.item;
    case K::area: return view_number(e.stage);
    case K::learned: return e.move;
    default: return 0;
  }
}

std::string_view event_detail(const Event& e) {
  using K = EventKind;
  switch (e.kind) {
    case K::swing: return move_def(e.move).name;
    case K::hit:
    case K::blast: return damage_type_word(e.damage);
    case K::pickup: return pickup_detail(e.content.tag);
    case K::bought:
    case K::sold:
    case K::equip:
    case K::drop:
    case K::stow: return item_def(e.item).title;
    case K::use: return item_def(e.item).name;
    case K::refuse: return refuse_reason_word(e.reason);
    case K::work: return work_word(e.how);
    case K::area: return stage_at(e.stage).name;
    case K::found: return e.how == 0 ? "search" : "hit";
    case K::held: return held_word(e.how);
    case K::learned: return move_def(e.move).title;
    default: return "";
  }
}

}  // namespace

EventView event_name(const Event& e) {
  EventView v;
  v.word = e.kind == EventKind::hit ? hit_word(e) : event_word(e.kind);
  v.detail = event_detail(e);
  if (event_shows_actor(e.kind)) v.actor = e.actor;
  v.target = event_target(e);
  v.amount = event_amount(e);
  switch (e.kind) {
    case EventKind::hit:
      v.y = e.y;
      [[fallthrough]];
    case EventKind::blast:
    case EventKind::caltrops:
    case EventKind::frost:  // bursts on the floor: y stays 0
      v.x = e.x;
      v.z = e.z;
      break;
    default: break;
  }
  return v;
}

Json event_json(const EventView& view) {
  return Json::object(8)
      .add("kind", view.word)
      .add("actor", view.actor)
      .add("target", view.target)
      .add("amount", view.amount)
      .add("detail", view.detail)
      .add("x", view.x)
      .add("y", view.y)
      .add("z", view.z);
}

Json events_to_values(std::span<const Event> events, std::size_t start, std::size_t end) {
  end = std::min(end, events.size());
  start = std::min(start, end);
  Json list = Json::array(end - start);
  for (std::size_t i = start; i < end; ++i) list.push(event_json(event_name(events[i])));
  return list;
}

Json events_json(std::span<const Event> events, std::size_t start, std::size_t count) {
  const std::size_t begin = std::min(start, events.size());
  return events_to_values(events, begin, begin + std::min(count, events.size() - begin));
}

}  // namespace velmora
