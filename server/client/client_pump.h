// What moves the online client's two worlds. The pump takes in everything
// the server sent since the last pass: session lines (replies, "cmd",
// "looks", "sync") and tick datagrams (confirmed ticks, slack, the server's
// hash). The client tick loop, which a front end runs after the pump, keeps
// the session alive with "ping", paces the predicted world by the slack,
// advances it and sends one input datagram per tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/base/buttons.h"
#include "core/world/world.h"
#include "server/client/client_session.h"

namespace velmora {

// Ticks one pass of the tick loop runs at most.
inline constexpr std::uint64_t max_ticks_per_pass = 8;
// A loop further behind its deadline than this starts again from now.
inline constexpr std::chrono::milliseconds catch_up_limit{250};
// Lines and datagrams one pump takes at most; the rest wait for the next.
inline constexpr std::size_t max_lines_per_pump = 1024;
inline constexpr std::size_t max_datagrams_per_pump = 256;

// The own word for the tick the predicted world runs next.
using InputSource = std::function<Buttons(const World& predicted)>;

// One pass over the waiting lines and datagrams; waits only while a new
// stage record is read.
void client_pump(ClientSession& session);

// One line of the session stream.
void handle_server_line(ClientSession& session, std::string line);

// One received datagram: a tick message of the own session is taken in.
void handle_tick_datagram(ClientSession& session, std::span<const std::uint8_t> bytes);

// The client tick loop: keep-alive, up to 8 paced ticks each with its input
// datagram, the catch-up limit, the events handed to the front end. The
// number of ticks the predicted world advanced.
std::uint64_t client_tick_loop(ClientSession& session, const InputSource& input);

}  // namespace velmora
