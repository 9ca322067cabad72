#include "core/data/game_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>

#include "core/base/text.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using testing::DataTexts;
using testing::faults_of;

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

TEST(LoadGameData, BuiltInSetLoadsWithAHashStableUnderReformattingAndChangedByAnyValue) {
  const DataTexts plain = DataTexts::builtin();
  DataLoad a = plain.load();
  ASSERT_TRUE(a.ok()) << join(faults_of(a), "\n");
  EXPECT_EQ(a.data().data_hash, data_hash(builtin_texts()));

  DataTexts styled = plain;
  for (auto& t : styled.texts) t = reformat(t);
  DataLoad b = styled.load();
  ASSERT_TRUE(b.ok()) << join(faults_of(b), "\n");
  EXPECT_EQ(a.data().data_hash, b.data().data_hash);

  for (std::size_t f = 0; f < data_file_count; ++f) {
    DataTexts changed = plain;
    const std::size_t eq = changed.texts[f].rfind(" = ");
    ASSERT_NE(eq, std::string::npos);
    changed.texts[f].insert(eq + 3, "9");
    std::vector<std::string_view> views(changed.texts.begin(), changed.texts.end());
    EXPECT_NE(data_hash(views), a.data().data_hash) << data_file_names[f];
  }
}

TEST(LoadGameData, NeedsExactlySixTexts) {
  const std::string_view texts[7] = {};
  EXPECT_EQ(faults_of(load_game_data(std::span(texts, 5))), Faults{"expected 6 data files"});
  EXPECT_EQ(faults_of(load_game_data(std::span(texts, 7))), Faults{"expected 6 data files"});
}

// The file a fault names: the text before its first ':'.
std::vector<std::string> files_in_order(const Faults& faults) {
  std::vector<std::string> files;
  for (const std::string& f : faults) {
    const std::string file = f.substr(0, f.find(':'));
    if (files.empty() || files.back() != file) files.push_back(file);
  }
  return files;
}

TEST(LoadGameData, LineFaultsFirstThenReaderFaultsInReaderOrder) {
  DataTexts d = DataTexts::builtin();
  d.file("stage.txt") = "[scaling party]\n";
  for (auto& t : d.texts) t += "\n[bogus x]\n";
  d.file("region.txt") = "stray\n" + d.file("region.txt");
  const Faults faults = faults_of(d.load());
  ASSERT_GE(faults.size(), 3u);
  EXPECT_EQ(faults[0], "region.txt:1: expected key = value");
  EXPECT_EQ(files_in_order(faults), (std::vector<std::string>{"region.txt", "moves.txt", "items.txt", "loot.txt",
                                                              "kinds.txt", "stage.txt", "region.txt"}));
  // The stage-count fault closes the faults of stage.txt.
  const auto count = std::find(faults.begin(), faults.end(), "stage.txt: needs at least one [stage] section");
  ASSERT_NE(count, faults.end());
  EXPECT_EQ(*(count - 1), "stage.txt:3: unknown section [bogus] (this file holds [stage ...])");
  EXPECT_EQ((count + 1)->rfind("region.txt:", 0), 0u);
}

TEST(LoadGameData, ValidationRunsOnlyWithoutReaderFaults) {
  DataTexts d = DataTexts::builtin();
  d.file("region.txt") += "\n[node lost]\ntitle = Lost\nstage = nosuch\nat = 1 1\nlinks = lost\n";
  const Faults reader = faults_of(d.load());
  ASSERT_EQ(reader.size(), 1u);
  EXPECT_NE(reader[0].find("'stage' must be a stage from stage.txt ('nosuch' is not)"), std::string::npos);

  d = DataTexts::builtin();
  const std::string stage = DataTexts::builtin().load().data().stages[0].name;
  d.file("region.txt") += "\n[node lost]\ntitle = Lost\nstage = " + stage + "\nat = 1 1\nlinks = lost\n";
  EXPECT_EQ(faults_of(d.load()), Faults{"node lost: belongs to no campaign"});
}

// Move and kind ids are one byte: a larger set is a fault, not wrapped ids.
TEST(LoadGameData, MoreThan256MovesOrKindsIsAFault) {
  const GameData& data = game_data();
  for (const auto& [file, kind, builtin] : {std::tuple{"moves.txt", "move", data.moves.size()},
                                           std::tuple{"kinds.txt", "kind", data.kinds.size()}}) {
    const std::string fault = std::string(file) + ": more than 256 " + kind + "s";
    for (std::size_t total : {256, 257}) {
      DataTexts d = DataTexts::builtin();
      for (std::size_t i = builtin; i < total; ++i) {
        d.file(file) += "\n[" + std::string(kind) + " f" + std::to_string(i) + "]";
      }
      const Faults faults = faults_of(d.load());
      EXPECT_EQ(std::count(faults.begin(), faults.end(), fault), static_cast<std::ptrdiff_t>(total - 256)) << fault;
    }
  }
}

TEST(Slot, FirstUseFromManyThreadsLoadsOnce) {
  std::vector<const GameData*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = &game_data(); });
  for (auto& t : threads) t.join();
  for (const GameData* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(seen[0]->data_hash, data_hash(builtin_texts()));
  // Once in use, the slot refuses an install and keeps its value.
  EXPECT_EQ(install_game_data(GameData{}).message(), "game data is already in use");
  EXPECT_EQ(&game_data(), seen[0]);
}

