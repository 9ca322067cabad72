// Interactions: chests, locks, traps, levers, doors, shop, inn and trainer
// answering the use button, work in progress, pickups and traps underfoot.
#pragma once

#include <cstddef>

#include "core/world.h"

namespace velmora {

// A fresh use press of an idle or walking player.
void interact(World& world, std::size_t index);

// Work completion of an actor in state work.
void finish_work(World& world, std::size_t index);

// Phase 14: food and silver near idle or walking players are taken.
void take_pickups(World& world);

// Phase 15: search rolls and traps springing.
void update_traps(World& world);

}  // namespace velmora
