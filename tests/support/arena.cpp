#include "tests/support/arena.h"

#include <string>
#include <utility>

#include "core/clamp.h"
#include "core/game_data.h"
#include "core/panic.h"

namespace velmora::testing {

namespace {

MoveDef copy_move(const GameData& d, std::string_view from, std::string name) {
  MoveDef m = d.moves[move_id(d.moves, from).value()];
  m.name = std::move(name);
  return m;
}

ItemDef copy_item(const GameData& d, std::string_view from, std::string name) {
  ItemDef i = d.items[item_id(d.items, from).value()];
  i.name = std::move(name);
  return i;
}

GameData rule_data() {
  GameData d = builtin_data();
  MoveDef all = copy_move(d, "rally_cry", "t_all");
  all.shout = 90;
  all.taunt = 300;
  all.raise = 50;
  all.heal = 4;
  all.ward = WardSpec{2, 900};
  all.turn_undead = TurnUndeadSpec{240, 30};
  all.burst = BurstSpec{1, 0, 200, DamageType::crushing};
  all.freeze = RadiusTicks{170, 120};
  all.sleep = 240;
  all.storm = StormSpec{1, 0, DamageType::crushing};
  all.vanish = VanishSpec{300, 40};
  d.moves.push_back(all);
  MoveDef storm = copy_move(d, "rally_cry", "t_storm5");
  storm.rally.reset();
  storm.storm = StormSpec{0, 5, DamageType::crushing};
  d.moves.push_back(storm);
  MoveDef bolt = copy_move(d, "knife_throw", "t_bolt");
  bolt.projectile = ProjectileSpec{10, 100};
  d.moves.push_back(bolt);
  ItemDef kit = copy_item(d, "healing_potion", "t_kit");
  kit.heal = 5;
  kit.ward = WardSpec{3, 60};
  kit.burst = BurstSpec{1, 0, 100, DamageType::crushing};
  kit.hazard = HazardSpec{1, -5, 3};
  kit.turn = RadiusTicks{300, 50};
  d.items.push_back(kit);
  ItemDef spiked = copy_item(d, "fire_flask", "t_spiked");
  spiked.hazard = HazardSpec{1, 0, 60};
  d.items.push_back(spiked);
  return d;
}

}  // namespace

void install_rule_data() {
  static const bool installed = install_game_data(rule_data()).ok();
  VELMORA_CHECK(installed, "the rule test data could not be installed");
}

std::uint8_t move_named(std::string_view name) { return move_id(game_data().moves, name).value(); }
std::uint16_t item_named(std::string_view name) { return item_id(game_data().items, name).value(); }

Arena::Arena(std::uint64_t seed) {
  install_rule_data();
  w = new_game(0, seed, {});
  w.actors[0].gone = 1;
  w.props.clear();
  w.events.clear();
}

Actor& Arena::add(std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing) {
  const auto id = static_cast<std::uint16_t>(w.actors.size());
  w.actors.push_back(actor_from_kind(id, kind_id(game_data().kinds, kind).value(), team, 0, x, z, facing));
  Actor& a = w.actors.back();
  a.gear = {};
  a.dr = 0;
  return a;
}

void Arena::barrel(std::int32_t x, std::int32_t z) {
  Prop p;
  p.content = PropContent{BarrelContents::food, 4};
  p.x = fx_from_cm(x);
  p.z = fx_from_cm(z);
  p.index = static_cast<std::uint16_t>(w.props.size());
  w.props.push_back(p);
}

std::vector<EventKind> Arena::kinds() const {
  std::vector<EventKind> out;
  for (const Event& e : w.events) out.push_back(e.kind);
  return out;
}

std::vector<Event> Arena::of_kind(EventKind kind) const {
  std::vector<Event> out;
  for (const Event& e : w.events) {
    if (e.kind == kind) out.push_back(e);
  }
  return out;
}

Rng Arena::after_draws(std::size_t n) const {
  Rng r = w.rng;
  for (std::size_t i = 0; i < n; ++i) r.next();
  return r;
}

}  // namespace velmora::testing

namespace velmora {

void PrintTo(const Event& e, std::ostream* os) {
  *os << event_word(e.kind) << "{actor " << e.actor << " target " << e.target << " index " << e.index << " how "
      << int{e.how} << " damage " << int{static_cast<std::uint8_t>(e.damage)} << " blocked " << int{e.blocked}
      << " amount " << e.amount << " at " << e.x << " " << e.y << " " << e.z << "}";
}

}  // namespace velmora
