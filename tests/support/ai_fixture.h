// Game data and worlds for the enemy AI tests: the built-in data plus an open
// arena, a stage whose one wave brings every role, and copies of the enemy
// kinds that draw only what a test asks for (no jitter, no block).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/rng.h"
#include "core/world.h"

namespace velmora::testing {

struct AiKinds {
  std::uint64_t arena = 0;   // 6000 cm long, 300 deep, a 1200 cm view, no gates
  std::uint64_t proving = 0;  // one gate at the start, one wave of every role
  std::uint8_t brute = 0;     // bandit: jab 10..60 depth 25, bull_rush special, think 14, cooldown 50..100
  std::uint8_t skirmisher = 0;  // cutpurse: stab 10..80 depth 22, flee_hp 40, stand 300 90
  std::uint8_t steady = 0;      // the skirmisher with stand chance 0
  std::uint8_t archer = 0;      // jab, arrow_shot range 700, keep 350 600, stand 250 90
  std::uint8_t witch = 0;       // staff_poke 20..100, witch_bolt fp 2 range 600, keep 400 650
  std::uint8_t guard = 0;       // shieldbearer: spear_thrust 20..120 depth 22
  std::uint8_t blocker = 0;     // the brute with block 100
  std::uint8_t slow = 0;        // the brute with cooldown 70000..90000
  std::uint8_t bandit = 0;      // the built-in kinds as they are
  std::uint8_t chief = 0;
};

// Installs the data on first use; call before anything reads game data.
const AiKinds& ai_kinds();

// A party of n default-class players in the arena, the camera centred on
// 2000 cm (goals kept within 1500..2500), every player out of the way at
// x 5000 until placed.
World arena(std::size_t players, std::uint64_t seed = 7);

// Puts an actor at (x, z) in whole centimetres.
void place(Actor& a, std::int32_t x, std::int32_t z);

// Adds an enemy of team 1; returns its index.
std::size_t add_enemy(World& w, std::uint8_t kind, std::int32_t x, std::int32_t z);

// A generator whose next `chance(per_mille)` comes out as asked.
Rng rng_where(bool success, std::int32_t per_mille);

}  // namespace velmora::testing
