#include "core/party_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/game_data.h"
#include "core/interactions.h"

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
using Call = std::function<Status(World&)>;
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
  const auto hand = [](std::uint64_t f, std::uint64_t t, std::int32_t n) {
    return [=](World& w) { return give_silver(w, f, t, n); };
  };
  const auto buy = [](std::uint64_t s, std::string_view i) {
    return [=](World& w) { return buy_item(w, s, item(i)); };
  };
  const auto sell = [](std::uint64_t s, std::uint64_t i) { return [=](World& w) { return sell_item(w, s, i); }; };
  const auto spend = [](std::uint64_t s, Attribute a) { return [=](World& w) { return spend_actor_point(w, s, a); }; };
  const auto equip = [](std::uint64_t s, std::uint64_t i) { return [=](World& w) { return equip_item(w, s, i); }; };
  const auto unequip = [](std::uint64_t s, std::uint64_t i) { return [=](World& w) { return unequip_item(w, s, i); }; };
  const auto drop = [](std::uint64_t s, DropPlace p, std::uint64_t i) {
    return [=](World& w) { return drop_item(w, s, p, i); };
  };
  const auto train = [](std::uint64_t s, std::string_view m) {
    return [=](World& w) { return train_art(w, s, move(m)); };
  };
  const auto join = [](std::uint64_t s, std::string_view c) {
    return [=](World& w) { return join_slot(w, s, kind(c)); };
  };
  const auto leave = [](std::uint64_t s) { return [=](World& w) { return leave_slot(w, s); }; };
  const Prep at_top = [](World& w) {
    w.actors[0].xp = 0;
    w.actors[0].sheet->raise(Attribute::skill) = 4;
  };
  const Prep floor_full = [](World& w) {
    while (lay_pickup(w, PickupContent::silver(1), Fx{}, Fx{})) {
    }
  };
  const Prep no_body = [](World& w) {
    w.actors[0].gear[2].reset();
    fight(w);
  };
  const DropPlace bag = DropPlace::bag, worn = DropPlace::worn;
  const std::tuple<const char*, Prep, Call> rows[] = {
      {"the stage is over", over, hand(7, 7, 0)},
      {"give at least 1 silver", as_is, hand(7, 7, 0)},
      {"give to another player", as_is, hand(7, 7, 1)},
      {"nobody plays that slot", as_is, hand(7, 0, 9999)},
      {"nobody plays that slot", as_is, hand(0, 256, 9999)},  // never cut down onto slot 0
      {"nobody plays that slot", [](World& w) { w.actors[1].gone = 1; }, hand(0, 1, 1)},
      {"not that much silver", as_is, hand(0, 1, 501)},
      {"there is no merchant here", road, buy(9, "wight_crown")},
      {"the merchant does not sell that", broke, buy(9, "wight_crown")},
      {"nobody plays that slot", broke, buy(9, "mage_robe")},
      {"that is another class's gear", broke, buy(0, "mage_robe")},
      {"not enough silver", silver(119), buy(0, "steel_helm")},
      {"there is no merchant here", road, sell(9, 99)},
      {"nobody plays that slot", as_is, sell(9, 99)},
      {"nothing there to sell", as_is, sell(0, 4)},
      {"points are spent at camp or at the inn", road, spend(9, Attribute::st)},
      {"nobody plays that slot", as_is, spend(256, Attribute::st)},
      {"already at the highest level", at_top, spend(0, Attribute::skill)},
      {"not enough character points", [](World& w) { w.actors[0].xp = 99; }, spend(0, Attribute::st)},
      {"the stage is over", over, equip(9, 9)},
      {"nobody plays that slot", ko, equip(9, 9)},
      {"knocked out", ko, equip(0, 9)},
      {"nothing there", fight, equip(0, 4)},
      {"only gear can be worn", fight, equip(0, 0)},
      {"that is another class's gear", fight, equip(0, 1)},
      {"armour cannot be changed in a fight", fight, equip(0, 2)},
      {"the stage is over", over, unequip(9, 9)},
      {"nobody plays that slot", as_is, unequip(9, 9)},
      {"knocked out", [](World& w) { w.actors[0].gone = 2; }, unequip(0, 9)},
      {"nothing worn there", fight, unequip(0, 3)},
      {"nothing worn there", no_body, unequip(0, 2)},
      {"armour cannot be changed in a fight", fight, unequip(0, 1)},
      {"the stage is over", over, drop(9, bag, 9)},
      {"nobody plays that slot", as_is, drop(9, bag, 9)},
      {"knocked out", ko, drop(0, bag, 9)},
      {"nothing there", floor_full, drop(0, bag, 4)},
      {"nothing worn there", no_body, drop(0, worn, 2)},  // not the fight's message
      {"nothing worn there", as_is, drop(0, worn, UINT64_MAX)},
      {"armour cannot be changed in a fight", fight, drop(0, worn, 1)},
      {"there is no room to drop anything here", floor_full, drop(0, bag, 0)},
      {"there is no trainer here", road, train(9, "firebolt")},
      {"nobody plays that slot", as_is, train(9, "firebolt")},
      {"that is another class's art", broke, train(0, "firebolt")},
      {"already learned", as_is, train(0, "whirlwind")},  // a class's free special
      {"already learned", [](World& w) { w.actors[0].arts.push_back(move("rally_cry")); }, train(0, "rally_cry")},
      {"needs more weapon skill", broke, train(0, "war_cry")},
      {"not enough silver", silver(59), train(0, "rally_cry")},
      {"nobody plays that slot", as_is, leave(2)},
      {"the last player cannot leave", [](World& w) { w.actors[1].gone = 1; }, leave(0)},
      {"that kind is not a playable class", over, join(9, "bandit")},
      {"slot must be 0 to 3", over, join(4, "thief")},
      {"slot already playing", [](World& w) { ko(w), over(w); }, join(0, "thief")},  // knocked out
      {"the stage is over", over, join(2, "thief")},
      {"there is no room for another fighter",
       [](World& w) { w.actors.resize(65536, actor_from_kind(2, kind("bandit"), 1, 255, 0, 0, 1)); }, join(2, "thief")},
      {"nobody plays that slot", as_is, [](World& w) { return give_item(w, 300, item("ration")); }},
  };
  for (const auto& [message, prep, call] : rows) {
    SCOPED_TRACE(message);
    World w = town();
    prep(w);
    const World before = w;
    const Status status = call(w);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.message(), message);
    EXPECT_EQ(w, before);
  }
}

