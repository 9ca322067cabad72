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

enum class Ending { cleared, wiped, door, stuck };

const char* ending_word(Ending e) {
  switch (e) {
    case Ending::cleared: return "cleared";
    case Ending::wiped: return "wiped";
    case Ending::door: return "left by its door";
    case Ending::stuck: return "stuck";
  }
  return "";
}

struct StageRun {
  Ending ending = Ending::stuck;
  std::uint64_t ticks = 0;
  std::uint64_t hash = 0;
};

// The party: fighter, thief, wizard, cleric, the first n of them.
std::vector<CharacterSheet> party_of(std::size_t n) {
  const std::array<const char*, 4> classes{"fighter", "thief", "wizard", "cleric"};
  std::vector<CharacterSheet> party;
  for (std::size_t i = 0; i < n; ++i) party.push_back(new_character(*class_by_name(classes[i])));
  return party;
}

// Plays the stage with every slot a bot until it ends, the party walks out
// through a door, or the budget runs out.
StageRun play(std::size_t stage, std::size_t players, std::uint64_t seed) {
  World w = new_game(stage, seed, party_of(players));
  std::array<Buttons, 4> words{};
  StageRun run;
  while (w.tick < tick_budget) {
    for (std::size_t slot = 0; slot < words.size(); ++slot) words[slot] = bot_input(w, slot);
    tick(w, words);
    if (w.over != GameStatus::playing) {
      run.ending = w.over == GameStatus::cleared ? Ending::cleared : Ending::wiped;
      break;
    }
    if (w.stage_index != stage) {
      run.ending = Ending::door;
      break;
    }
  }
  run.ticks = w.tick;
  run.hash = state_hash(w);
  return run;
}

TEST(BotRuns, EveryCombatStageEndsForEveryPartySizeTheSameWayEveryRun) {
  const std::vector<StageDef>& stages = game_data().stages;
  for (std::size_t stage = 0; stage < stages.size(); ++stage) {
    if (stages[stage].town) continue;
    for (std::size_t players = 1; players <= 4; ++players) {
      const StageRun run = play(stage, players, 11);
      std::printf("%-14s %zu  %-17s %6llu\n", stages[stage].name.c_str(), players, ending_word(run.ending),
                  static_cast<unsigned long long>(run.ticks));
      EXPECT_NE(run.ending, Ending::stuck) << stages[stage].name << " with " << players;
      const StageRun again = play(stage, players, 11);
      EXPECT_EQ(again.ticks, run.ticks);
      EXPECT_EQ(again.hash, run.hash);
    }
  }
}

}  // namespace
}  // namespace velmora
