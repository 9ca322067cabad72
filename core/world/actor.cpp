#include "core/world/actor.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/world/world.h"

namespace velmora {

namespace {

constexpr std::array<std::string_view, attribute_count> attribute_words = {"st", "dx", "iq", "ht", "skill"};
constexpr std::array<std::int32_t, attribute_count> attribute_costs = {10, 20, 20, 10, 4};
constexpr std::array<std::int32_t, attribute_count> attribute_max_raises = {5, 5, 5, 5, 4};

std::size_t attribute_index(Attribute a) {
  const auto i = static_cast<std::size_t>(a);
  VELMORA_CHECK(i < attribute_count, "attribute out of range");
  return i;
}

// The worn places of a kind's starting gear: a later item replaces an
// earlier one of the same place; items of other slots are ignored.
Worn starting_gear(const KindDef& kind) {
  Worn worn{};
  for (std::uint16_t id : kind.gear) {
    const auto place = static_cast<std::size_t>(item_def(id).slot);
    if (place < worn.size()) worn[place] = id;
  }
  return worn;
}

void set_pools(Actor& a) {
  a.hp = a.hp_max = hp_for(a.st, a.toughness);
  a.fp = a.fp_max = fp_for(a.ht);
  a.mana = a.mana_max = mana_for(a.iq, a.magery != 0);
  a.sta = a.sta_max = sta_for(a.ht);
}

}  // namespace

std::string_view attribute_word(Attribute attribute) { return attribute_words[attribute_index(attribute)]; }

std::optional<Attribute> parse_attribute(std::string_view word) {
  for (std::size_t i = 0; i < attribute_count; ++i) {
    if (attribute_words[i] == word) return static_cast<Attribute>(i);
  }
  return std::nullopt;
}

std::int32_t attribute_cost(Attribute attribute) { return attribute_costs[attribute_index(attribute)]; }

std::int32_t attribute_max_raise(Attribute attribute) { return attribute_max_raises[attribute_index(attribute)]; }

std::int64_t available_points(const CharacterSheet& sheet) {
  return std::int64_t{sheet.xp} / 10 - std::int64_t{sheet.points_spent};
}

std::int32_t hp_for(std::int32_t st, std::int32_t toughness) {
  return saturate_i32(std::int64_t{st} * std::int64_t{toughness});
}

std::int32_t fp_for(std::int32_t ht) { return ht; }

std::int32_t mana_for(std::int32_t iq, bool magery) {
  if (!magery || iq < 9) return 0;
  return saturate_i32(2 * std::int64_t{iq} - 16);
}

std::int32_t sta_for(std::int32_t ht) { return saturate_i32(10 * std::int64_t{ht}); }

SheetAttributes sheet_attributes(const CharacterSheet& sheet) {
  const KindDef& k = kind_by_id(sheet.class_id);
  auto raised = [&](std::int32_t base, Attribute a) { return saturate_i32(std::int64_t{base} + sheet.raise(a)); };
  return SheetAttributes{raised(k.st, Attribute::st),
                         raised(k.dx, Attribute::dx),
                         raised(k.iq, Attribute::iq),
                         raised(k.ht, Attribute::ht),
                         k.dr,
                         k.toughness,
                         k.move_bonus,
                         k.magery ? 1 : 0};
}

void set_attributes(Actor& a, const SheetAttributes& s) {
  a.st = s.st;
  a.dx = s.dx;
  a.iq = s.iq;
  a.ht = s.ht;
  a.dr = s.dr;
  a.toughness = s.toughness;
  a.move_bonus = s.move_bonus;
  a.magery = s.magery != 0 ? 1 : 0;
}

Actor actor_from_kind(std::uint16_t id, std::uint8_t kind, std::uint8_t team, std::uint8_t slot, std::int32_t x,
                      std::int32_t z, std::int8_t facing) {
  const KindDef& k = kind_by_id(kind);
  Actor a;
  set_attributes(a, SheetAttributes{k.st, k.dx, k.iq, k.ht, k.dr, k.toughness, k.move_bonus, k.magery ? 1 : 0});
  a.gear = starting_gear(k);
  a.x = fx_from_cm(x);
  a.z = fx_from_cm(z);
  a.team = team;
  a.slot = slot;
  a.facing = facing;
  a.id = id;
  a.kind = kind;
  a.state = ActorState::idle;
  set_pools(a);
  return a;
}

Actor actor_from_sheet(std::uint16_t id, const CharacterSheet& sheet, std::uint8_t slot, std::int32_t x,
                       std::int32_t z) {
  Actor a = actor_from_kind(id, sheet.class_id, 0, slot, x, z, 1);
  set_attributes(a, sheet_attributes(sheet));
  set_pools(a);
  a.gear = sheet.worn;
  a.bag = sheet.bag;
  a.arts = sheet.arts;
  a.silver = sheet.silver;
  a.xp = sheet.xp;
  a.skill = sheet.raise(Attribute::skill);
  a.sheet = sheet;
  return a;
}

CharacterSheet new_character(std::uint8_t class_id) {
  CharacterSheet sheet;
  sheet.worn = starting_gear(kind_by_id(class_id));
  sheet.class_id = class_id;
  return sheet;
}

CharacterSheet actor_character(const Actor& actor) {
  CharacterSheet sheet = actor.sheet ? *actor.sheet : new_character(actor.kind);
  sheet.bag = actor.bag;
  sheet.arts = actor.arts;
  sheet.worn = actor.gear;
  sheet.xp = actor.xp;
  sheet.silver = actor.silver;
  sheet.slot = actor.slot;
  return sheet;
}

std::vector<CharacterSheet> party_sheets(const World& world) {
  std::vector<const Actor*> present;
  for (const Actor& a : world.actors) {
    if (a.team == 0 && a.gone != 1) present.push_back(&a);
  }
  std::stable_sort(present.begin(), present.end(), [](const Actor* a, const Actor* b) { return a->slot < b->slot; });
  std::vector<CharacterSheet> sheets;
  sheets.reserve(present.size());
  for (const Actor* a : present) sheets.push_back(actor_character(*a));
  return sheets;
}

std::vector<std::uint8_t> party_slots(const std::vector<CharacterSheet>& sheets, std::size_t n) {
  n = std::min(n, sheets.size());
  std::vector<std::uint8_t> own;
  own.reserve(n);
  for (std::size_t i = 0; i < n; ++i) own.push_back(sheets[i].slot);
  std::vector<std::uint8_t> sorted = own;
  std::sort(sorted.begin(), sorted.end());
  const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
  const bool in_range = std::all_of(own.begin(), own.end(), [](std::uint8_t s) { return s < 4; });
  if (distinct && in_range) return own;
  std::vector<std::uint8_t> numbered(n);
  for (std::size_t i = 0; i < n; ++i) numbered[i] = static_cast<std::uint8_t>(i);
  return numbered;
}

Status spend_point(CharacterSheet& sheet, Attribute attribute) {
  const std::int32_t cost = attribute_cost(attribute);
  if (sheet.raise(attribute) >= attribute_max_raise(attribute)) return error("already at the highest level");
  if (available_points(sheet) < cost) return error("not enough character points");
  sheet.points_spent = saturate_i32(std::int64_t{sheet.points_spent} + cost);
  sheet.raise(attribute) += 1;
  return done();
}

bool can_use_special(const Actor& actor, std::size_t n) {
  const KindDef& k = kind_by_id(actor.kind);
  if (n >= k.special.size()) return false;
  const std::uint8_t id = k.special[n];
  const MoveDef& m = move_def(id);
  if (m.price != 0 && !actor.arts.contains(id)) return false;
  return actor.skill >= m.requires_skill;
}

std::int32_t total_dr(const Actor& actor) {
  std::int64_t dr = actor.dr;
  for (const auto& worn : actor.gear) {
    if (worn) dr += item_def(*worn).dr;
  }
  if (actor.ward_ticks != 0) dr += actor.ward_dr;
  return saturate_i32(dr);
}

std::int32_t gear_fatigue(const Actor& actor) {
  std::int64_t fatigue = 0;
  for (const auto& worn : actor.gear) {
    if (worn) fatigue += item_def(*worn).fatigue;
  }
  return saturate_i32(fatigue);
}

const KindDef& kind_by_id(std::uint8_t kind) {
  const auto& kinds = game_data().kinds;
  if (kind >= kinds.size()) panic("kind id " + std::to_string(kind) + " out of range");
  return kinds[kind];
}

const ItemDef& item_def(std::uint16_t item) {
  const auto& items = game_data().items;
  if (item >= items.size()) panic("item id " + std::to_string(item) + " out of range");
  return items[item];
}

const MoveDef& move_def(std::uint8_t move) {
  const auto& moves = game_data().moves;
  if (move >= moves.size()) panic("move id " + std::to_string(move) + " out of range");
  return moves[move];
}

bool kind_heavy(std::uint8_t kind) { return kind_by_id(kind).heavy; }

KindMoves kind_moves(std::uint8_t kind) {
  const KindDef& k = kind_by_id(kind);
  KindMoves moves{k.light, std::nullopt, k.air, k.dash};
  if (!k.special.empty()) moves.special = k.special.front();
  return moves;
}

std::array<std::int32_t, 2> kind_silver(std::uint8_t kind) { return kind_by_id(kind).silver; }

std::optional<std::uint8_t> class_by_name(std::string_view name) {
  const auto id = kind_id(game_data().kinds, name);
  if (!id || !kind_by_id(*id).player) return std::nullopt;
  return id;
}

std::uint8_t default_class() { return first_player_kind(game_data().kinds); }

}  // namespace velmora
