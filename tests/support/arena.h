// A hand-built fight for the rule tests: the built-in data plus test moves
// (t_all: all ten move effects; t_storm5: storm 0 5 crushing; t_bolt: a plain
// shot of SPEED 10 and RANGE 100), items (t_kit: heal 5, ward 3 60, burst 1 0
// 100 crushing, hazard 1 -5 3, turn 300 50; t_spiked: a fire flask that also
// leaves hazard 1 0 60) and kinds (t_ghoul: an elite skeleton; t_brute: a
// heavy bandit), on the first stage (camera 600, view 1200) with its own
// party member put aside and no barrels.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "core/world/world.h"

namespace velmora::testing {

std::uint8_t move_named(std::string_view name);
std::uint16_t item_named(std::string_view name);

struct Arena {
  World w;
  Arena();
  // A fighter of the kind without gear or DR at (x, z) cm; the first one added is actor 1.
  Actor& add(std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing = 1);
  void barrel(std::int32_t x, std::int32_t z);  // a whole barrel of food
  std::vector<EventKind> kinds() const;
};

Rng after_draws(Rng r, int n);
std::int32_t d6_of(Rng& r);  // the next die of a copy of the world's generator

}  // namespace velmora::testing

namespace velmora {
void PrintTo(const Event& e, std::ostream* os);
}  // namespace velmora
