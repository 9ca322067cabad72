#include "core/rules/party_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/data/game_data.h"
#include "core/replay/commands.h"
#include "core/rules/interactions.h"

namespace velmora {
namespace {

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint16_t item(std::string_view name) { return *item_id(game_data().items, name); }
std::uint8_t move(std::string_view name) { return *move_id(game_data().moves, name); }
std::uint64_t stage(std::string_view name) { return *stage_index(game_data().stages, name); }

// A fighter on slot 0 (bag: ration, mage robe, chain mail, knight's sword;
// 500 silver, 1000 xp) and a thief on slot 1, in the town.
World town() {
  std::vector<CharacterSheet> sheets = {new_character(kind("fighter")), new_character(kind("thief"))};
  sheets[1].slot = 1;
  World w = new_game(stage("millbrook"), 5, sheets);
  for (Actor& a : w.actors) a.silver = 500;
  w.actors[0].xp = 1000;
  w.actors[0].bag = {item("ration"), item("mage_robe"), item("chain_mail"), item("knight_sword")};
  return w;
}

using Prep = std::function<void(World&)>;
const Prep as_is = [](World&) {};
const Prep over = [](World& w) { w.over = GameStatus::cleared; };
const Prep fight = [](World& w) { w.fighting = 1; };
const Prep road = [](World& w) { w.stage_index = stage("first_road"); };
const Prep ko = [](World& w) { w.actors[0].state = ActorState::ko; };
const Prep broke = [](World& w) { w.actors[0].silver = 0; };
Prep silver(std::int32_t n) {
  return [=](World& w) { w.actors[0].silver = n; };
}

// Every command's refusals in its order: each row is prepared so that the
// checks after the expected one would refuse too. A refusal changes nothing.
TEST(PartyCommands, RefusalsInTheirOrder) {
  const Prep at_top = [](World& w) {
    w.actors[0].xp = 0;
    w.actors[0].sheet->raise(Attribute::skill) = 4;
  };
  const Prep floor_full = [](World& w) {
    while (lay_pickup(w, PickupContent::silver(1), Fx{}, Fx{})) {
    }
  };
  const Prep no_body = [](World& w) { w.actors[0].gear[2].reset(), fight(w); };
  const Prep crowded = [](World& w) { w.actors.resize(65536, actor_from_kind(2, kind("bandit"), 1, 255, 0, 0, 1)); };
  const DropPlace bag = DropPlace::bag, worn = DropPlace::worn;
  const Attribute st = Attribute::st;
  const std::tuple<const char*, Prep, Command> rows[] = {
      {"the stage is over", over, HandCommand{7, 7, 0}},
      {"give at least 1 silver", as_is, HandCommand{7, 7, 0}},
      {"give to another player", as_is, HandCommand{7, 7, 1}},
      {"nobody plays that slot", as_is, HandCommand{7, 0, 9999}},
      {"nobody plays that slot", as_is, HandCommand{0, 256, 9999}},  // never cut down onto slot 0
      {"nobody plays that slot", [](World& w) { w.actors[1].gone = 1; }, HandCommand{0, 1, 1}},
      {"not that much silver", as_is, HandCommand{0, 1, 501}},
      {"there is no merchant here", road, BuyCommand{9, item("wight_crown")}},
      {"the merchant does not sell that", broke, BuyCommand{9, item("wight_crown")}},
      {"nobody plays that slot", broke, BuyCommand{9, item("mage_robe")}},
      {"that is another class's gear", broke, BuyCommand{0, item("mage_robe")}},
      {"not enough silver", silver(119), BuyCommand{0, item("steel_helm")}},
      {"there is no merchant here", road, SellCommand{9, 99}},
      {"nobody plays that slot", as_is, SellCommand{9, 99}},
      {"nothing there to sell", as_is, SellCommand{0, 4}},
      {"points are spent at camp or at the inn", road, SpendCommand{9, st}},
      {"nobody plays that slot", as_is, SpendCommand{9, st}},
      {"already at the highest level", at_top, SpendCommand{0, Attribute::skill}},
      {"not enough character points", [](World& w) { w.actors[0].xp = 99; }, SpendCommand{0, st}},
      {"the stage is over", over, EquipCommand{9, 9}},
      {"nobody plays that slot", ko, EquipCommand{9, 9}},
      {"knocked out", ko, EquipCommand{0, 9}},
      {"nothing there", fight, EquipCommand{0, 4}},
      {"only gear can be worn", fight, EquipCommand{0, 0}},
      {"that is another class's gear", fight, EquipCommand{0, 1}},
      {"armour cannot be changed in a fight", fight, EquipCommand{0, 2}},
      {"the stage is over", over, UnequipCommand{9, 9}},
      {"nobody plays that slot", as_is, UnequipCommand{9, 9}},
      {"knocked out", [](World& w) { w.actors[0].gone = 2; }, UnequipCommand{0, 9}},
      {"nothing worn there", fight, UnequipCommand{0, 3}},
      {"nothing worn there", no_body, UnequipCommand{0, 2}},
      {"armour cannot be changed in a fight", fight, UnequipCommand{0, 1}},
      {"the stage is over", over, DropCommand{9, bag, 9}},
      {"nobody plays that slot", as_is, DropCommand{9, bag, 9}},
      {"knocked out", ko, DropCommand{0, bag, 9}},
      {"nothing there", floor_full, DropCommand{0, bag, 4}},
      {"nothing worn there", no_body, DropCommand{0, worn, 2}},  // not the fight's message
      {"nothing worn there", as_is, DropCommand{0, worn, UINT64_MAX}},
      {"armour cannot be changed in a fight", fight, DropCommand{0, worn, 1}},
      {"there is no room to drop anything here", floor_full, DropCommand{0, bag, 0}},
      {"there is no trainer here", road, TrainCommand{9, move("firebolt")}},
      {"nobody plays that slot", as_is, TrainCommand{9, move("firebolt")}},
      {"that is another class's art", broke, TrainCommand{0, move("firebolt")}},
      {"already learned", as_is, TrainCommand{0, move("whirlwind")}},  // a class's free special
      {"already learned", [](World& w) { w.actors[0].arts.push_back(move("rally_cry")); },
       TrainCommand{0, move("rally_cry")}},
      {"needs more weapon skill", broke, TrainCommand{0, move("war_cry")}},
      {"not enough silver", silver(59), TrainCommand{0, move("rally_cry")}},
      {"nobody plays that slot", as_is, LeaveCommand{2}},
      {"the last player cannot leave", [](World& w) { w.actors[1].gone = 1; }, LeaveCommand{0}},
      {"that kind is not a playable class", over, JoinCommand{9, kind("bandit")}},
      {"slot must be 0 to 3", over, JoinCommand{4, kind("thief")}},
      {"slot already playing", [](World& w) { ko(w), over(w); }, JoinCommand{0, kind("thief")}},  // knocked out
      {"the stage is over", over, JoinCommand{2, kind("thief")}},
      {"there is no room for another fighter", crowded, JoinCommand{2, kind("thief")}},
  };
  for (const auto& [message, prep, command] : rows) {
    SCOPED_TRACE(format_command(command));
    World w = town();
    prep(w);
    const World before = w;
    EXPECT_EQ(apply_command(w, command).message(), message);
    EXPECT_EQ(w, before);
  }
  World w = town();
  EXPECT_EQ(spend_actor_point(w, 256, Attribute::st).message(), "nobody plays that slot");
  EXPECT_EQ(give_item(w, 300, item("ration")).message(), "nobody plays that slot");
}

// One town visit, command after command: each success pushes exactly its own
// event and changes what it says.
TEST(PartyCommands, EachSuccessInATown) {
  World w = town();
  Actor& a = w.actors[0];
  a.hp = 3;  // hurt: spending moves the pools by the change of their maxima, unclamped
  a.sta = 7;
  const Actor old = a;
  using E = EventKind;
  const std::uint16_t helm = item("steel_helm"), sword = item("knight_sword");
  struct Row {
    Prep prep;
    Command command;
    Event event;
    std::function<void()> check;
  };
  const Row rows[] = {
      {ko, HandCommand{0, 1, 100}, Event::gift_of(0, 1, 100),  // a knocked-out player may still hand silver
       [&] { EXPECT_EQ(std::pair(a.silver, w.actors[1].silver), std::pair(400, 600)); }},
      {[](World& v) { v.actors[0].state = ActorState::idle; }, BuyCommand{0, helm},
       Event::actor_item(E::bought, 0, helm),
       [&] { EXPECT_EQ(std::tuple(a.silver, a.gear[1], a.bag.back()), std::tuple(280, helm, item("leather_cap"))); }},
      {fight, EquipCommand{0, 3}, Event::actor_item(E::equip, 0, sword),  // a weapon may be changed in a fight
       [&] {
         EXPECT_EQ(a.bag, (ItemList{item("ration"), item("mage_robe"), item("chain_mail"), item("leather_cap"),
                                    item("broadsword")}));
       }},
      {as_is, UnequipCommand{0, 0}, Event::actor_item(E::stow, 0, sword), [&] { EXPECT_FALSE(a.gear[0]); }},
      {over, SellCommand{0, 4}, Event::actor_item(E::sold, 0, item("broadsword")),  // a town that is over
       [&] { EXPECT_EQ(a.silver, 320) << "half the value of gear"; }},
      {[](World& v) { v.actors[0].bag.push_back(item("silver_ring")); }, SellCommand{0, 5},
       Event::actor_item(E::sold, 0, item("silver_ring")), [&] { EXPECT_EQ(a.silver, 350) << "a valuable's all"; }},
      {as_is, SellCommand{0, 0}, Event::actor_item(E::sold, 0, item("ration")),
       [&] { EXPECT_EQ(std::pair(a.silver, a.bag.front()), std::pair(352, item("mage_robe"))); }},
      {[](World& v) { v.actors[0].silver = 2147483647, v.over = GameStatus::playing, v.fighting = 0; },
       HandCommand{1, 0, 5}, Event::gift_of(1, 0, 5), [&] { EXPECT_EQ(a.silver, 2147483647) << "held at the top"; }},
      {[](World& v) { v.actors[0].x = Fx::from_raw(70001), v.pickups.resize(3); }, DropCommand{0, DropPlace::worn, 1},
       Event::actor_item(E::drop, 0, helm),
       [&] { EXPECT_EQ(w.pickups.back(), (Pickup{PickupContent::of_item(helm), a.x, a.z, 3, 0})); }},
      {as_is, SpendCommand{0, Attribute::st}, Event::of_actor(E::spent, 0),
       [&] {
         EXPECT_EQ(std::tuple(a.st, a.hp_max, a.hp),
                   std::tuple(old.st + 1, (old.st + 1) * old.toughness, 3 + old.toughness));
       }},
      {as_is, SpendCommand{0, Attribute::ht}, Event::of_actor(E::spent, 0),
       [&] {
         EXPECT_EQ(std::tuple(a.ht, a.fp, a.sta_max, a.sta), std::tuple(old.ht + 1, old.fp + 1, 10 * old.ht + 10, 17));
       }},
      {as_is, SpendCommand{0, Attribute::skill}, Event::of_actor(E::spent, 0),
       [&] { EXPECT_EQ(std::tuple(a.skill, a.sheet->points_spent, a.xp), std::tuple(1, 24, 1000)); }},
      {as_is, TrainCommand{0, move("war_cry")}, Event::learned_of(move("war_cry"), 0),
       [&] { EXPECT_EQ(std::pair(a.silver, a.arts.contains(move("war_cry"))), std::pair(2147483647 - 90, true)); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(format_command(r.command));
    r.prep(w);
    const std::size_t before = w.events.size();
    const Status status = apply_command(w, r.command);
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(w.events.size(), before + 1);
    EXPECT_EQ(w.events.back(), r.event);
    r.check();
  }
  ASSERT_TRUE(give_item(w, 0, item("chain_mail")).ok());  // worn at once, what it replaces is lost
  EXPECT_EQ(std::tuple(a.gear[2], a.bag.size(), w.events.size()), std::tuple(item("chain_mail"), 4u, 13u));

  World m = new_game(stage("millbrook"), 5, {new_character(kind("wizard"))});
  m.actors[0].xp = 1000;
  m.actors[0].mana = 0;
  ASSERT_TRUE(spend_actor_point(m, 0, Attribute::iq).ok());
  EXPECT_EQ(std::pair(m.actors[0].mana_max, m.actors[0].mana), std::pair(mana_for(m.actors[0].iq, true), 2));
}

TEST(PartyCommands, ALeaverComesBackWithTheSameClassOnly) {
  World w = town();
  w.actors[0].x = Fx::from_int(900);
  w.actors[0].z = Fx::from_int(210);
  w.actors[0].state = ActorState::ko;  // knocked out, but present: the thief may leave
  w.actors[1].bag = {item("ration")};
  w.actors[1].hp = -4;
  ASSERT_TRUE(apply_command(w, LeaveCommand{1}).ok());
  EXPECT_EQ(w.events, std::vector<Event>{Event::of_actor(EventKind::leave, 1)});
  w.actors[0].state = ActorState::idle;

  World back = w;  // in place, sheet kept, at least 1 hit point, beside the first standing player
  ASSERT_TRUE(apply_command(back, JoinCommand{1, kind("thief")}).ok());
  const Actor& t = back.actors[1];
  EXPECT_EQ(back.events.back(), Event::of_actor(EventKind::join, 1));
  EXPECT_EQ(std::tuple(back.actors.size(), t.gone, t.hp, t.silver, t.invuln), std::tuple(2u, 0, 1, 500, 78));
  EXPECT_EQ(std::tuple(t.bag, t.x, t.z), std::tuple(ItemList{item("ration")}, Fx::from_int(840), Fx::from_int(210)));

  // Another class: a new fighter with the next id; the thief stays gone.
  ASSERT_TRUE(apply_command(w, JoinCommand{1, kind("wizard")}).ok());
  EXPECT_EQ(w.events.back(), Event::of_actor(EventKind::join, 2));
  EXPECT_EQ(std::tuple(w.actors[1].gone, w.actors[2].kind, w.actors[2].slot, w.actors[2].invuln),
            std::tuple(1, kind("wizard"), 1, 78));

  w.actors[0].state = w.actors[2].state = ActorState::ko;  // nobody standing: at the camera, half-way across
  ASSERT_TRUE(join_slot(w, 3, kind("cleric")).ok());
  EXPECT_EQ(std::pair(w.actors.back().x.floor_int(), w.actors.back().z.floor_int()),
            std::pair(w.camera_x.floor_int(), w.stage().depth / 2));
}

}  // namespace
}  // namespace velmora
