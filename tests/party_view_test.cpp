// The party, shop and inventory replies and the item and gear JSON inside
// them, read back as a front end reads them.
#include "server/party_view.h"

#include <gtest/gtest.h>

#include "core/game_data.h"
#include "server/item_view.h"
#include "tests/support/service.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using Keys = std::vector<std::string>;

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }

JsonValue parsed(const Json& value) {
  const std::string text = json_to_string(value);
  JsonCursor cursor{text, 0};
  return json_parse(cursor).value();
}

const Keys item_keys{"item", "title", "model", "slot", "usable", "damage", "reach", "dr", "fatigue", "weight", "price"};

// The text of an object from one key to its end.
std::string from_key(const Json& value, const std::string& key) {
  const std::string text = json_to_string(value);
  const std::size_t at = text.find("\"" + key + "\"");
  return at == std::string::npos ? "" : text.substr(at);
}

Keys with_first(const char* first, const Keys& rest) {
  Keys out{first};
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

TEST(ItemJson, UsableByClassAndTheMerchantsPrice) {
  const std::uint8_t fighter = *class_by_name("fighter"), thief = *class_by_name("thief");
  struct Case {
    const char* item;
    std::uint8_t class_id;
    bool usable;
    std::int64_t price;
  } cases[] = {
      {"dagger", thief, true, 10},         // no class list: anyone; half of 20
      {"broadsword", thief, false, 40},    // fighters only
      {"mace", fighter, true, 35},         // the second class of its list
      {"ancient_coin", thief, true, 15},   // a valuable keeps its full value
      {"quarterstaff", fighter, true, 7},  // 15 / 2, truncated
  };
  for (const Case& c : cases) {
    Json object = Json::object();
    item_json(object, item(c.item), c.class_id);
    const JsonValue v = parsed(object);
    EXPECT_EQ(flag_at(v, "usable"), c.usable) << c.item;
    EXPECT_EQ(num_at(v, "price"), c.price) << c.item;
  }
  Json cap = Json::object();
  item_json(cap, item("leather_cap"), fighter);
  EXPECT_EQ(json_to_string(cap),
            R"({"item":"leather_cap","title":"Leather Cap","model":"leather_cap","slot":"head","usable":true,)"
            R"("damage":0,"reach":0,"dr":1,"fatigue":0,"weight":10,"price":10})");
}

TEST(GearJson, EncumbranceByCarriedWeightAgainstBasicLift) {
  // ST 10: basic lift 200 tenths of a pound. Leather armour weighs 100, a coin 1.
  const std::array<int, 3> cases[] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 1},  {4, 0, 1},  {4, 1, 2},
                                      {6, 0, 2}, {6, 1, 3}, {12, 0, 3}, {12, 1, 4}, {30, 0, 4}};
  for (auto [armour, coins, level] : cases) {
    Actor a;
    a.st = 10;
    for (int i = 0; i < armour; ++i) a.bag.push_back(item("leather_armor"));
    for (int i = 0; i < coins; ++i) a.bag.push_back(item("ancient_coin"));
    const JsonValue player = parsed(gear_json(std::span<const Actor>(&a, 1))).as_arr()->front();
    EXPECT_EQ(num_at(player, "carried"), armour * 100 + coins);
    EXPECT_EQ(num_at(player, "encumbrance"), level) << armour * 100 + coins;
  }
}

