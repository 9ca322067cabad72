// The recorded party commands: a run of ticks with the same four button words
// or one player command on a slot, their one-line text form (the same text in
// replay files and online "cmd" lines), the parser and applying a command to
// a running world.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/base/buttons.h"
#include "core/base/result.h"
#include "core/rules/party_commands.h"
#include "core/world/actor.h"
#include "core/world/world.h"

namespace velmora {

// "ticks COUNT B0 B1 B2 B3": count ticks with one word per slot 0 to 3.
struct TicksCommand {
  std::array<Buttons, 4> buttons{};
  std::uint32_t count = 0;
  bool operator==(const TicksCommand&) const = default;
};

// "join SLOT CLASS" (the class by its kind name).
struct JoinCommand {
  std::uint8_t slot = 0;
  std::uint8_t class_id = 0;
  bool operator==(const JoinCommand&) const = default;
};

// "leave SLOT".
struct LeaveCommand {
  std::uint8_t slot = 0;
  bool operator==(const LeaveCommand&) const = default;
};

// "buy SLOT ITEM" (the item by its name).
struct BuyCommand {
  std::uint8_t slot = 0;
  std::uint16_t item = 0;
  bool operator==(const BuyCommand&) const = default;
};

// "sell SLOT INDEX": a bag index.
struct SellCommand {
  std::uint8_t slot = 0;
  std::uint64_t index = 0;
  bool operator==(const SellCommand&) const = default;
};

// "spend SLOT st|dx|iq|ht|skill".
struct SpendCommand {
  std::uint8_t slot = 0;
  Attribute attribute = Attribute::st;
  bool operator==(const SpendCommand&) const = default;
};

// "equip SLOT INDEX": a bag index.
struct EquipCommand {
  std::uint8_t slot = 0;
  std::uint64_t index = 0;
  bool operator==(const EquipCommand&) const = default;
};

// "unequip SLOT INDEX": a worn index.
struct UnequipCommand {
  std::uint8_t slot = 0;
  std::uint64_t index = 0;
  bool operator==(const UnequipCommand&) const = default;
};

// "drop SLOT worn|bag INDEX".
struct DropCommand {
  std::uint8_t slot = 0;
  DropPlace place = DropPlace::bag;
  std::uint64_t index = 0;
  bool operator==(const DropCommand&) const = default;
};

// "train SLOT MOVE" (the move by its name).
struct TrainCommand {
  std::uint8_t slot = 0;
  std::uint8_t move = 0;
  bool operator==(const TrainCommand&) const = default;
};

// "hand SLOT TO AMOUNT": silver from one slot to another. TO is read as any
// unsigned number: one that plays no slot is refused when applied.
struct HandCommand {
  std::uint8_t slot = 0;
  std::uint64_t to = 0;
  std::int32_t amount = 0;
  bool operator==(const HandCommand&) const = default;
};

using Command = std::variant<TicksCommand, JoinCommand, LeaveCommand, BuyCommand, SellCommand, SpendCommand,
                             EquipCommand, UnequipCommand, DropCommand, TrainCommand, HandCommand>;

// The one-line text form, without a line end.
std::string format_command(const Command& command);

// The command the words spell (the first word is the command word); none when
// they are not a command. Words after the last one a command reads are ignored.
std::optional<Command> parse_command(std::span<const std::string_view> words);

// The second word as a party slot (0 to 3).
std::optional<std::uint8_t> parse_slot(std::span<const std::string_view> words);

// "st" 0, "dx" 1, "iq" 2, "ht" 3, "skill" 4; any other word 255.
std::uint8_t parse_attribute_word(std::string_view word);

// Performs one command on a running world between ticks. A ticks command does
// nothing here: its ticks are run by the caller (see run_command). A refusal
// changes nothing and comes back as its message.
Status apply_command(World& world, const Command& command);

// Performs one recorded command as playback does: a ticks command runs its
// ticks with its four words, any other goes through apply_command and a
// refusal is dropped, just as the live game dropped it.
void run_command(World& world, const Command& command);

}  // namespace velmora
