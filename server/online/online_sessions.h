// The online server's session map: lines queued to a session and written
// without ever making the loop wait, broadcasts to the joined players, and
// closing a session (which frees its slot).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "server/online/online_server.h"

namespace velmora {

// A new connection enters the map as connected, charged to its peer's
// origin. With `max_unjoined_per_address` of that origin connected already,
// their oldest is closed first, without a line; else with
// `max_unjoined_sessions` connected in all, the oldest of the origin holding
// the most. A joined session is never closed to make room. An entry with the
// same key is closed first.
void add_session(OnlineServer& server, std::uint64_t key, std::unique_ptr<Stream> stream);

// Queues one line (a "\n" is added) for the session; a key no longer in the
// map is ignored. A session whose backlog passes its cap is closed.
void send_to_session(OnlineServer& server, std::uint64_t key, std::string_view text);

// Queues the line for every joined session.
void broadcast_line(OnlineServer& server, std::string_view text);

// Writes what each session's stream takes now; closes a session whose write
// fails, whose bytes have not moved for `stalled_time`, or that has not
// joined within `join_time`.
void flush_sessions(OnlineServer& server);

// Closes one session: its last queued bytes are offered once more, the
// connection is shut down, and a joined session's slot is freed (kept
// reserved for a reconnect unless its player said "bye"). Nothing for a key
// not in the map.
void close_session(OnlineServer& server, std::uint64_t key);

// The keys of the joined sessions holding the slot.
std::vector<std::uint64_t> filter_sessions(const OnlineServer& server, std::size_t slot);

}  // namespace velmora