TEST(PartyReply, PointsAndOffers) {
  struct Case {
    std::int32_t xp, spent;
    std::array<std::int32_t, 5> raises;
    std::int64_t points, next;
    std::array<bool, 5> ok;  // st 10, dx 20, iq 20, ht 10, skill 4
  } cases[] = {
      {35, 1, {}, 2, 5, {false, false, false, false, false}},
      {40, 0, {}, 4, 10, {false, false, false, false, true}},
      {100, 0, {}, 10, 10, {true, false, false, true, true}},
      {209, 0, {5, 4, 5, 4, 4}, 20, 1, {false, true, false, true, false}},  // highest raises
      {-3, 0, {}, 0, 3, {false, false, false, false, false}},               // never more than 10 to go
  };
  for (const Case& c : cases) {
    CharacterSheet sheet = new_character(default_class());
    sheet.xp = c.xp;
    sheet.points_spent = c.spent;
    sheet.raises = c.raises;
    const JsonValue m = parsed(member_json(sheet));
    EXPECT_EQ(num_at(m, "points"), c.points) << c.xp;
    EXPECT_EQ(num_at(m, "next_point_xp"), c.next) << c.xp;
    const auto& buys = *m.get("buys")->as_arr();
    ASSERT_EQ(buys.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(flag_at(buys[i], "ok"), c.ok[i]) << c.xp << " " << i;
  }
  EXPECT_EQ(from_key(member_json(new_character(default_class())), "buys"),
            R"("buys":[{"what":"st","cost":10,"ok":false},{"what":"dx","cost":20,"ok":false},)"
            R"({"what":"iq","cost":20,"ok":false},{"what":"ht","cost":10,"ok":false},)"
            R"({"what":"skill","cost":4,"ok":false}],"gear":["broadsword","leather_cap","leather_armor"],)"
            R"("bag":[],"bag_value":0,"silver":0})");
}

// A game of three classes: the fighter wears a helm and carries a potion and a
// coin; the thief wears nothing and stands first in the actor list with the
// fighter's slot swapped; the wizard is knocked out.
TEST(Replies, KeysAndValuesForAPartyOfThreeClasses) {
  Service s;
  EXPECT_EQ(handle_request(s.state, "party"), R"({"ok":true,"message":"","node":"","party":[]})");
  EXPECT_EQ(s.message("shop"), "there is no merchant here");
  EXPECT_EQ(s.message("inventory"), "no game: send new first");
  s.ask("new 11 3 fighter thief wizard");
  World& w = *s.state.game;
  w.actors[0].gear[1] = item("steel_helm");
  w.actors[0].bag.push_back(item("healing_potion"));
  w.actors[0].bag.push_back(item("ancient_coin"));
  w.actors[0].silver = 120;
  w.actors[1].gear = {};
  w.actors[2].state = ActorState::ko;

  const JsonValue party = s.ask("party");
  EXPECT_EQ(keys_of(party), (Keys{"ok", "message", "node", "party"}));
  EXPECT_EQ(text_at(party, "node"), "first_road");
  const auto& members = *party.get("party")->as_arr();
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(keys_of(members[0]),
            (Keys{"slot", "class", "skill_name", "st", "dx", "iq", "ht", "skill", "hp", "fp", "mana", "search", "move",
                  "xp", "points", "next_point_xp", "buys", "gear", "bag", "bag_value", "silver"}));
  // The wizard shows magery's mana; the thief its search and move bonus.
  EXPECT_EQ(json_to_string(member_json(party_sheets(w)[2])).find(
                R"({"slot":2,"class":"wizard","skill_name":"Staff","st":9,"dx":11,"iq":14,"ht":10,"skill":0,"hp":9,)"
                R"("fp":10,"mana":12,"search":4,"move":5,"xp":0,"points":0,"next_point_xp":10,"buys":[{"what":"st")"),
            0u);
  EXPECT_EQ(std::make_pair(num_at(members[1], "search"), num_at(members[1], "move")), std::make_pair(std::int64_t{13}, std::int64_t{7}));
  EXPECT_EQ(from_key(member_json(party_sheets(w)[0]), "gear"),
            R"("gear":["broadsword","steel_helm","leather_armor"],"bag":["healing_potion","ancient_coin"],)"
            R"("bag_value":45,"silver":120})");

  const JsonValue inventory = s.ask("inventory");
  EXPECT_EQ(keys_of(inventory), (Keys{"ok", "message", "town", "in_combat", "players"}));
  std::swap(w.actors[0].slot, w.actors[1].slot);  // listed by slot, not by actor order
  w.actors[2].gone = 1;                            // a player who left is not listed
  const JsonValue players = parsed(gear_json(w.actors));
  ASSERT_EQ(players.as_arr()->size(), 2u);
  const JsonValue& thief = players.as_arr()->at(0);
  const JsonValue& fighter = players.as_arr()->at(1);
  EXPECT_EQ(keys_of(fighter), (Keys{"slot", "class", "silver", "worn", "bag", "carried", "encumbrance", "dr",
                                    "fatigue", "out"}));
  EXPECT_EQ(text_at(fighter, "class"), "fighter");
  const auto& worn = *fighter.get("worn")->as_arr();
  ASSERT_EQ(worn.size(), 3u);
  EXPECT_EQ(keys_of(worn[1]), with_first("worn", item_keys));
  EXPECT_EQ(num_at(worn[2], "worn"), 2);
  EXPECT_EQ(text_at(worn[1], "item"), "steel_helm");
  EXPECT_EQ(keys_of(fighter.get("bag")->as_arr()->at(1)), with_first("index", item_keys));
  EXPECT_EQ(num_at(fighter.get("bag")->as_arr()->at(1), "index"), 1);
  EXPECT_EQ(num_at(fighter, "carried"), 176);  // sword 30, helm 40, armour 100, potion 5, coin 1
  EXPECT_EQ(num_at(fighter, "dr"), total_dr(w.actors[0]));
  EXPECT_EQ(num_at(fighter, "fatigue"), 15);
  for (const JsonValue& place : *thief.get("worn")->as_arr()) EXPECT_EQ(keys_of(place), (Keys{"worn", "item"}));
  w.actors[2].gone = 0;
  EXPECT_TRUE(flag_at(parsed(gear_json(w.actors)).as_arr()->at(2), "out"));

  s.ask("debug on");
  s.ask("goto millbrook");
  const JsonValue shop = s.ask("shop");
  EXPECT_EQ(keys_of(shop), (Keys{"ok", "message", "stock", "players"}));
  const auto& stock = *shop.get("stock")->as_arr();
  ASSERT_EQ(stock.size(), s.state.game->stage().shop.size());
  EXPECT_EQ(keys_of(stock[0]), (Keys{"item", "title", "model", "slot", "price", "classes", "dr", "fatigue", "damage",
                                     "reach", "weight"}));
  const JsonValue& helm = stock.at(8);
  EXPECT_EQ(text_at(helm, "item"), "steel_helm");
  EXPECT_EQ(num_at(helm, "price"), 120);  // full price in the stock, half in a bag
  EXPECT_EQ(json_to_string(Json(*helm.get("classes")->as_arr()->at(1).as_str())), "\"cleric\"");
  EXPECT_EQ(reply_shop(s.state, "bought").find(R"({"ok":true,"message":"bought","stock":[)"), 0u);
  EXPECT_EQ(reply_inventory(s.state, "equip").find(R"({"ok":true,"message":"equip","town":true,"in_combat":false,)"),
            0u);
}

}  // namespace
}  // namespace velmora
