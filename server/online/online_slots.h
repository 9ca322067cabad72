// The online game's four player slots: who holds each, the reservation kept
// for a player whose connection dropped, when each was last heard from and
// where its tick datagrams go, and the order in which newcomers get a slot.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/base/result.h"
#include "web/sockets.h"

namespace velmora {

inline constexpr std::size_t slot_count = 4;

using Instant = std::chrono::nanoseconds;  // on the monotonic clock

struct SlotEntry {
  bool occupied = false;
  std::uint64_t occupant = 0;  // the joined session's id
  bool reserved = false;
  std::uint64_t reservation = 0;  // the id a reconnect must offer
  std::optional<Instant> away_since;  // the reserved slot's connection ended
  std::optional<Instant> last_heard;  // the last valid input datagram
  std::optional<SocketAddress> source;  // where tick datagrams go
  std::uint8_t bye = 0;  // the player said "bye"
};

struct SlotTable {
  std::array<SlotEntry, slot_count> slots;
};

struct SlotChoice {
  std::size_t slot = 0;
  bool reconnect = false;  // the slot's own player is back: its sessions give way
};

// The slot for a "connect". `wished` is a slot below the slot count or none;
// `offered` is the session id offered with it for a reconnect. When the
// wished slot is reserved, a reconnect whose id is the reservation gets that
// slot back and any other offered id is refused ("your slot was given away"):
// a reconnecting client never takes a slot reserved for someone else, and
// would reject a welcome into another slot. An offered id for a slot without
// a reservation (its player said "bye") is ignored. Otherwise: the wished
// slot when free and unreserved; the lowest free, unreserved slot whose
// player did not say "bye"; the lowest free, unreserved slot; the lowest free
// slot; else "the game is full".
Result<SlotChoice> find_free_slot(const SlotTable& table, std::optional<std::size_t> wished,
                                  std::optional<std::uint64_t> offered);

// A session with this id holds the slot from now; it is reserved for the id.
void take_slot(SlotTable& table, std::size_t slot, std::uint64_t id, Instant now);

// The slot's session was closed: free, and still reserved (away from now on)
// unless its player said "bye".
void vacate_slot(SlotTable& table, std::size_t slot, Instant now);

// "bye": no reservation and the bye mark, before the session is closed.
void say_bye(SlotTable& table, std::size_t slot);

// Whether the slot's player counts as gone: a joined player not heard from
// for the away time, a dropped one not back within it, or one who said "bye".
bool slot_is_away(const SlotTable& table, std::size_t slot, Instant now, std::chrono::nanoseconds away);

// The first occupied slot held by this session id.
std::optional<std::size_t> slot_of_session(const SlotTable& table, std::uint64_t id);

// A valid input datagram came from the slot's player.
void heard_from(SlotTable& table, std::size_t slot, const SocketAddress& source, Instant now);

}  // namespace velmora
