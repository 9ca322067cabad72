// Moves and hits: attack boxes, the melee hit phase and resolve_hit, the one
// routine that applies a blow, melee or thrown, by the damage rules.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/world/world.h"

namespace velmora {

// Thrust and swing dice and adds by ST 1 to 20.
struct StDamage {
  std::int32_t thrust_dice, thrust_add, swing_dice, swing_add;
};
extern const std::array<StDamage, 20> st_damage_table;

// Wounding multiplier in halves, by damage type.
std::int32_t wound_factor_halves(DamageType type);

// Inclusive box in whole centimetres.
struct AttackBox {
  std::int32_t x0, x1, y0, y1, z0, z1;
  bool operator==(const AttackBox&) const = default;
};

std::optional<AttackBox> attack_box(const Actor& actor);

// Not gone, not knocked out, down or getting up, not invulnerable, and not
// a falling body already juggled twice: a body any blow may still reach.
bool open_to_blows(const Actor& actor);

// Whether the box meets the actor's hurt area (a falling body lies flat).
bool box_hits_body(const AttackBox& box, const Actor& body);

// Whether the box meets a barrel: 35 cm each way in x, 20 in z, 0 to 100 high.
bool box_hits_prop(const AttackBox& box, const Prop& prop);

// Breaks a whole barrel: the "break" event and its content as a pickup (when
// the stage's pickup list has room).
void break_prop(World& world, Prop& prop);

// Temporary hit points take the injury first, the rest comes off hit points.
void take_injury(Actor& target, std::int64_t injury);

// Phase 11: every attacking actor's box against the others and the breakables.
void melee_hits(World& world);

// Applies one blow of `move` from the attacker to the target; attacker_x is
// where the blow comes from (the attacker's or the projectile's x).
void resolve_hit(World& world, std::size_t attacker, std::size_t target, std::uint8_t move, Fx attacker_x,
                 bool projectile);

// The poison step of one actor in the status timers.
void poison_tick(World& world, std::size_t index);

}  // namespace velmora
