// The online client's netcode state: a confirmed world that runs only ticks
// whose inputs the server confirmed, a predicted world that runs ahead with
// the local player's own words (given `delay` ticks ahead) and guesses for
// the others, and what it takes to roll the prediction back and run it again
// when the confirmed words differ from the guesses. Besides the advance and
// the input message it holds the network-free half of the client pump: taking
// in a tick message (confirmation walk, commands, hashes, slack) and a "cmd"
// line, and the pacing of one client tick. No socket, thread or clock inside.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/buttons.h"
#include "core/base/result.h"
#include "core/net/net_messages.h"
#include "core/replay/commands.h"
#include "core/world/events.h"
#include "core/world/world.h"

namespace velmora {

// The local word pressed when tick c runs acts at tick c + this.
inline constexpr std::uint64_t default_input_delay = 2;
// The prediction never runs more than this many ticks past the confirmed world.
inline constexpr std::uint64_t max_prediction_ticks = 30;
// Own state hashes kept for comparison with the server's.
inline constexpr std::size_t own_hashes_kept = 16;
// A slack below this makes the client jump ahead.
inline constexpr std::int32_t jump_slack = -8;
// The slack the client aims for and starts with.
inline constexpr std::int32_t target_slack = 2;
// Commands waiting for their ticks; a server that sends more is not followed.
inline constexpr std::size_t max_waiting_commands = 65536;

// Counters kept across stage changes and reconnections.
struct RollbackCounters {
  std::uint64_t rollbacks = 0;       // rollbacks that re-ran at least one tick
  std::uint64_t rollback_ticks = 0;  // ticks re-run by them
  std::uint64_t deepest = 0;         // the most ticks one rollback re-ran
  std::uint64_t hashes_compared = 0;
  std::uint64_t desyncs = 0;
  std::uint64_t command_waits = 0;  // ticks held back for "cmd" lines not yet here
  std::uint64_t jumped_ticks = 0;
  bool operator==(const RollbackCounters&) const = default;
};

struct RollbackSession {
  World confirmed;
  World predicted;
  std::vector<Event> own_events;        // the own fighter's, from predicted ticks
  std::vector<Event> confirmed_events;  // the other fighters', from confirmed ticks
  std::uint64_t slot = 0;
  std::uint64_t players = 1;
  std::uint64_t delay = default_input_delay;
  std::map<std::uint64_t, Buttons> local_inputs;
  std::map<std::uint64_t, std::array<Buttons, net_slots>> predicted_inputs;
  std::map<std::uint64_t, std::vector<Command>> commands;
  std::size_t waiting_commands = 0;  // the commands held in `commands`
  std::array<Buttons, net_slots> last_confirmed{};
  std::map<std::uint64_t, std::uint64_t> own_hashes;  // confirmed tick -> state hash
  std::optional<std::uint64_t> newest_own_hash;      // the last one stored, compared or not
  std::uint64_t server_hash_tick = 0;
  std::uint64_t server_hash = 0;
  std::uint64_t slack_fence = 0;
  RollbackCounters counters;
  std::int32_t slack = target_slack;
  std::uint16_t epoch = 0;
  bool rollback_needed = false;
};

// A session on the world (both worlds start as copies of it): players clamped
// to 1..4, the local word 0 for the first `delay` ticks. A slot above 3 is a
// broken invariant.
RollbackSession new_rollback_session(const World& world, std::uint64_t slot, std::uint64_t players,
                                     std::uint64_t delay, std::uint16_t epoch);

// The session of a new stage (a "sync" or a reconnection) with the counters
// of the old one; hashes, slack and fence start afresh.
RollbackSession renew_rollback_session(const RollbackSession& old, const World& world, std::uint16_t epoch);

// Runs one predicted tick with the local word (it acts `delay` ticks later),
// first re-running the prediction from the confirmed world when a rollback
// is needed.
void rollback_advance(RollbackSession& session, Buttons word);

// Runs tick t on the predicted world: its commands, then the last confirmed
// words with the local slot's own word.
void resimulate_tick(RollbackSession& session, std::uint64_t t);

// The newest local words after the confirmed tick, at most 32 of them.
InputMessage input_message(const RollbackSession& session);

// Takes in one tick message of the own epoch (another epoch is ignored):
// confirms its ticks in order while their commands are all here, flags a
// misprediction, keeps the slack and compares state hashes.
void receive_tick_message(RollbackSession& session, const TickMessage& message);

// Takes in one "cmd" line ("cmd EPOCH TICK COMMAND..."). A line that does not
// parse, of another epoch or for a confirmed tick is ignored; the error is
// kept for a server that sends more commands than the session holds.
Status receive_cmd_line(RollbackSession& session, std::string_view line);

// Stores a command for its tick: ignored for another epoch or a confirmed
// tick; one for a tick already predicted calls for a rollback.
Status receive_command(RollbackSession& session, std::uint16_t epoch, std::uint64_t tick, Command command);

// The own word for the tick the predicted world runs next.
using WordSource = std::function<Buttons(const World& predicted)>;

// One client tick: advances the prediction once, or jumps ahead when the
// slack is below -8, never more than 30 ticks past the confirmed world (at
// the limit nothing is advanced). The source is asked for the word of every
// tick advanced. The number of ticks advanced.
std::uint64_t client_tick(RollbackSession& session, const WordSource& word);
// The same with one word for every tick advanced.
std::uint64_t client_tick(RollbackSession& session, Buttons word);

// The time to the next client tick by the slack, in microseconds: 15332 below
// 2, 16666 for 2 to 5, 17999 for 6 to 13, 20832 above, divided by the speed
// (0 counts as 1).
std::uint64_t client_tick_period_us(std::int32_t slack, std::uint32_t speed);

}  // namespace velmora
