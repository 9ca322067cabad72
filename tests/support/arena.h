// A hand-built fight for the rule tests: the built-in data with a few test
// moves and items added, on the first stage with its own party member put
// aside, no barrels, and fighters placed by the test.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "core/world.h"

namespace velmora::testing {

// Installs the data once per test program: the built-in set plus
//   move t_all      every move effect at once (rally 6 600, shout 90,
//                   taunt 300, raise 50, heal 4, ward 2 900, turn_undead
//                   240 30, burst 1 0 200 crushing, freeze 170 120,
//                   sleep 240, storm 1 0 crushing, vanish 300 40)
//   move t_storm5   storm 0 5 crushing and nothing else
//   move t_bolt     a plain shot: knife_throw with projectile 10 100
//   item t_kit      heal 5, ward 3 60, burst 1 0 100 crushing,
//                   hazard 1 -5 3, turn 300 50 (used by quaffing)
//   item t_spiked   a fire flask that also leaves hazard 1 0 60
void install_rule_data();

std::uint8_t move_named(std::string_view name);
std::uint16_t item_named(std::string_view name);

struct Arena {
  World w;

  explicit Arena(std::uint64_t seed = 7);

  // A fighter of the kind without gear or DR of its own, idle, at (x, z) cm.
  Actor& add(std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing = 1);

  // A whole barrel of food at (x, z) cm.
  void barrel(std::int32_t x, std::int32_t z);

  std::vector<EventKind> kinds() const;
  // The events of one kind, in order.
  std::vector<Event> of_kind(EventKind kind) const;
  // The world's generator after n more draws.
  Rng after_draws(std::size_t n) const;
};

}  // namespace velmora::testing

namespace velmora {
// Events as tests print them: the word and the fields that are set.
void PrintTo(const Event& e, std::ostream* os);
}  // namespace velmora