// Each success pushes exactly its own event.
void expect_done(World& w, const Call& call, const Event& event) {
  const std::size_t before = w.events.size();
  const Status status = call(w);
  ASSERT_TRUE(status.ok()) << status.message();
  ASSERT_EQ(w.events.size(), before + 1);
  EXPECT_EQ(w.events.back(), event);
}

TEST(PartyCommands, SilverGearAndTheShop) {
  World w = town();
  Actor& a = w.actors[0];
  a.state = ActorState::ko;  // a knocked-out player may still hand silver
  expect_done(
      w, [&](World& v) { return give_silver(v, 0, 1, 100); }, Event::gift_of(0, 1, 100));
  EXPECT_EQ(std::pair(a.silver, w.actors[1].silver), std::pair(400, 600));
  a.state = ActorState::idle;
  expect_done(
      w, [&](World& v) { return buy_item(v, 0, item("steel_helm")); },
      Event::actor_item(EventKind::bought, 0, item("steel_helm")));
  EXPECT_EQ(a.silver, 280);
  EXPECT_EQ(a.gear[1], item("steel_helm"));
  EXPECT_EQ(a.bag.back(), item("leather_cap")) << "the old helm to the end of the bag";
  w.fighting = 1;  // a weapon may be changed in a fight
  expect_done(
      w, [&](World& v) { return equip_item(v, 0, 3); }, Event::actor_item(EventKind::equip, 0, item("knight_sword")));
  EXPECT_EQ(a.gear[0], item("knight_sword"));
  EXPECT_EQ(a.bag,
            (ItemList{item("ration"), item("mage_robe"), item("chain_mail"), item("leather_cap"), item("broadsword")}));
  expect_done(
      w, [&](World& v) { return unequip_item(v, 0, 0); }, Event::actor_item(EventKind::stow, 0, item("knight_sword")));
  EXPECT_FALSE(a.gear[0]);
  w.over = GameStatus::cleared;  // selling goes on in a town whose stage is over
  expect_done(
      w, [&](World& v) { return sell_item(v, 0, 4); }, Event::actor_item(EventKind::sold, 0, item("broadsword")));
  EXPECT_EQ(a.silver, 320) << "half the value of gear";
  a.bag.push_back(item("silver_ring"));
  ASSERT_TRUE(sell_item(w, 0, a.bag.size() - 1).ok());
  EXPECT_EQ(a.silver, 350) << "all of a valuable's";
  ASSERT_TRUE(sell_item(w, 0, 0).ok());
  EXPECT_EQ(a.silver, 352) << "5 / 2, truncating";
  EXPECT_EQ(a.bag.front(), item("mage_robe")) << "the others keep their order";
  a.silver = 2147483647;
  w.over = GameStatus::playing;
  ASSERT_TRUE(give_silver(w, 1, 0, 5).ok());
  EXPECT_EQ(a.silver, 2147483647) << "held at the top, never wrapped";

  World d = town();
  d.actors[0].x = Fx::from_raw(70001);
  d.pickups.resize(3);
  expect_done(
      d, [&](World& v) { return drop_item(v, 0, DropPlace::worn, 1); },
      Event::actor_item(EventKind::drop, 0, item("leather_cap")));
  EXPECT_EQ(d.pickups.back(),
            (Pickup{PickupContent::of_item(item("leather_cap")), d.actors[0].x, d.actors[0].z, 3, 0}));
  EXPECT_FALSE(d.actors[0].gear[1]);
  ASSERT_TRUE(give_item(d, 0, item("steel_helm")).ok());
  EXPECT_EQ(d.actors[0].gear[1], item("steel_helm"));
  EXPECT_EQ(d.events.size(), 1u) << "the debug give has no event";
}

