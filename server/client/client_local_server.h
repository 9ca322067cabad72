// The online client's own line protocol: while the program plays online for
// a front end (without --bot), it serves that front end the local server's
// protocol on 127.0.0.1, so that the front end plays an online game as it
// plays a local one. "tick" runs one pass of the client (the pump, then the
// paced tick loop) and answers with the predicted world and how the session
// stands; game-changing requests go to the online server as session lines and
// come back with the server's reply; what only a local game can do is refused.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/buttons.h"
#include "server/client/client_pump.h"
#include "server/client/client_session.h"

namespace velmora {

inline constexpr std::string_view offline_only_message = "not available in an online game";

// The front end's side of a joined session: the session and the debug
// switch of the views, which is the front end's own.
struct ClientFront {
  explicit ClientFront(ClientSession& s) : session(s) {}
  ClientSession& session;
  bool debug = false;
};

inline constexpr std::string_view bad_buttons_message = "buttons must be a bitfield number or bot";

// The own word of a "tick" request's words ("tick" first): the word at the
// own slot's place, else the first button word, else "0". A 16-bit number is
// the word of every tick; "bot" lets the bot play the slot. Any other word is
// refused, as the local server refuses it, rather than handing the player's
// fighter to the bot over a typing slip.
std::optional<InputSource> tick_input(std::span<const std::string_view> words, std::uint64_t slot);

// One request line of the front end; one JSON object as text.
std::string client_local_request(ClientFront& front, std::string_view line);

// Serves the front end on 127.0.0.1 and the port until "quit" (status 0);
// "LISTENING {port}" on `out` once ready. A port that cannot be bound is
// reported on `err` and gives status 1.
int serve_local_online(ClientSession& session, std::uint16_t port, std::ostream& out, std::ostream& err);

}  // namespace velmora
