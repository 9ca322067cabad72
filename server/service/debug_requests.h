// The debug requests: goto a node or a stage, give an item, boost a player.
// They work only while debug is on; give and boost end the recording of the
// stage, after saving what was recorded up to then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/rules/party_commands.h"
#include "core/world/world.h"
#include "server/service/requests.h"

namespace velmora {

std::string request_give(ServerState& state, Words words);
std::string request_boost(ServerState& state, Words words);
std::string request_goto(ServerState& state, Words words);

}  // namespace velmora
