// The party, shop and inventory replies and the item and gear JSON inside
// them, read back as a front end reads them.
#include "server/party_view.h"

#include <gtest/gtest.h>

#include "core/game_data.h"
#include "server/item_view.h"
#include "tests/support/service.h"

namespace velmora {
namespace {

using testing::keys_of;
using testing::Service;
using testing::text_at;
using Keys = std::vector<std::string>;

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }

JsonValue parsed(const Json& value) {
  const std::string text = json_to_string(value);
  JsonCursor cursor{text, 0};
  auto out = json_parse(cursor);
  EXPECT_TRUE(out.has_value()) << text;
  return out ? std::move(*out) : JsonValue();
}

std::int64_t num(const JsonValue& v, std::string_view key) {
  const JsonValue* at = v.get(key);
  return at != nullptr ? at->as_num().value_or(-999) : -999;
}

bool flag(const JsonValue& v, std::string_view key) {
  const JsonValue* at = v.get(key);
  return at != nullptr && at->as_bool().value_or(false);
}

std::vector<std::string> texts(const JsonValue& array) {
  std::vector<std::string> out;
  for (const JsonValue& v : *array.as_arr()) out.push_back(v.as_str() != nullptr ? *v.as_str() : "<not text>");
  return out;
}

const Keys item_keys{"item", "title", "model", "slot", "usable", "damage", "reach", "dr", "fatigue", "weight", "price"};

Keys with_first(std::string first, const Keys& rest) {
  Keys out{std::move(first)};
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

TEST(ItemJson, UsableByClassAndTheMerchantsPrice) {
  const std::uint8_t fighter = *class_by_name("fighter"), thief = *class_by_name("thief"),
                     cleric = *class_by_name("cleric");
  struct Case {
    const char* item;
    std::uint8_t class_id;
    bool usable;
    std::int64_t price;
    const char* slot;
  } cases[] = {
      {"dagger", thief, true, 10, "weapon"},          // no class list: anyone
      {"broadsword", thief, false, 40, "weapon"},     // fighters only
      {"broadsword", fighter, true, 40, "weapon"},    //
      {"mace", cleric, true, 35, "weapon"},           // the second class of its list
      {"ancient_coin", thief, true, 15, "valuable"},  // a valuable keeps its full value
      {"quarterstaff", fighter, true, 7, "weapon"},   // 15 / 2, truncated
      {"healing_potion", cleric, true, 15, "consumable"},
      {"chain_mail", thief, false, 130, "body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    Json object = Json::object();
    item_json(object, item(c.item), c.class_id);
    const JsonValue v = parsed(object);
    EXPECT_EQ(keys_of(v), item_keys);
    EXPECT_EQ(text_at(v, "item"), c.item);
    EXPECT_EQ(text_at(v, "slot"), c.slot);
    EXPECT_EQ(flag(v, "usable"), c.usable);
    EXPECT_EQ(num(v, "price"), c.price);
  }
  Json cap = Json::object();
  item_json(cap, item("leather_cap"), fighter);
  EXPECT_EQ(json_to_string(cap),
            R"({"item":"leather_cap","title":"Leather Cap","model":"leather_cap","slot":"head","usable":true,)"
            R"("damage":0,"reach":0,"dr":1,"fatigue":0,"weight":10,"price":10})");
}

TEST(GearJson, EncumbranceByCarriedWeightAgainstBasicLift) {
  // ST 10: basic lift 200 tenths of a pound. Leather armour weighs 100, a coin 1.
  struct Case {
    int armour;
    int coins;
    std::int32_t level;
  } cases[] = {{0, 0, 0},  {2, 0, 0},  {2, 1, 1},  {4, 0, 1},   {4, 1, 2},
               {6, 0, 2},  {6, 1, 3},  {12, 0, 3}, {12, 1, 4},  {30, 0, 4}};
  for (const Case& c : cases) {
    Actor a;
    a.st = 10;
    for (int i = 0; i < c.armour; ++i) a.bag.push_back(item("leather_armor"));
    for (int i = 0; i < c.coins; ++i) a.bag.push_back(item("ancient_coin"));
    EXPECT_EQ(gear_encumbrance(a), c.level) << c.armour * 100 + c.coins;
    const JsonValue player = parsed(gear_json(std::span<const Actor>(&a, 1))).as_arr()->front();
    EXPECT_EQ(num(player, "carried"), c.armour * 100 + c.coins);
    EXPECT_EQ(num(player, "encumbrance"), c.level);
  }
}

// A game of three classes: the fighter wears a helm over its starting gear
// and carries a potion and a coin; the thief has nothing worn and a ring; the
// wizard is knocked out.
struct Party : ::testing::Test {
  void SetUp() override {
    s.granted("new 11 3 fighter thief wizard");
    World& w = *s.state.game;
    Actor& fighter = w.actors[0];
    fighter.gear[1] = item("steel_helm");
    fighter.bag.push_back(item("healing_potion"));
    fighter.bag.push_back(item("ancient_coin"));
    fighter.silver = 120;
    Actor& thief = w.actors[1];
    thief.gear = {};
    thief.bag.push_back(item("silver_ring"));
    w.actors[2].state = ActorState::ko;
  }
  Service s;
};

TEST_F(Party, GearJsonListsPlayersByWornPlaceAndBag) {
  World& w = *s.state.game;
  // The list is ordered by slot whatever the actor order; a player who left is not listed.
  std::swap(w.actors[0].slot, w.actors[1].slot);
  w.actors[1].gone = 1;
  const JsonValue players = parsed(gear_json(w.actors));
  ASSERT_EQ(players.as_arr()->size(), 2u);
  const JsonValue& fighter = (*players.as_arr())[0];
  const JsonValue& wizard = (*players.as_arr())[1];
  EXPECT_EQ(keys_of(fighter), (Keys{"slot", "class", "silver", "worn", "bag", "carried", "encumbrance", "dr",
                                    "fatigue", "out"}));
  EXPECT_EQ(num(fighter, "slot"), 1);
  EXPECT_EQ(text_at(fighter, "class"), "fighter");
  EXPECT_EQ(num(fighter, "silver"), 120);
  const auto& worn = *fighter.get("worn")->as_arr();
  ASSERT_EQ(worn.size(), 3u);
  for (std::size_t place = 0; place < 3; ++place) {
    EXPECT_EQ(keys_of(worn[place]), with_first("worn", item_keys));
    EXPECT_EQ(num(worn[place], "worn"), static_cast<std::int64_t>(place));
  }
  EXPECT_EQ(text_at(worn[1], "item"), "steel_helm");
  const auto& bag = *fighter.get("bag")->as_arr();
  ASSERT_EQ(bag.size(), 2u);
  EXPECT_EQ(keys_of(bag[1]), with_first("index", item_keys));
  EXPECT_EQ(num(bag[1], "index"), 1);
  EXPECT_EQ(text_at(bag[1], "item"), "ancient_coin");
  // broadsword 30 + helm 40 + leather armour 100 + potion 5 + coin 1
  EXPECT_EQ(num(fighter, "carried"), 176);
  EXPECT_EQ(num(fighter, "dr"), total_dr(w.actors[0]));
  EXPECT_EQ(num(fighter, "fatigue"), 15);  // helm 5 + leather armour 10
  EXPECT_FALSE(flag(fighter, "out"));
  EXPECT_TRUE(flag(wizard, "out"));

  w.actors[1].gone = 0;
  const JsonValue thief = (*parsed(gear_json(w.actors)).as_arr())[0];
  for (const JsonValue& place : *thief.get("worn")->as_arr()) {
    EXPECT_EQ(keys_of(place), (Keys{"worn", "item"}));
    EXPECT_EQ(text_at(place, "item"), "");
  }
}

TEST_F(Party, PartyReplyShowsSheetsAndTheNextPoints) {
  const JsonValue reply = s.ask("party");
  EXPECT_EQ(keys_of(reply), (Keys{"ok", "message", "node", "party"}));
  EXPECT_EQ(text_at(reply, "message"), "");
  EXPECT_EQ(text_at(reply, "node"), "first_road");
  const auto& members = *reply.get("party")->as_arr();
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(keys_of(members[0]),
            (Keys{"slot", "class", "skill_name", "st", "dx", "iq", "ht", "skill", "hp", "fp", "mana", "search", "move",
                  "xp", "points", "next_point_xp", "buys", "gear", "bag", "bag_value", "silver"}));
  struct Expected {
    const char* klass;
    const char* skill_name;
    std::int64_t st, dx, iq, ht, hp, fp, mana, search, move;
  } expected[] = {
      {"fighter", "Broadsword", 12, 11, 10, 11, 12, 11, 0, 0, 5},
      {"thief", "Knife", 10, 14, 11, 10, 10, 10, 0, 13, 7},
      {"wizard", "Staff", 9, 11, 14, 10, 9, 10, 12, 4, 5},
  };
  for (std::size_t i = 0; i < members.size(); ++i) {
    const JsonValue& m = members[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.klass);
    EXPECT_EQ(num(m, "slot"), static_cast<std::int64_t>(i));
    EXPECT_EQ(text_at(m, "class"), e.klass);
    EXPECT_EQ(text_at(m, "skill_name"), e.skill_name);
    EXPECT_EQ((std::array{num(m, "st"), num(m, "dx"), num(m, "iq"), num(m, "ht")}),
              (std::array{e.st, e.dx, e.iq, e.ht}));
    EXPECT_EQ((std::array{num(m, "hp"), num(m, "fp"), num(m, "mana"), num(m, "search"), num(m, "move")}),
              (std::array{e.hp, e.fp, e.mana, e.search, e.move}));
  }
  // Gear in worn order with empty places left out; bag names; the bag at full value.
  EXPECT_EQ(texts(*members[0].get("gear")), (Keys{"broadsword", "steel_helm", "leather_armor"}));
  EXPECT_EQ(texts(*members[0].get("bag")), (Keys{"healing_potion", "ancient_coin"}));
  EXPECT_EQ(num(members[0], "bag_value"), 45);
  EXPECT_EQ(num(members[0], "silver"), 120);
  EXPECT_TRUE(texts(*members[1].get("gear")).empty());
}

TEST(PartyReply, PointsAndOffers) {
  struct Case {
    std::int32_t xp, spent;
    std::array<std::int32_t, 5> raises;
    std::int64_t points, next;
    std::array<bool, 5> ok;  // st, dx, iq, ht, skill
  } cases[] = {
      {35, 1, {}, 2, 5, {false, false, false, false, false}},
      {40, 0, {}, 4, 10, {false, false, false, false, true}},
      {100, 0, {}, 10, 10, {true, false, false, true, true}},
      {209, 0, {}, 20, 1, {true, true, true, true, true}},
      {209, 0, {5, 4, 5, 4, 4}, 20, 1, {false, true, false, true, false}},  // highest raises
      {990, 0, {5, 5, 5, 5, 4}, 99, 10, {false, false, false, false, false}},
      {-3, 0, {}, 0, 3, {false, false, false, false, false}},  // never more than 10 to go
  };
  const char* words[] = {"st", "dx", "iq", "ht", "skill"};
  const std::int64_t costs[] = {10, 20, 20, 10, 4};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.xp) + " xp");
    CharacterSheet sheet = new_character(default_class());
    sheet.xp = c.xp;
    sheet.points_spent = c.spent;
    sheet.raises = c.raises;
    const JsonValue m = parsed(member_json(sheet));
    EXPECT_EQ(num(m, "points"), c.points);
    EXPECT_EQ(num(m, "next_point_xp"), c.next);
    EXPECT_EQ(num(m, "skill"), c.raises[4]);
    const auto& buys = *m.get("buys")->as_arr();
    ASSERT_EQ(buys.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(keys_of(buys[i]), (Keys{"what", "cost", "ok"}));
      EXPECT_EQ(text_at(buys[i], "what"), words[i]);
      EXPECT_EQ(num(buys[i], "cost"), costs[i]);
      EXPECT_EQ(flag(buys[i], "ok"), c.ok[i]) << words[i];
    }
  }
}

