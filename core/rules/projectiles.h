// Projectiles in flight and ground hazards, phase 12 of the tick.
#pragma once

#include "core/rules/combat.h"
#include "core/world/world.h"

namespace velmora {

// Moves every projectile one step and settles it: a plain one strikes the
// first foe it meets as a blow of its move (a player's also breaks a barrel),
// a bursting one bursts on the first foe or barrel it touches or where its
// flight ends and lays its item's hazard, a thrown item without a burst lays
// its hazard where it lands. Removal keeps the order of the others.
void update_projectiles(World& world);

// Ages every hazard (one of 1 tick left is gone without hurting) and hurts,
// once in its life, each foe standing on the floor inside it.
void update_hazards(World& world);

// The hit box of a projectile at its point, in whole centimetres.
AttackBox projectile_box(const Projectile& projectile);

}  // namespace velmora
