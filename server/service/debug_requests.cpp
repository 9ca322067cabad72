#include "server/service/debug_requests.h"

#include <algorithm>

#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "server/service/recording.h"

namespace velmora {

namespace {

constexpr std::string_view give_usage = "give SLOT ITEM, with an item from items.txt";
constexpr std::string_view boost_usage = "boost SLOT skill N | silver N | specials";
constexpr std::int32_t highest_skill_raise = 4;

// What the record held is saved while it still matches the game; from here
// on the game is no longer recorded.
void stop_recording(ServerState& state) {
  (void)save_replay_if_unsaved(state);
  state.record.reset();
  state.unsaved = false;
}

enum class Boost { skill, silver, specials };

std::optional<Boost> boost_kind(std::string_view word) {
  if (word == "skill") return Boost::skill;
  if (word == "silver") return Boost::silver;
  if (word == "specials") return Boost::specials;
  return std::nullopt;
}

void apply_boost(Actor& actor, Boost kind, std::int32_t n) {
  switch (kind) {
    case Boost::specials: {
      actor.arts.clear();
      for (std::uint8_t move : kind_by_id(actor.kind).special) actor.arts.push_back(move);
      return;
    }
    case Boost::silver: actor.silver = std::max(n, 0); return;
    case Boost::skill: {
      // The sheet keeps the raise for the stages to come; the actor fights with it now.
      const std::int32_t raise = std::clamp(n, 0, highest_skill_raise);
      actor.skill = raise;
      if (actor.sheet) actor.sheet->raise(Attribute::skill) = raise;
      return;
    }
  }
}

}  // namespace

std::string request_give(ServerState& state, Words words) {
  if (!state.debug) return reply_error("give needs debug on");
  const auto slot = slot_word(words, 1);
  const auto item = words.size() > 2 ? item_id(game_data().items, words[2]) : std::nullopt;
  if (!slot || !item) return reply_error(give_usage);
  if (!state.game) return reply_error("no game: send new first");
  if (!actor_of_slot(*state.game, *slot)) return reply_error("nobody plays that slot");
  stop_recording(state);
  const Status given = give_item(*state.game, *slot, *item);
  VELMORA_CHECK(given.ok(), "the slot is played");
  return reply_state(state, "given; this game is no longer recorded", Json::array());
}

std::string request_boost(ServerState& state, Words words) {
  if (!state.debug) return reply_error("boost needs debug on");
  const auto slot = slot_word(words, 1);
  if (!slot || words.size() < 3) return reply_error(boost_usage);
  const std::int32_t n = signed_word(words, 3).value_or(0);
  if (!state.game) return reply_error("no game: send new first");
  const auto actor = actor_of_slot(*state.game, *slot);
  if (!actor) return reply_error("nobody plays that slot");
  const auto kind = boost_kind(words[2]);
  if (!kind) return reply_error(boost_usage);
  stop_recording(state);
  apply_boost(state.game->actors[*actor], *kind, n);
  return reply_state(state, "boosted; this game is no longer recorded", Json::array());
}

std::string request_goto(ServerState& state, Words words) {
  if (!state.debug) return reply_error("goto needs debug on");
  if (words.size() < 2) return reply_error("goto NODE or goto AREA");
  const std::uint64_t seed = state.game ? state.game->seed + 1 : 1;
  if (!state.campaign) return reply_error("no campaign");
  state.campaign->party = current_party(state);
  const std::string_view name = words[1];
  if (const auto node = node_by_name(name)) {
    state.campaign->current_node = *node;
    (void)save_replay_if_unsaved(state);
    begin_node_stage(state, seed);
  } else if (const auto stage = stage_index(game_data().stages, name)) {
    (void)save_replay_if_unsaved(state);
    begin_node_stage(state, seed);
    state.game.reset();
    state.game = new_game(*stage, seed, state.campaign->party);
    if (state.record) state.record->stage = *stage;
  } else {
    return reply_error("goto NODE or goto AREA, from region.txt or stage.txt");
  }
  return reply_state(state, "moved", Json::array());
}

}  // namespace velmora
