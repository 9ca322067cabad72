#include "core/commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/game_data.h"
#include "core/text.h"
#include "core/world.h"

namespace velmora {
namespace {

std::optional<Command> parse_text(std::string_view text) {
  const auto words = split_words(text);
  return parse_command(words);
}

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }
std::uint8_t move(std::string_view name) { return move_id(game_data().moves, name).value(); }
std::uint8_t kind(std::string_view name) { return kind_id(game_data().kinds, name).value(); }

struct ParseCase {
  const char* text;
  Command expected;
};

TEST(ParseCommand, ReadsEveryKind) {
  const ParseCase cases[] = {
      {"ticks 3 16 0 0 0", TicksCommand{{16, 0, 0, 0}, 3}},
      {"join 2 wizard", JoinCommand{2, kind("wizard")}},
      {"join 1", JoinCommand{1, default_class()}},
      {"leave 3", LeaveCommand{3}},
      {"buy 0 dagger", BuyCommand{0, item("dagger")}},
      {"sell +1 7", SellCommand{1, 7}},
      {"sell 0 18446744073709551615", SellCommand{0, UINT64_MAX}},
      {"spend 1 skill", SpendCommand{1, Attribute::skill}},
      {"equip 0 2", EquipCommand{0, 2}},
      {"unequip 3 0", UnequipCommand{3, 0}},
      {"drop 0 bag 1", DropCommand{0, DropPlace::bag, 1}},
      {"drop 2 worn 0", DropCommand{2, DropPlace::worn, 0}},
      {"train 1 jab", TrainCommand{1, move("jab")}},
      {"hand 0 1 25", HandCommand{0, 1, 25}},
      {"hand 0 1 99999999999", HandCommand{0, 1, 2147483647}},
      {"leave 0 and more words", LeaveCommand{0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parse_text(c.text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.expected);
  }
}

TEST(ParseCommand, RefusesWhatIsNotACommand) {
  const char* cases[] = {
      "",
      "wave 0",
      "ticks 3 16 0 0",                  // five words
      "ticks 4294967296 0 0 0 0",        // count beyond 32 bits
      "ticks 1 65536 0 0 0",             // word beyond 16 bits
      "ticks -1 0 0 0 0",
      "ticks 1 0 0 0 0x1",
      "join 4",                          // slot beyond 3
      "join 0 bandit",                   // not a playable class
      "join 0 nobody",
      "leave",
      "leave 4",
      "leave -",
      "leave ++1",
      "sell -1 0",
      "sell 1 x",
      "buy 0",
      "buy 0 no_such_item",
      "spend 0 luck",
      "drop 0 pack 1",
      "drop 0 bag -1",
      "train 0 no_such_move",
      "hand 0 1",
      "hand 0 1 -5",
      "hand 0 4 5",                      // receiving slot beyond 3
      "hand 0 257 5",                    // never cut to its low bits (slot 1)
      "hand 0 1 18446744073709551616",   // amount beyond 64 bits
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(parse_text(text).has_value());
  }
}

TEST(FormatCommand, WritesTheTextForm) {
  EXPECT_EQ(format_command(TicksCommand{{16, 0, 2, 65535}, 3}), "ticks 3 16 0 2 65535");
  EXPECT_EQ(format_command(DropCommand{2, DropPlace::worn, 0}), "drop 2 worn 0");
  EXPECT_EQ(format_command(HandCommand{0, 3, 12}), "hand 0 3 12");
  // A negative amount has no text form; 0 is refused by the same check.
  EXPECT_EQ(format_command(HandCommand{0, 3, -12}), "hand 0 3 0");
}

TEST(FormatCommand, ParsingTheTextGivesTheSameCommand) {
  const Command commands[] = {
      TicksCommand{{1, 2, 4, 8}, 60},
      JoinCommand{3, kind("thief")},
      LeaveCommand{2},
      BuyCommand{1, item("steel_helm")},
      SellCommand{0, 12},
      SpendCommand{3, Attribute::iq},
      EquipCommand{2, 0},
      UnequipCommand{1, 2},
      DropCommand{0, DropPlace::bag, 5},
      TrainCommand{2, move("whirlwind")},
      HandCommand{3, 0, 2147483647},
  };
  for (const Command& command : commands) {
    const std::string text = format_command(command);
    SCOPED_TRACE(text);
    const auto parsed = parse_text(text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, command);
  }
}

TEST(ApplyCommand, TicksAreLeftToTheCallerAndRunByRunCommand) {
  World world = new_game(0, 7, {});
  const World before = world;
  EXPECT_TRUE(apply_command(world, TicksCommand{{16, 0, 0, 0}, 5}).ok());
  EXPECT_EQ(world, before);

  run_command(world, TicksCommand{{16, 0, 0, 0}, 5});
  EXPECT_EQ(world.tick, before.tick + 5);
}

TEST(ApplyCommand, RefusedCommandsChangeNothing) {
  World world = new_game(0, 7, {});
  const World before = world;
  const Status status = apply_command(world, HandCommand{0, 1, 5});
  ASSERT_FALSE(status.ok());
  EXPECT_FALSE(status.message().empty());
  EXPECT_EQ(world, before);

  run_command(world, LeaveCommand{0});  // refused again, silently
  EXPECT_EQ(world, before);
}

}  // namespace
}  // namespace velmora
