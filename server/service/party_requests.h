// The party commands of the line protocol: buy, sell, join, leave, spend,
// train, equip, unequip, drop and hand. Each reads its words, calls the
// player command on the game and, on success, appends the same command to the
// stage's record, so that a replay plays it back exactly as it was played.
#pragma once

#include <string>

#include "server/service/requests.h"

namespace velmora {

std::string request_buy(ServerState& state, Words words);
std::string request_sell(ServerState& state, Words words);
std::string request_join(ServerState& state, Words words);
std::string request_leave(ServerState& state, Words words);
std::string request_spend(ServerState& state, Words words);
std::string request_train(ServerState& state, Words words);
std::string request_equip(ServerState& state, Words words);
std::string request_unequip(ServerState& state, Words words);
std::string request_drop(ServerState& state, Words words);
std::string request_hand(ServerState& state, Words words);

}  // namespace velmora
