// The party, shop and inventory replies and the item and gear JSON inside
// them, read back as a front end reads them.
#include "server/service/party_view.h"

#include <gtest/gtest.h>

#include "core/data/game_data.h"
#include "server/views/item_view.h"
#include "tests/support/service.h"

namespace velmora {
namespace {

using namespace velmora::testing;

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }

bool holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ItemAndGearJson, UsableMerchantPriceAndEncumbrance) {
  const std::tuple<const char*, const char*, const char*> items[] = {
      {"dagger", "thief", R"("usable":true,"damage":)"},     // no class list: anyone
      {"dagger", "thief", R"("price":10})"},                 // half of 20
      {"broadsword", "thief", R"("usable":false,)"},         // fighters only
      {"mace", "fighter", R"("usable":true,)"},              // the second class of its list
      {"ancient_coin", "thief", R"("price":15})"},           // a valuable: its full value
      {"quarterstaff", "fighter", R"("price":7})"},          // 15 / 2, truncated
      {"leather_cap", "fighter", R"({"item":"leather_cap","title":"Leather Cap","model":"leather_cap","slot":"head",)"
                                 R"("usable":true,"damage":0,"reach":0,"dr":1,"fatigue":0,"weight":10,"price":10})"},
  };
  for (const auto& [name, class_name, part] : items) {
    Json object = Json::object();
    item_json(object, item(name), *class_by_name(class_name));
    EXPECT_TRUE(holds(json_to_string(object), part)) << name << ": " << json_to_string(object);
  }
  // ST 10: basic lift 200 tenths of a pound; leather armour weighs 100, a coin 1.
  const std::array<int, 3> loads[] = {{2, 0, 0}, {2, 1, 1}, {4, 0, 1}, {4, 1, 2}, {6, 0, 2},
                                      {6, 1, 3}, {12, 0, 3}, {12, 1, 4}};
  for (auto [armour, coins, level] : loads) {
    Actor a;
    a.st = 10;
    a.gear[2] = item("leather_armor");
    for (int i = 1; i < armour; ++i) a.bag.push_back(item("leather_armor"));
    for (int i = 0; i < coins; ++i) a.bag.push_back(item("ancient_coin"));
    const std::string load = "\"carried\":" + std::to_string(armour * 100 + coins) + ",\"encumbrance\":" +
                             std::to_string(level) + ",";
    EXPECT_TRUE(holds(json_to_string(gear_json(std::span<const Actor>(&a, 1))), load)) << load;
  }
}

TEST(PartyReply, PointsAndOffers) {
  struct Case {
    std::int32_t xp, spent;
    std::array<std::int32_t, 5> raises;
    const char* shown;  // points, next_point_xp, then the five offers' "ok"
  } cases[] = {
      {35, 1, {}, "2 5 00000"},
      {40, 0, {}, "4 10 00001"},
      {100, 0, {}, "10 10 10011"},
      {209, 0, {5, 4, 5, 4, 4}, "20 1 01010"},  // the highest raises buy nothing more
      {-3, 0, {}, "0 3 00000"},                 // never more than 10 to go
  };
  for (const Case& c : cases) {
    CharacterSheet sheet = new_character(default_class());
    sheet.xp = c.xp;
    sheet.points_spent = c.spent;
    sheet.raises = c.raises;
    const std::string text = json_to_string(member_json(sheet));
    JsonCursor cursor{text, 0};
    const JsonValue m = json_parse(cursor).value();
    std::string shown = std::to_string(num_at(m, "points")) + " " + std::to_string(num_at(m, "next_point_xp")) + " ";
    for (const JsonValue& offer : *m.get("buys")->as_arr()) shown += flag_at(offer, "ok") ? '1' : '0';
    EXPECT_EQ(shown, c.shown) << c.xp;
  }
  EXPECT_TRUE(holds(json_to_string(member_json(new_character(default_class()))),
                    R"("buys":[{"what":"st","cost":10,"ok":false},{"what":"dx","cost":20,"ok":false},)"
                    R"({"what":"iq","cost":20,"ok":false},{"what":"ht","cost":10,"ok":false},)"
                    R"({"what":"skill","cost":4,"ok":false}],"gear":["broadsword","leather_cap","leather_armor"],)"
                    R"("bag":[],"bag_value":0,"silver":0})"));
}

