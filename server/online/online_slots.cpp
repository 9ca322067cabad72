#include "server/online/online_slots.h"

namespace velmora {

namespace {

bool unclaimed(const SlotEntry& e) { return !e.occupied && !e.reserved; }

template <class Pred>
std::optional<std::size_t> lowest(const SlotTable& table, Pred pred) {
  for (std::size_t s = 0; s < slot_count; ++s) {
    if (pred(table.slots[s])) return s;
  }
  return std::nullopt;
}

}  // namespace

Result<SlotChoice> find_free_slot(const SlotTable& table, std::optional<std::size_t> wished,
                                  std::optional<std::uint64_t> offered) {
  if (wished && *wished < slot_count && offered && table.slots[*wished].reserved) {
    if (table.slots[*wished].reservation != *offered) return error("your slot was given away");
    return SlotChoice{*wished, true};
  }
  if (wished && *wished < slot_count && unclaimed(table.slots[*wished])) return SlotChoice{*wished, false};
  auto slot = lowest(table, [](const SlotEntry& e) { return unclaimed(e) && e.bye == 0; });
  if (!slot) slot = lowest(table, unclaimed);
  if (!slot) slot = lowest(table, [](const SlotEntry& e) { return !e.occupied; });
  if (!slot) return error("the game is full");
  return SlotChoice{*slot, false};
}

void take_slot(SlotTable& table, std::size_t slot, std::uint64_t id, Instant now) {
  SlotEntry& e = table.slots[slot];
  e.occupied = true;
  e.occupant = id;
  e.reserved = true;
  e.reservation = id;
  e.away_since.reset();
  e.last_heard = now;
  e.bye = 0;
  e.source.reset();
}

void vacate_slot(SlotTable& table, std::size_t slot, Instant now) {
  SlotEntry& e = table.slots[slot];
  e.occupied = false;
  e.source.reset();
  if (e.reserved) e.away_since = now;
}

void say_bye(SlotTable& table, std::size_t slot) {
  SlotEntry& e = table.slots[slot];
  e.reserved = false;
  e.bye = 1;
}

bool slot_is_away(const SlotTable& table, std::size_t slot, Instant now, std::chrono::nanoseconds away) {
  const SlotEntry& e = table.slots[slot];
  if (e.occupied) return e.last_heard && now - *e.last_heard >= away;
  if (e.bye == 1) return true;
  return e.away_since && now - *e.away_since >= away;
}

std::optional<std::size_t> slot_of_session(const SlotTable& table, std::uint64_t id) {
  return lowest(table, [id](const SlotEntry& e) { return e.occupied && e.occupant == id; });
}

void heard_from(SlotTable& table, std::size_t slot, const SocketAddress& source, Instant now) {
  table.slots[slot].source = source;
  table.slots[slot].last_heard = now;
}

}  // namespace velmora
