// Bot parties of one to four players play every built-in combat stage to its
// end: the smoke test of the built-in content. A stage the bots can neither
// clear nor lose within the budget is stuck.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/actor.h"
#include "core/bot.h"
#include "core/game_data.h"
#include "core/sim.h"
#include "core/state_hash.h"

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

// The party: fighter, thief, wizard, cleric, the first n of them.
std::vector<CharacterSheet> party_of(std::size_t n) {
  const std::array<const char*, 4> classes{"fighter", "thief", "wizard", "cleric"};
  std::vector<CharacterSheet> party;
  for (std::size_t i = 0; i < n; ++i) party.push_back(new_character(*class_by_name(classes[i])));
  return party;
}

// Plays the stage with every slot a bot until it ends or the budget runs
// out. A stage with no walk-out exit is left through its door, and the run
// goes on in the stage behind it until that one ends.
StageRun play(std::size_t stage, std::size_t players, std::uint64_t seed) {
  World w = new_game(stage, seed, party_of(players));
  std::array<Buttons, 4> words{};
  StageRun run;
  for (run.ticks = 0; run.ticks < tick_budget && w.over == GameStatus::playing; ++run.ticks) {
    for (std::size_t slot = 0; slot < words.size(); ++slot) words[slot] = bot_input(w, slot);
    tick(w, words);
  }
  run.ending = w.over;
  run.last_stage = w.stage_index;
  run.hash = state_hash(w);
  return run;
}

TEST(BotRuns, EveryCombatStageEndsForEveryPartySizeTheSameWayEveryRun) {
  const std::vector<StageDef>& stages = game_data().stages;
  for (std::size_t stage = 0; stage < stages.size(); ++stage) {
    if (stages[stage].town) continue;
    for (std::size_t players = 1; players <= 4; ++players) {
      const StageRun run = play(stage, players, 11);
      const std::string word(game_status_word(run.ending));
      const std::string behind = run.last_stage != stage ? " in " + stages[run.last_stage].name : "";
      std::printf("%-14s %zu  %-8s %6llu%s\n", stages[stage].name.c_str(), players, word.c_str(),
                  static_cast<unsigned long long>(run.ticks), behind.c_str());
      EXPECT_NE(run.ending, GameStatus::playing) << stages[stage].name << " with " << players << " is stuck";
      const StageRun again = play(stage, players, 11);
      EXPECT_EQ(again.ticks, run.ticks);
      EXPECT_EQ(again.hash, run.hash);
    }
  }
}

}  // namespace
}  // namespace velmora
