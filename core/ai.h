// The enemy AI: the word and facing of an enemy for this tick, from its
// timers, its held word, its guard reaction and, when its think comes due,
// its target and its kind's role.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/buttons.h"
#include "core/world.h"

namespace velmora {

struct AiInput {
  Buttons buttons = 0;
  std::int8_t facing = 0;  // 0: none
  bool operator==(const AiInput&) const = default;
};

// Decides on positions as they are at the start of the tick. Writes nothing
// but the enemy's own AI fields and the world's Rng; a gone enemy gets the
// word 0 and is left as it is.
AiInput enemy_input(World& world, std::size_t index);

}  // namespace velmora
