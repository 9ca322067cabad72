#include "server/service/party_view.h"

#include <array>
#include <cstdint>

#include "core/data/game_data.h"
#include "server/views/item_view.h"

namespace velmora {

namespace {

constexpr std::int64_t xp_per_point = 10;

constexpr std::array<Attribute, attribute_count> offer_order{Attribute::st, Attribute::dx, Attribute::iq,
                                                             Attribute::ht, Attribute::skill};

// The five things the next points buy, each with its cost and whether the
// member may buy it now.
Json offers_json(const CharacterSheet& sheet) {
  const std::int64_t points = available_points(sheet);
  Json buys = Json::array(offer_order.size());
  for (Attribute a : offer_order) {
    const std::int32_t cost = attribute_cost(a);
    const bool ok = sheet.raise(a) < attribute_max_raise(a) && points >= cost;
    buys.push(Json::object(3).add("what", attribute_word(a)).add("cost", cost).add("ok", ok));
  }
  return buys;
}

Json worn_names(const CharacterSheet& sheet) {
  Json names = Json::array(sheet.worn.size());
  for (const auto& item : sheet.worn) {
    if (item) names.push(item_def(*item).name);
  }
  return names;
}

Json bag_names(const CharacterSheet& sheet) {
  Json names = Json::array(sheet.bag.size());
  for (std::uint16_t item : sheet.bag) names.push(item_def(item).name);
  return names;
}

std::int64_t bag_value(const CharacterSheet& sheet) {
  std::int64_t sum = 0;
  for (std::uint16_t item : sheet.bag) sum += item_def(item).value;
  return sum;
}

// Experience still needed for the next point: 1 to 10.
std::int64_t xp_to_next_point(std::int32_t xp) {
  const std::int64_t into = ((std::int64_t{xp} % xp_per_point) + xp_per_point) % xp_per_point;
  return xp_per_point - into;
}

std::string node_name(const ServerState& state) {
  if (!state.campaign) return "";
  const auto& nodes = game_data().nodes;
  const std::uint64_t node = state.campaign->current_node;
  return node < nodes.size() ? nodes[node].name : "";
}

Json stock_entry(std::uint16_t item) {
  const ItemDef& def = item_def(item);
  Json classes = Json::array(def.classes.size());
  for (std::uint8_t kind : def.classes) classes.push(kind_by_id(kind).name);
  return Json::object(11)
      .add("item", def.name)
      .add("title", def.title)
      .add("model", def.model)
      .add("slot", item_slot_word(def.slot))
      .add("price", def.value)
      .add("classes", std::move(classes))
      .add("dr", def.dr)
      .add("fatigue", def.fatigue)
      .add("damage", def.damage)
      .add("reach", def.reach)
      .add("weight", def.weight);
}

}  // namespace

Json member_json(const CharacterSheet& sheet) {
  const KindDef& kind = kind_by_id(sheet.class_id);
  const SheetAttributes at = sheet_attributes(sheet);
  const std::int64_t points = available_points(sheet);
  return Json::object(20)
      .add("slot", sheet.slot)
      .add("class", kind.name)
      .add("skill_name", kind.skill)
      .add("st", at.st)
      .add("dx", at.dx)
      .add("iq", at.iq)
      .add("ht", at.ht)
      .add("skill", sheet.raise(Attribute::skill))
      .add("hp", hp_for(at.st, at.toughness))
      .add("fp", fp_for(at.ht))
      .add("mana", mana_for(at.iq, kind.magery))
      .add("search", std::int64_t{at.iq} + kind.search - 10)
      .add("move", kind.move_bonus + (std::int64_t{at.dx} + at.ht) / 4)
      .add("xp", sheet.xp)
      .add("points", points)
      .add("next_point_xp", xp_to_next_point(sheet.xp))
      .add("buys", offers_json(sheet))
      .add("gear", worn_names(sheet))
      .add("bag", bag_names(sheet))
      .add("bag_value", bag_value(sheet))
      .add("silver", sheet.silver);
}

std::string reply_party(const ServerState& state, std::string_view message) {
  const std::vector<CharacterSheet> party = current_party(state);
  Json members = Json::array(party.size());
  for (const CharacterSheet& sheet : party) members.push(member_json(sheet));
  return json_to_string(Json::object(4)
                            .add("ok", true)
                            .add("message", message)
                            .add("node", node_name(state))
                            .add("party", std::move(members)));
}

std::string reply_shop(const ServerState& state, std::string_view message) {
  if (!state.game || !state.game->stage().town) return reply_error("there is no merchant here");
  const World& world = *state.game;
  const auto& shop = world.stage().shop;
  Json stock = Json::array(shop.size());
  for (std::uint16_t item : shop) stock.push(stock_entry(item));
  return json_to_string(Json::object(4)
                            .add("ok", true)
                            .add("message", message)
                            .add("stock", std::move(stock))
                            .add("players", gear_json(world.actors)));
}

std::string reply_inventory(const ServerState& state, std::string_view message) {
  if (!state.game) return reply_error("no game: send new first");
  const World& world = *state.game;
  return json_to_string(Json::object(5)
                            .add("ok", true)
                            .add("message", message)
                            .add("town", world.stage().town)
                            .add("in_combat", world.fighting != 0)
                            .add("players", gear_json(world.actors)));
}

std::string request_party(ServerState& state, Words) { return reply_party(state, ""); }
std::string request_shop(ServerState& state, Words) { return reply_shop(state, ""); }
std::string request_inventory(ServerState& state, Words) { return reply_inventory(state, ""); }

}  // namespace velmora
