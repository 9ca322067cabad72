#include "core/data/items_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

// Reads one items.txt text against the moves jab, drink, throw and the kinds fighter, thief.
struct ItemsRead {
  Faults faults;
  std::vector<ItemDef> records;
  explicit ItemsRead(std::string_view text) {
    DataNames names;
    names.moves = NameList({"jab", "drink", "throw"});
    names.kinds = NameList({"fighter", "thief"});
    records = read_items_file(parse_data_file("items.txt", text, faults), names, faults);
  }
};

// An item with title, model and slot on lines 2 to 4 and `rest` from line 5.
ItemsRead one_item(std::string_view rest) {
  return ItemsRead("[item thing]\ntitle = Fine Thing\nmodel = thing_2\nslot = consumable\n" + std::string(rest));
}

// Read while the program is still starting up, before main.
const Faults start_up_faults = one_item("weight = 1\n").faults;

TEST(ItemsFile, WeightInTenthsOfAPound) {
  const std::pair<const char*, std::int32_t> good[] = {
      {"3", 30}, {"2.5", 25}, {"0.5", 5}, {"+1.5", 15}, {"-0.5", -5}, {"-1.5", -15},
      {"214748364.7", 2147483647}, {"-214748364.8", -2147483647 - 1}};
  for (const auto& [text, tenths] : good) {
    const ItemsRead r = one_item("weight = " + std::string(text) + "\n");
    EXPECT_EQ(r.faults, Faults{}) << text;
    EXPECT_EQ(r.records.at(0).weight, tenths) << text;
  }
  // Pounds whose tenths leave the 32-bit range are as wrong as a bad form.
  for (const char* text : {"2.50", ".5", "1.", "x", "1.x", "1..5", "1,5", "214748365", "214748364.8",
                           "-214748364.9", "2147483647"}) {
    const ItemsRead r = one_item("weight = " + std::string(text) + "\n");
    EXPECT_EQ(r.faults, (Faults{"items.txt:5: 'weight' must be pounds, with at most one decimal"})) << text;
  }
}

TEST(ItemsFile, TextsSlotClassesAndEffects) {
  const ItemsRead r = one_item("weight = 1\nclasses = thief nosuch fighter thief\nuse = throw\nward = 2 90000\n"
                               "turn = 300 -4\nhazard = 1 2 600\nburst = 2 0 150 burning\nheal = 7\ncalm = yes\n");
  EXPECT_EQ(r.faults, (Faults{"items.txt:6: 'classes' must be kinds from kinds.txt ('nosuch' is not)"}));
  const ItemDef& item = r.records.at(0);
  EXPECT_EQ(item.title + "/" + item.model, "Fine Thing/thing_2");
  EXPECT_EQ(item.slot, ItemSlot::consumable);
  EXPECT_EQ(item.classes, (std::vector<std::uint8_t>{1, 0, 1}));
  EXPECT_EQ(item.use, 2);
  EXPECT_EQ(item.ward, (WardSpec{2, 65535}));
  EXPECT_EQ(item.turn, (RadiusTicks{300, 0}));
  EXPECT_EQ(item.hazard, (HazardSpec{1, 2, 600}));
  EXPECT_EQ(item.burst, (BurstSpec{2, 0, 150, DamageType::burning}));
  EXPECT_EQ(item.heal, 7);
  EXPECT_TRUE(item.calm);
  EXPECT_TRUE(one_item("weight = 1\n").records.at(0).classes.empty());
  EXPECT_EQ(start_up_faults, Faults{});  // the key table is ready before main
}

TEST(ItemsFile, FaultsComeInReadingOrder) {
  // Written in key-table order; read in a different one.
  const ItemsRead r = one_item("damage = x\nweight = 1\nunique = maybe\nuse = jab twice\nheal = x\nward = 2\n"  // 5-10
                               "burst = 2 0 150\nhazard = 1 2\nturn = x 5\nfatigue = x\nslot = body\n"          // 11-15
                               "[item bare]\n[item b]\nslot = Weapon\n");                                     // 16-18
  EXPECT_EQ(r.faults, (Faults{"items.txt:15: 'slot' is set twice",
                              "items.txt:8: 'use' must be a move from moves.txt ('jab twice' is not)",
                              "items.txt:10: 'ward' must be DR TICKS", "items.txt:13: 'turn' must be RADIUS TICKS",
                              "items.txt:12: 'hazard' must be DICE ADD TICKS",
                              "items.txt:11: 'burst' must be DICE ADD RADIUS crushing|cutting|impaling|burning",
                              "items.txt:9: 'heal' must be 1 whole number",
                              "items.txt:5: 'damage' must be 1 whole number",
                              "items.txt:7: 'unique' must be yes or no",
                              "items.txt:14: 'fatigue' must be 1 whole number",
                              "items.txt:16: [item bare] needs 'title'", "items.txt:16: [item bare] needs 'model'",
                              "items.txt:16: [item bare] needs 'slot'", "items.txt:16: [item bare] needs 'weight'",
                              "items.txt:17: [item b] needs 'title'", "items.txt:17: [item b] needs 'model'",
                              "items.txt:18: 'slot' must be weapon, head, body, valuable or consumable",
                              "items.txt:17: [item b] needs 'weight'"}));
  const ItemDef& item = r.records.at(0);
  EXPECT_EQ(item.slot, ItemSlot::consumable);  // the first entry counts
  EXPECT_FALSE(item.ward || item.turn || item.hazard || item.burst || item.use);
}

}  // namespace
}  // namespace velmora