TEST(PartyCommands, SpendAndTrainAtTheirPlaces) {
  World w = town();
  Actor& a = w.actors[0];
  a.hp = 3;  // hurt: the pools move by the change of their maxima, unclamped
  a.sta = 7;
  const Actor old = a;
  expect_done(
      w, [&](World& v) { return spend_actor_point(v, 0, Attribute::st); }, Event::of_actor(EventKind::spent, 0));
  ASSERT_TRUE(spend_actor_point(w, 0, Attribute::ht).ok());
  ASSERT_TRUE(spend_actor_point(w, 0, Attribute::skill).ok());
  EXPECT_EQ(std::tuple(a.st, a.hp_max, a.hp), std::tuple(old.st + 1, (old.st + 1) * old.toughness, 3 + old.toughness));
  EXPECT_EQ(std::tuple(a.ht, a.fp, a.sta_max, a.sta), std::tuple(old.ht + 1, old.fp + 1, 10 * (old.ht + 1), 17));
  EXPECT_EQ(std::tuple(a.skill, a.sheet->points_spent, a.xp), std::tuple(1, 24, 1000));

  World m = new_game(stage("millbrook"), 5, {new_character(kind("wizard"))});
  m.actors[0].xp = 1000;
  m.actors[0].mana = 0;
  ASSERT_TRUE(spend_actor_point(m, 0, Attribute::iq).ok());
  EXPECT_EQ(std::pair(m.actors[0].mana_max, m.actors[0].mana), std::pair(mana_for(m.actors[0].iq, true), 2));

  expect_done(
      w, [&](World& v) { return train_art(v, 0, move("war_cry")); }, Event::learned_of(move("war_cry"), 0));
  EXPECT_EQ(a.silver, 410);
  EXPECT_TRUE(a.arts.contains(move("war_cry")));
}

TEST(PartyCommands, ALeaverComesBackWithTheSameClassOnly) {
  World w = town();
  w.actors[0].x = Fx::from_int(900);
  w.actors[0].z = Fx::from_int(210);
  w.actors[1].bag = {item("ration")};
  w.actors[1].hp = -4;
  expect_done(
      w, [&](World& v) { return leave_slot(v, 1); }, Event::of_actor(EventKind::leave, 1));

  World back = w;  // in place, sheet kept, at least 1 hit point, beside the first standing player
  expect_done(
      back, [&](World& v) { return join_slot(v, 1, kind("thief")); }, Event::of_actor(EventKind::join, 1));
  const Actor& t = back.actors[1];
  EXPECT_EQ(std::tuple(back.actors.size(), t.gone, t.hp, t.silver, t.invuln), std::tuple(2u, 0, 1, 500, 78));
  EXPECT_EQ(t.bag, ItemList{item("ration")});
  EXPECT_EQ(std::pair(t.x, t.z), std::pair(Fx::from_int(840), Fx::from_int(210)));

  World other = w;  // another class: a new fighter with the next id; the thief stays gone
  expect_done(
      other, [&](World& v) { return join_slot(v, 1, kind("wizard")); }, Event::of_actor(EventKind::join, 2));
  EXPECT_EQ(std::tuple(other.actors[1].gone, other.actors[2].kind, other.actors[2].slot),
            std::tuple(1, kind("wizard"), 1));

  w.actors[0].state = ActorState::ko;  // nobody standing: at the camera, half-way across
  ASSERT_TRUE(join_slot(w, 3, kind("cleric")).ok());
  EXPECT_EQ(std::pair(w.actors.back().x.floor_int(), w.actors.back().z.floor_int()),
            std::pair(w.camera_x.floor_int(), w.stage().depth / 2));
}

}  // namespace
}  // namespace velmora
