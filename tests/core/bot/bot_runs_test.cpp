// Bot parties of one to four players play every built-in combat stage to its
// end: the smoke test of the built-in content. A stage the bots can neither
// clear nor lose within the budget is stuck. Parties of two to four win
// every stage, Skarn's camp included; a lone bot loses the harder ones.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/bot/bot.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/actor.h"
#include "core/world/state_hash.h"

namespace velmora {
namespace {

// Five minutes of play: every built-in stage ends well within it.
constexpr std::uint64_t tick_budget = 18'000;

struct StageRun {
  GameStatus ending = GameStatus::playing;  // still playing when the budget ran out: stuck
  std::uint64_t ticks = 0;
  std::uint64_t hash = 0;
  std::size_t last_stage = 0;  // the stage behind a door, when the party went through one
};

// Fighter, thief, wizard and cleric, the first n of them, every slot a bot,
// until the stage ends or the budget runs out. A stage with no walk-out exit
// is left through its door, and the run goes on behind it until that ends.
StageRun play(std::size_t stage, std::size_t players) {
  const std::array<const char*, 4> classes{"fighter", "thief", "wizard", "cleric"};
  std::vector<CharacterSheet> party;
  for (std::size_t i = 0; i < players; ++i) party.push_back(new_character(*class_by_name(classes[i])));
  World w = new_game(stage, 11, party);
  std::array<Buttons, 4> words{};
  StageRun run;
  for (run.ticks = 0; run.ticks < tick_budget && w.over == GameStatus::playing; ++run.ticks) {
    for (std::size_t slot = 0; slot < words.size(); ++slot) words[slot] = bot_input(w, slot);
    tick(w, words);
  }
  run.ending = w.over, run.last_stage = w.stage_index, run.hash = state_hash(w);
  return run;
}

TEST(BotRuns, EveryCombatStageEndsAsExpectedForEveryPartySizeTheSameWayEveryRun) {
  constexpr GameStatus won = GameStatus::cleared, lost = GameStatus::wiped;
  struct Expected {
    const char* stage;
    std::array<GameStatus, 4> by_party_size;
  };
  const std::vector<Expected> table = {
      {"first_road", {won, won, won, won}},   {"dark_wood", {lost, won, won, won}},
      {"wolf_den", {won, won, won, won}},     {"old_barrow", {lost, won, won, won}},
      {"barrow_crypt", {lost, won, won, won}}, {"bandit_camp", {lost, won, won, won}},
  };
  std::size_t combat_stages = 0;
  for (const StageDef& s : game_data().stages) combat_stages += s.town ? 0 : 1;
  ASSERT_EQ(table.size(), combat_stages);
  for (const Expected& row : table) {
    const std::size_t stage = *stage_index(game_data().stages, row.stage);
    for (std::size_t players = 1; players <= 4; ++players) {
      const StageRun run = play(stage, players);
      const std::string behind = run.last_stage != stage ? " in " + game_data().stages[run.last_stage].name : "";
      std::printf("%-14s %zu  %-8s %6llu%s\n", row.stage, players, std::string(game_status_word(run.ending)).c_str(),
                  static_cast<unsigned long long>(run.ticks), behind.c_str());
      EXPECT_EQ(run.ending, row.by_party_size[players - 1]) << row.stage << " with " << players;
      const StageRun again = play(stage, players);
      EXPECT_EQ(again.ticks, run.ticks);
      EXPECT_EQ(again.hash, run.hash);
    }
  }
}

}  // namespace
}  // namespace velmora
