#include "core/rules/party_commands.h"

#include <algorithm>
#include <limits>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "core/rules/interactions.h"

namespace velmora {

namespace {

constexpr std::uint16_t join_invuln = 78;
constexpr std::int64_t join_behind_cm = 60;  // a joiner enters this far behind the first standing player
constexpr std::uint64_t party_slots_count = 4;
// Actor ids are 16-bit indexes into the actor list.
constexpr std::size_t actor_limit = std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1;

Error nobody() { return error("nobody plays that slot"); }
Error stage_over() { return error("the stage is over"); }
Error armour_in_fight() { return error("armour cannot be changed in a fight"); }

bool is_over(const World& world) { return world.over != GameStatus::playing; }
bool in_fight(const World& world) { return world.fighting != 0; }
bool knocked_out(const Actor& a) { return a.gone != 0 || a.state == ActorState::ko; }

bool is_gear(std::uint16_t item) {
  const ItemSlot slot = item_def(item).slot;
  return slot == ItemSlot::weapon || slot == ItemSlot::head || slot == ItemSlot::body;
}

bool is_armour_place(std::uint64_t place) {
  return place == static_cast<std::uint64_t>(ItemSlot::head) || place == static_cast<std::uint64_t>(ItemSlot::body);
}

bool of_another_class(const Actor& a, std::uint16_t item) {
  const auto& classes = item_def(item).classes;
  return !classes.empty() && std::find(classes.begin(), classes.end(), a.kind) == classes.end();
}

// Wears a gear item; what was worn there goes to the end of the bag.
void wear(Actor& a, std::uint16_t item) {
  std::optional<std::uint16_t>& place = a.gear[static_cast<std::size_t>(item_def(item).slot)];
  if (place) a.bag.push_back(*place);
  place = item;
}

// Takes the item at a bag index out, keeping the order of the others.
std::uint16_t take_from_bag(Actor& a, std::uint64_t index) {
  const std::uint16_t item = a.bag[index];
  a.bag.erase_at(index);
  return item;
}

bool worn_at(const Actor& a, std::uint64_t index) { return index < a.gear.size() && a.gear[index].has_value(); }

void add_silver(Actor& a, std::int64_t amount) { a.silver = saturate_i32(std::int64_t{a.silver} + amount); }

void push(World& world, Event event) { world.events.push_back(event); }

// The pools follow the change of their maxima; current values are not clamped.
void apply_sheet(Actor& a, const CharacterSheet& sheet) {
  const std::int32_t old_st = a.st, old_iq = a.iq, old_ht = a.ht, old_toughness = a.toughness;
  const bool old_magery = a.magery != 0;
  set_attributes(a, sheet_attributes(sheet));
  a.skill = sheet.raise(Attribute::skill);
  a.hp_max = hp_for(a.st, a.toughness);
  a.hp = saturate_i32(std::int64_t{a.hp} + a.hp_max - hp_for(old_st, old_toughness));
  a.fp_max = fp_for(a.ht);
  a.fp = saturate_i32(std::int64_t{a.fp} + a.fp_max - fp_for(old_ht));
  a.mana_max = mana_for(a.iq, a.magery != 0);
  a.mana = saturate_i32(std::int64_t{a.mana} + a.mana_max - mana_for(old_iq, old_magery));
  a.sta_max = sta_for(a.ht);
  a.sta = saturate_i32(std::int64_t{a.sta} + 10 * (std::int64_t{a.ht} - old_ht));
  a.sheet = sheet;
}

std::int64_t present_players(const World& world) {
  return std::count_if(world.actors.begin(), world.actors.end(),
                       [](const Actor& a) { return a.team == 0 && a.gone == 0; });
}

// Beside the first standing player, else at the camera in the middle of the floor.
Point entry_point(const World& world) {
  for (const Actor& a : world.actors) {
    if (a.team == 0 && a.gone == 0 && a.state != ActorState::ko) {
      return Point{saturate_i32(std::int64_t{a.x.floor_int()} - join_behind_cm), a.z.floor_int()};
    }
  }
  return Point{world.camera_x.floor_int(), world.stage().depth / 2};
}

std::optional<std::size_t> left_player_of_class(const World& world, std::uint64_t slot, std::uint8_t class_id) {
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& a = world.actors[i];
    if (a.team == 0 && a.slot == slot && a.gone != 0 && a.kind == class_id) return i;
  }
  return std::nullopt;
}

bool slot_playing(const World& world, std::uint64_t slot) {
  return std::any_of(world.actors.begin(), world.actors.end(),
                     [&](const Actor& a) { return a.team == 0 && a.slot == slot && a.gone == 0; });
}

// A player who left comes back with their own sheet and at least 1 hit point.
void rejoin(World& world, std::size_t index, std::uint8_t slot, Point at) {
  const Actor& old = world.actors[index];
  const std::int32_t hp = old.hp;
  Actor back = actor_from_sheet(old.id, actor_character(old), slot, at.x, at.z);
  back.hp = clamp_value(hp, 1, back.hp_max);
  back.invuln = join_invuln;
  world.actors[index] = back;
  push(world, Event::of_actor(EventKind::join, back.id));
}

}  // namespace