TEST(PartyReply, WhosePartyItShows) {
  Service s;
  EXPECT_EQ(handle_request(s.state, "party"), R"({"ok":true,"message":"","node":"","party":[]})");
  s.granted("new 3 2");
  s.state.game->actors[1].silver = 9;
  // While the stage runs, the world's players.
  EXPECT_EQ(*s.ask("party").get("party")->as_arr()->at(1).get("silver")->as_num(), 9);
  // Once it is over, the campaign's party.
  s.state.game->over = GameStatus::wiped;
  EXPECT_EQ(*s.ask("party").get("party")->as_arr()->at(1).get("silver")->as_num(), 0);
  EXPECT_EQ(reply_party(s.state, "spent").find(R"({"ok":true,"message":"spent","node":"first_road",)"), 0u);
}

TEST_F(Party, ShopAndInventory) {
  // Not in a town, the merchant is nowhere; the inventory is everywhere.
  EXPECT_EQ(s.refusal("shop"), "there is no merchant here");
  const JsonValue road = s.ask("inventory");
  EXPECT_EQ(keys_of(road), (Keys{"ok", "message", "town", "in_combat", "players"}));
  EXPECT_FALSE(flag(road, "town"));
  EXPECT_EQ(road.get("players")->as_arr()->size(), 3u);
  s.state.game->fighting = 1;
  EXPECT_TRUE(flag(s.ask("inventory"), "in_combat"));
  EXPECT_EQ(reply_inventory(s.state, "equip").find(R"({"ok":true,"message":"equip","town":false,)"), 0u);

  s.granted("debug on");
  EXPECT_EQ(s.granted("goto millbrook"), "moved");
  s.state.game->actors[0].bag.push_back(item("dagger"));
  const JsonValue shop = s.ask("shop");
  EXPECT_EQ(keys_of(shop), (Keys{"ok", "message", "stock", "players"}));
  const auto& stock = *shop.get("stock")->as_arr();
  ASSERT_EQ(stock.size(), s.state.game->stage().shop.size());
  EXPECT_EQ(keys_of(stock[0]), (Keys{"item", "title", "model", "slot", "price", "classes", "dr", "fatigue", "damage",
                                     "reach", "weight"}));
  for (const JsonValue& entry : stock) {
    if (text_at(entry, "item") == "dagger") {
      EXPECT_EQ(num(entry, "price"), 20);  // full price in the stock
    }
    if (text_at(entry, "item") == "steel_helm") {
      EXPECT_EQ(texts(*entry.get("classes")), (Keys{"fighter", "cleric"}));
    }
  }
  const JsonValue& bag = shop.get("players")->as_arr()->front().get("bag")->as_arr()->back();
  EXPECT_EQ(text_at(bag, "item"), "dagger");
  EXPECT_EQ(num(bag, "price"), 10);  // half price for what a player sells
  EXPECT_TRUE(flag(s.ask("inventory"), "town"));

  Service none;
  EXPECT_EQ(none.refusal("shop"), "there is no merchant here");
  EXPECT_EQ(none.refusal("inventory"), "no game: send new first");
}

}  // namespace
}  // namespace velmora
