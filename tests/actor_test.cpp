#include "core/actor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "core/game_data.h"
#include "core/world.h"

namespace velmora {
namespace {

// The first kind matching a test, looked up in the built-in data so that the
// tests follow its content.
template <class Pred>
std::optional<std::uint8_t> find_kind(Pred pred) {
  const auto& kinds = game_data().kinds;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (pred(kinds[i])) return static_cast<std::uint8_t>(i);
  }
  return std::nullopt;
}

std::uint8_t enemy_kind() {
  const auto id = find_kind([](const KindDef& k) { return !k.player; });
  if (!id) ADD_FAILURE() << "the data has no enemy kind";
  return id.value_or(0);
}

CharacterSheet sheet_with_slot(std::uint8_t slot) {
  CharacterSheet s = new_character(default_class());
  s.slot = slot;
  return s;
}

std::vector<std::uint8_t> slots_of(std::initializer_list<std::uint8_t> slots) {
  std::vector<CharacterSheet> sheets;
  for (std::uint8_t s : slots) sheets.push_back(sheet_with_slot(s));
  return party_slots(sheets, sheets.size());
}

TEST(Actor, PoolsOfAKind) {
  const std::uint8_t id = enemy_kind();
  const KindDef& k = kind_by_id(id);
  const Actor a = actor_from_kind(7, id, 1, 255, 300, -20, -1);
  EXPECT_EQ(a.hp, k.st * k.toughness);
  EXPECT_EQ(a.hp_max, a.hp);
  EXPECT_EQ(a.fp, k.ht);
  EXPECT_EQ(a.sta, 10 * k.ht);
  EXPECT_EQ(a.sta_max, a.sta);
  EXPECT_EQ(a.x.raw, 300 * 256);
  EXPECT_EQ(a.z.raw, -20 * 256);
  EXPECT_EQ(a.y.raw, 0);
  EXPECT_EQ(a.id, 7);
  EXPECT_EQ(a.team, 1);
  EXPECT_EQ(a.slot, 255);
  EXPECT_EQ(a.facing, -1);
  EXPECT_EQ(a.state, ActorState::idle);
  EXPECT_FALSE(a.sheet.has_value());
  EXPECT_TRUE(a.bag.empty());
  EXPECT_EQ(a.silver, 0);
  EXPECT_TRUE(a.live());
}

TEST(Actor, ManaNeedsMageryAndIqNine) {
  EXPECT_EQ(mana_for(8, true), 0);
  EXPECT_EQ(mana_for(9, true), 2);
  EXPECT_EQ(mana_for(14, true), 12);
  EXPECT_EQ(mana_for(14, false), 0);
  const auto mage = find_kind([](const KindDef& k) { return k.player && k.magery; });
  ASSERT_TRUE(mage.has_value());
  CharacterSheet sheet = new_character(*mage);
  sheet.raise(Attribute::iq) = 9 - kind_by_id(*mage).iq;
  Actor a = actor_from_sheet(0, sheet, 0, 250, 150);
  EXPECT_EQ(a.iq, 9);
  EXPECT_EQ(a.mana, 2);
  EXPECT_EQ(a.mana_max, 2);
  sheet.raise(Attribute::iq) -= 1;
  a = actor_from_sheet(0, sheet, 0, 250, 150);
  EXPECT_EQ(a.mana, 0);
}

TEST(Actor, PoolsHoldWithinThirtyTwoBits) {
  constexpr auto max = std::numeric_limits<std::int32_t>::max();
  constexpr auto min = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(hp_for(max, 3), max);
  EXPECT_EQ(hp_for(max, -3), min);
  EXPECT_EQ(hp_for(12, 2), 24);
  EXPECT_EQ(sta_for(max), max);
  EXPECT_EQ(sta_for(min), min);
  EXPECT_EQ(mana_for(max, true), max);
  CharacterSheet sheet = new_character(default_class());
  sheet.raise(Attribute::st) = max;
  EXPECT_EQ(sheet_attributes(sheet).st, max);
}

TEST(Actor, PlayerFromSheet) {
  const std::uint8_t cls = default_class();
  const KindDef& k = kind_by_id(cls);
  CharacterSheet sheet = new_character(cls);
  sheet.raise(Attribute::st) = 2;
  sheet.raise(Attribute::ht) = 1;
  sheet.raise(Attribute::skill) = 3;
  sheet.bag = {1, 2, 2};
  sheet.arts = {5};
  sheet.silver = 40;
  sheet.xp = 120;
  sheet.worn = {std::nullopt, std::uint16_t{4}, std::nullopt};
  sheet.slot = 3;
  const Actor a = actor_from_sheet(2, sheet, 1, 320, 240);
  EXPECT_EQ(a.team, 0);
  EXPECT_EQ(a.facing, 1);
  EXPECT_EQ(a.slot, 1);
  EXPECT_EQ(a.st, k.st + 2);
  EXPECT_EQ(a.ht, k.ht + 1);
  EXPECT_EQ(a.dx, k.dx);
  EXPECT_EQ(a.hp_max, (k.st + 2) * k.toughness);
  EXPECT_EQ(a.fp_max, k.ht + 1);
  EXPECT_EQ(a.sta, 10 * (k.ht + 1));
  EXPECT_EQ(a.skill, 3);
  EXPECT_EQ(a.silver, 40);
  EXPECT_EQ(a.xp, 120);
  EXPECT_EQ(a.gear, sheet.worn);
  EXPECT_EQ(a.bag, sheet.bag);
  EXPECT_EQ(a.arts, sheet.arts);
  ASSERT_TRUE(a.sheet.has_value());
  EXPECT_EQ(*a.sheet, sheet);
}

TEST(Actor, StartingGearWearsTheLastItemOfEachPlace) {
  for (std::size_t id = 0; id < game_data().kinds.size(); ++id) {
    const KindDef& k = game_data().kinds[id];
    Worn expected{};
    for (std::uint16_t item : k.gear) {
      const ItemSlot slot = item_def(item).slot;
      if (slot == ItemSlot::weapon || slot == ItemSlot::head || slot == ItemSlot::body) {
        expected[static_cast<std::size_t>(slot)] = item;
      }
    }
    const auto kind = static_cast<std::uint8_t>(id);
    EXPECT_EQ(new_character(kind).worn, expected) << k.name;
    EXPECT_EQ(actor_from_kind(0, kind, 1, 255, 0, 0, 1).gear, expected) << k.name;
  }
}

TEST(Actor, CharacterOfAnActor) {
  const std::uint8_t enemy = enemy_kind();
  Actor e = actor_from_kind(9, enemy, 1, 255, 500, 100, -1);
  e.bag = {3};
  e.silver = 12;
  e.xp = 7;
  const CharacterSheet from_enemy = actor_character(e);
  CharacterSheet expected = new_character(enemy);
  expected.bag = {3};
  expected.worn = e.gear;
  expected.silver = 12;
  expected.xp = 7;
  expected.slot = 255;
  EXPECT_EQ(from_enemy, expected);

  CharacterSheet sheet = new_character(default_class());
  sheet.raise(Attribute::dx) = 2;
  sheet.points_spent = 40;
  Actor p = actor_from_sheet(0, sheet, 2, 250, 150);
  p.bag.push_back(9);
  p.arts.push_back(4);
  p.gear[0] = std::nullopt;
  p.xp = 500;
  p.silver = 3;
  const CharacterSheet now = actor_character(p);
  EXPECT_EQ(now.raise(Attribute::dx), 2);
  EXPECT_EQ(now.points_spent, 40);
  EXPECT_EQ(now.bag, p.bag);
  EXPECT_EQ(now.arts, p.arts);
  EXPECT_EQ(now.worn, p.gear);
  EXPECT_EQ(now.xp, 500);
  EXPECT_EQ(now.silver, 3);
  EXPECT_EQ(now.slot, 2);
}

TEST(Actor, PartySlots) {
  EXPECT_EQ(slots_of({2, 0}), (std::vector<std::uint8_t>{2, 0}));
  EXPECT_EQ(slots_of({1, 1}), (std::vector<std::uint8_t>{0, 1}));
  EXPECT_EQ(slots_of({7}), (std::vector<std::uint8_t>{0}));
  EXPECT_EQ(slots_of({3, 1, 0, 2}), (std::vector<std::uint8_t>{3, 1, 0, 2}));
  EXPECT_EQ(slots_of({3, 4}), (std::vector<std::uint8_t>{0, 1}));
  std::vector<CharacterSheet> sheets = {sheet_with_slot(2), sheet_with_slot(2), sheet_with_slot(1)};
  EXPECT_EQ(party_slots(sheets, 1), (std::vector<std::uint8_t>{2}));
  EXPECT_EQ(party_slots(sheets, 9).size(), 3u);
}

TEST(Actor, PartySheetsAreThePresentPlayersBySlot) {
  World w;
  CharacterSheet s = new_character(default_class());
  w.actors.push_back(actor_from_sheet(0, s, 2, 250, 150));
  w.actors.push_back(actor_from_sheet(1, s, 0, 320, 150));
  w.actors.push_back(actor_from_kind(2, enemy_kind(), 1, 255, 900, 100, -1));
  w.actors.push_back(actor_from_sheet(3, s, 1, 390, 150));
  w.actors.push_back(actor_from_sheet(4, s, 0, 460, 150));
  w.actors[3].gone = 1;
  w.actors[1].state = ActorState::ko;
  w.actors[1].silver = 5;
  const auto sheets = party_sheets(w);
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].slot, 0);
  EXPECT_EQ(sheets[0].silver, 5);  // the knocked-out one comes first: stable by slot
  EXPECT_EQ(sheets[1].slot, 0);
  EXPECT_EQ(sheets[2].slot, 2);
}

