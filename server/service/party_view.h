// The replies a front end reads outside the fight: the party with the costs
// of the next character points, the merchant's stock beside the players'
// gear, and the players' gear alone. Each takes the message to send along.
#pragma once

#include <string>
#include <string_view>

#include "core/world/actor.h"
#include "server/service/protocol.h"
#include "server/service/requests.h"
#include "web/json.h"

namespace velmora {

// One party member as the party reply shows it.
Json member_json(const CharacterSheet& sheet);

// {"ok","message","node","party"}: the current party (the running stage's
// players, else the campaign's party, else nobody) and the campaign's node.
std::string reply_party(const ServerState& state, std::string_view message);

// {"ok","message","stock","players"} in a town; "there is no merchant here"
// anywhere else and without a game.
std::string reply_shop(const ServerState& state, std::string_view message);

// {"ok","message","town","in_combat","players"}; needs a game.
std::string reply_inventory(const ServerState& state, std::string_view message);

// "party", "shop" and "inventory": the replies with an empty message.
std::string request_party(ServerState& state, Words words);
std::string request_shop(ServerState& state, Words words);
std::string request_inventory(ServerState& state, Words words);

}  // namespace velmora
