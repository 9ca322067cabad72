#include "server/views/item_view.h"

#include <algorithm>
#include <vector>

#include "core/data/game_data.h"
#include "core/rules/control.h"

namespace velmora {

namespace {

constexpr std::size_t item_pairs = 11;
constexpr std::int32_t lightest_load_level = 5;  // encumbrance_level's "no load"

bool usable_by(const ItemDef& item, std::uint8_t class_id) {
  return item.classes.empty() ||
         std::find(item.classes.begin(), item.classes.end(), class_id) != item.classes.end();
}

std::int32_t merchant_price(const ItemDef& item) {
  return item.slot == ItemSlot::valuable ? item.value : item.value / 2;
}

Json worn_json(const Actor& actor, std::size_t place) {
  Json worn = Json::object(1 + item_pairs);
  worn.add("worn", place);
  if (const auto item = actor.gear[place]) {
    item_json(worn, *item, actor.kind);
  } else {
    worn.add("item", "");
  }
  return worn;
}

Json bag_json(const Actor& actor) {
  Json bag = Json::array(actor.bag.size());
  for (std::size_t i = 0; i < actor.bag.size(); ++i) {
    Json entry = Json::object(1 + item_pairs);
    entry.add("index", i);
    item_json(entry, actor.bag[i], actor.kind);
    bag.push(std::move(entry));
  }
  return bag;
}

Json player_json(const Actor& actor) {
  Json worn = Json::array(actor.gear.size());
  for (std::size_t place = 0; place < actor.gear.size(); ++place) worn.push(worn_json(actor, place));
  return Json::object(10)
      .add("slot", actor.slot)
      .add("class", kind_by_id(actor.kind).name)
      .add("silver", actor.silver)
      .add("worn", std::move(worn))
      .add("bag", bag_json(actor))
      .add("carried", carried_weight(actor))
      .add("encumbrance", gear_encumbrance(actor))
      .add("dr", total_dr(actor))
      .add("fatigue", gear_fatigue(actor))
      .add("out", actor.gone != 0 || actor.state == ActorState::ko);
}

}  // namespace

void item_json(Json& object, std::uint16_t item, std::uint8_t class_id) {
  const ItemDef& def = item_def(item);
  object.add("item", def.name)
      .add("title", def.title)
      .add("model", def.model)
      .add("slot", item_slot_word(def.slot))
      .add("usable", usable_by(def, class_id))
      .add("damage", def.damage)
      .add("reach", def.reach)
      .add("dr", def.dr)
      .add("fatigue", def.fatigue)
      .add("weight", def.weight)
      .add("price", merchant_price(def));
}

std::int32_t gear_encumbrance(const Actor& actor) { return lightest_load_level - encumbrance_level(actor); }

Json gear_json(std::span<const Actor> actors) {
  std::vector<const Actor*> players;
  for (const Actor& a : actors) {
    if (a.team == 0 && a.gone != 1) players.push_back(&a);
  }
  std::stable_sort(players.begin(), players.end(), [](const Actor* a, const Actor* b) { return a->slot < b->slot; });
  Json out = Json::array(players.size());
  for (const Actor* a : players) out.push(player_json(*a));
  return out;
}

}  // namespace velmora
