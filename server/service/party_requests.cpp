#include "server/service/party_requests.h"

#include <algorithm>
#include <limits>

#include "core/data/game_data.h"
#include "core/replay/commands.h"
#include "core/rules/party_commands.h"
#include "server/service/campaign_requests.h"
#include "server/service/party_view.h"
#include "server/views/world_view.h"

namespace velmora {

namespace {

constexpr std::string_view trade_usage = "buy SLOT ITEM or sell SLOT BAG_INDEX";
constexpr std::string_view buy_usage = "buy SLOT ITEM, with an item from items.txt";
constexpr std::string_view sell_usage = "sell SLOT BAG_INDEX";
constexpr std::string_view slot_usage = "needs a player slot from 0 to 3";
constexpr std::string_view spend_usage = "spend SLOT st|dx|iq|ht|skill";
constexpr std::string_view train_usage = "train SLOT MOVE, with a special from moves.txt";
constexpr std::string_view gear_usage = "equip SLOT BAG_INDEX, unequip SLOT WORN, drop SLOT bag|worn INDEX";
constexpr std::string_view hand_usage = "hand SLOT TO_SLOT AMOUNT";
constexpr std::string_view no_game = "no game: send new first";
constexpr std::uint64_t highest_slot = std::numeric_limits<std::uint8_t>::max();

// A command that succeeded goes into the record of the stage, when it is recorded.
void record(ServerState& state, const Command& command) {
  if (!state.record) return;
  state.record->commands.push_back(command);
  state.unsaved = true;
}

// What a command answers with.
enum class Shown { all_events, shop, party, inventory };

std::string reply_after(ServerState& state, std::string_view message, Shown shown) {
  switch (shown) {
    case Shown::all_events: {
      const std::vector<Event>& events = state.game->events;
      return reply_state(state, message, events_to_values(events, 0, events.size()));
    }
    case Shown::shop: return reply_shop(state, message);
    case Shown::party: return reply_party(state, message);
    case Shown::inventory: return reply_inventory(state, message);
  }
  return reply_error("unknown reply");
}

// Calls the command; on success records it, keeps the campaign's party in
// step with a finished stage, and replies.
template <class Call>
std::string run_command_request(ServerState& state, const Command& command, std::string_view message, Call call,
                                Shown shown) {
  const Status status = call(*state.game);
  if (!status) return reply_error(status.message());
  record(state, command);
  keep_campaign_in_step(state);
  return reply_after(state, message, shown);
}

std::optional<std::uint16_t> item_word(Words words, std::size_t i) {
  if (i >= words.size()) return std::nullopt;
  return item_id(game_data().items, words[i]);
}

std::optional<std::uint8_t> move_word(Words words, std::size_t i) {
  if (i >= words.size()) return std::nullopt;
  return move_id(game_data().moves, words[i]);
}

// The slot of equip and unequip: any number, one above 255 held at 255
// (which plays no slot).
std::optional<std::uint8_t> gear_slot_word(Words words) {
  const auto slot = unsigned_word(words, 1);
  if (!slot) return std::nullopt;
  return static_cast<std::uint8_t>(std::min(*slot, highest_slot));
}

std::optional<DropPlace> place_word(Words words, std::size_t i) {
  if (i >= words.size()) return std::nullopt;
  if (words[i] == "bag") return DropPlace::bag;
  if (words[i] == "worn") return DropPlace::worn;
  return std::nullopt;
}

// The campaign's party follows a join: the slot's sheet is replaced when its
// class differs, kept when it is of that class, and added when the slot had none.
void join_campaign_party(CampaignState& campaign, std::uint8_t slot, std::uint8_t class_id) {
  CharacterSheet fresh = new_character(class_id);
  fresh.slot = slot;
  auto& party = campaign.party;
  const auto it = std::find_if(party.begin(), party.end(), [&](const CharacterSheet& s) { return s.slot == slot; });
  if (it == party.end()) {
    party.push_back(fresh);
    std::stable_sort(party.begin(), party.end(),
                     [](const CharacterSheet& a, const CharacterSheet& b) { return a.slot < b.slot; });
  } else if (it->class_id != class_id) {
    *it = fresh;
  }
}

// Only the command's own event is shown: the events of the last tick are
// dropped, on success only, so that a refusal changes nothing.
std::string keep_own_event(ServerState& state, std::size_t before) {
  std::vector<Event>& events = state.game->events;
  events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(std::min(before, events.size())));
  return reply_state(state, "", events_to_values(events, 0, events.size()));
}

// Between stages, a point is spent on the campaign's sheet of the slot.
std::string spend_at_camp(ServerState& state, std::uint64_t slot, Attribute attribute) {
  if (!state.campaign) return reply_error("no character in that slot");
  auto& party = state.campaign->party;
  const auto it = std::find_if(party.begin(), party.end(), [&](const CharacterSheet& s) { return s.slot == slot; });
  if (it == party.end()) return reply_error("no character in that slot");
  const Status spent = spend_point(*it, attribute);
  if (!spent) return reply_error(spent.message());
  return reply_party(state, "spent");
}

}  // namespace

std::string request_buy(ServerState& state, Words words) {
  const auto slot = slot_word(words, 1);
  if (!slot) return reply_error(trade_usage);
  if (!state.game) return reply_error(no_game);
  const auto item = item_word(words, 2);
  if (!item) return reply_error(buy_usage);
  return run_command_request(state, BuyCommand{*slot, *item}, "bought",
                             [&](World& w) { return buy_item(w, *slot, *item); }, Shown::shop);
}