TEST(Actor, SpendPointRefusals) {
  CharacterSheet sheet = new_character(default_class());
  sheet.xp = 99;  // 9 points
  const CharacterSheet before = sheet;
  const Status st = spend_point(sheet, Attribute::st);
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.message(), "not enough character points");
  EXPECT_EQ(sheet, before);
  ASSERT_TRUE(spend_point(sheet, Attribute::skill).ok());
  EXPECT_EQ(sheet.raise(Attribute::skill), 1);
  EXPECT_EQ(sheet.points_spent, 4);
  EXPECT_EQ(available_points(sheet), 5);

  sheet.xp = 10000;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(spend_point(sheet, Attribute::st).ok()) << i;
  EXPECT_EQ(sheet.raise(Attribute::st), 5);
  const CharacterSheet full = sheet;
  const Status sixth = spend_point(sheet, Attribute::st);
  ASSERT_FALSE(sixth.ok());
  EXPECT_EQ(sixth.message(), "already at the highest level");
  EXPECT_EQ(sheet, full);

  for (int i = 0; i < 3; ++i) ASSERT_TRUE(spend_point(sheet, Attribute::skill).ok());
  EXPECT_EQ(spend_point(sheet, Attribute::skill).message(), "already at the highest level");
}

TEST(Actor, SpendPointCostsAndExtremes) {
  for (std::size_t i = 0; i < attribute_count; ++i) {
    const auto a = static_cast<Attribute>(i);
    CharacterSheet sheet = new_character(default_class());
    sheet.xp = attribute_cost(a) * 10;
    ASSERT_TRUE(spend_point(sheet, a).ok()) << attribute_word(a);
    EXPECT_EQ(available_points(sheet), 0);
    EXPECT_EQ(parse_attribute(attribute_word(a)), a);
  }
  EXPECT_FALSE(parse_attribute("ST").has_value());

  CharacterSheet sheet = new_character(default_class());
  sheet.xp = -50;
  EXPECT_EQ(spend_point(sheet, Attribute::skill).message(), "not enough character points");
  sheet.xp = std::numeric_limits<std::int32_t>::max();
  sheet.points_spent = std::numeric_limits<std::int32_t>::min();
  ASSERT_TRUE(spend_point(sheet, Attribute::skill).ok());
  EXPECT_EQ(sheet.points_spent, std::numeric_limits<std::int32_t>::min() + 4);
  sheet.points_spent = std::numeric_limits<std::int32_t>::max() - 2;
  EXPECT_EQ(spend_point(sheet, Attribute::skill).message(), "not enough character points");
}

