#include "core/replay/commands.h"

#include <algorithm>
#include <limits>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"

namespace velmora {

namespace {

constexpr std::int32_t max_amount = std::numeric_limits<std::int32_t>::max();

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string with_slot(std::string_view word, std::uint8_t slot) {
  std::string out(word);
  out += ' ';
  out += number(slot);
  return out;
}

std::string with_slot(std::string_view word, std::uint8_t slot, std::string_view rest) {
  std::string out = with_slot(word, slot);
  out += ' ';
  out += rest;
  return out;
}

struct Format {
  std::string operator()(const TicksCommand& c) const {
    std::string out = "ticks " + number(c.count);
    for (Buttons b : c.buttons) out += ' ' + number(b);
    return out;
  }
  std::string operator()(const JoinCommand& c) const { return with_slot("join", c.slot, kind_by_id(c.class_id).name); }
  std::string operator()(const LeaveCommand& c) const { return with_slot("leave", c.slot); }
  std::string operator()(const BuyCommand& c) const { return with_slot("buy", c.slot, item_def(c.item).name); }
  std::string operator()(const SellCommand& c) const { return with_slot("sell", c.slot, number(c.index)); }
  std::string operator()(const SpendCommand& c) const {
    return with_slot("spend", c.slot, attribute_word(c.attribute));
  }
  std::string operator()(const EquipCommand& c) const { return with_slot("equip", c.slot, number(c.index)); }
  std::string operator()(const UnequipCommand& c) const { return with_slot("unequip", c.slot, number(c.index)); }
  std::string operator()(const DropCommand& c) const {
    const std::string_view place = c.place == DropPlace::worn ? "worn" : "bag";
    return with_slot("drop", c.slot, std::string(place) + ' ' + number(c.index));
  }
  std::string operator()(const TrainCommand& c) const { return with_slot("train", c.slot, move_def(c.move).name); }
  std::string operator()(const HandCommand& c) const {
    // The text has no sign: an amount below 1 is written as 0, which the
    // command refuses exactly as it refuses any amount below 1.
    const std::uint64_t amount = c.amount > 0 ? static_cast<std::uint64_t>(c.amount) : 0;
    return with_slot("hand", c.slot, number(c.to) + ' ' + number(amount));
  }
};

// Word i as an unsigned decimal no larger than max; none when missing or unreadable.
std::optional<std::uint64_t> number_word(std::span<const std::string_view> words, std::size_t i,
                                         std::uint64_t max) {
  if (i >= words.size()) return std::nullopt;
  const auto value = parse_unsigned(words[i]);
  if (!value || *value > max) return std::nullopt;
  return value;
}

std::optional<Command> parse_ticks(std::span<const std::string_view> words) {
  if (words.size() < 6) return std::nullopt;
  const auto count = number_word(words, 1, std::numeric_limits<std::uint32_t>::max());
  if (!count) return std::nullopt;
  TicksCommand c;
  c.count = static_cast<std::uint32_t>(*count);
  for (std::size_t i = 0; i < 4; ++i) {
    const auto word = number_word(words, 2 + i, std::numeric_limits<Buttons>::max());
    if (!word) return std::nullopt;
    c.buttons[i] = static_cast<Buttons>(*word);
  }
  return c;
}

std::optional<Command> parse_join(std::uint8_t slot, std::span<const std::string_view> words) {
  const auto class_id = words.size() >= 3 ? class_by_name(words[2]) : std::optional<std::uint8_t>(default_class());
  if (!class_id) return std::nullopt;
  return JoinCommand{slot, *class_id};
}

std::optional<Command> parse_buy(std::uint8_t slot, std::span<const std::string_view> words) {
  if (words.size() < 3) return std::nullopt;
  const auto item = item_id(game_data().items, words[2]);
  if (!item) return std::nullopt;
  return BuyCommand{slot, *item};
}

// sell, equip and unequip: SLOT INDEX.
template <class C>
std::optional<Command> parse_indexed(std::uint8_t slot, std::span<const std::string_view> words) {
  const auto index = number_word(words, 2, std::numeric_limits<std::uint64_t>::max());
  if (!index) return std::nullopt;
  return C{slot, *index};
}

std::optional<Command> parse_spend(std::uint8_t slot, std::span<const std::string_view> words) {
  if (words.size() < 3) return std::nullopt;
  const std::uint8_t attribute = parse_attribute_word(words[2]);
  if (attribute >= attribute_count) return std::nullopt;
  return SpendCommand{slot, static_cast<Attribute>(attribute)};
}

std::optional<Command> parse_drop(std::uint8_t slot, std::span<const std::string_view> words) {
  if (words.size() < 4) return std::nullopt;
  DropPlace place;
  if (words[2] == "worn") {
    place = DropPlace::worn;
  } else if (words[2] == "bag") {
    place = DropPlace::bag;
  } else {
    return std::nullopt;
  }
  const auto index = number_word(words, 3, std::numeric_limits<std::uint64_t>::max());
  if (!index) return std::nullopt;
  return DropCommand{slot, place, *index};
}

std::optional<Command> parse_train(std::uint8_t slot, std::span<const std::string_view> words) {
  if (words.size() < 3) return std::nullopt;
  const auto move = move_id(game_data().moves, words[2]);
  if (!move) return std::nullopt;
  return TrainCommand{slot, *move};
}

// The receiving slot is any unsigned number (it is checked when the command is
// applied, and never cut down to its low bits, which would hand the silver to
// somebody else). The amount saturates at the largest signed 32-bit value.
std::optional<Command> parse_hand(std::uint8_t slot, std::span<const std::string_view> words) {
  if (words.size() < 4) return std::nullopt;
  const auto to = number_word(words, 2, std::numeric_limits<std::uint64_t>::max());
  const auto amount = number_word(words, 3, std::numeric_limits<std::uint64_t>::max());
  if (!to || !amount) return std::nullopt;
  const std::uint64_t capped = std::min<std::uint64_t>(*amount, static_cast<std::uint64_t>(max_amount));
  return HandCommand{slot, *to, static_cast<std::int32_t>(capped)};
}

// Every command but "ticks": the command word, then SLOT, then its own words.
std::optional<Command> parse_slot_command(std::span<const std::string_view> words) {
  const auto slot = parse_slot(words);
  if (!slot) return std::nullopt;
  const std::string_view word = words[0];
  if (word == "join") return parse_join(*slot, words);
  if (word == "leave") return LeaveCommand{*slot};
  if (word == "buy") return parse_buy(*slot, words);
  if (word == "sell") return parse_indexed<SellCommand>(*slot, words);
  if (word == "equip") return parse_indexed<EquipCommand>(*slot, words);
  if (word == "unequip") return parse_indexed<UnequipCommand>(*slot, words);
  if (word == "spend") return parse_spend(*slot, words);
  if (word == "drop") return parse_drop(*slot, words);
  if (word == "train") return parse_train(*slot, words);
  if (word == "hand") return parse_hand(*slot, words);
  return std::nullopt;
}

// One case per command kind.
struct Apply {
  World& world;
  Status operator()(const TicksCommand&) const { return done(); }
  Status operator()(const JoinCommand& c) const { return join_slot(world, c.slot, c.class_id); }
  Status operator()(const LeaveCommand& c) const { return leave_slot(world, c.slot); }
  Status operator()(const BuyCommand& c) const { return buy_item(world, c.slot, c.item); }
  Status operator()(const SellCommand& c) const { return sell_item(world, c.slot, c.index); }
  Status operator()(const SpendCommand& c) const { return spend_actor_point(world, c.slot, c.attribute); }
  Status operator()(const EquipCommand& c) const { return equip_item(world, c.slot, c.index); }
  Status operator()(const UnequipCommand& c) const { return unequip_item(world, c.slot, c.index); }
  Status operator()(const DropCommand& c) const { return drop_item(world, c.slot, c.place, c.index); }
  Status operator()(const TrainCommand& c) const { return train_art(world, c.slot, c.move); }
  Status operator()(const HandCommand& c) const { return give_silver(world, c.slot, c.to, c.amount); }
};

}  // namespace

std::string format_command(const Command& command) { return std::visit(Format{}, command); }

std::optional<Command> parse_command(std::span<const std::string_view> words) {
  if (words.empty()) return std::nullopt;
  if (words[0] == "ticks") return parse_ticks(words);
  return parse_slot_command(words);
}

std::optional<std::uint8_t> parse_slot(std::span<const std::string_view> words) {
  const auto slot = number_word(words, 1, 3);
  if (!slot) return std::nullopt;
  return static_cast<std::uint8_t>(*slot);
}

std::uint8_t parse_attribute_word(std::string_view word) {
  const auto attribute = parse_attribute(word);
  return attribute ? static_cast<std::uint8_t>(*attribute) : 255;
}

Status apply_command(World& world, const Command& command) { return std::visit(Apply{world}, command); }

void run_command(World& world, const Command& command) {
  if (const auto* ticks = std::get_if<TicksCommand>(&command)) {
    for (std::uint32_t i = 0; i < ticks->count; ++i) tick(world, ticks->buttons);
    return;
  }
  // A command the live game refused is refused again here, silently.
  (void)apply_command(world, command);
}

}  // namespace velmora
