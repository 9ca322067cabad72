// The campaign map and the roads between its nodes: the map reply and the
// requests "map", "continue", "travel" and "retry", and the campaign's party
// kept in step with a finished stage.
#pragma once

#include <string>
#include <string_view>

#include "server/service/protocol.h"
#include "server/service/requests.h"

namespace velmora {

// {"ok","message","campaign","nodes"}: every node on the campaign's map with
// its links, whether it is cleared, whether the party stands there and
// whether a road is open to it. Without a campaign: "no campaign".
std::string reply_map(const ServerState& state, std::string_view message);

// A stage's loss on a wipe: a quarter of the silver, never leaving less than 0.
std::int32_t silver_after_wipe(std::int32_t silver);

// After a party command on a finished stage (no replay watched): what the
// players now own (bag, worn gear, learned arts, silver) goes to the
// campaign's sheets of the same slots, so that the next stage begins with it.
void keep_campaign_in_step(ServerState& state);

std::string request_map(ServerState& state, Words words);
std::string request_continue(ServerState& state, Words words);
std::string request_travel(ServerState& state, Words words);
std::string request_retry(ServerState& state, Words words);

}  // namespace velmora
