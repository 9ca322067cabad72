// Actor control: how a button word becomes action, the state machine with its
// timers, starting moves, walking, jumping, dashing and guarding,
// regeneration, and movement with gravity and the stage's bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/base/buttons.h"
#include "core/world/world.h"

namespace velmora {

// Spends stamina, raised by worn fatigue; true when the actor became winded now.
bool spend_stamina(Actor& actor, std::int32_t cost);

// Starts a move: pays its costs and enters the attack state.
void start_move(Actor& actor, std::uint8_t move);

// Steps the selected quick item through the bag's distinct consumables.
void cycle_quick_item(Actor& actor, int step);

// Back to idle: vanish_strike 0, state idle, state_ticks 0, vx = vz = 0.
void to_idle(Actor& actor);

// Carried weight (worn and bag) in tenths of a pound.
std::int64_t carried_weight(const Actor& actor);

// Carried weight against the basic lift 2 × ST²: the walking level 5 (light) .. 1, and the parry penalty 0 .. -4.
std::int32_t encumbrance_level(const Actor& actor);
std::int32_t encumbrance_penalty(const Actor& actor);

// The closed barriers of the current stage: its barriers minus those whose x
// is the barrier_x of a pulled lever, in the stage's order.
void closed_barriers(const World& world, std::vector<std::int32_t>& out);

// The actor phase for one actor (neither held nor gone): button edges and
// timers, quick item and special selection, regeneration, cancels, the state
// handler, interactions on a fresh use and work completion (called only once
// the work's time is up), and the winded notice. Effects of moves and items
// reaching their first active frame are queued in the world's deferred lists.
void actor_step(World& world, std::size_t index, Buttons buttons, std::int8_t ai_facing);

// The movement phase for one actor (neither held nor gone): integration,
// gravity and landing, friction, the floor band and stage length, the closed
// barriers given (each holds the actor on the side it started the tick on)
// and, for players, the camera window.
void move_actor(World& world, std::size_t index, std::span<const std::int32_t> barriers);

}  // namespace velmora
