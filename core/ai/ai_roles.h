// The enemy roles: what an enemy that thinks this tick wants to do about its
// target. Each role reads the world as it stood before anybody moved and
// writes only its own actor's stand and retreat marks and the world's Rng.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/base/buttons.h"
#include "core/world/world.h"

namespace velmora {

// The player an enemy thinks about; x and z in whole centimetres.
struct AiTarget {
  std::int32_t x = 0;
  std::int32_t z = 0;
  std::int8_t facing = 0;
  std::uint16_t id = 0;
  std::uint8_t busy = 0;  // 1 while the target falls, lies or gets up
  bool operator==(const AiTarget&) const = default;
};

// A role's decision: walk toward the goal (whole centimetres) when valid,
// press the buttons, face the given way (+1 right, -1 left). Only a
// shooter's dash away comes without a goal.
struct AiSteer {
  std::int32_t valid = 1;
  std::int32_t goal_x = 0;
  std::int32_t goal_z = 0;
  Buttons buttons = 0;
  std::int8_t facing = 1;
  bool operator==(const AiSteer&) const = default;
};

// The target record of an actor.
AiTarget ai_target_of(const Actor& target);

// Presses in with the light move when engaged, hangs back at a distance
// otherwise; charges with its special from afar now and then.
AiSteer ai_brute(World& world, std::size_t index, const AiTarget& target);

// Stands between the nearest shooter, caster or boss of its side and the
// player nearest to it; a brute when there is nobody to shield.
AiSteer ai_guard(World& world, std::size_t index, const AiTarget& target);

// Hits and works its way behind the target, hangs back while its attack
// cools down, flees when low unless it sees an opening or stands its ground.
AiSteer ai_skirmisher(World& world, std::size_t index, const AiTarget& target);

// Keeps its kind's distance band and fires its special from there (ranged
// kinds always, casters while their fatigue pays); stands, backs off or
// dashes away when pressed.
AiSteer ai_shooter(World& world, std::size_t index, const AiTarget& target);

}  // namespace velmora