std::string request_sell(ServerState& state, Words words) {
  const auto slot = slot_word(words, 1);
  if (!slot) return reply_error(trade_usage);
  if (!state.game) return reply_error(no_game);
  const auto index = unsigned_word(words, 2);
  if (!index) return reply_error(sell_usage);
  return run_command_request(state, SellCommand{*slot, *index}, "sold",
                             [&](World& w) { return sell_item(w, *slot, *index); }, Shown::shop);
}

std::string request_join(ServerState& state, Words words) {
  const auto slot = slot_word(words, 1);
  if (!slot) return reply_error(slot_usage);
  if (state.watch) return reply_error("watching a replay");
  if (!state.game) return reply_error(no_game);
  std::uint8_t class_id = default_class();
  if (words.size() > 2) {
    const auto named = class_by_name(words[2]);
    if (!named) return reply_error(std::string(words[2]) + " is not a playable class");
    class_id = *named;
  }
  const std::size_t before = state.game->events.size();
  const Status joined = join_slot(*state.game, *slot, class_id);
  if (!joined) return reply_error(joined.message());
  if (state.record) {
    record_join(*state.record, *slot, class_id);
    state.unsaved = true;
  }
  if (state.campaign) join_campaign_party(*state.campaign, *slot, class_id);
  return keep_own_event(state, before);
}

std::string request_leave(ServerState& state, Words words) {
  const auto slot = slot_word(words, 1);
  if (!slot) return reply_error(slot_usage);
  if (state.watch) return reply_error("watching a replay");
  if (!state.game) return reply_error(no_game);
  const std::size_t before = state.game->events.size();
  const Status left = leave_slot(*state.game, *slot);
  if (!left) return reply_error(left.message());
  if (state.record) {
    record_leave(*state.record, *slot);
    state.unsaved = true;
  }
  return keep_own_event(state, before);
}

// In a running town the point goes to the player on the stage and is
// recorded; on a cleared stage to the campaign's sheet, unrecorded.
std::string request_spend(ServerState& state, Words words) {
  const auto slot = unsigned_word(words, 1);
  const auto attribute = words.size() > 2 ? parse_attribute(words[2]) : std::nullopt;
  if (!slot || !attribute) return reply_error(spend_usage);
  if (!state.game) return reply_error(no_game);
  const World& world = *state.game;
  if (world.stage().town && world.over == GameStatus::playing) {
    const auto party_slot = static_cast<std::uint8_t>(std::min(*slot, highest_slot));
    return run_command_request(state, SpendCommand{party_slot, *attribute}, "spent",
                               [&](World& w) { return spend_actor_point(w, *slot, *attribute); }, Shown::party);
  }
  if (world.over == GameStatus::cleared) return spend_at_camp(state, *slot, *attribute);
  return reply_error("points are spent at camp or at an inn");
}

// The reply shows the world's whole event list: the last tick's, then the
// command's own.
std::string request_train(ServerState& state, Words words) {
  const auto slot = slot_word(words, 1);
  const auto move = move_word(words, 2);
  if (!slot || !move) return reply_error(train_usage);
  if (!state.game) return reply_error(no_game);
  return run_command_request(state, TrainCommand{*slot, *move}, "learned",
                             [&](World& w) { return train_art(w, *slot, *move); }, Shown::all_events);
}

std::string request_equip(ServerState& state, Words words) {
  const auto slot = gear_slot_word(words);
  if (!slot || !state.game) return reply_error(gear_usage);
  const auto index = unsigned_word(words, 2);
  if (!index) return reply_error(gear_usage);
  return run_command_request(state, EquipCommand{*slot, *index}, "equip",
                             [&](World& w) { return equip_item(w, *slot, *index); }, Shown::inventory);
}

std::string request_unequip(ServerState& state, Words words) {
  const auto slot = gear_slot_word(words);
  if (!slot || !state.game) return reply_error(gear_usage);
  const auto index = unsigned_word(words, 2);
  if (!index) return reply_error(gear_usage);
  return run_command_request(state, UnequipCommand{*slot, *index}, "unequip",
                             [&](World& w) { return unequip_item(w, *slot, *index); }, Shown::inventory);
}

// Unlike equip and unequip, drop reads its SLOT as a byte: a larger number is
// an unreadable word.
std::string request_drop(ServerState& state, Words words) {
  const auto slot = slot_word(words, 1);
  if (!slot || !state.game) return reply_error(gear_usage);
  const auto place = place_word(words, 2);
  const auto index = unsigned_word(words, 3);
  if (!place || !index) return reply_error(gear_usage);
  return run_command_request(state, DropCommand{*slot, *place, *index}, "drop",
                             [&](World& w) { return drop_item(w, *slot, *place, *index); }, Shown::inventory);
}

// The three numbers are signed; the slots are held to 0 .. 255 and the amount
// to 0 and above.
std::string request_hand(ServerState& state, Words words) {
  const auto slot = signed_word(words, 1);
  const auto to = signed_word(words, 2);
  const auto amount = signed_word(words, 3);
  if (!slot || !to || !amount) return reply_error(hand_usage);
  if (!state.game) return reply_error(no_game);
  const auto from_slot = static_cast<std::uint8_t>(std::clamp<std::int32_t>(*slot, 0, 255));
  const auto to_slot = static_cast<std::uint8_t>(std::clamp<std::int32_t>(*to, 0, 255));
  const std::int32_t silver = std::max(*amount, 0);
  return run_command_request(state, HandCommand{from_slot, to_slot, silver}, "given",
                             [&](World& w) { return give_silver(w, from_slot, to_slot, silver); }, Shown::inventory);
}

}  // namespace velmora
