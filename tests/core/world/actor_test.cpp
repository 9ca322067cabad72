#include "core/world/actor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/data/game_data.h"
#include "core/world/world.h"

namespace velmora {
namespace {

constexpr auto i32_max = std::numeric_limits<std::int32_t>::max();

// Ids of the test's own records, added to the built-in data.
struct Ids {
  std::uint8_t mage = 0;     // class t_mage: magery, IQ 8, two weapons in its gear
  std::uint8_t enemy = 0;    // the built-in bandit
  std::uint8_t free = 0;     // t_mage's special 0: no price, requires 0
  std::uint8_t priced = 0;   // t_mage's special 1: price 50, requires 2
  std::uint16_t broadsword = 0, cap = 0, armor = 0;
};

Ids make_data() {
  GameData d = builtin_data();
  Ids ids;
  ids.enemy = *kind_id(d.kinds, "bandit");
  ids.broadsword = *item_id(d.items, "broadsword");
  ids.cap = *item_id(d.items, "leather_cap");
  ids.armor = *item_id(d.items, "leather_armor");
  for (auto [price, needs] : {std::pair{0, 0}, std::pair{50, 2}}) {
    MoveDef m = d.moves.front();
    m.name = "t_move_" + std::to_string(price);
    m.price = price;
    m.requires_skill = needs;
    d.moves.push_back(m);
  }
  ids.free = static_cast<std::uint8_t>(d.moves.size() - 2);
  ids.priced = static_cast<std::uint8_t>(d.moves.size() - 1);
  KindDef mage = d.kinds[*kind_id(d.kinds, "wizard")];
  mage.name = "t_mage";
  mage.st = 10;
  mage.dx = 11;
  mage.iq = 8;
  mage.ht = 12;
  mage.dr = 1;
  mage.toughness = 2;
  mage.magery = true;
  mage.gear = {*item_id(d.items, "dagger"), ids.cap, ids.broadsword, *item_id(d.items, "healing_potion")};
  mage.special = {ids.free, ids.priced};
  d.kinds.push_back(mage);
  ids.mage = static_cast<std::uint8_t>(d.kinds.size() - 1);
  // The same name twice: an enemy first, then a class.
  KindDef dup = d.kinds[ids.enemy];
  dup.name = "t_dup";
  d.kinds.push_back(dup);
  dup.player = true;
  d.kinds.push_back(dup);
  VELMORA_CHECK(install_game_data(std::move(d)).ok(), "test data installed before first use");
  return ids;
}

class ActorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ids(); }
  static const Ids& ids() {
    static const Ids made = make_data();
    return made;
  }
  static CharacterSheet mage_sheet(std::uint8_t slot = 0) {
    CharacterSheet s = new_character(ids().mage);
    s.slot = slot;
    return s;
  }
};

// hp, hp_max, fp, fp_max, mana, mana_max, sta, sta_max
auto pools(const Actor& a) { return std::tuple(a.hp, a.hp_max, a.fp, a.fp_max, a.mana, a.mana_max, a.sta, a.sta_max); }

TEST_F(ActorTest, FromAKindWithItsStartingGear) {
  const Ids& id = ids();
  const Worn worn{id.broadsword, id.cap, std::nullopt};  // the later weapon; the potion ignored
  EXPECT_EQ(new_character(id.mage).worn, worn);
  const Actor a = actor_from_kind(7, id.mage, 1, 255, 300, -20, -1);
  EXPECT_EQ(a.gear, worn);
  EXPECT_EQ(pools(a), std::tuple(20, 20, 12, 12, 0, 0, 120, 120));  // magery, but IQ 8: no mana
  EXPECT_EQ(std::tuple(a.x.raw, a.y.raw, a.z.raw), std::tuple(300 * 256, 0, -20 * 256));
  EXPECT_EQ(std::tuple(a.id, a.team, a.slot, a.facing), std::tuple(7, 1, 255, -1));
  EXPECT_FALSE(a.sheet.has_value());
}

