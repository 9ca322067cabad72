#include "server/service/campaign_requests.h"

#include <algorithm>

#include "core/data/game_data.h"
#include "server/service/recording.h"

namespace velmora {

namespace {

constexpr std::string_view travel_usage = "travel NODE, with a node from region.txt";
constexpr std::int64_t wipe_loss_percent = 25;

bool on_map(const CampaignDef* campaign, std::size_t node) {
  return campaign != nullptr && std::find(campaign->nodes.begin(), campaign->nodes.end(), node) != campaign->nodes.end();
}

Json node_json(const CampaignState& campaign, std::size_t index) {
  const GameData& data = game_data();
  const NodeDef& node = data.nodes[index];
  Json links = Json::array(node.links.size());
  for (std::size_t link : node.links) links.push(data.nodes[link].name);
  return Json::object(11)
      .add("id", node.name)
      .add("title", node.title)
      .add("blurb", node.blurb)
      .add("x", node.at.x)
      .add("y", node.at.y)
      .add("town", data.stages[node.stage].town)
      .add("links", std::move(links))
      .add("cleared", index < campaign.cleared.size() && campaign.cleared[index] != 0)
      .add("here", campaign.current_node == index)
      .add("open", may_travel(campaign, index));
}

// Saves what the finished stage recorded and begins the campaign's current
// node with the next seed.
void set_off(ServerState& state) {
  const std::uint64_t seed = state.game->seed + 1;
  (void)save_replay_if_unsaved(state);
  begin_node_stage(state, seed);
}

}  // namespace

std::string reply_map(const ServerState& state, std::string_view message) {
  if (!state.campaign) return reply_error("no campaign");
  const GameData& data = game_data();
  const CampaignState& campaign = *state.campaign;
  const CampaignDef* def = campaign.campaign < data.campaigns.size() ? &data.campaigns[campaign.campaign] : nullptr;
  Json nodes = Json::array(def != nullptr ? def->nodes.size() : 0);
  for (std::size_t i = 0; i < data.nodes.size(); ++i) {
    if (on_map(def, i)) nodes.push(node_json(campaign, i));
  }
  return json_to_string(Json::object(4)
                            .add("ok", true)
                            .add("message", message)
                            .add("campaign", def != nullptr ? def->title : std::string())
                            .add("nodes", std::move(nodes)));
}

std::int32_t silver_after_wipe(std::int32_t silver) {
  const std::int64_t lost = std::int64_t{silver} * wipe_loss_percent / 100;
  return static_cast<std::int32_t>(std::max<std::int64_t>(0, std::int64_t{silver} - lost));
}

void keep_campaign_in_step(ServerState& state) {
  if (!state.game || !state.campaign || state.watch || state.game->over == GameStatus::playing) return;
  for (const CharacterSheet& now : party_sheets(*state.game)) {
    for (CharacterSheet& kept : state.campaign->party) {
      if (kept.slot != now.slot) continue;
      kept.bag = now.bag;
      kept.arts = now.arts;
      kept.worn = now.worn;
      kept.silver = now.silver;
      break;
    }
  }
}

std::string request_map(ServerState& state, Words) { return reply_map(state, ""); }

std::string request_continue(ServerState& state, Words) {
  if (!state.game) return reply_error("no game: send new first");
  if (state.game->over != GameStatus::cleared) return reply_error("continue needs a cleared stage");
  return reply_map(state, "choose the road");
}

std::string request_travel(ServerState& state, Words words) {
  const auto node = words.size() > 1 ? node_by_name(words[1]) : std::nullopt;
  if (!node) return reply_error(travel_usage);
  if (!state.game) return reply_error("no game: send new first");
  if (state.game->over != GameStatus::cleared) return reply_error("finish this stage first");
  if (!state.campaign) return reply_error("no campaign");
  const Status moved = travel_to(*state.campaign, *node);
  if (!moved) return reply_error(moved.message());
  set_off(state);
  return reply_state(state, "on the road", Json::array());
}

std::string request_retry(ServerState& state, Words) {
  if (!state.game) return reply_error("no game: send new first");
  if (state.game->over != GameStatus::wiped) return reply_error("retry needs a wiped party");
  // Without a campaign there is no checkpoint to go back to.
  if (!state.campaign) return reply_error("no campaign");
  for (CharacterSheet& sheet : state.campaign->party) sheet.silver = silver_after_wipe(sheet.silver);
  set_off(state);
  return reply_state(state, "back to the checkpoint", Json::array());
}

}  // namespace velmora
