// Interactions: chests, locks, traps, levers, doors, shop, inn and trainer
// answering the use button, work in progress, pickups and traps underfoot,
// and the one place where things are laid on the floor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/world/world.h"

namespace velmora {

// The most pickups one stage holds, taken ones included (they keep their
// place, since a pickup's id is its position in the list). A pickup beyond
// it is not laid, so the list stays bounded and ids never wrap.
inline constexpr std::size_t max_stage_pickups = 1024;

// Work kinds of an actor in state work.
inline constexpr std::uint8_t work_pick = 1;
inline constexpr std::uint8_t work_force = 2;
inline constexpr std::uint8_t work_disarm = 3;

// Lays a pickup at (x, z) with the next id; false when the stage's list is
// full, and then nothing changes.
bool lay_pickup(World& world, PickupContent content, Fx x, Fx z);

// A fresh use press of an idle or walking player: the first thing near it
// that answers (town places, item pickups, chests, doors, levers, seen traps).
void interact(World& world, std::size_t index);

// Work completion of an actor in state work whose time is up.
void finish_work(World& world, std::size_t index);

// Opens a chest: experience to the pool, the chest marked open, its loot rolled
// and laid in a row in front of it.
void open_chest(World& world, std::size_t chest);

// The trap springs on the actor: it is hurt (never below 1 hit point) and falls.
void spring_trap(World& world, std::size_t trap, std::size_t index);

// Phase 14: food and silver near idle or walking players are taken.
void take_pickups(World& world);

// Phase 15: search rolls of every player, then traps springing.
void update_traps(World& world);

}  // namespace velmora
