#include "tests/support/arena.h"

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/data/game_data.h"

namespace velmora::testing {

namespace {

GameData rule_data() {
  GameData d = builtin_data();
  MoveDef all = d.moves[move_id(d.moves, "rally_cry").value()];
  MoveDef storm = all, bolt = d.moves[move_id(d.moves, "knife_throw").value()];
  all.name = "t_all", all.shout = 90, all.taunt = 300, all.raise = 50, all.heal = 4, all.sleep = 240;
  all.ward = WardSpec{2, 900}, all.turn_undead = TurnUndeadSpec{240, 30}, all.freeze = RadiusTicks{170, 120};
  all.burst = BurstSpec{1, 0, 200, DamageType::crushing}, all.storm = StormSpec{1, 0, DamageType::crushing};
  all.vanish = VanishSpec{300, 40};
  storm.name = "t_storm5", storm.rally.reset(), storm.storm = StormSpec{0, 5, DamageType::crushing};
  bolt.name = "t_bolt", bolt.projectile = ProjectileSpec{10, 100};
  d.moves.insert(d.moves.end(), {all, storm, bolt});
  ItemDef kit = d.items[item_id(d.items, "healing_potion").value()];
  ItemDef spiked = d.items[item_id(d.items, "fire_flask").value()];
  kit.name = "t_kit", kit.heal = 5, kit.ward = WardSpec{3, 60}, kit.burst = BurstSpec{1, 0, 100, DamageType::crushing};
  kit.hazard = HazardSpec{1, -5, 3}, kit.turn = RadiusTicks{300, 50};
  spiked.name = "t_spiked", spiked.hazard = HazardSpec{1, 0, 60};
  d.items.insert(d.items.end(), {kit, spiked});
  KindDef ghoul = d.kinds[kind_id(d.kinds, "skeleton").value()], brute = d.kinds[kind_id(d.kinds, "bandit").value()];
  ghoul.name = "t_ghoul", ghoul.elite = true, brute.name = "t_brute", brute.heavy = true;
  d.kinds.insert(d.kinds.end(), {ghoul, brute});
  return d;
}

const GameData& data() {
  static const bool installed = install_game_data(rule_data()).ok();
  VELMORA_CHECK(installed, "the rule test data could not be installed");
  return game_data();
}

}  // namespace

std::uint8_t move_named(std::string_view name) { return move_id(data().moves, name).value(); }
std::uint16_t item_named(std::string_view name) { return item_id(data().items, name).value(); }

Arena::Arena() {
  data();
  w = new_game(0, 7, {});
  w.actors[0].gone = 1;
  w.props.clear();
  w.events.clear();
}

Actor& Arena::add(std::string_view kind, std::uint8_t team, std::int32_t x, std::int32_t z, std::int8_t facing) {
  const auto id = static_cast<std::uint16_t>(w.actors.size());
  w.actors.push_back(actor_from_kind(id, kind_id(data().kinds, kind).value(), team, 0, x, z, facing));
  w.actors.back().gear = {};
  w.actors.back().dr = 0;
  return w.actors.back();
}

void Arena::barrel(std::int32_t x, std::int32_t z) {
  const auto index = static_cast<std::uint16_t>(w.props.size());
  w.props.push_back(Prop{PropContent{BarrelContents::food, 4}, fx_from_cm(x), fx_from_cm(z), index, 0});
}

std::vector<EventKind> Arena::kinds() const {
  std::vector<EventKind> out;
  for (const Event& e : w.events) out.push_back(e.kind);
  return out;
}

Rng after_draws(Rng r, int n) {
  for (int i = 0; i < n; ++i) r.next();
  return r;
}

std::int32_t d6_of(Rng& r) { return static_cast<std::int32_t>(r.next() % 6) + 1; }

}  // namespace velmora::testing

void velmora::PrintTo(const Event& e, std::ostream* os) {
  *os << event_word(e.kind) << "{" << e.actor << " " << e.target << " " << e.amount << " at " << e.x << " " << e.y
      << " " << e.z << "}";
}
