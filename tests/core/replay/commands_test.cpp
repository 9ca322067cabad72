#include "core/replay/commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string_view>

#include "core/base/text.h"
#include "core/data/game_data.h"

namespace velmora {
namespace {

std::optional<Command> parse_text(std::string_view text) { return parse_command(split_words(text)); }

std::uint16_t item(std::string_view name) { return item_id(game_data().items, name).value(); }
std::uint8_t move(std::string_view name) { return move_id(game_data().moves, name).value(); }
std::uint8_t kind(std::string_view name) { return kind_id(game_data().kinds, name).value(); }

// Every kind: its exact text, and that text parses back to the command.
TEST(Commands, TextFormAndParserAgree) {
  const std::pair<Command, const char*> cases[] = {
      {TicksCommand{{16, 0, 2, 65535}, 3}, "ticks 3 16 0 2 65535"},
      {JoinCommand{3, kind("thief")}, "join 3 thief"},
      {LeaveCommand{2}, "leave 2"},
      {BuyCommand{1, item("steel_helm")}, "buy 1 steel_helm"},
      {SellCommand{0, UINT64_MAX}, "sell 0 18446744073709551615"},
      {SpendCommand{3, Attribute::iq}, "spend 3 iq"},
      {EquipCommand{2, 0}, "equip 2 0"},
      {UnequipCommand{1, 2}, "unequip 1 2"},
      {DropCommand{0, DropPlace::bag, 5}, "drop 0 bag 5"},
      {DropCommand{2, DropPlace::worn, 0}, "drop 2 worn 0"},
      {TrainCommand{2, move("whirlwind")}, "train 2 whirlwind"},
      {HandCommand{3, 0, 2147483647}, "hand 3 0 2147483647"},
  };
  for (const auto& [command, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(format_command(command), text);
    EXPECT_EQ(parse_text(text), command);
  }
  // The text has no sign: a negative amount is written as 0, refused alike.
  EXPECT_EQ(format_command(HandCommand{0, 3, -12}), "hand 0 3 0");
}

TEST(Commands, ParserDefaultsAndLimits) {
  EXPECT_EQ(parse_text("join 1"), (Command{JoinCommand{1, default_class()}}));
  EXPECT_EQ(parse_text("sell +1 7"), (Command{SellCommand{1, 7}}));
  EXPECT_EQ(parse_text("hand 0 1 99999999999"), (Command{HandCommand{0, 1, 2147483647}}));
  EXPECT_EQ(parse_text("leave 0 and more words"), (Command{LeaveCommand{0}}));
  // Any receiving slot reads; one that plays no slot is refused when applied,
  // and 257 is never cut down onto slot 1.
  EXPECT_EQ(parse_text("hand 0 4 5"), (Command{HandCommand{0, 4, 5}}));
  EXPECT_EQ(parse_text("hand 0 257 5"), (Command{HandCommand{0, 257, 5}}));
  EXPECT_EQ(parse_text("hand 0 18446744073709551615 5"), (Command{HandCommand{0, UINT64_MAX, 5}}));
  EXPECT_EQ(parse_attribute_word("skill"), 4);
  EXPECT_EQ(parse_attribute_word("luck"), 255);
  const char* refused[] = {
      "",
      "wave 0",
      "ticks 3 16 0 0",            // five words
      "ticks 4294967296 0 0 0 0",  // count beyond 32 bits
      "ticks 1 65536 0 0 0",       // word beyond 16 bits
      "join 4",          // slot beyond 3
      "join 0 bandit",   // a kind, but not playable
      "leave",
      "sell -1 0",
      "buy 0",
      "buy 0 no_such_item",
      "spend 0 luck",
      "drop 0 pack 1",
      "drop 0 bag",
      "train 0 no_such_move",
      "hand 0 1",
      "hand 0 1 -5",
      "hand 0 1 18446744073709551616",
  };
  for (const char* text : refused) EXPECT_EQ(parse_text(text), std::nullopt) << text;
}

// Any command a parser can give, formatted and parsed again, is the same
// command; names travel as the data's names.
TEST(Commands, FormatThenParseGivesTheSameCommand) {
  const GameData& data = game_data();
  std::vector<std::uint8_t> classes;
  for (std::size_t k = 0; k < data.kinds.size(); ++k) {
    if (data.kinds[k].player) classes.push_back(static_cast<std::uint8_t>(k));
  }
  std::mt19937_64 rng(20240611);
  const auto slot = [&] { return static_cast<std::uint8_t>(rng() % 4); };
  const auto index = [&] { return rng() % 3 == 0 ? rng() : rng() % 20; };
  const auto pick = [&](std::size_t n) { return rng() % n; };
  const std::function<Command()> makers[] = {
      [&] {
        return Command{TicksCommand{{static_cast<Buttons>(rng()), static_cast<Buttons>(rng()),
                                     static_cast<Buttons>(rng()), static_cast<Buttons>(rng())},
                                    static_cast<std::uint32_t>(rng())}};
      },
      [&] { return Command{JoinCommand{slot(), classes[pick(classes.size())]}}; },
      [&] { return Command{LeaveCommand{slot()}}; },
      [&] { return Command{BuyCommand{slot(), static_cast<std::uint16_t>(pick(data.items.size()))}}; },
      [&] { return Command{SellCommand{slot(), index()}}; },
      [&] { return Command{SpendCommand{slot(), static_cast<Attribute>(pick(attribute_count))}}; },
      [&] { return Command{EquipCommand{slot(), index()}}; },
      [&] { return Command{UnequipCommand{slot(), index()}}; },
      [&] { return Command{DropCommand{slot(), pick(2) == 0 ? DropPlace::worn : DropPlace::bag, index()}}; },
      [&] { return Command{TrainCommand{slot(), static_cast<std::uint8_t>(pick(data.moves.size()))}}; },
      [&] { return Command{HandCommand{slot(), index(), static_cast<std::int32_t>(rng() % 2147483648u)}}; },
  };
  for (int i = 0; i < 5000; ++i) {
    const Command command = makers[pick(std::size(makers))]();
    const std::string text = format_command(command);
    EXPECT_EQ(parse_text(text), command) << text;
  }
}

TEST(Commands, ApplyAndRun) {
  const std::vector<CharacterSheet> party(2, new_character(default_class()));
  World world = new_game(0, 7, party);
  const World start = world;
  EXPECT_TRUE(apply_command(world, TicksCommand{{16, 0, 0, 0}, 5}).ok());
  EXPECT_EQ(world, start);  // the caller runs the ticks
  run_command(world, TicksCommand{{16, 0, 0, 0}, 5});
  EXPECT_EQ(world.tick, start.tick + 5);

  // A player leaves while another is present, knocked out or not; the last
  // one cannot.
  world.actors[0].state = ActorState::ko;
  world.events.clear();
  ASSERT_TRUE(apply_command(world, LeaveCommand{1}).ok());
  EXPECT_EQ(world.actors[1].gone, 1);
  EXPECT_EQ(world.events, std::vector<Event>{Event::of_actor(EventKind::leave, world.actors[1].id)});
  const World one_left = world;
  EXPECT_EQ(apply_command(world, LeaveCommand{1}).message(), "nobody plays that slot");
  EXPECT_EQ(apply_command(world, LeaveCommand{0}).message(), "the last player cannot leave");
  run_command(world, LeaveCommand{0});  // refused again, silently
  run_command(world, HandCommand{0, 1, 5});
  EXPECT_EQ(world, one_left);
}

}  // namespace
}  // namespace velmora
