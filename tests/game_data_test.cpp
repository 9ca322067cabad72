#include "core/game_data.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/text.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using testing::DataTexts;
using testing::faults_of;

TEST(LoadGameData, NeedsExactlySixTexts) {
  const std::string_view five[5] = {"", "", "", "", ""};
  DataLoad load = load_game_data(five);
  ASSERT_FALSE(load.ok());
  EXPECT_EQ(load.faults(), (Faults{"expected 6 data files"}));
}

TEST(LoadGameData, BuiltInSetLoadsWithoutFault) {
  DataLoad load = DataTexts::builtin().load();
  ASSERT_TRUE(load.ok()) << join(load.faults(), "\n");
  EXPECT_EQ(load.data().data_hash, data_hash(builtin_texts()));
  EXPECT_FALSE(load.data().moves.empty());
  EXPECT_FALSE(load.data().stages.empty());
}

// Every line indented, commented, spaced out and ended with CRLF.
std::string reformat(const std::string& text) {
  std::string out = "# reformatted\r\n\r\n";
  for_each_line(text, [&](std::uint64_t, std::string_view line) {
    out += "\t  ";
    out += line;
    out += "   # note\r\n\r\n";
  });
  return out;
}

TEST(LoadGameData, BuiltInHashIsStableUnderReformattingAndFollowsValues) {
  const auto plain = DataTexts::builtin();
  auto styled = plain;
  for (auto& t : styled.texts) t = reformat(t);
  DataLoad a = plain.load();
  DataLoad b = styled.load();
  ASSERT_TRUE(a.ok() && b.ok()) << join(faults_of(b), "\n");
  EXPECT_EQ(a.data().data_hash, b.data().data_hash);

  // Any value changed anywhere changes the hash.
  for (std::size_t f = 0; f < data_file_count; ++f) {
    auto changed = plain;
    const std::size_t eq = changed.texts[f].rfind(" = ");
    ASSERT_NE(eq, std::string::npos);
    changed.texts[f].insert(eq + 3, "9");
    EXPECT_NE(data_hash(std::vector<std::string_view>(changed.texts.begin(), changed.texts.end())),
              a.data().data_hash)
        << data_file_names[f];
  }
}

TEST(LoadGameData, StageFileWithoutAStageIsAFaultBeforeRegionFaults) {
  auto d = DataTexts::builtin();
  d.file("stage.txt") = "# nothing\n";
  d.file("region.txt") = "stray\n" + d.file("region.txt");
  Faults faults = faults_of(d.load());
  ASSERT_GE(faults.size(), 2u);
  // Line faults of all files come first, then the reader faults file by file.
  EXPECT_EQ(faults.front(), "region.txt:1: expected key = value");
  bool seen = false;
  for (const std::string& f : faults) seen = seen || f == "stage.txt: needs at least one [stage] section";
  EXPECT_TRUE(seen);
}

TEST(LoadGameData, SectionsOfAKindTheFileDoesNotHoldAreSkipped) {
  auto d = DataTexts::builtin();
  d.file("moves.txt") += "\n[item stray]\nnonsense = 1\n";
  d.file("stage.txt") += "\n[node stray]\n";
  d.file("region.txt") += "\n[stage stray]\n";
  Faults faults = faults_of(d.load());
  ASSERT_EQ(faults.size(), 3u) << join(faults, "\n");
  EXPECT_NE(faults[0].find(": unknown section [item] (this file holds [move ...])"), std::string::npos);
  EXPECT_EQ(faults[0].rfind("moves.txt:", 0), 0u);
  EXPECT_NE(faults[1].find(": unknown section [node] (this file holds [stage ...])"), std::string::npos);
  EXPECT_NE(faults[2].find(": unknown section [stage] (this file holds [node ...])"), std::string::npos);
}

TEST(LoadGameData, TooManyMovesIsAFaultRatherThanAWrappedId) {
  auto d = DataTexts::builtin();
  std::string extra;
  for (int i = 0; i < 300; ++i) extra += "[move filler_" + std::to_string(i) + "]\n";
  d.file("moves.txt") += extra;
  Faults faults = faults_of(d.load());
  bool seen = false;
  for (const std::string& f : faults) seen = seen || f == "moves.txt: more than 256 moves";
  EXPECT_TRUE(seen);
}

TEST(Slot, FirstUseFromManyThreadsLoadsOnce) {
  std::vector<const GameData*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = &game_data(); });
  }
  for (auto& t : threads) t.join();
  for (const GameData* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(seen[0]->data_hash, data_hash(builtin_texts()));
}

TEST(Slot, InstallAfterUseIsRefusedAndChangesNothing) {
  const GameData& before = game_data();
  GameData other;
  other.data_hash = 42;
  Status s = install_game_data(std::move(other));
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "game data is already in use");
  EXPECT_EQ(&game_data(), &before);
  EXPECT_NE(game_data().data_hash, 42u);
}

TEST(Slot, InstalledDataIsWhatEveryReaderSees) {
  GameData mine = DataTexts::builtin().load().data();
  mine.data_hash = 7;
  ASSERT_TRUE(install_game_data(std::move(mine)).ok());
  EXPECT_EQ(game_data().data_hash, 7u);
}

TEST(Lookups, ExactBytesFirstMatch) {
  std::vector<MoveDef> moves(3);
  moves[0].name = "jab";
  moves[1].name = "cross";
  moves[2].name = "jab";
  EXPECT_EQ(move_id(moves, "jab"), 0);
  EXPECT_EQ(move_id(moves, "cross"), 1);
  EXPECT_FALSE(move_id(moves, "Jab"));
  EXPECT_FALSE(move_id(moves, "jab "));
  std::vector<ItemDef> items(2);
  items[0].name = "dagger";
  items[1].name = "sword";
  EXPECT_EQ(item_id(items, "sword"), 1);
  EXPECT_FALSE(item_id(items, "Dagger"));
}

TEST(Lookups, FirstPlayableKindAndBagConsumables) {
  const GameData& data = game_data();
  const std::uint8_t first = first_player_kind(data.kinds);
  EXPECT_TRUE(data.kinds[first].player);
  for (std::uint8_t k = 0; k < first; ++k) EXPECT_FALSE(data.kinds[k].player);

  std::optional<std::uint16_t> potion, weapon;
  for (std::size_t i = 0; i < data.items.size(); ++i) {
    if (!potion && data.items[i].slot == ItemSlot::consumable) potion = static_cast<std::uint16_t>(i);
    if (!weapon && data.items[i].slot == ItemSlot::weapon) weapon = static_cast<std::uint16_t>(i);
  }
  ASSERT_TRUE(potion && weapon);
  const std::vector<std::uint16_t> bag{*potion, *weapon, *potion};
  const ConsumableList found = bag_consumables(bag);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], *potion);
  EXPECT_TRUE(bag_consumables(std::vector<std::uint16_t>{}).empty());
  EXPECT_TRUE(bag_consumables(std::vector<std::uint16_t>{*weapon}).empty());
  EXPECT_EQ(item_title(*potion), data.items[*potion].title);
}

TEST(LookupsDeathTest, NoPlayableKindStops) {
  std::vector<KindDef> kinds(2);
  EXPECT_DEATH(first_player_kind(kinds), "validated: a playable kind");
}

}  // namespace
}  // namespace velmora
