// The scripted client: plays its online slot without a front end until it
// has played its ticks, optionally swapping weapons, dropping its session,
// moving the game to another area or saying goodbye on the way, and ends with
// one status line on standard output. A load and test client for the online
// server: its exit status tells whether it stayed in step with the server.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/replay/commands.h"
#include "core/world/world.h"
#include "server/client/client_pump.h"
#include "server/client/client_session.h"
#include "server/client/script_config.h"

namespace velmora {

// Ticks between two weapon swaps.
inline constexpr std::uint64_t swap_every_ticks = 150;
// A run that played this many ticks must have compared a state hash.
inline constexpr std::uint64_t ticks_before_a_hash = 120;

// The swap for the own fighter: unequip a worn weapon, else equip the last
// weapon of the bag; none without a live fighter or a weapon.
std::optional<Command> swap_command(const World& world, std::uint64_t slot);

// "slot {} session {} fighters {} epoch {} predicted {} confirmed {} status {}
// hash {:016x}: rollbacks {} deepest {} jumped {} commands {} reconnects {}
// hashes compared {} desyncs {}".
std::string status_line(const ClientSession& session, std::uint64_t commands);

// Runs the script on a joined session; the exit status: 1 when the game was
// lost, a desync was seen or nothing was checked (no confirmed tick, or no
// hash compared in a run of 120 ticks or more; a run of 0 ticks is checked
// for neither), else 0. Closes the session.
int client_script(ClientSession& session, const ScriptConfig& config, const InputSource& input, std::ostream& out);

}  // namespace velmora
