#include "core/party_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/game_data.h"
#include "core/interactions.h"

namespace velmora {
namespace {

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint16_t item(std::string_view name) { return *item_id(game_data().items, name); }
std::uint8_t move(std::string_view name) { return *move_id(game_data().moves, name); }
std::uint64_t stage(std::string_view name) { return *stage_index(game_data().stages, name); }

// A fighter on slot 0 and a thief on slot 1, in the town (shop, inn and
// trainer) by default; each with 500 silver and the bag given.
World party(std::string_view where = "millbrook") {
  std::vector<CharacterSheet> sheets = {new_character(kind("fighter")), new_character(kind("thief"))};
  sheets[1].slot = 1;
  World w = new_game(stage(where), 5, sheets);
  for (Actor& a : w.actors) a.silver = 500;
  return w;
}

using Call = std::function<Status(World&)>;
using Setup = std::function<void(World&)>;

const Setup as_is = [](World&) {};
void over(World& w) { w.over = GameStatus::cleared; }
void fight(World& w) { w.fighting = 1; }
void on_the_road(World& w) { w.stage_index = stage("first_road"); }

// One row of a command's refusals: the world is prepared, the command called;
// it must answer the message and change nothing at all.
struct Refusal {
  const char* message;
  Setup setup;
  Call call;
};

void expect_refusals(const World& base, const std::vector<Refusal>& rows) {
  for (const Refusal& r : rows) {
    SCOPED_TRACE(r.message);
    World w = base;
    r.setup(w);
    const World before = w;
    const Status status = r.call(w);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.message(), r.message);
    EXPECT_EQ(w, before);
  }
}

// A success: exactly one event, the one expected, is pushed.
void expect_done(World& w, const Status& status, const Event& event) {
  ASSERT_TRUE(status.ok()) << status.message();
  ASSERT_FALSE(w.events.empty());
  EXPECT_EQ(w.events.back(), event);
}

// Each refusal is set up so that every later check would refuse too: the
// first check in the order wins.
TEST(GiveSilver, RefusalsInOrderThenTheGift) {
  const World base = party();
  expect_refusals(base, {
      {"the stage is over", over, [](World& w) { return give_silver(w, 7, 7, 0); }},
      {"give at least 1 silver", as_is, [](World& w) { return give_silver(w, 7, 7, 0); }},
      {"give to another player", as_is, [](World& w) { return give_silver(w, 7, 7, 1); }},
      {"nobody plays that slot", as_is, [](World& w) { return give_silver(w, 7, 0, 9999); }},
      {"nobody plays that slot", as_is, [](World& w) { return give_silver(w, 0, 256, 9999); }},  // never slot 0
      {"nobody plays that slot", as_is, [](World& w) { return give_silver(w, 0, 4, 1); }},
      {"nobody plays that slot", [](World& w) { w.actors[1].gone = 1; }, [](World& w) { return give_silver(w, 0, 1, 1); }},
      {"not that much silver", as_is, [](World& w) { return give_silver(w, 0, 1, 501); }},
  });
  World w = base;
  w.actors[0].state = ActorState::ko;  // a knocked-out player may still give
  expect_done(w, give_silver(w, 0, 1, 500), Event::gift_of(0, 1, 500));
  EXPECT_EQ(w.actors[0].silver, 0);
  EXPECT_EQ(w.actors[1].silver, 1000);
  w.actors[1].silver = 2147483647;
  w.actors[0].silver = 5;
  ASSERT_TRUE(give_silver(w, 0, 1, 5).ok());
  EXPECT_EQ(w.actors[1].silver, 2147483647) << "held at the top, never wrapped";
}

TEST(BuyItem, RefusalsInOrderThenGearIsWorn) {
  const World base = party();
  const auto buy = [](std::uint64_t slot, std::string_view name) {
    return [=](World& w) { return buy_item(w, slot, item(name)); };
  };
  expect_refusals(base, {
      {"there is no merchant here", on_the_road, buy(9, "wight_crown")},
      {"the merchant does not sell that", [](World& w) { w.actors[0].silver = 0; }, buy(9, "wight_crown")},
      {"nobody plays that slot", as_is, buy(9, "mage_robe")},
      {"that is another class's gear", [](World& w) { w.actors[0].silver = 0; }, buy(0, "mage_robe")},
      {"not enough silver", [](World& w) { w.actors[0].silver = 119; }, buy(0, "steel_helm")},
  });
  World w = base;
  expect_done(w, buy_item(w, 0, item("steel_helm")), Event::actor_item(EventKind::bought, 0, item("steel_helm")));
  EXPECT_EQ(w.actors[0].silver, 380);
  EXPECT_EQ(w.actors[0].gear[1], item("steel_helm"));
  EXPECT_EQ(w.actors[0].bag, ItemList{item("leather_cap")}) << "the old helm goes to the end of the bag";
  ASSERT_TRUE(buy_item(w, 0, item("ration")).ok());
  EXPECT_EQ(w.actors[0].bag, (ItemList{item("leather_cap"), item("ration")}));
}

TEST(SellItem, RefusalsInOrderThenHalfTheValueOrAllOfAValuable) {
  World base = party();
  base.actors[0].bag = {item("silver_ring"), item("dagger"), item("ration")};
  expect_refusals(base, {
      {"there is no merchant here", on_the_road, [](World& w) { return sell_item(w, 9, 99); }},
      {"nobody plays that slot", as_is, [](World& w) { return sell_item(w, 9, 99); }},
      {"nothing there to sell", as_is, [](World& w) { return sell_item(w, 0, 3); }},
  });
  World w = base;
  w.over = GameStatus::cleared;  // selling goes on in a town whose stage is over
  expect_done(w, sell_item(w, 0, 1), Event::actor_item(EventKind::sold, 0, item("dagger")));
  EXPECT_EQ(w.actors[0].silver, 510);
  EXPECT_EQ(w.actors[0].bag, (ItemList{item("silver_ring"), item("ration")})) << "the others keep their order";
  ASSERT_TRUE(sell_item(w, 0, 0).ok());
  EXPECT_EQ(w.actors[0].silver, 540);
  ASSERT_TRUE(sell_item(w, 0, 0).ok());
  EXPECT_EQ(w.actors[0].silver, 542) << "5 / 2, truncating";
}

TEST(SpendActorPoint, RefusalsInOrderThenThePoolsFollowTheirMaxima) {
  World base = party();
  base.actors[0].xp = 1000;
  const auto spend = [](std::uint64_t slot, Attribute a) { return [=](World& w) { return spend_actor_point(w, slot, a); }; };
  const auto at_top = [](World& w) {
    w.actors[0].xp = 0;
    CharacterSheet sheet = *w.actors[0].sheet;
    sheet.raise(Attribute::skill) = 4;
    w.actors[0].sheet = sheet;
  };
  expect_refusals(base, {
      {"points are spent at camp or at the inn", on_the_road, spend(9, Attribute::st)},
      {"nobody plays that slot", as_is, spend(256, Attribute::st)},
      {"already at the highest level", at_top, spend(0, Attribute::skill)},
      {"not enough character points", [](World& w) { w.actors[0].xp = 99; }, spend(0, Attribute::st)},
  });

  World w = base;
  Actor& a = w.actors[0];
  a.hp = 3;  // hurt: the pools move by the change of their maxima, unclamped
  a.sta = 7;
  const Actor old = a;
  expect_done(w, spend_actor_point(w, 0, Attribute::st), Event::of_actor(EventKind::spent, 0));
  EXPECT_EQ(a.st, old.st + 1);
  EXPECT_EQ(a.hp_max, (old.st + 1) * old.toughness);
  EXPECT_EQ(a.hp, 3 + old.toughness);
  EXPECT_EQ(a.sheet->raise(Attribute::st), 1);
  EXPECT_EQ(a.sheet->points_spent, 10);
  ASSERT_TRUE(spend_actor_point(w, 0, Attribute::ht).ok());
  EXPECT_EQ(a.ht, old.ht + 1);
  EXPECT_EQ(a.fp, old.fp + 1);
  EXPECT_EQ(a.sta_max, 10 * (old.ht + 1));
  EXPECT_EQ(a.sta, 17);
  ASSERT_TRUE(spend_actor_point(w, 0, Attribute::skill).ok());
  EXPECT_EQ(a.skill, 1);
  EXPECT_EQ(a.sheet->points_spent, 24);
  EXPECT_EQ(a.xp, 1000) << "the sheet keeps the live experience";

  // A wizard's mana follows a raise of IQ.
  World m = new_game(stage("millbrook"), 5, {new_character(kind("wizard"))});
  m.actors[0].xp = 1000;
  m.actors[0].mana = 0;
  ASSERT_TRUE(spend_actor_point(m, 0, Attribute::iq).ok());
  EXPECT_EQ(m.actors[0].mana_max, mana_for(m.actors[0].iq, true));
  EXPECT_EQ(m.actors[0].mana, 2);
}

TEST(EquipItem, RefusalsInOrderThenWornWithTheOldOneStowed) {
  World base = party();
  base.actors[0].bag = {item("ration"), item("mage_robe"), item("chain_mail"), item("knight_sword")};
  const auto equip = [](std::uint64_t slot, std::uint64_t i) { return [=](World& w) { return equip_item(w, slot, i); }; };
  const auto knocked_out = [](World& w) { w.actors[0].state = ActorState::ko; };
  expect_refusals(base, {
      {"the stage is over", over, equip(9, 9)},
      {"nobody plays that slot", as_is, equip(9, 9)},
      {"knocked out", knocked_out, equip(0, 9)},
      {"nothing there", as_is, equip(0, 4)},
      {"only gear can be worn", fight, equip(0, 0)},
      {"that is another class's gear", fight, equip(0, 1)},
      {"armour cannot be changed in a fight", fight, equip(0, 2)},
  });
  World w = base;
  w.fighting = 1;  // a weapon may be changed in a fight
  expect_done(w, equip_item(w, 0, 3), Event::actor_item(EventKind::equip, 0, item("knight_sword")));
  EXPECT_EQ(w.actors[0].gear[0], item("knight_sword"));
  EXPECT_EQ(w.actors[0].bag,
            (ItemList{item("ration"), item("mage_robe"), item("chain_mail"), item("broadsword")}));
}

TEST(UnequipItem, RefusalsInOrderThenStowed) {
  World base = party();
  base.actors[0].gear[2].reset();
  const auto unequip = [](std::uint64_t slot, std::uint64_t i) {
    return [=](World& w) { return unequip_item(w, slot, i); };
  };
  expect_refusals(base, {
      {"the stage is over", over, unequip(9, 9)},
      {"nobody plays that slot", as_is, unequip(9, 9)},
      {"knocked out", [](World& w) { w.actors[0].gone = 2; }, unequip(0, 9)},
      {"nothing worn there", fight, unequip(0, 3)},
      {"nothing worn there", fight, unequip(0, 2)},
      {"armour cannot be changed in a fight", fight, unequip(0, 1)},
  });
  World w = base;
  w.fighting = 1;
  expect_done(w, unequip_item(w, 0, 0), Event::actor_item(EventKind::stow, 0, item("broadsword")));
  EXPECT_FALSE(w.actors[0].gear[0]);
  EXPECT_EQ(w.actors[0].bag, ItemList{item("broadsword")});
}

TEST(DropItem, RefusalsInOrderThenLaidWhereThePlayerStands) {
  World base = party("first_road");
  base.actors[0].bag = {item("ration")};
  base.actors[0].gear[2].reset();
  const auto drop = [](std::uint64_t slot, DropPlace p, std::uint64_t i) {
    return [=](World& w) { return drop_item(w, slot, p, i); };
  };
  const auto floor_full = [](World& w) {
    while (lay_pickup(w, PickupContent::silver(1), Fx{}, Fx{})) {
    }
  };
  expect_refusals(base, {
      {"the stage is over", over, drop(9, DropPlace::bag, 9)},
      {"nobody plays that slot", as_is, drop(9, DropPlace::bag, 9)},
      {"knocked out", [](World& w) { w.actors[0].state = ActorState::ko; }, drop(0, DropPlace::bag, 9)},
      {"nothing there", floor_full, drop(0, DropPlace::bag, 1)},
      {"nothing worn there", fight, drop(0, DropPlace::worn, 2)},  // not the fight's message
      {"nothing worn there", as_is, drop(0, DropPlace::worn, UINT64_MAX)},
      {"armour cannot be changed in a fight", fight, drop(0, DropPlace::worn, 1)},
      {"there is no room to drop anything here", floor_full, drop(0, DropPlace::bag, 0)},
  });
  World w = base;
  w.actors[0].x = Fx::from_raw(70001);
  w.actors[0].z = Fx::from_raw(30002);
  w.pickups.resize(3);
  expect_done(w, drop_item(w, 0, DropPlace::worn, 1), Event::actor_item(EventKind::drop, 0, item("leather_cap")));
  EXPECT_FALSE(w.actors[0].gear[1]);
  EXPECT_EQ(w.pickups.back(),
            (Pickup{PickupContent::of_item(item("leather_cap")), w.actors[0].x, w.actors[0].z, 3, 0}));
  ASSERT_TRUE(drop_item(w, 0, DropPlace::bag, 0).ok());
  EXPECT_TRUE(w.actors[0].bag.empty());
  EXPECT_EQ(w.pickups.back().id, 4);
}

TEST(TrainArt, RefusalsInOrderThenLearned) {
  const World base = party();
  const auto train = [](std::uint64_t slot, std::string_view name) {
    return [=](World& w) { return train_art(w, slot, move(name)); };
  };
  expect_refusals(base, {
      {"there is no trainer here", on_the_road, train(9, "firebolt")},
      {"nobody plays that slot", as_is, train(9, "firebolt")},
      {"that is another class's art", [](World& w) { w.actors[0].silver = 0; }, train(0, "firebolt")},
      {"already learned", as_is, train(0, "whirlwind")},  // a class's free special
      {"already learned", [](World& w) { w.actors[0].arts.push_back(move("rally_cry")); }, train(0, "rally_cry")},
      {"needs more weapon skill", [](World& w) { w.actors[0].silver = 0; }, train(0, "war_cry")},
      {"not enough silver", [](World& w) { w.actors[0].silver = 59; }, train(0, "rally_cry")},
  });
  World w = base;
  w.actors[0].skill = 1;
  expect_done(w, train_art(w, 0, move("war_cry")), Event::learned_of(move("war_cry"), 0));
  EXPECT_EQ(w.actors[0].silver, 410);
  EXPECT_TRUE(w.actors[0].arts.contains(move("war_cry")));
}

TEST(LeaveAndJoin, RefusalsInOrder) {
  World base = party("first_road");
  base.actors[0].state = ActorState::ko;
  expect_refusals(base, {
      {"nobody plays that slot", as_is, [](World& w) { return leave_slot(w, 2); }},
      {"the last player cannot leave", [](World& w) { w.actors[1].gone = 1; },
       [](World& w) { return leave_slot(w, 0); }},
      {"that kind is not a playable class", over, [](World& w) { return join_slot(w, 9, kind("bandit")); }},
      {"slot must be 0 to 3", over, [](World& w) { return join_slot(w, 4, kind("thief")); }},
      {"slot already playing", over, [](World& w) { return join_slot(w, 0, kind("thief")); }},  // knocked out
      {"the stage is over", over, [](World& w) { return join_slot(w, 2, kind("thief")); }},
      {"there is no room for another fighter",
       [](World& w) { w.actors.resize(65536, actor_from_kind(2, kind("bandit"), 1, 255, 0, 0, 1)); },
       [](World& w) { return join_slot(w, 2, kind("thief")); }},
  });
}

TEST(LeaveAndJoin, ALeaverComesBackWithTheSameClassOnly) {
  World w = party("first_road");
  w.actors[0].x = Fx::from_int(900);
  w.actors[0].z = Fx::from_int(210);
  Actor& thief = w.actors[1];
  thief.bag = {item("ration")};
  thief.silver = 77;
  thief.hp = -4;
  expect_done(w, leave_slot(w, 1), Event::of_actor(EventKind::leave, 1));
  EXPECT_EQ(w.actors[1].gone, 1);

  // Back with the same class: in place, sheet restored, at least 1 hit point,
  // beside the first standing player.
  World back = w;
  expect_done(back, join_slot(back, 1, kind("thief")), Event::of_actor(EventKind::join, 1));
  ASSERT_EQ(back.actors.size(), 2u);
  const Actor& t = back.actors[1];
  EXPECT_EQ(t.gone, 0);
  EXPECT_EQ(t.hp, 1);
  EXPECT_EQ(t.bag, ItemList{item("ration")});
  EXPECT_EQ(t.silver, 77);
  EXPECT_EQ(t.invuln, 78);
  EXPECT_EQ(t.x, Fx::from_int(840));
  EXPECT_EQ(t.z, Fx::from_int(210));

  // Another class: a new fighter with the next id; the thief stays gone.
  World other = w;
  expect_done(other, join_slot(other, 1, kind("wizard")), Event::of_actor(EventKind::join, 2));
  ASSERT_EQ(other.actors.size(), 3u);
  EXPECT_EQ(other.actors[1].gone, 1);
  EXPECT_EQ(other.actors[2].kind, kind("wizard"));
  EXPECT_EQ(other.actors[2].slot, 1);
  EXPECT_EQ(other.actors[2].hp, other.actors[2].hp_max);

  // With nobody standing, the joiner enters at the camera, half-way across.
  World alone = w;
  alone.actors[0].state = ActorState::ko;
  ASSERT_TRUE(join_slot(alone, 3, kind("cleric")).ok());
  EXPECT_EQ(alone.actors.back().x, Fx::from_int(alone.camera_x.floor_int()));
  EXPECT_EQ(alone.actors.back().z, Fx::from_int(alone.stage().depth / 2));
}

TEST(GiveItem, GearStraightOnTheRestInTheBag) {
  World w = party();
  EXPECT_EQ(give_item(w, 300, item("ration")).message(), "nobody plays that slot");
  ASSERT_TRUE(give_item(w, 0, item("steel_helm")).ok());
  ASSERT_TRUE(give_item(w, 0, item("ration")).ok());
  EXPECT_EQ(w.actors[0].gear[1], item("steel_helm"));
  EXPECT_EQ(w.actors[0].bag, ItemList{item("ration")}) << "the old cap is lost";
  EXPECT_TRUE(w.events.empty());
}

}  // namespace
}  // namespace velmora
