#include "core/replay/replay.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"

namespace velmora {
namespace {

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }
std::uint8_t move(std::string_view name) { return move_id(game_data().moves, name).value(); }
std::uint8_t kind(std::string_view name) { return kind_id(game_data().kinds, name).value(); }

// A sheet with something in every field.
CharacterSheet full_sheet(std::uint8_t slot) {
  CharacterSheet s = new_character(kind("thief"));
  s.slot = slot;
  s.bag = {item("club"), item("leather_cap"), item("club")};
  s.arts = {move("whirlwind"), move("jab")};
  s.worn = {item("stiletto"), std::nullopt, item("leather_armor")};
  s.raises = {5, 1, 0, 2, 4};
  s.xp = 1234;
  s.points_spent = 56;
  s.silver = 789;
  return s;
}

std::string header(std::string_view rest = "") { return "velmora-replay 1\nseed 5\nplayers 1\n" + std::string(rest); }

std::string read_error(const std::string& text) {
  const auto read = read_replay(text);
  return read.ok() ? "<read>" : read.message();
}

TEST(ReplayText, RoundTripKeepsEveryField) {
  ReplayRecord record;
  record.data_hash = 0x0123456789abcdefULL;
  record.end = ReplayEnd{4242, 0xfedcba9876543210ULL};
  record.party = {full_sheet(0), new_character(kind("wizard")), full_sheet(3)};
  record.party[1].slot = 2;
  record.commands = {
      TicksCommand{{16, 0, 0, 0}, 3}, JoinCommand{1, kind("cleric")}, LeaveCommand{1},
      BuyCommand{0, item("dagger")},  SellCommand{0, 2},               SpendCommand{3, Attribute::skill},
      EquipCommand{2, 0},             UnequipCommand{0, 1},            DropCommand{3, DropPlace::worn, 2},
      TrainCommand{2, move("jab")},   HandCommand{0, 3, 10},           TicksCommand{{0, 1, 2, 3}, 1},
  };
  record.seed = UINT64_MAX;
  record.players = 3;
  record.stage = 2;
  EXPECT_EQ(read_replay(write_replay(record)).value(), record);

}

// The lines in their order; clashing slots are numbered afresh and the stage
// index is clamped to the last stage.
TEST(ReplayText, WritesTheLinesInOrder) {
  ReplayRecord record;
  record.seed = 5;
  record.players = 2;
  record.stage = 9999;
  CharacterSheet sheet = new_character(kind("fighter"));
  sheet.worn = {item("dagger"), std::nullopt, std::nullopt};
  record.party = {sheet, sheet};  // both slot 0
  record.data_hash = 0xab;
  record.commands = {TicksCommand{{16, 0, 0, 0}, 2}};
  record.end = ReplayEnd{2, 1};
  EXPECT_EQ(write_replay(record), "velmora-replay 1\nseed 5\nplayers 2\nstage " + game_data().stages.back().name +
                                      "\nchar 0 fighter 0 0 0 0 0 0 0 dagger,-,- - 0 -"
                                      "\nchar 1 fighter 0 0 0 0 0 0 0 dagger,-,- - 0 -\n"
                                      "data 00000000000000ab\nticks 2 16 0 0 0\nend 2 0000000000000001\n");
}

// One case per message of the reader and per kind of line it refuses.
TEST(ReadReplay, Messages) {
  const std::pair<std::string, std::string> cases[] = {
      {"\n  \n", "not a velmora replay"},
      {"velmora-replay\nseed 1\nplayers 1\n", "not a velmora replay"},
      {"velmora-replay 1 1\nseed 1\nplayers 1\n", "not a velmora replay"},
      {"velmora-replay 1\nseed 1\xff\nplayers 1\n", "not a velmora replay"},
      {"velmora-replay 2\nseed 1\n", "replay format 2 is not supported (this build reads 1)"},
      {"velmora-replay 01\n", "replay format 01 is not supported (this build reads 1)"},
      {"velmora-replay 1\nplayers 1\n", "replay needs a seed and 1 to 4 players"},
      {"velmora-replay 1\nseed 1\nplayers 0\n", "replay needs a seed and 1 to 4 players"},
      {header("players 2\nchar 0 fighter 0 0 0 0 0 0 0 -,-,- - 0\n"), "replay needs a seed and 1 to 4 players"},
      {header("classes fighter thief\n"), "replay needs a seed and 1 to 4 players"},
      // Line errors count blank lines, show the line trimmed and stop there.
      {"velmora-replay 1\n\n\n  wave 3  \nseed 1\n", "line 4: cannot read 'wave 3'"},
      {"\r\nvelmora-replay 1\r\nseed x\r\n", "line 3: cannot read 'seed x'"},
      {header("hand 0 1 -3\nseed x\n"), "line 4: cannot read 'hand 0 1 -3'"},
      {header("players 18446744073709551616\n"), "line 4: cannot read 'players 18446744073709551616'"},
      {header("stage nowhere\n"), "line 4: cannot read 'stage nowhere'"},
      {header("data 0x12\n"), "line 4: cannot read 'data 0x12'"},
      {header("data 10000000000000000\n"), "line 4: cannot read 'data 10000000000000000'"},
      {header("end 12\n"), "line 4: cannot read 'end 12'"},
      {header("end x 12\n"), "line 4: cannot read 'end x 12'"},
      {header("classes fighter bandit\n"), "line 4: cannot read 'classes fighter bandit'"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(read_error(text), message) << text;
}

// Character lines out of shape or range, each read as line 4.
TEST(ReadReplay, RefusesCharacterLines) {
  const char* lines[] = {
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- - 0 - extra",  // 14 fields
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- -",            // 11 fields
      "char 4 fighter 0 0 0 0 0 0 0 -,-,- - 0",          // slot beyond 3
      "char 0 bandit 0 0 0 0 0 0 0 -,-,- - 0",           // not playable
      "char 0 fighter 6 0 0 0 0 0 0 -,-,- - 0",          // st raise beyond 5
      "char 0 fighter 0 0 0 0 5 0 0 -,-,- - 0",          // skill raise beyond 4
      "char 0 fighter -1 0 0 0 0 0 0 -,-,- - 0",
      "char 0 fighter 0 0 0 0 0 -10 0 -,-,- - 0",  // negative xp
      "char 0 fighter 0 0 0 0 0 0 -1 -,-,- - 0",   // negative points spent
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- - -5",   // negative silver
      "char 0 fighter 0 0 0 0 0 0 0 sword,-,- - 0",  // no such item
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- dagger,,club 0",
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- - 0 jab,nothing",
  };
  for (const char* line : lines) {
    EXPECT_EQ(read_error(header(line + std::string("\n"))), "line 4: cannot read '" + std::string(line) + "'");
  }
  // Slots must rise from line to line.
  const std::string two = "velmora-replay 1\nseed 1\nplayers 2\n";
  const std::string c0 = "char 0 fighter 0 0 0 0 0 0 0 -,-,- - 0";
  const std::string c1 = "char 1 fighter 0 0 0 0 0 0 0 -,-,- - 0";
  const std::string c2 = "char 2 fighter 0 0 0 0 0 0 0 -,-,- - 0";
  EXPECT_TRUE(read_replay(two + c0 + "\n" + c2 + "\n").ok());
  EXPECT_EQ(read_error(two + c1 + "\n" + c1 + "\n"), "line 5: cannot read '" + c1 + "'");
  EXPECT_EQ(read_error(two + c2 + "\n" + c0 + "\n"), "line 5: cannot read '" + c0 + "'");
}

TEST(ReadReplay, PartiesAndShortLines) {
  const ReplayRecord defaults = read_replay("velmora-replay 1\nseed 9\nplayers 2\n").value();
  EXPECT_EQ(defaults.party, std::vector<CharacterSheet>(2, new_character(default_class())));
  EXPECT_EQ(defaults.stage, 0u);
  EXPECT_EQ(defaults.data_hash, std::nullopt);
  EXPECT_EQ(defaults.end, std::nullopt);
  const ReplayRecord classes = read_replay("velmora-replay 1\nseed 9\nplayers 2\nclasses wizard cleric\n").value();
  EXPECT_EQ(classes.party, (std::vector{new_character(kind("wizard")), new_character(kind("cleric"))}));

  // Twelve fields: nothing learned. Worn parts after the third are ignored,
  // and any item may stand in any place.
  const auto sheet = parse_character_line("2 wizard +1 0 1 0 0 30 0 -,runed_staff,-,whatever - 5");
  ASSERT_TRUE(sheet.has_value());
  EXPECT_EQ(sheet->slot, 2);
  EXPECT_TRUE(sheet->arts.empty());
  EXPECT_EQ(sheet->worn, (Worn{std::nullopt, item("runed_staff"), std::nullopt}));
  EXPECT_EQ(sheet->raises, (std::array<std::int32_t, 5>{1, 0, 1, 0, 0}));
  EXPECT_EQ(sheet->xp, 30);
  EXPECT_EQ(sheet->silver, 5);
}

// A classes line names one class per party slot at most, and is refused at
// that line however long it runs.
TEST(ReadReplay, ClassesLineHoldsFourNamesAtMost) {
  const std::string four = "velmora-replay 1\nseed 5\nplayers 4\nclasses fighter thief wizard cleric\n";
  EXPECT_EQ(read_replay(four).value().party.size(), 4u);
  const std::string five = "classes fighter thief wizard cleric fighter";
  EXPECT_EQ(read_error(header(five + "\n")), "line 4: cannot read '" + five + "'");
  std::string endless = "classes";
  for (int i = 0; i < 1'000'000; ++i) endless += " fighter";
  EXPECT_EQ(read_error(header(endless + "\nseed 1\n")), "line 4: cannot read '" + endless + "'");
}

TEST(ReadReplay, CapsTheTicksOfAFile) {
  const std::string full = header("ticks " + std::to_string(max_replay_ticks) + " 0 0 0 0\n");
  EXPECT_TRUE(read_replay(full).ok());
  EXPECT_EQ(read_error(full + "ticks 1 16 0 0 0\n"), "line 5: cannot read 'ticks 1 16 0 0 0'");
  EXPECT_FALSE(read_replay(header("ticks 4294967295 0 0 0 0\n")).ok());
}

TEST(RecordTick, OneCommandPerRunOfEqualWords) {
  ReplayRecord record = new_replay_record(0, 1, {new_character(default_class())});
  const std::array<Buttons, 4> attack = {16, 0, 0, 0};
  const std::array<Buttons, 4> walk = {2, 0, 0, 0};
  for (int i = 0; i < 3; ++i) record_tick(record, attack);
  record_tick(record, walk);
  record_join(record, 1, default_class());
  record_tick(record, walk);  // a command between breaks the run
  record_tick(record, std::array<Buttons, 1>{2});
  EXPECT_EQ(record.commands, (std::vector<Command>{TicksCommand{attack, 3}, TicksCommand{walk, 1},
                                                   JoinCommand{1, default_class()}, TicksCommand{walk, 2}}));

  // A full count starts a new command instead of wrapping.
  record.commands = {TicksCommand{walk, UINT32_MAX}};
  record_tick(record, walk);
  EXPECT_EQ(record.commands, (std::vector<Command>{TicksCommand{walk, UINT32_MAX}, TicksCommand{walk, 1}}));
}

TEST(PlayBack, ReachesTheStateOfTheStraightRun) {
  const std::vector<CharacterSheet> party = {full_sheet(0), full_sheet(1)};
  const std::array<std::array<Buttons, 4>, 4> inputs = {{{2, 0, 0, 0}, {2, 16, 0, 0}, {16, 16, 0, 0}, {0, 1, 0, 0}}};
  World live = new_game(1, 42, party);
  ReplayRecord record = new_replay_record(1, 42, party);
  EXPECT_EQ(record.data_hash, game_data().data_hash);
  for (int step = 0; step < 40; ++step) {
    const auto& words = inputs[static_cast<std::size_t>(step / 10)];
    record_tick(record, words);
    tick(live, words);
    if (step == 15 || step == 25) {
      // Recorded whatever the live game answered; playback answers the same.
      const Command command = step == 15 ? Command{HandCommand{0, 1, 5}} : Command{LeaveCommand{1}};
      (void)apply_command(live, command);
      record.commands.push_back(command);
    }
  }
  ASSERT_EQ(live.actors[1].gone, 1);
  record.end = ReplayEnd{live.tick, state_hash(live)};

  const ReplayRecord read = read_replay(write_replay(record)).value();
  const World played = play_back(read);
  EXPECT_EQ(played.tick, read.end->tick);
  EXPECT_EQ(state_hash(played), read.end->state_hash);
  EXPECT_EQ(played, live);
}

}  // namespace
}  // namespace velmora
