// Move effects: what a special or spell does, to many actors at once, when
// its move reaches its first active frame. The tick queues such moves in the
// actor phase and applies them afterwards, in queue order (phase 8).
#pragma once

#include "core/world/world.h"

namespace velmora {

// The effects of one queued move, in a fixed order: rally; shout and taunt;
// raise; heal and ward; turning the undead; burst (not for a thrown move,
// whose burst travels with it); freeze; sleep; storm; vanish. The mover's
// own state is not looked at. Sets the marks the enemy AI reads: the taunt
// target, the attack cooldown of the turned, and the lock on a vanished mover.
void apply_move_effects(World& world, const DeferredMove& entry);

}  // namespace velmora