// Installs and first reads race through one once-only guard: at most one
// install wins, and every reader sees the value that won.
TEST(Slot, InstallsAndReadsFromManyThreadsAgreeOnOneValue) {
  GameData mine = builtin_data();
  mine.data_hash = 7;
  std::atomic<int> installed = 0, refused = 0;
  std::vector<const GameData*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      if (i % 2 == 1) seen[i] = &game_data();
      const Status s = install_game_data(mine);
      if (s.ok()) ++installed;
      if (!s.ok() && s.message() == "game data is already in use") ++refused;
      if (i % 2 == 0) seen[i] = &game_data();
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_LE(installed, 1);
  EXPECT_EQ(installed + refused, 8);
  for (const GameData* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(seen[0]->data_hash, installed == 1 ? 7u : data_hash(builtin_texts()));
}

TEST(Slot, InstalledDataIsWhatEveryReaderSeesAndASecondInstallIsRefused) {
  GameData mine = DataTexts::builtin().load().data();
  mine.data_hash = 7;
  ASSERT_TRUE(install_game_data(mine).ok());
  EXPECT_EQ(game_data().data_hash, 7u);
  mine.data_hash = 42;
  Status again = install_game_data(std::move(mine));
  EXPECT_EQ(again.message(), "game data is already in use");
  EXPECT_EQ(game_data().data_hash, 7u);
}

template <class Record>
std::vector<Record> named(std::initializer_list<const char*> names) {
  std::vector<Record> records;
  for (const char* n : names) records.emplace_back().name = n;
  return records;
}

TEST(Lookups, ExactBytesFirstMatch) {
  const auto moves = named<MoveDef>({"jab", "cross", "jab"});
  EXPECT_EQ(move_id(moves, "jab"), 0);
  EXPECT_EQ(move_id(moves, "cross"), 1);
  for (const char* other : {"Jab", "jab ", "ja", "jabs", ""}) EXPECT_FALSE(move_id(moves, other)) << other;
  EXPECT_EQ(kind_id(named<KindDef>({"brute", "knight"}), "knight"), 1);
  EXPECT_FALSE(item_id(named<ItemDef>({"dagger"}), "Dagger"));
  EXPECT_EQ(item_id(named<ItemDef>({"dagger", "sword"}), "sword"), 1);
  EXPECT_EQ(campaign_index(named<CampaignDef>({"south", "north"}), "north"), 1u);
  // Stages are found by their section name, never by their display name.
  auto stages = named<StageDef>({"road", "cellar"});
  stages[0].title = "cellar", stages[1].title = "The Cellar";
  EXPECT_EQ(stage_index(stages, "cellar"), 1u);
  EXPECT_FALSE(stage_index(stages, "The Cellar"));
}

TEST(Lookups, FirstPlayableKindItemTitleAndBagConsumables) {
  std::vector<KindDef> kinds(4);
  kinds[2].player = kinds[3].player = true;
  EXPECT_EQ(first_player_kind(kinds), 2);

  const GameData& data = game_data();
  std::vector<std::uint16_t> consumables, others;
  for (std::uint16_t i = 0; i < data.items.size(); ++i) {
    (data.items[i].slot == ItemSlot::consumable ? consumables : others).push_back(i);
  }
  ASSERT_GE(consumables.size(), 2u);
  ASSERT_FALSE(others.empty());
  const std::uint16_t a = consumables[1], b = consumables[0], w = others[0];
  const std::vector<std::uint16_t> bag{a, b, a, w, b};
  const ConsumableList found = bag_consumables(bag);
  EXPECT_EQ(std::vector<std::uint16_t>(found.begin(), found.end()), (std::vector<std::uint16_t>{a, b}));
  EXPECT_TRUE(bag_consumables(std::vector<std::uint16_t>{}).empty());
  EXPECT_TRUE(bag_consumables(std::vector<std::uint16_t>{w}).empty());
  EXPECT_EQ(item_title(a), data.items[a].title);
}

TEST(LookupsDeathTest, BrokenInvariantsStop) {
  EXPECT_DEATH(first_player_kind(std::vector<KindDef>(2)), "validated: a playable kind");
  const auto past_end = static_cast<std::uint16_t>(game_data().items.size());
  EXPECT_DEATH(item_title(past_end), "item id out of range");
  EXPECT_DEATH(bag_consumables(std::vector<std::uint16_t>{past_end}), "item id out of range");
}

TEST(LoadGameData, TooManyItemsIsAFaultAndLargeFilesStayFast) {
  // 65,537 items: ids are 16-bit. Duplicate headers and name lookups must not
  // be quadratic, or a hostile data folder could stall the load.
  auto d = DataTexts::builtin();
  std::string extra;
  for (int i = 0; i < 65537; ++i) extra += "[item filler_" + std::to_string(i) + "]\n";
  d.file("items.txt") += extra;
  Faults faults = faults_of(d.load());
  EXPECT_NE(std::find(faults.begin(), faults.end(), "items.txt: more than 65536 items"), faults.end());
}

}  // namespace
}  // namespace velmora
