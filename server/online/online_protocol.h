// The session protocol of the online server: "connect" and its refusals,
// "welcome" with the stage record and the looks, the lines of a joined
// player ("bye", "ping", "look" and the requests allowed online), the "cmd"
// and "sync" lines that keep every client's copy of the game in step, and the
// away check that takes a gone player's fighter off the stage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/online/online_server.h"

namespace velmora {

// The reasons of a "refused" line.
inline constexpr std::string_view refused_expected = "expected: connect PROTOCOL DATA_HASH [SLOT]";
inline constexpr std::string_view refused_data = "the game data differs from the server's";

// Reads a "connect" line only as far as the join rules look: its first word
// against "connect", the protocol number, the data hash against the server's,
// then the wished slot and the offered session id. Nothing past the fifth word
// is read, nor a first word or hash past its expected length. The error is
// the refusal's reason.
Result<ConnectWish> read_connect(std::string_view line);

// The server loop's handling of one line of a session (a key no longer in
// the session map is ignored); a session that has not joined reads it as its
// "connect" line.
void handle_session_line(OnlineServer& server, std::uint64_t key, std::string_view line);

// The loop's handling of a connection's "connect" line as its reader read it:
// the slot choice and the welcome, or the refusal.
void handle_join_request(OnlineServer& server, std::uint64_t key, const Result<ConnectWish>& wish);

// A line past the request line cap: a joined session gets the error reply
// "request line too long", one that has not joined the line "refused request
// line too long" (a JSON line would read as a malformed welcome); then the
// session is closed.
void handle_line_too_long(OnlineServer& server, std::uint64_t key);

// Runs one request of a joined session on the service state and gives its
// reply; a stage change sends every joined session the new stage record, and
// each party command the request added goes out as a "cmd" line.
std::string session_request(OnlineServer& server, std::string_view line);

// "sync EPOCH COUNT", the replay text of the running stage without its
// trailing party commands, then a "cmd" line for each of those.
std::vector<std::string> stage_record_lines(const OnlineServer& server);

// "looks" and the four look numbers.
std::string looks_line(const OnlineServer& server);

// Takes the fighter of every away slot off the stage while another player
// fighter stays on it.
void away_check(OnlineServer& server);

}  // namespace velmora
