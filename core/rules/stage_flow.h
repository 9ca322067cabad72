// Gates, waves and the end of a stage, with the rewards of knocked-out
// enemies and the sharing of experience.
#pragma once

#include <cstddef>

#include "core/world/world.h"

namespace velmora {

// An enemy just turned ko: experience to the pool, silver and drops to the floor.
void ko_rewards(World& world, std::size_t index);

// The pool shared among the present players (every tick).
void share_experience(World& world);

// Locks gates, counts down and spawns waves, clears gates and revives.
void gates_and_waves(World& world);

// Cleared or wiped.
void stage_end(World& world);

}  // namespace velmora
