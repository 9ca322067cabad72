#include "core/replay.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/game_data.h"
#include "core/sim.h"
#include "core/state_hash.h"

namespace velmora {
namespace {

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }
std::uint8_t move(std::string_view name) { return move_id(game_data().moves, name).value(); }
std::uint8_t kind(std::string_view name) { return kind_id(game_data().kinds, name).value(); }

// A sheet with something in every field.
CharacterSheet full_sheet(std::uint8_t slot) {
  CharacterSheet s = new_character(kind("thief"));
  s.slot = slot;
  s.bag.push_back(item("club"));
  s.bag.push_back(item("leather_cap"));
  s.bag.push_back(item("club"));
  s.arts.push_back(move("whirlwind"));
  s.arts.push_back(move("jab"));
  s.worn = {item("stiletto"), std::nullopt, item("leather_armor")};
  s.raises = {5, 1, 0, 2, 4};
  s.xp = 1234;
  s.points_spent = 56;
  s.silver = 789;
  return s;
}

ReplayRecord full_record() {
  ReplayRecord r;
  r.data_hash = 0x0123456789abcdefULL;
  r.end = ReplayEnd{4242, 0xfedcba9876543210ULL};
  r.party = {full_sheet(0), new_character(kind("wizard")), full_sheet(3)};
  r.party[1].slot = 2;
  r.commands = {
      TicksCommand{{16, 0, 0, 0}, 3}, JoinCommand{1, kind("cleric")}, LeaveCommand{1},
      BuyCommand{0, item("dagger")},  SellCommand{0, 2},               SpendCommand{3, Attribute::skill},
      EquipCommand{2, 0},             UnequipCommand{0, 1},            DropCommand{3, DropPlace::worn, 2},
      TrainCommand{2, move("jab")},   HandCommand{0, 3, 10},           TicksCommand{{0, 1, 2, 3}, 1},
  };
  r.seed = 18446744073709551615ULL;
  r.players = 3;
  r.stage = 2;
  return r;
}

std::string header(std::string_view rest = "") {
  return "velmora-replay 1\nseed 5\nplayers 1\n" + std::string(rest);
}

TEST(ReplayText, RoundTripKeepsEveryField) {
  const ReplayRecord record = full_record();
  const auto read = read_replay(write_replay(record));
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read->party, record.party);
  EXPECT_EQ(read->commands, record.commands);
  EXPECT_EQ(*read, record);
}

TEST(ReplayText, RoundTripNumbersSlotsAndClampsTheStage) {
  ReplayRecord record;
  record.seed = 1;
  record.players = 2;
  record.stage = 9999;
  record.party = {new_character(default_class()), new_character(default_class())};  // both slot 0
  const auto read = read_replay(write_replay(record));
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read->stage, game_data().stages.size() - 1);
  EXPECT_EQ(read->party[0].slot, 0);
  EXPECT_EQ(read->party[1].slot, 1);
  EXPECT_FALSE(read->data_hash.has_value());
  EXPECT_FALSE(read->end.has_value());
}

TEST(ReplayText, WritesTheLinesInOrder) {
  ReplayRecord record;
  record.seed = 5;
  record.players = 1;
  CharacterSheet sheet = new_character(kind("fighter"));
  sheet.worn = {item("dagger"), std::nullopt, std::nullopt};
  record.party = {sheet};
  record.data_hash = 0xab;
  record.commands = {TicksCommand{{16, 0, 0, 0}, 2}};
  record.end = ReplayEnd{2, 1};
  EXPECT_EQ(write_replay(record),
            "velmora-replay 1\nseed 5\nplayers 1\nstage " + game_data().stages[0].name +
                "\nchar 0 fighter 0 0 0 0 0 0 0 dagger,-,- - 0 -\n"
                "data 00000000000000ab\nticks 2 16 0 0 0\nend 2 0000000000000001\n");
}

struct ReadCase {
  std::string text;
  std::string message;
};

TEST(ReadReplay, AnswersWithItsMessages) {
  const ReadCase cases[] = {
      {"", "not a velmora replay"},
      {"\n  \n", "not a velmora replay"},
      {"velmora-replay\nseed 1\nplayers 1\n", "not a velmora replay"},
      {"replay 1\n", "not a velmora replay"},
      {"velmora-replay 2\nseed 1\n", "replay format 2 is not supported (this build reads 1)"},
      {"velmora-replay 01\n", "replay format 01 is not supported (this build reads 1)"},
      {"velmora-replay 1\nplayers 1\n", "replay needs a seed and 1 to 4 players"},
      {"velmora-replay 1\nseed 1\n", "replay needs a seed and 1 to 4 players"},
      {"velmora-replay 1\nseed 1\nplayers 0\n", "replay needs a seed and 1 to 4 players"},
      {header("players 2\nchar 0 fighter 0 0 0 0 0 0 0 -,-,- - 0\n"), "replay needs a seed and 1 to 4 players"},
      {header("classes fighter thief\n"), "replay needs a seed and 1 to 4 players"},
      {std::string("velmora-replay 1\nseed 1\xff\nplayers 1\n"), "not a velmora replay"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto read = read_replay(c.text);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.message(), c.message);
  }
}