TEST_F(ActorTest, PlayerFromARaisedSheet) {
  CharacterSheet sheet = mage_sheet(3);
  sheet.raises = {2, 0, 1, 1, 3};  // st, dx, iq, ht, skill
  sheet.bag = {1, 2, 2};
  sheet.arts = {5};
  sheet.silver = 40;
  sheet.xp = 120;
  sheet.worn = {std::nullopt, ids().cap, std::nullopt};
  const Actor a = actor_from_sheet(2, sheet, 1, 320, 240);
  EXPECT_EQ(std::tuple(a.team, a.facing, a.slot), std::tuple(0, 1, 1));
  EXPECT_EQ(sheet_attributes(sheet), (SheetAttributes{12, 11, 9, 13, 1, 2, a.move_bonus, 1}));
  EXPECT_EQ(std::tuple(a.st, a.dx, a.iq, a.ht), std::tuple(12, 11, 9, 13));
  EXPECT_EQ(pools(a), std::tuple(24, 24, 13, 13, 2, 2, 130, 130));  // IQ raised from 8 to 9: mana 2
  EXPECT_EQ(std::tuple(a.skill, a.silver, a.xp), std::tuple(3, 40, 120));
  EXPECT_EQ(a.gear, sheet.worn);
  EXPECT_EQ(a.bag, sheet.bag);
  EXPECT_EQ(a.arts, sheet.arts);
  EXPECT_EQ(a.sheet, sheet);
}

TEST_F(ActorTest, PoolsHoldWithinThirtyTwoBits) {
  EXPECT_EQ(hp_for(i32_max, 3), i32_max);
  EXPECT_EQ(hp_for(i32_max, -3), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(sta_for(i32_max), i32_max);
  EXPECT_EQ(mana_for(i32_max, true), i32_max);
  EXPECT_EQ(mana_for(14, false), 0);
  CharacterSheet sheet = mage_sheet();
  sheet.raise(Attribute::st) = i32_max;
  EXPECT_EQ(sheet_attributes(sheet).st, i32_max);
}

TEST_F(ActorTest, CharacterOfAnActor) {
  Actor e = actor_from_kind(9, ids().enemy, 1, 255, 500, 100, -1);
  e.bag = {3};
  e.silver = 12;
  e.xp = 7;
  CharacterSheet expected = new_character(ids().enemy);
  expected.bag = {3};
  expected.silver = 12;
  expected.xp = 7;
  expected.slot = 255;
  EXPECT_EQ(actor_character(e), expected);

  CharacterSheet sheet = mage_sheet();
  sheet.raise(Attribute::dx) = 2;
  sheet.points_spent = 40;
  Actor p = actor_from_sheet(0, sheet, 2, 250, 150);
  p.bag.push_back(9);
  p.arts.push_back(4);
  p.gear[0] = std::nullopt;
  p.xp = 500;
  p.silver = 3;
  expected = sheet;
  expected.bag = p.bag;
  expected.arts = p.arts;
  expected.worn = p.gear;
  expected.xp = 500;
  expected.silver = 3;
  expected.slot = 2;
  EXPECT_EQ(actor_character(p), expected);
}

TEST_F(ActorTest, PartySlotsAndSheets) {
  auto slots_of = [](std::initializer_list<std::uint8_t> slots, std::size_t n) {
    std::vector<CharacterSheet> sheets;
    for (std::uint8_t s : slots) sheets.push_back(mage_sheet(s));
    return party_slots(sheets, n);
  };
  using S = std::vector<std::uint8_t>;
  EXPECT_EQ(slots_of({2, 0}, 2), (S{2, 0}));
  EXPECT_EQ(slots_of({1, 1}, 2), (S{0, 1}));
  EXPECT_EQ(slots_of({7}, 1), (S{0}));
  EXPECT_EQ(slots_of({3, 4}, 2), (S{0, 1}));
  EXPECT_EQ(slots_of({2, 2, 1}, 1), (S{2}));
  EXPECT_EQ(slots_of({2, 2, 1}, 9), (S{0, 1, 2}));

  World w;
  const CharacterSheet s = mage_sheet();
  w.actors.push_back(actor_from_sheet(0, s, 2, 250, 150));
  w.actors.push_back(actor_from_sheet(1, s, 0, 320, 150));
  w.actors.push_back(actor_from_kind(2, ids().enemy, 1, 255, 900, 100, -1));
  w.actors.push_back(actor_from_sheet(3, s, 1, 390, 150));
  w.actors.push_back(actor_from_sheet(4, s, 0, 460, 150));
  w.actors[3].gone = 1;
  w.actors[1].state = ActorState::ko;
  w.actors[1].silver = 5;
  const auto sheets = party_sheets(w);
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].silver, 5);  // the knocked-out one first: stable by slot
  EXPECT_EQ(sheets[1].slot, 0);
  EXPECT_EQ(sheets[2].slot, 2);
}

