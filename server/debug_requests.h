// The debug requests: goto a node or a stage, give an item, boost a player.
// They work only while debug is on; give and boost end the recording of the
// stage, after saving what was recorded up to then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/world.h"
#include "server/requests.h"

namespace velmora {

// The index of the actor of a slot: the first player of that slot that has
// not left.
std::optional<std::size_t> actor_of_slot(const World& world, std::uint8_t slot);

// Puts an item on the actor: gear straight into its worn place (what was
// worn there is lost), anything else at the end of the bag.
void give_item(Actor& actor, std::uint16_t item);

std::string request_give(ServerState& state, Words words);
std::string request_boost(ServerState& state, Words words);
std::string request_goto(ServerState& state, Words words);

}  // namespace velmora