TEST(ReadReplay, LineErrorsNameTheLineAndStopThere) {
  const ReadCase cases[] = {
      {"velmora-replay 1\n\n\n  wave 3  \nseed 1\n", "line 4: cannot read 'wave 3'"},
      {"\r\nvelmora-replay 1\r\nseed x\r\n", "line 3: cannot read 'seed x'"},
      {header("seed -1\n"), "line 4: cannot read 'seed -1'"},
      {header("players 18446744073709551616\n"), "line 4: cannot read 'players 18446744073709551616'"},
      {header("stage nowhere\n"), "line 4: cannot read 'stage nowhere'"},
      {header("data 0x12\n"), "line 4: cannot read 'data 0x12'"},
      {header("data 10000000000000000\n"), "line 4: cannot read 'data 10000000000000000'"},
      {header("end 12\n"), "line 4: cannot read 'end 12'"},
      {header("classes fighter bandit\n"), "line 4: cannot read 'classes fighter bandit'"},
      {header("ticks 1 0 0 0\n"), "line 4: cannot read 'ticks 1 0 0 0'"},
      {header("hand 0 1 -3\nseed x\n"), "line 4: cannot read 'hand 0 1 -3'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto read = read_replay(c.text);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.message(), c.message);
  }
}

// Character lines that must be refused, each read as line 4 of a one-player file.
TEST(ReadReplay, RefusesCharacterLinesOutOfShapeOrRange) {
  const char* lines[] = {
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- - 0 - extra",  // 14 fields
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- -",            // 11 fields
      "char 4 fighter 0 0 0 0 0 0 0 -,-,- - 0",          // slot beyond 3
      "char 0 bandit 0 0 0 0 0 0 0 -,-,- - 0",           // not playable
      "char 0 fighter 6 0 0 0 0 0 0 -,-,- - 0",          // st raise beyond 5
      "char 0 fighter 0 0 0 0 5 0 0 -,-,- - 0",          // skill raise beyond 4
      "char 0 fighter -1 0 0 0 0 0 0 -,-,- - 0",
      "char 0 fighter 0 0 0 0 0 -10 0 -,-,- - 0",        // negative xp
      "char 0 fighter 0 0 0 0 0 0 -1 -,-,- - 0",         // negative points spent
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- - -5",         // negative silver
      "char 0 fighter 0 0 0 0 0 2147483648 0 -,-,- - 0",
      "char 0 fighter 0 0 0 0 0 0 0 sword,-,- - 0",      // no such item
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- dagger,,club 0",
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- -,- 0",
      "char 0 fighter 0 0 0 0 0 0 0 -,-,- - 0 jab,nothing",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const auto read = read_replay(header(line + std::string("\n")));
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.message(), "line 4: cannot read '" + std::string(line) + "'");
  }
}

TEST(ReadReplay, CharacterSlotsMustRise) {
  const std::string c0 = "char 0 fighter 0 0 0 0 0 0 0 -,-,- - 0\n";
  const std::string c1 = "char 1 fighter 0 0 0 0 0 0 0 -,-,- - 0\n";
  const std::string c2 = "char 2 fighter 0 0 0 0 0 0 0 -,-,- - 0\n";
  const std::string two = "velmora-replay 1\nseed 1\nplayers 2\n";
  EXPECT_TRUE(read_replay(two + c0 + c2).ok());
  EXPECT_EQ(read_replay(two + c1 + c1).message(), "line 5: cannot read '" + c1.substr(0, c1.size() - 1) + "'");
  EXPECT_EQ(read_replay(two + c2 + c0).message(), "line 5: cannot read '" + c0.substr(0, c0.size() - 1) + "'");
}

TEST(ReadReplay, FillsThePartyWhenNoCharacterIsGiven) {
  const auto defaults = read_replay("velmora-replay 1\nseed 9\nplayers 2\n");
  ASSERT_TRUE(defaults.ok()) << defaults.message();
  ASSERT_EQ(defaults->party.size(), 2u);
  EXPECT_EQ(defaults->party[0], new_character(default_class()));
  EXPECT_EQ(defaults->stage, 0u);

  const auto classes = read_replay("velmora-replay 1\nseed 9\nplayers 2\nclasses wizard cleric\n");
  ASSERT_TRUE(classes.ok()) << classes.message();
  EXPECT_EQ(classes->party, (std::vector{new_character(kind("wizard")), new_character(kind("cleric"))}));
}

