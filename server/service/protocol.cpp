#include "server/service/protocol.h"

#include <array>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/world/state_hash.h"
#include "server/service/campaign_requests.h"
#include "server/service/debug_requests.h"
#include "server/service/party_requests.h"
#include "server/service/party_view.h"
#include "server/service/protocol_numbers.h"
#include "server/service/recording.h"
#include "server/service/requests.h"
#include "server/views/world_view.h"

namespace velmora {

namespace {

constexpr std::int64_t protocol_version = 1;
constexpr std::int64_t tick_hz = 60;
constexpr std::int64_t max_players = 4;

std::string small_reply(Json reply) { return json_to_string(reply); }

std::string message_reply(bool ok, std::string_view message) {
  return small_reply(Json::object(2).add("ok", ok).add("message", message));
}

// ---------------------------------------------------------------------------
// The small requests

bool is_town_node(std::size_t node) {
  const GameData& data = game_data();
  return data.stages[data.nodes[node].stage].town;
}

std::int64_t count_levels(const std::vector<std::size_t>& nodes) {
  std::int64_t n = 0;
  for (std::size_t node : nodes) n += is_town_node(node) ? 0 : 1;
  return n;
}

Json playable_classes() {
  const GameData& data = game_data();
  Json classes = Json::array();
  for (const KindDef& kind : data.kinds) {
    if (kind.player) classes.push(kind.name);
  }
  return classes;
}

Json campaign_list() {
  const GameData& data = game_data();
  Json campaigns = Json::array(data.campaigns.size());
  for (const CampaignDef& c : data.campaigns) {
    campaigns.push(Json::object(5)
                       .add("name", c.name)
                       .add("title", c.title)
                       .add("blurb", c.blurb)
                       .add("levels", count_levels(c.nodes))
                       .add("optional", count_levels(c.optional)));
  }
  return campaigns;
}

std::string request_hello(ServerState& state, Words) {
  return small_reply(Json::object(10)
                         .add("ok", true)
                         .add("protocol", protocol_version)
                         .add("game", "velmora")
                         .add("tick_hz", tick_hz)
                         .add("max_players", max_players)
                         .add("has_game", state.game.has_value())
                         .add("classes", playable_classes())
                         .add("campaigns", campaign_list())
                         .add("online_protocol", online_protocol)
                         .add("data", hex16(game_data().data_hash)));
}

std::string request_state(ServerState& state, Words) { return reply_state(state, "", Json::array()); }

std::string request_hash(ServerState& state, Words) {
  if (!state.game) return reply_error("no game: send new first");
  return small_reply(
      Json::object(3).add("ok", true).add("tick", state.game->tick).add("hash", hex16(state_hash(*state.game))));
}

std::string request_debug(ServerState& state, Words words) {
  const std::string_view word = words.size() > 1 ? words[1] : std::string_view();
  if (word != "on" && word != "off") return reply_error("debug needs on or off");
  state.debug = word == "on";
  return message_reply(true, state.debug ? "debug on" : "debug off");
}

std::string request_save_replay(ServerState& state, Words) {
  if (state.watch) return reply_error("watching a replay");
  auto saved = save_replay_file(state);
  if (!saved) return reply_error(saved.message());
  return small_reply(Json::object(3).add("ok", true).add("message", "replay saved").add("path", std::move(*saved)));
}

// ---------------------------------------------------------------------------
// The request table

using Handler = std::string (*)(ServerState&, Words);

struct RequestEntry {
  std::string_view word;
  Handler handler;
};

// In the order a front end meets them.
constexpr std::array request_table{
    RequestEntry{"hello", request_hello},
    RequestEntry{"new", request_new},
    RequestEntry{"tick", request_tick},
    RequestEntry{"run", request_run},
    RequestEntry{"state", request_state},
    RequestEntry{"hash", request_hash},
    RequestEntry{"map", request_map},
    RequestEntry{"continue", request_continue},
    RequestEntry{"travel", request_travel},
    RequestEntry{"retry", request_retry},
    RequestEntry{"goto", request_goto},
    RequestEntry{"party", request_party},
    RequestEntry{"inventory", request_inventory},
    RequestEntry{"shop", request_shop},
    RequestEntry{"buy", request_buy},
    RequestEntry{"sell", request_sell},
    RequestEntry{"join", request_join},
    RequestEntry{"leave", request_leave},
    RequestEntry{"spend", request_spend},
    RequestEntry{"train", request_train},
    RequestEntry{"equip", request_equip},
    RequestEntry{"unequip", request_unequip},
    RequestEntry{"drop", request_drop},
    RequestEntry{"hand", request_hand},
    RequestEntry{"give", request_give},
    RequestEntry{"boost", request_boost},
    RequestEntry{"debug", request_debug},
    RequestEntry{"watch", request_watch},
    RequestEntry{"save_replay", request_save_replay},
};

// ---------------------------------------------------------------------------
// The watch object of the state reply

Json watch_json(const ServerState& state) {
  const WatchState& watch = *state.watch;
  const ReplayRecord& record = watch.record;
  const World& world = *state.game;
  std::uint64_t total = 0;
  for (const Command& command : record.commands) {
    if (const auto* ticks = std::get_if<TicksCommand>(&command)) total += ticks->count;
  }
  const bool done = watch.next >= record.commands.size();
  Json verified("unknown");
  if (done && record.end) {
    verified = Json(world.tick == record.end->tick && state_hash(world) == record.end->state_hash);
  }
  const bool same_data = !record.data_hash || *record.data_hash == game_data().data_hash;
  return Json::object(5)
      .add("tick", world.tick)
      .add("total", total)
      .add("done", done)
      .add("verified", std::move(verified))
      .add("same_data", same_data);
}

}  // namespace

ServerState new_server_state(std::optional<std::string> replay_folder, Disk& disk, Clock& clock) {
  ServerState state;
  state.replay_folder = std::move(replay_folder);
  state.disk = &disk;
  state.clock = &clock;
  return state;
}

std::string handle_request(ServerState& state, std::string_view line) {
  const std::vector<std::string_view> words = split_words(line);
  if (words.empty()) return reply_error("empty request");
  for (const RequestEntry& entry : request_table) {
    if (entry.word == words[0]) return entry.handler(state, words);
  }
  return reply_error("unknown request " + std::string(words[0]));
}

std::string reply_error(std::string_view message) { return message_reply(false, message); }

std::string reply_state(const ServerState& state, std::string_view message, Json events,
                        const std::optional<std::string>& replay_saved) {
  if (!state.game) return reply_error("no game: send new first");
  std::string text;
  if (message.empty()) {
    // The common case (every tick) is written straight to text.
    text = view_text(*state.game, std::move(events), state.debug);
  } else {
    text = json_to_string(view_json(*state.game, message, std::move(events), state.debug));
  }
  if (state.watch) text = json_text_add_field(std::move(text), "watch", watch_json(state));
  if (replay_saved) text = json_text_add_field(std::move(text), "replay_saved", *replay_saved);
  return text;
}

void begin_node_stage(ServerState& state, std::uint64_t seed) {
  ++state.stage_counter;
  if (!state.campaign) return;
  const CampaignState& campaign = *state.campaign;
  const std::uint64_t stage = current_stage(campaign);
  state.game.reset();  // the old world goes before the new one is built
  state.game = new_game(stage, seed, campaign.party);
  state.record = new_replay_record(stage, seed, campaign.party);
  state.unsaved = false;
  state.watch.reset();
}

std::vector<CharacterSheet> current_party(const ServerState& state) {
  if (state.game && state.game->over == GameStatus::playing) return party_sheets(*state.game);
  if (state.campaign) return state.campaign->party;
  return {};
}

std::string RequestService::handle(std::string_view line) { return handle_request(state_, line); }

void RequestService::save_unsaved() { (void)save_replay_if_unsaved(state_); }

}  // namespace velmora
