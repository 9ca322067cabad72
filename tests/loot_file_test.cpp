#include "core/loot_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

constexpr std::string_view items_text = "[item dagger]\n[item ring]\n";
constexpr std::string_view entry_form =
    "must be item NAME WEIGHT, silver MIN MAX WEIGHT or food HEAL WEIGHT, with items from items.txt";

// Reads one loot.txt text against two items; the sections stay alive for the
// name map.
struct LootRead {
  Faults faults;
  std::vector<Section> items;
  std::vector<Section> loot;
  std::vector<LootTable> tables;
  explicit LootRead(std::string_view text) {
    items = parse_data_file("items.txt", items_text, faults);
    loot = parse_data_file("loot.txt", text, faults);
    DataNames names;
    names.items = section_names(items, "item");
    names.loot = section_names(loot, "loot");
    tables = read_loot_file(loot, names, faults);
  }
};

std::string fault(int line, std::string_view key) {
  return "loot.txt:" + std::to_string(line) + ": '" + std::string(key) + "' " + std::string(entry_form);
}

TEST(LootFile, EntriesKeepTheirLineOrder) {
  LootRead r("[loot chest]\nsilver = 10 25 3\nitem = ring 1\nrolls = 2\nfood = 20 4\nitem = dagger 0\n");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  const LootTable& t = r.tables.at(0);
  EXPECT_EQ(t.name, "chest");
  EXPECT_EQ(t.rolls, 2);
  ASSERT_EQ(t.entries.size(), 4U);
  EXPECT_EQ(t.entries[0], (LootEntry{LootKind::silver, 0, 10, 25, 0, 3}));
  EXPECT_EQ(t.entries[1], (LootEntry{LootKind::item, 1, 0, 0, 0, 1}));
  EXPECT_EQ(t.entries[2], (LootEntry{LootKind::food, 0, 0, 0, 20, 4}));
  EXPECT_EQ(t.entries[3], (LootEntry{LootKind::item, 0, 0, 0, 0, 0}));
}

TEST(LootFile, BadEntriesAreLeftOut) {
  LootRead r("[loot chest]\nrolls = 1\nitem = nosuch 2\nfood = 20\nsilver = 10 25\nsilver = 10 25 -1\n"
             "item = dagger -1\nfood = x 2\nitem = dagger 2 3\nsilver = 5 9 1\n");
  EXPECT_EQ(r.faults, (Faults{fault(3, "item"), fault(4, "food"), fault(5, "silver"), fault(6, "silver"),
                              fault(7, "item"), fault(8, "food"), fault(9, "item")}));
  ASSERT_EQ(r.tables.at(0).entries.size(), 1U);
  EXPECT_EQ(r.tables.at(0).entries[0].max, 9);
}

TEST(LootFile, KeysAndRolls) {
  // Key faults first, then the missing rolls, then the entries in line order.
  LootRead r("[loot chest]\ngold = 5\nitem = ring 1\nfood = 1\nitem = ring 2\n"
             "[loot empty]\nrolls = 1\nrolls = 3\n");
  EXPECT_EQ(r.faults, (Faults{"loot.txt:2: unknown key 'gold' in [loot chest]",
                              "loot.txt:1: [loot chest] needs 'rolls'", fault(4, "food"),
                              "loot.txt:8: 'rolls' is set twice"}));
  ASSERT_EQ(r.tables.size(), 2U);
  EXPECT_EQ(r.tables[0].entries.size(), 2U);
  EXPECT_EQ(r.tables[1].rolls, 1);
  EXPECT_TRUE(r.tables[1].entries.empty());  // no entries is the validation's business
}

TEST(LootFile, SectionsOfAnotherKindAreSkipped) {
  LootRead r("[chest a]\nrolls = x\n[loot b]\nrolls = 1\n");
  EXPECT_EQ(r.faults, (Faults{"loot.txt:1: unknown section [chest] (this file holds [loot ...])"}));
  ASSERT_EQ(r.tables.size(), 1U);
  EXPECT_EQ(r.tables[0].name, "b");
}

}  // namespace
}  // namespace velmora
