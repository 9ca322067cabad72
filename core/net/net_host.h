// The online server's netcode state for one stage: the button words each slot
// has sent for coming ticks, the confirmed ticks not yet acknowledged by every
// player, each slot's acknowledged and last received ticks, how far ahead of
// the server each slot runs, and the latest state hash. The server loop feeds
// it accepted input datagrams, takes one word per slot for every tick, and
// builds each player's tick datagram from its history. It holds no socket and
// reads no clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/base/buttons.h"
#include "core/base/result.h"
#include "core/net/net_messages.h"
#include "core/replay/commands.h"
#include "core/world/world.h"

namespace velmora {

// Inputs are kept for ticks T + 1 .. T + `input_horizon` (T the last tick run).
inline constexpr std::uint64_t input_horizon = 120;
// Leads kept per slot, and the range a lead is clamped to.
inline constexpr std::size_t lead_window_size = 20;
inline constexpr std::int32_t max_lead = 127;
// After this many missing ticks in a row a slot's word becomes 0.
inline constexpr std::uint64_t max_repeated_ticks = 20;
// A jump of more than this in a slot's last received tick restarts its lead window.
inline constexpr std::uint64_t lead_restart_jump = 8;
// The state hash is refreshed on every tick that is a multiple of this.
inline constexpr std::uint64_t hash_interval = 60;
// The confirmed ticks kept for a slot that has not acknowledged them: a
// minute of play. A slot that falls further behind is let go (its session is
// closed and rejoins with a fresh stage record), so the history stays bounded.
inline constexpr std::uint64_t max_history_ticks = 3600;
// The party commands one tick can carry (the wire's count byte).
inline constexpr std::uint8_t max_tick_commands = 255;

// The refusal of a party command when the coming tick already carries
// `max_tick_commands`.
inline constexpr const char* too_many_commands_message = "too many commands in this tick, try again";

// A slot's inputs by tick: a ring over the input horizon, each entry tagged
// with its tick (0 is never a stored tick, since stored ticks lie above T).
struct InputStore {
  struct Entry {
    std::uint64_t tick = 0;
    Buttons word = 0;
  };
  std::array<Entry, 128> entries{};

  void put(std::uint64_t tick, Buttons word);
  std::optional<Buttons> take(std::uint64_t tick);
  bool holds(std::uint64_t tick) const;
  void clear() { entries = {}; }
};

// The last `lead_window_size` leads of a slot, oldest dropped first.
struct LeadWindow {
  std::array<std::int32_t, lead_window_size> leads{};
  std::size_t size = 0;
  std::size_t next = 0;  // where the next lead goes

  void push(std::int32_t lead);
  void clear() { size = next = 0; }
  // The least lead, 0 when empty.
  std::int32_t least() const;
};

struct NetHost {
  std::array<InputStore, net_slots> inputs{};  // slots below `players` are used
  std::deque<TickRecord> history;              // the confirmed ticks from history_base on
  std::array<LeadWindow, net_slots> lead{};
  std::uint64_t players = 1;  // 1 to 4
  std::uint64_t tick = 0;     // T, the last tick run
  std::array<Buttons, net_slots> last{};  // each slot's last word, used again while one is missing
  std::uint64_t history_base = 1;
  std::array<std::uint64_t, net_slots> acked{};
  std::array<std::uint64_t, net_slots> last_received{};
  std::uint64_t hash_tick = 0;
  std::uint64_t hash = 0;
  std::array<std::uint64_t, net_slots> miss{};
  std::array<std::uint64_t, net_slots> guessed{};  // counted only while active
  std::array<std::uint8_t, net_slots> active{};
  std::uint16_t epoch = 0;
  std::uint8_t commands = 0;  // taking effect at T + 1
};

// A host for players (clamped to 1..4) slots at the start tick; slots below
// the player count are active.
NetHost new_net_host(std::uint64_t players, std::uint64_t start, std::uint16_t epoch);

// A player session took the slot: it is active, acknowledges T, and its
// inputs, lead window and last received tick start afresh.
void activate_slot(NetHost& host, std::uint64_t slot);

// The session of the slot ended: it no longer holds the history back.
void deactivate_slot(NetHost& host, std::uint64_t slot);

// The inputs of an accepted input datagram of the slot (nothing for another
// epoch or a slot beyond the player count).
void add_inputs(NetHost& host, std::uint64_t slot, const InputMessage& message);

// The words of tick T + 1, one per slot: the stored word, else the slot's last
// word while it has been missing for at most 20 ticks, else 0.
std::array<Buttons, net_slots> next_inputs(NetHost& host);

// Records the tick just run with these words: T grows by 1, the tick goes to
// the history with the coming commands' count, the state hash of the world is
// taken on every 60th tick, and the history is dropped up to the least
// acknowledged tick of the active slots. A slot whose acknowledgements fall
// more than `max_history_ticks` behind is deactivated; the answer has bit
// 1 << slot set for each slot let go so (its session is to be closed).
std::uint8_t confirm_tick(NetHost& host, const std::array<Buttons, net_slots>& inputs, const World& world);

// Whether the coming tick can carry one more party command.
bool command_room(const NetHost& host);

// Counts one party command for the coming tick; refused with
// `too_many_commands_message` when the tick is full.
Status note_command(NetHost& host);

// "cmd EPOCH TICK COMMAND": a command taking effect at the tick.
std::string cmd_line(std::uint16_t epoch, std::uint64_t tick, const Command& command);

// The slack the slot is told: its least lead, 0 when none.
std::int8_t slot_slack(const NetHost& host, std::uint64_t slot);

// Applies one received datagram. `session_ids` holds the session id of each
// occupied slot. The sender's slot when the datagram is a well-formed input
// datagram of an occupied slot (the caller then records its address and the
// time it was heard, whatever its epoch); none when it is dropped.
std::optional<std::size_t> handle_input_datagram(NetHost& host, std::span<const std::uint8_t> datagram,
                                                 const std::array<std::optional<std::uint64_t>, net_slots>& session_ids);

// The TickMessage of one slot: its unacknowledged confirmed ticks (at most
// 64), its slack, its last received tick and the latest hash.
TickMessage tick_message(const NetHost& host, std::uint64_t slot);

// The bytes of the slot's tick datagram, written over `out`.
void build_tick_message(const NetHost& host, std::uint64_t slot, std::uint64_t session_id,
                        std::vector<std::uint8_t>& out);

}  // namespace velmora