TEST(Actor, DrAndFatigueOfWornGear) {
  Actor a = actor_from_kind(0, default_class(), 0, 0, 0, 0, 1);
  a.gear = {};
  a.dr = 2;
  EXPECT_EQ(total_dr(a), 2);
  EXPECT_EQ(gear_fatigue(a), 0);
  a.ward_dr = 3;
  EXPECT_EQ(total_dr(a), 2);
  a.ward_ticks = 1;
  EXPECT_EQ(total_dr(a), 5);
  std::int32_t dr = 5;
  std::int32_t fatigue = 0;
  for (std::size_t i = 0; i < game_data().items.size(); ++i) {
    const ItemDef& item = game_data().items[i];
    const auto place = static_cast<std::size_t>(item.slot);
    if (place < 3 && !a.gear[place]) {
      a.gear[place] = static_cast<std::uint16_t>(i);
      dr += item.dr;
      fatigue += item.fatigue;
    }
  }
  EXPECT_EQ(total_dr(a), dr);
  EXPECT_EQ(gear_fatigue(a), fatigue);
}

TEST(Actor, SpecialsNeedTheArtAndTheSkill) {
  // A class whose list holds a move with a trainer price.
  std::optional<std::uint8_t> cls;
  std::size_t priced = 0;
  for (std::size_t id = 0; id < game_data().kinds.size() && !cls; ++id) {
    const KindDef& k = game_data().kinds[id];
    for (std::size_t n = 0; n < k.special.size() && k.player; ++n) {
      if (move_def(k.special[n]).price != 0) {
        cls = static_cast<std::uint8_t>(id);
        priced = n;
        break;
      }
    }
  }
  ASSERT_TRUE(cls.has_value()) << "the data has no priced special";
  const KindDef& k = kind_by_id(*cls);
  const std::uint8_t move = k.special[priced];
  Actor a = actor_from_sheet(0, new_character(*cls), 0, 250, 150);
  a.skill = move_def(move).requires_skill;
  EXPECT_FALSE(can_use_special(a, priced));
  a.arts.push_back(move);
  EXPECT_TRUE(can_use_special(a, priced));
  a.skill -= 1;
  EXPECT_FALSE(can_use_special(a, priced));
  EXPECT_FALSE(can_use_special(a, k.special.size()));
}

