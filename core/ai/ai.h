// The enemy AI: the word and facing of an enemy for this tick, from its
// timers, its held word, its guard reaction and, when its think comes due,
// its target and its kind's role.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ai/ai_roles.h"
#include "core/base/buttons.h"
#include "core/world/world.h"

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

// The word of a think tick from a role's steer: walking bits toward a valid
// goal with the jitter roll when the steer does not act, the attack cooldown
// drawn when it attacks or uses the special, and the held word and facing
// kept for the ticks until the next think.
AiInput ai_steer_word(World& world, std::size_t index, const AiTarget& target, const AiSteer& steer);

}  // namespace velmora
