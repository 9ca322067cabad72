#include "core/data/loot_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

// Reads one loot.txt text against the items dagger and ring.
struct LootRead {
  Faults faults;
  std::vector<LootTable> tables;
  explicit LootRead(std::string_view text) {
    DataNames names;
    names.items = NameList({"dagger", "ring"});
    tables = read_loot_file(parse_data_file("loot.txt", text, faults), names, faults);
  }
};

std::string fault(int line, std::string_view key) {
  return "loot.txt:" + std::to_string(line) + ": '" + std::string(key) +
         "' must be item NAME WEIGHT, silver MIN MAX WEIGHT or food HEAL WEIGHT, with items from items.txt";
}

TEST(LootFile, EntriesKeepTheirLineOrder) {
  const LootRead r("[loot chest]\nsilver = 10 25 3\nitem = ring 1\nrolls = 2\nfood = 20 4\nitem = dagger 0\n");
  ASSERT_EQ(r.faults, Faults{});
  const LootTable& t = r.tables.at(0);
  EXPECT_EQ(t.name, "chest");
  EXPECT_EQ(t.rolls, 2);
  EXPECT_EQ(t.entries, (std::vector<LootEntry>{{LootKind::silver, 0, 10, 25, 0, 3},
                                               {LootKind::item, 1, 0, 0, 0, 1},
                                               {LootKind::food, 0, 0, 0, 20, 4},
                                               {LootKind::item, 0, 0, 0, 0, 0}}));
}

TEST(LootFile, FaultsInReadingOrderAndBadEntriesLeftOut) {
  // Key faults first, then the missing rolls, then the entries in line order.
  const LootRead r("[loot chest]\ngold = 5\nitem = nosuch 2\nfood = 20\nsilver = 10 25\nsilver = 10 25 -1\n"
                   "item = dagger -1\nfood = x 2\nitem = dagger 2 3\nsilver = 5 9 1\n"
                   "[loot empty]\nrolls = 1\nrolls = 3\n[chest odd]\nrolls = x\n");
  EXPECT_EQ(r.faults, (Faults{"loot.txt:2: unknown key 'gold' in [loot chest]",
                              "loot.txt:1: [loot chest] needs 'rolls'",
                              fault(3, "item"), fault(4, "food"), fault(5, "silver"), fault(6, "silver"),
                              fault(7, "item"), fault(8, "food"), fault(9, "item"),
                              "loot.txt:13: 'rolls' is set twice",
                              "loot.txt:14: unknown section [chest] (this file holds [loot ...])"}));
  ASSERT_EQ(r.tables.size(), 2U);
  EXPECT_EQ(r.tables[0].entries, (std::vector<LootEntry>{{LootKind::silver, 0, 5, 9, 0, 1}}));
  EXPECT_EQ(r.tables[1].rolls, 1);
  EXPECT_TRUE(r.tables[1].entries.empty());  // no entries is the validation's business
}

}  // namespace
}  // namespace velmora