TEST(Actor, KindLookups) {
  const std::uint8_t cls = default_class();
  const KindDef& k = kind_by_id(cls);
  EXPECT_TRUE(k.player);
  EXPECT_EQ(class_by_name(k.name), cls);
  EXPECT_FALSE(class_by_name(kind_by_id(enemy_kind()).name).has_value());
  EXPECT_FALSE(class_by_name(k.name + " ").has_value());
  EXPECT_FALSE(class_by_name("").has_value());
  const KindMoves moves = kind_moves(cls);
  EXPECT_EQ(moves.light, k.light);
  EXPECT_EQ(moves.air, k.air);
  EXPECT_EQ(moves.dash, k.dash);
  ASSERT_FALSE(k.special.empty());
  EXPECT_EQ(moves.special, k.special.front());
  EXPECT_EQ(kind_silver(cls), k.silver);
  EXPECT_EQ(kind_heavy(cls), k.heavy);
}

TEST(ActorDeath, IdsBeyondTheirListsStop) {
  const auto kinds = game_data().kinds.size();
  if (kinds <= 255) {
    EXPECT_DEATH(kind_by_id(static_cast<std::uint8_t>(kinds)), "kind id");
  }
  EXPECT_DEATH(item_def(65535), "item id");
  if (game_data().moves.size() <= 255) {
    EXPECT_DEATH(move_def(255), "move id");
  }
}

}  // namespace
}  // namespace velmora
