// A hand-built fight for the rule tests: the built-in data plus test moves
// and items, the first stage with its own party member put aside and no
// barrels, and fighters placed by the test.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "core/world.h"

namespace velmora::testing {

// The data, once per test program: the built-in set plus
//   move t_all     all ten move effects (rally 6 600, shout 90, taunt 300, raise 50,
//                  heal 4, ward 2 900, turn_undead 240 30, burst 1 0 200 crushing,
//                  freeze 170 120, sleep 240, storm 1 0 crushing, vanish 300 40)
//   move t_storm5  storm 0 5 crushing only
//   move t_bolt    a plain shot: knife_throw with projectile 10 100
//   item t_kit     heal 5, ward 3 60, burst 1 0 100 crushing, hazard 1 -5 3, turn 300 50
//   item t_spiked  a fire flask that also leaves hazard 1 0 60
std::uint8_t move_named(std::string_view name);
std::uint16_t item_named(std::string_view name);

struct Arena {
  World w;
  Arena();
  // A fighter of the kind without gear or DR, idle at (x, z) cm; actor 1 is the first added.
  Actor& add(std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing = 1);
  void barrel(std::int32_t x, std::int32_t z);
  std::vector<EventKind> kinds() const;
};

Rng after_draws(Rng r, int n);

}  // namespace velmora::testing

namespace velmora {
void PrintTo(const Event& e, std::ostream* os);
}  // namespace velmora
