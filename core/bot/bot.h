// The bot: the button word a computer-controlled player presses this tick.
//
// It reads the world and changes nothing, keeps no memory between ticks, and
// gives the same word for the same world and slot, so it runs on any copy of
// a world. In order, the first step that decides gives the word: guard
// against a blow or a shot coming in, rest while blocking or winded, use a
// special, fight the target its class's focus picks, then pick up food and
// silver, break barrels, pull levers and travel through the stage.
#pragma once

#include <cstddef>

#include "core/base/buttons.h"
#include "core/world/world.h"

namespace velmora {

// The word for the player of a party slot: its actor that has not left.
// No such actor, or a knocked-out one, presses nothing.
Buttons bot_input(const World& world, std::size_t slot);

}  // namespace velmora