TEST(ReadReplay, ReadsShortCharacterLinesAndLooseWorn) {
  const auto sheet = parse_character_line("2 wizard 0 0 1 0 0 30 0 runed_staff - 5");
  ASSERT_TRUE(sheet.has_value());
  EXPECT_EQ(sheet->slot, 2);
  EXPECT_TRUE(sheet->arts.empty());
  EXPECT_EQ(sheet->worn, (Worn{item("runed_staff"), std::nullopt, std::nullopt}));
  EXPECT_EQ(sheet->raises[2], 1);
  EXPECT_EQ(sheet->xp, 30);
  EXPECT_EQ(sheet->silver, 5);

  // Parts after the third worn place are ignored; any item may stand anywhere.
  const auto loose = parse_character_line("0 fighter +1 0 0 0 0 0 0 -,dagger,-,whatever - 0 -");
  ASSERT_TRUE(loose.has_value());
  EXPECT_EQ(loose->worn, (Worn{std::nullopt, item("dagger"), std::nullopt}));
  EXPECT_EQ(loose->raises[0], 1);
}

TEST(ReadReplay, CapsTheTicksOfAFile) {
  const std::string full = header("ticks " + std::to_string(max_replay_ticks) + " 0 0 0 0\n");
  EXPECT_TRUE(read_replay(full).ok());
  const auto over = read_replay(full + "ticks 1 16 0 0 0\n");
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.message(), "line 5: cannot read 'ticks 1 16 0 0 0'");
  EXPECT_FALSE(read_replay(header("ticks 4294967295 0 0 0 0\n")).ok());
}

TEST(RecordTick, SharesOneCommandPerRunOfEqualWords) {
  ReplayRecord record = new_replay_record(0, 1, {new_character(default_class())});
  const std::array<Buttons, 4> attack = {16, 0, 0, 0};
  const std::array<Buttons, 4> walk = {2, 0, 0, 0};
  for (int i = 0; i < 3; ++i) record_tick(record, attack);
  record_tick(record, walk);
  EXPECT_EQ(record.commands, (std::vector<Command>{TicksCommand{attack, 3}, TicksCommand{walk, 1}}));

  record_join(record, 1, default_class());
  record_tick(record, walk);  // a command between breaks the run
  ASSERT_EQ(record.commands.size(), 4u);
  EXPECT_EQ(record.commands[3], (Command{TicksCommand{walk, 1}}));

  const std::array<Buttons, 1> one = {32};
  record_tick(record, one);
  EXPECT_EQ(record.commands.back(), (Command{TicksCommand{{32, 0, 0, 0}, 1}}));
}

TEST(RecordTick, AFullCountStartsANewCommand) {
  ReplayRecord record;
  record.commands = {TicksCommand{{0, 0, 0, 0}, UINT32_MAX}};
  const std::array<Buttons, 4> none{};
  record_tick(record, none);
  EXPECT_EQ(record.commands,
            (std::vector<Command>{TicksCommand{none, UINT32_MAX}, TicksCommand{none, 1}}));
}

TEST(PlayBack, ReachesTheStateOfTheStraightRun) {
  const std::vector<CharacterSheet> party = {full_sheet(0), full_sheet(1)};
  const std::array<std::array<Buttons, 4>, 4> inputs = {{{2, 0, 0, 0}, {2, 16, 0, 0}, {16, 16, 0, 0}, {0, 1, 0, 0}}};
  World live = new_game(1, 42, party);
  ReplayRecord record = new_replay_record(1, 42, party);
  for (int step = 0; step < 40; ++step) {
    const auto& words = inputs[static_cast<std::size_t>(step / 10)];
    record_tick(record, words);
    tick(live, words);
    if (step == 15) {
      // Recorded whatever the live game answered; playback answers the same.
      const Command hand = HandCommand{0, 1, 5};
      (void)apply_command(live, hand);
      record.commands.push_back(hand);
    }
  }
  EXPECT_EQ(record.data_hash, game_data().data_hash);
  record.end = ReplayEnd{live.tick, state_hash(live)};

  const auto read = read_replay(write_replay(record));
  ASSERT_TRUE(read.ok()) << read.message();
  const World played = play_back(*read);
  EXPECT_EQ(played.tick, read->end->tick);
  EXPECT_EQ(state_hash(played), read->end->state_hash);
  EXPECT_EQ(played, live);
}

}  // namespace
}  // namespace velmora
