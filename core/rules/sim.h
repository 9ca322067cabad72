// The tick: one step of 1/60 s of a world, its phases in a fixed order.
#pragma once

#include <span>

#include "core/base/buttons.h"
#include "core/world/world.h"

namespace velmora {

// Advances the world by one tick; inputs holds one word per party slot.
void tick(World& world, std::span<const Buttons> inputs);

// The steps of the tick that belong to no single rule, run by `tick` in
// their place; callable alone for a world set up by hand.

// 1 when a gate is locked or any enemy is live.
void update_fighting(World& world);

// Which enemies press the players, the nearest first; the tick recomputes it
// on ticks 1, 16, 31, ... and the flags hold in between.
void update_engagement(World& world);

// Temporary hit points, stealth, held marks, taunts and poison of every actor.
void status_timers(World& world);

// The camera follows the live players by at most 8 cm a tick, never past the
// next gate's centre, and keeps the view inside the stage.
void update_camera(World& world);

}  // namespace velmora