// A game of three classes: the fighter wears a helm and carries a potion and
// a coin; the thief wears nothing and is listed first by slot; the wizard is
// knocked out, then leaves.
TEST(Replies, KeysAndValuesForAPartyOfThreeClasses) {
  Service s;
  EXPECT_EQ(handle_request(s.state, "party"), R"({"ok":true,"message":"","node":"","party":[]})");
  EXPECT_EQ(s.message("shop"), "there is no merchant here");
  EXPECT_EQ(s.message("inventory"), "no game: send new first");
  s.ask("new 11 3 fighter thief wizard");
  EXPECT_EQ(s.message("shop"), "there is no merchant here");  // the road has no merchant
  World& w = *s.state.game;
  w.actors[0].gear[1] = item("steel_helm");
  w.actors[0].bag = {item("healing_potion"), item("ancient_coin")};
  w.actors[0].silver = 120;
  w.actors[1].gear = {};
  w.actors[2].state = ActorState::ko;

  const std::string party = handle_request(s.state, "party");
  EXPECT_TRUE(holds(party, R"({"ok":true,"message":"","node":"first_road","party":[{"slot":0,"class":"fighter",)"));
  EXPECT_TRUE(holds(party, R"("gear":["broadsword","steel_helm","leather_armor"],"bag":["healing_potion",)"
                           R"("ancient_coin"],"bag_value":45,"silver":120})"));
  EXPECT_TRUE(holds(party, R"({"slot":1,"class":"thief","skill_name":"Knife","st":10,"dx":14,"iq":11,"ht":10,)"
                           R"("skill":0,"hp":10,"fp":10,"mana":0,"search":13,"move":7,)"));
  EXPECT_TRUE(holds(party, R"("gear":[],"bag":[],"bag_value":0,"silver":0},{"slot":2,)"));  // nothing worn
  EXPECT_TRUE(holds(party, R"({"slot":2,"class":"wizard","skill_name":"Staff","st":9,"dx":11,"iq":14,"ht":10,)"
                           R"("skill":0,"hp":9,"fp":10,"mana":12,"search":4,"move":5,"xp":0,"points":0,)"
                           R"("next_point_xp":10,"buys":)"));

  std::swap(w.actors[0].slot, w.actors[1].slot);
  const std::string players = json_to_string(gear_json(w.actors));
  EXPECT_TRUE(players.starts_with(R"([{"slot":0,"class":"thief","silver":0,"worn":[{"worn":0,"item":""},)"
                                  R"({"worn":1,"item":""},{"worn":2,"item":""}],"bag":[],"carried":0,)"));
  EXPECT_TRUE(holds(players, R"({"worn":1,"item":"steel_helm","title":"Steel Helm","model":"steel_helm",)"
                             R"("slot":"head","usable":true,"damage":0,"reach":0,"dr":2,"fatigue":5,"weight":40,)"
                             R"("price":60},{"worn":2,"item":"leather_armor",)"));
  EXPECT_TRUE(holds(players, R"({"index":1,"item":"ancient_coin",)"));
  EXPECT_TRUE(holds(players, R"("carried":176,"encumbrance":0,"dr":4,"fatigue":15,"out":false},)"));
  EXPECT_TRUE(holds(players, R"("out":true}])"));  // the knocked-out wizard, last by slot
  w.actors[2].gone = 1;
  EXPECT_FALSE(holds(json_to_string(gear_json(w.actors)), "wizard"));  // one who left is not listed

  s.ask("debug on");
  s.ask("goto millbrook");
  const std::string shop = handle_request(s.state, "shop");
  EXPECT_TRUE(holds(shop, R"({"ok":true,"message":"","stock":[{"item":"healing_potion",)"));
  EXPECT_TRUE(holds(shop, R"({"item":"steel_helm","title":"Steel Helm","model":"steel_helm","slot":"head",)"
                          R"("price":120,"classes":["fighter","cleric"],"dr":2,"fatigue":5,"damage":0,"reach":0,)"
                          R"("weight":40})"));
  EXPECT_TRUE(holds(shop, R"("item":"runed_staff",)"));
  EXPECT_TRUE(holds(shop, R"("weight":40}],"players":[{"slot":0,"class":"thief",)"));  // after the whole stock
  EXPECT_TRUE(reply_inventory(s.state, "equip").starts_with(R"({"ok":true,"message":"equip","town":true,"in_combat":false,)"));
}

// Each party command answers with its own reply and message.
TEST(Replies, EachPartyCommandAnswersWithItsReply) {
  Service s;
  s.ask("new 3 2 fighter wizard");
  s.ask("debug on");
  s.ask("goto millbrook");
  s.state.game->actors[0].silver = 500;
  s.state.game->actors[0].xp = 100;
  const std::pair<const char*, const char*> cases[] = {
      {"buy 0 dagger", R"({"ok":true,"message":"bought","stock":[{"item":"healing_potion",)"},
      {"sell 0 0", R"({"ok":true,"message":"sold","stock":[)"},
      {"spend 0 st", R"({"ok":true,"message":"spent","node":"millbrook","party":[{"slot":0,"class":"fighter",)"
                     R"("skill_name":"Broadsword","st":13,)"},
      {"train 0 rally_cry", R"({"ok":true,"message":"learned","events":[{"kind":"bought",)"},  // all since the tick
      {"hand 0 1 5", R"({"ok":true,"message":"given","town":true,"in_combat":false,"players":[)"},
      {"unequip 0 0", R"({"ok":true,"message":"unequip","town":true,)"},
      {"equip 0 0", R"({"ok":true,"message":"equip","town":true,)"},
      {"drop 0 worn 1", R"({"ok":true,"message":"drop","town":true,)"},
  };
  for (const auto& [line, start] : cases) {
    const std::string reply = handle_request(s.state, line);
    EXPECT_TRUE(reply.starts_with(start)) << line << ": " << reply.substr(0, 200);
  }
}

}  // namespace
}  // namespace velmora