TEST_F(ActorTest, SpendPointCostsAndRefusals) {
  CharacterSheet sheet = mage_sheet();
  sheet.xp = 99;  // 9 points
  const CharacterSheet before = sheet;
  EXPECT_EQ(spend_point(sheet, Attribute::st).message(), "not enough character points");
  EXPECT_EQ(sheet, before);
  ASSERT_TRUE(spend_point(sheet, Attribute::skill).ok());
  EXPECT_EQ(sheet.raise(Attribute::skill), 1);
  EXPECT_EQ(sheet.points_spent, 4);
  EXPECT_EQ(available_points(sheet), 5);

  // The highest level is refused first, even with points to spare.
  sheet.xp = 10000;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(spend_point(sheet, Attribute::st).ok()) << i;
  const CharacterSheet full = sheet;
  EXPECT_EQ(spend_point(sheet, Attribute::st).message(), "already at the highest level");
  EXPECT_EQ(sheet, full);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(spend_point(sheet, Attribute::skill).ok());
  EXPECT_EQ(spend_point(sheet, Attribute::skill).message(), "already at the highest level");
  sheet.xp = 0;
  EXPECT_EQ(spend_point(sheet, Attribute::st).message(), "already at the highest level");

  const std::int32_t costs[] = {10, 20, 20, 10, 4};
  for (std::size_t i = 0; i < attribute_count; ++i) {
    const auto a = static_cast<Attribute>(i);
    CharacterSheet exact = mage_sheet();
    exact.xp = costs[i] * 10 + 9;
    ASSERT_TRUE(spend_point(exact, a).ok()) << attribute_word(a);
    EXPECT_EQ(available_points(exact), 0) << attribute_word(a);
    EXPECT_EQ(parse_attribute(attribute_word(a)), a);
  }
  sheet = mage_sheet();
  sheet.xp = -50;
  EXPECT_EQ(spend_point(sheet, Attribute::skill).message(), "not enough character points");
  sheet.xp = i32_max;
  sheet.points_spent = std::numeric_limits<std::int32_t>::min();
  ASSERT_TRUE(spend_point(sheet, Attribute::skill).ok());  // no wrap in xp / 10 - spent
}

TEST_F(ActorTest, DrFatigueAndSpecials) {
  Actor a = actor_from_kind(0, ids().mage, 0, 0, 0, 0, 1);
  a.gear = {std::nullopt, ids().cap, ids().armor};
  const ItemDef& cap = item_def(ids().cap);
  const ItemDef& armor = item_def(ids().armor);
  a.ward_dr = 3;
  EXPECT_EQ(total_dr(a), 1 + cap.dr + armor.dr);  // no ward without its ticks
  a.ward_ticks = 1;
  EXPECT_EQ(total_dr(a), 1 + cap.dr + armor.dr + 3);
  EXPECT_EQ(gear_fatigue(a), cap.fatigue + armor.fatigue);

  EXPECT_TRUE(can_use_special(a, 0));
  a.skill = 2;
  EXPECT_FALSE(can_use_special(a, 1));  // priced: must be learned
  a.arts.push_back(ids().priced);
  EXPECT_TRUE(can_use_special(a, 1));
  a.skill = 1;
  EXPECT_FALSE(can_use_special(a, 1));
  EXPECT_FALSE(can_use_special(a, 2));
}

TEST_F(ActorTest, KindLookups) {
  const std::uint8_t mage = ids().mage;
  EXPECT_EQ(class_by_name("t_mage"), mage);
  EXPECT_FALSE(class_by_name("bandit").has_value());
  EXPECT_FALSE(class_by_name("t_dup").has_value());  // the first match is no class
  EXPECT_FALSE(class_by_name("t_mage ").has_value());
  const KindDef& k = kind_by_id(mage);
  EXPECT_EQ(kind_moves(mage), (KindMoves{k.light, ids().free, k.air, k.dash}));
  EXPECT_EQ(kind_silver(ids().enemy), kind_by_id(ids().enemy).silver);
}

TEST_F(ActorTest, IdsBeyondTheirListsStop) {
  EXPECT_DEATH(kind_by_id(static_cast<std::uint8_t>(game_data().kinds.size())), "kind id");
  EXPECT_DEATH(item_def(65535), "item id");
  EXPECT_DEATH(move_def(static_cast<std::uint8_t>(game_data().moves.size())), "move id");
}

}  // namespace
}  // namespace velmora
