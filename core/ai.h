// The enemy AI: the word and facing of an enemy for this tick.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/buttons.h"
#include "core/world.h"

namespace velmora {

struct AiInput {
  Buttons buttons = 0;
  std::int8_t facing = 0;  // 0: none
};

// Decides on positions as they are at the start of the tick.
AiInput enemy_input(World& world, std::size_t index);

}  // namespace velmora
