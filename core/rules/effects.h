// Items, specials and spells: the effects of a used consumable, the area
// burst, ground hazards and the projectiles a move throws at its first
// active frame. Move effects (core/rules/move_effects.h) build on the same pieces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/world/world.h"

namespace velmora {

// Phase 7: the effects of one consumable whose use reached its first active
// frame, in this order: heal, ward, burst, hazard, turning the undead.
void apply_item_effects(World& world, const DeferredValue& entry);

// A burst centred on (x, z): the "blast" event, then every foe of the source
// in the radius takes the dice (drawn per target) against its DR and is
// thrown away from the centre; a player's burst breaks the barrels in it.
void burst_at(World& world, std::size_t source, Fx x, Fx z, const BurstSpec& burst);

// Lays a hazard at (x, z), z held inside the floor band, in the owner's name
// and for its team; appends "caltrops".
void spawn_hazard(World& world, std::size_t owner, Fx x, Fx z, std::int32_t dice, std::int32_t add,
                  std::uint16_t ticks);

// The projectiles of a projectile move at its first active frame: one, or
// three across the lane when the move has a spread.
void spawn_projectiles(World& world, std::size_t index);

// Whether (bx, bz) lies within the radius of (ax, az): the Fx differences
// shifted to whole centimetres, squared and summed in 64 bits.
bool within_radius(Fx ax, Fx az, Fx bx, Fx bz, std::int32_t radius);

// Throws the target up and away from from_x (right when it stands at or right
// of it), facing back toward it: state fall, 4 cm/tick sideways, 7 up.
void knock_up(Actor& target, Fx from_x);

// The sum of `dice` draws of d6, one after another (none when dice is 0 or less).
std::int64_t roll_d6s(Rng& rng, std::int32_t dice);

// Raises hit points by up to `amount`, never above the maximum and never
// below what the actor had; appends "heal" with the points gained.
void heal_actor(World& world, Actor& target, std::int64_t amount);

// One target of area damage (a burst or a storm bolt), in the attacker's
// name: add plus `dice` d6 drawn now for this target, less DR with no armour
// divisor, wounded by the damage type (impaling on the undead unmultiplied);
// then the target is knocked up away from from_x and the "hit" event shows
// the height it had before.
void area_strike(World& world, std::uint16_t attacker, Actor& target, Fx from_x, std::int32_t dice,
                 std::int32_t add, DamageType type);

}  // namespace velmora