std::optional<std::size_t> actor_of_slot(const World& world, std::uint64_t slot) {
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& a = world.actors[i];
    if (a.team == 0 && a.slot == slot && a.gone != 1) return i;
  }
  return std::nullopt;
}

Status give_silver(World& world, std::uint64_t from, std::uint64_t to, std::int32_t amount) {
  if (is_over(world)) return stage_over();
  if (amount <= 0) return error("give at least 1 silver");
  if (from == to) return error("give to another player");
  const auto giver = actor_of_slot(world, from);
  if (!giver) return nobody();
  const auto receiver = actor_of_slot(world, to);
  if (!receiver) return nobody();
  if (world.actors[*giver].silver < amount) return error("not that much silver");
  add_silver(world.actors[*giver], -std::int64_t{amount});
  add_silver(world.actors[*receiver], amount);
  push(world, Event::gift_of(world.actors[*giver].id, world.actors[*receiver].id, amount));
  return done();
}

Status buy_item(World& world, std::uint64_t slot, std::uint16_t item) {
  const StageDef& stage = world.stage();
  if (!stage.town) return error("there is no merchant here");
  if (std::find(stage.shop.begin(), stage.shop.end(), item) == stage.shop.end()) {
    return error("the merchant does not sell that");
  }
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  if (of_another_class(a, item)) return error("that is another class's gear");
  const std::int32_t value = item_def(item).value;
  if (a.silver < value) return error("not enough silver");
  add_silver(a, -std::int64_t{value});
  if (is_gear(item)) {
    wear(a, item);
  } else {
    a.bag.push_back(item);
  }
  push(world, Event::actor_item(EventKind::bought, a.id, item));
  return done();
}

Status sell_item(World& world, std::uint64_t slot, std::uint64_t bag_index) {
  if (!world.stage().town) return error("there is no merchant here");
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  if (bag_index >= a.bag.size()) return error("nothing there to sell");
  const std::uint16_t item = take_from_bag(a, bag_index);
  const ItemDef& def = item_def(item);
  add_silver(a, def.slot == ItemSlot::valuable ? def.value : def.value / 2);
  push(world, Event::actor_item(EventKind::sold, a.id, item));
  return done();
}

Status spend_actor_point(World& world, std::uint64_t slot, Attribute attribute) {
  if (!world.stage().town) return error("points are spent at camp or at the inn");
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  CharacterSheet sheet = actor_character(a);
  const Status spent = spend_point(sheet, attribute);
  if (!spent) return spent;
  apply_sheet(a, sheet);
  push(world, Event::of_actor(EventKind::spent, a.id));
  return done();
}

Status equip_item(World& world, std::uint64_t slot, std::uint64_t bag_index) {
  if (is_over(world)) return stage_over();
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  if (knocked_out(a)) return error("knocked out");
  if (bag_index >= a.bag.size()) return error("nothing there");
  const std::uint16_t item = a.bag[bag_index];
  if (!is_gear(item)) return error("only gear can be worn");
  if (of_another_class(a, item)) return error("that is another class's gear");
  if (in_fight(world) && is_armour_place(static_cast<std::uint64_t>(item_def(item).slot))) return armour_in_fight();
  take_from_bag(a, bag_index);
  wear(a, item);
  push(world, Event::actor_item(EventKind::equip, a.id, item));
  return done();
}

