// Items, specials and spells: the effects of the deferred queues, projectile
// spawning at a move's first active frame.
#pragma once

#include <cstddef>

#include "core/world.h"

namespace velmora {

// Phase 7: the effect of one consumable whose use reached its first active frame.
void apply_item_effects(World& world, const DeferredValue& entry);

// Phase 8: the special effects of one move at its first active frame.
void apply_move_effects(World& world, const DeferredMove& entry);

// The projectiles of a projectile move at its first active frame.
void spawn_projectiles(World& world, std::size_t index);

}  // namespace velmora
