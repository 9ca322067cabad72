#include "core/items_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

constexpr std::string_view kinds_text = "[kind fighter]\n[kind thief]\n";
constexpr std::string_view moves_text = "[move jab]\n[move drink]\n[move throw]\n";

// Reads one items.txt text against two kinds and three moves; the sections
// stay alive for the name maps.
struct ItemsRead {
  Faults faults;
  std::vector<Section> moves;
  std::vector<Section> kinds;
  std::vector<Section> items;
  std::vector<ItemDef> records;
  explicit ItemsRead(std::string_view text) {
    moves = parse_data_file("moves.txt", moves_text, faults);
    kinds = parse_data_file("kinds.txt", kinds_text, faults);
    items = parse_data_file("items.txt", text, faults);
    DataNames names;
    names.moves = section_names(moves, "move");
    names.kinds = section_names(kinds, "kind");
    names.items = section_names(items, "item");
    records = read_items_file(items, names, faults);
  }
};

// An item with title, model and slot on lines 2 to 4 and `rest` from line 5.
ItemsRead one_item(std::string_view rest) {
  return ItemsRead("[item thing]\ntitle = Thing\nmodel = thing\nslot = consumable\n" + std::string(rest));
}

TEST(ItemsFile, WeightInTenthsOfAPound) {
  const std::pair<std::string_view, std::int32_t> good[] = {
      {"3", 30}, {"2.5", 25}, {"0.5", 5}, {"+1.5", 15}, {"-0.5", -5}, {"-1.5", -15},
      {"214748364.7", 2147483647}, {"-214748364.8", -2147483647 - 1}};
  for (const auto& [text, tenths] : good) {
    ItemsRead r = one_item("weight = " + std::string(text) + "\n");
    EXPECT_TRUE(r.faults.empty()) << text;
    EXPECT_EQ(r.records.at(0).weight, tenths) << text;
  }
  // Pounds whose tenths leave the 32-bit range are as wrong as a bad form.
  for (std::string_view text : {"2.50", ".5", "1.", "x", "1.x", "1..5", "1,5", "214748365", "214748364.8",
                                "-214748364.9", "2147483647"}) {
    ItemsRead r = one_item("weight = " + std::string(text) + "\n");
    EXPECT_EQ(r.faults, (Faults{"items.txt:5: 'weight' must be pounds, with at most one decimal"})) << text;
  }
}

TEST(ItemsFile, ClassesKeepKnownKindsInOrder) {
  ItemsRead r = one_item("weight = 1\nclasses = thief nosuch fighter thief\n");
  EXPECT_EQ(r.records.at(0).classes, (std::vector<std::uint8_t>{1, 0, 1}));
  EXPECT_EQ(r.faults, (Faults{"items.txt:6: 'classes' must be kinds from kinds.txt ('nosuch' is not)"}));
  EXPECT_TRUE(one_item("weight = 1\n").records.at(0).classes.empty());
}

TEST(ItemsFile, RequiredKeysAndSlotWords) {
  ItemsRead missing("[item bare]\n");
  EXPECT_EQ(missing.faults, (Faults{"items.txt:1: [item bare] needs 'title'", "items.txt:1: [item bare] needs 'model'",
                                    "items.txt:1: [item bare] needs 'slot'",
                                    "items.txt:1: [item bare] needs 'weight'"}));
  ItemsRead r("[item a]\ntitle = A\nmodel = a\nslot = Weapon\nweight = 1\n"
              "[item b]\ntitle = B\nmodel = b\nslot = weapon head\nweight = 1\n"
              "[item c]\ntitle = Fine Helm\nmodel = helm_2\nslot = head\nweight = 1\n");
  EXPECT_EQ(r.faults, (Faults{"items.txt:4: 'slot' must be weapon, head, body, valuable or consumable",
                              "items.txt:9: 'slot' must be weapon, head, body, valuable or consumable"}));
  EXPECT_EQ(r.records.at(2).slot, ItemSlot::head);
  EXPECT_EQ(r.records.at(2).title, "Fine Helm");
  EXPECT_EQ(r.records.at(2).model, "helm_2");
}

TEST(ItemsFile, ConsumableEffects) {
  ItemsRead r = one_item("weight = 1\nuse = throw\nward = 2 90000\nturn = 300 -4\nhazard = 1 2 600\n"
                         "burst = 2 0 150 burning\nheal = 7\ncalm = yes\n");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  const ItemDef& item = r.records.at(0);
  EXPECT_EQ(item.use, 2);
  EXPECT_EQ(item.ward, (WardSpec{2, 65535}));
  EXPECT_EQ(item.turn, (RadiusTicks{300, 0}));
  EXPECT_EQ(item.hazard, (HazardSpec{1, 2, 600}));
  EXPECT_EQ(item.burst, (BurstSpec{2, 0, 150, DamageType::burning}));
  EXPECT_EQ(item.heal, 7);
  EXPECT_TRUE(item.calm);
  EXPECT_FALSE(one_item("weight = 1\n").records.at(0).ward);
}

TEST(ItemsFile, FaultsComeInReadingOrder) {
  // Written in key-table order; read in a different one.
  ItemsRead r = one_item("damage = x\nweight = 1\nunique = maybe\nuse = jab twice\nheal = x\nward = 2\n"
                         "burst = 2 0 150\nhazard = 1 2\nturn = x 5\nfatigue = x\nslot = body\n");
  EXPECT_EQ(r.faults, (Faults{"items.txt:15: 'slot' is set twice",
                              "items.txt:8: 'use' must be a move from moves.txt ('jab twice' is not)",
                              "items.txt:10: 'ward' must be DR TICKS",
                              "items.txt:13: 'turn' must be RADIUS TICKS",
                              "items.txt:12: 'hazard' must be DICE ADD TICKS",
                              "items.txt:11: 'burst' must be DICE ADD RADIUS crushing|cutting|impaling|burning",
                              "items.txt:9: 'heal' must be 1 whole number",
                              "items.txt:5: 'damage' must be 1 whole number",
                              "items.txt:7: 'unique' must be yes or no",
                              "items.txt:14: 'fatigue' must be 1 whole number"}));
  EXPECT_EQ(r.records.at(0).slot, ItemSlot::consumable);  // the first entry counts
}

TEST(ItemsFile, SlotWords) {
  for (ItemSlot s : {ItemSlot::weapon, ItemSlot::head, ItemSlot::body, ItemSlot::valuable, ItemSlot::consumable}) {
    EXPECT_EQ(parse_item_slot(item_slot_word(s)), s);
  }
}

}  // namespace
}  // namespace velmora