Status unequip_item(World& world, std::uint64_t slot, std::uint64_t worn_index) {
  if (is_over(world)) return stage_over();
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  if (knocked_out(a)) return error("knocked out");
  if (!worn_at(a, worn_index)) return error("nothing worn there");
  if (worn_index != 0 && in_fight(world)) return armour_in_fight();
  const std::uint16_t item = *a.gear[worn_index];
  a.gear[worn_index].reset();
  a.bag.push_back(item);
  push(world, Event::actor_item(EventKind::stow, a.id, item));
  return done();
}

// The floor of a stage holds at most max_stage_pickups things; a drop beyond
// that is refused after every other check.
Status drop_item(World& world, std::uint64_t slot, DropPlace place, std::uint64_t index) {
  if (is_over(world)) return stage_over();
  const auto found = actor_of_slot(world, slot);
  if (!found) return nobody();
  Actor& a = world.actors[*found];
  if (knocked_out(a)) return error("knocked out");
  if (place == DropPlace::bag) {
    if (index >= a.bag.size()) return error("nothing there");
  } else {
    if (!worn_at(a, index)) return error("nothing worn there");
    if (index != 0 && in_fight(world)) return armour_in_fight();
  }
  if (world.pickups.size() >= max_stage_pickups) return error("there is no room to drop anything here");
  std::uint16_t item = 0;
  if (place == DropPlace::bag) {
    item = take_from_bag(a, index);
  } else {
    item = *a.gear[index];
    a.gear[index].reset();
  }
  const bool laid = lay_pickup(world, PickupContent::of_item(item), a.x, a.z);
  VELMORA_CHECK(laid, "room on the floor was checked");
  push(world, Event::actor_item(EventKind::drop, a.id, item));
  return done();
}

Status train_art(World& world, std::uint64_t slot, std::uint8_t move) {
  if (!world.stage().trainer_at) return error("there is no trainer here");
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  const auto& specials = kind_by_id(a.kind).special;
  if (std::find(specials.begin(), specials.end(), move) == specials.end()) {
    return error("that is another class's art");
  }
  const MoveDef& def = move_def(move);
  if (def.price == 0 || a.arts.contains(move)) return error("already learned");
  if (a.skill < def.requires_skill) return error("needs more weapon skill");
  if (a.silver < def.price) return error("not enough silver");
  add_silver(a, -std::int64_t{def.price});
  a.arts.push_back(move);
  push(world, Event::learned_of(move, a.id));
  return done();
}

// Knocked-out players count as present.
Status leave_slot(World& world, std::uint64_t slot) {
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  if (present_players(world) < 2) return error("the last player cannot leave");
  Actor& a = world.actors[*index];
  a.gone = 1;
  push(world, Event::of_actor(EventKind::leave, a.id));
  return done();
}

// A player who left with the same class comes back in place; anybody else
// enters as a new fighter with the next id, while the list has room for one.
Status join_slot(World& world, std::uint64_t slot, std::uint8_t class_id) {
  if (!kind_by_id(class_id).player) return error("that kind is not a playable class");
  if (slot >= party_slots_count) return error("slot must be 0 to 3");
  if (slot_playing(world, slot)) return error("slot already playing");
  if (is_over(world)) return stage_over();
  const auto back = left_player_of_class(world, slot, class_id);
  if (!back && world.actors.size() >= actor_limit) return error("there is no room for another fighter");
  const Point at = entry_point(world);
  const auto party_slot = static_cast<std::uint8_t>(slot);
  if (back) {
    rejoin(world, *back, party_slot, at);
    return done();
  }
  const auto id = static_cast<std::uint16_t>(world.actors.size());
  Actor fresh = actor_from_sheet(id, new_character(class_id), party_slot, at.x, at.z);
  fresh.invuln = join_invuln;
  world.actors.push_back(fresh);
  push(world, Event::of_actor(EventKind::join, id));
  return done();
}

Status give_item(World& world, std::uint64_t slot, std::uint16_t item) {
  const auto index = actor_of_slot(world, slot);
  if (!index) return nobody();
  Actor& a = world.actors[*index];
  if (is_gear(item)) {
    a.gear[static_cast<std::size_t>(item_def(item).slot)] = item;
  } else {
    a.bag.push_back(item);
  }
  return done();
}

}  // namespace velmora
